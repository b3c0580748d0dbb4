// Other programs the program runs, the editor and fortune: job control,
// quitting while one runs, and the screen they leave behind.
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

#include "screens.h"
#include "tmux_driver.h"

namespace {

bool appearsWithin(const std::filesystem::path& file, std::chrono::milliseconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    while (!std::filesystem::exists(file)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

Tmux::Environment onPath(Tmux& tmux) { return {{"PATH", tmux.path("bin") + ":" + std::getenv("PATH")}}; }

const char* const TERMINAL_TYPES[] = {"xterm-256color", "screen", "tmux-256color"};

// From a shell with job control, starts the program with an editor that
// reads a line and then runs `afterReading`, opens it with the File menu's
// N, and stops the job with Ctrl-Z while the editor waits.
void stopWhileTheEditorReads(Tmux& tmux, const std::string& afterReading) {
    tmux.writeFile("editor", "#!/bin/sh\necho EDITOR-READY\nread line\n" + afterReading, true);
    tmux.writeFile("puzzle.txt", "Ab\n");
    tmux.start({"puzzle.txt"}, {{"VISUAL", tmux.path("editor")}}, "", true);
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    fileCommand(tmux, "N", "File to create?", "new.txt");
    ASSERT_TRUE(tmux.waitForText("EDITOR-READY"));
    tmux.recordOutput();
    tmux.press("C-z");
    ASSERT_TRUE(tmux.waitForText("Stopped"));
    // Nothing of the program's was written under the editor: no cursor
    // move, no leaving of the screen or the keypad's mode.
    std::string written = tmux.stopRecordingOutput();
    for (const char* sequence : {"\033[?1049", "\033[24;1H", "\033[?1l"})
        EXPECT_EQ(written.find(sequence), std::string::npos) << sequence;
}

}  // namespace

TEST(Children, CtrlZWhileTheEditorRunsStopsTheProgramWithIt) {
    Tmux tmux;
    stopWhileTheEditorReads(tmux, "stty -a > " + tmux.path("mode") + "\nprintf '%s\\n' \"$line\" > \"$1\"\n");
    tmux.type("fg");
    tmux.press("Enter");
    // The editor reads its line in the modes the shell gave it; the program
    // neither repainted nor switched the terminal under it.
    tmux.type("Xyz abc");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitFor([](const Screen& s) { return startsWith(s.lines[0], MAIN_BAR) && s.contains("Xyz abc"); },
                             "the new puzzle"));
    std::string mode = tmux.readFile("mode");
    EXPECT_NE(mode.find(" icanon"), std::string::npos) << mode;
    EXPECT_NE(mode.find(" echo "), std::string::npos) << mode;
    EXPECT_NE(mode.find(" icrnl"), std::string::npos) << mode;
    tmux.type("q");
    EXPECT_EQ(tmux.waitForExit(), 0);
}

TEST(Children, KillingTheStoppedJobLeavesTheShellItsTerminal) {
    Tmux tmux;
    stopWhileTheEditorReads(tmux, "");
    killStoppedJob(tmux);
}

TEST(Children, QuitWhileTheEditorRunsEndsItAndRestoresTheTerminal) {
    for (int signalNumber : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(signalNumber));
        Tmux tmux;
        // An editor that takes a moment to save its work when asked to end.
        tmux.writeFile("editor",
                       "#!/bin/sh\ntrap 'sleep 0.3; echo saved > " + tmux.path("saved") + "; exit 0' TERM\necho $$ > " +
                           tmux.path("editor-pid") + "\nwhile :; do sleep 0.05; done\n",
                       true);
        tmux.runBefore("stty -g > " + shellQuote(tmux.path("modes-before")));
        tmux.runAfter("stty -g > " + shellQuote(tmux.path("modes-after")));
        startOn(tmux, "Ab\n", {{"VISUAL", tmux.path("editor")}});
        fileCommand(tmux, "N", "File to create?", "new.txt");
        ASSERT_TRUE(appearsWithin(tmux.path("editor-pid"), Tmux::DEADLINE));
        tmux.signal(signalNumber);
        EXPECT_EQ(tmux.waitForExit(), 0);
        EXPECT_TRUE(endsWithin(std::atoi(tmux.readFile("editor-pid").c_str()), std::chrono::seconds(2)));
        EXPECT_EQ(tmux.readFile("saved"), "saved\n");
        EXPECT_EQ(tmux.readFile("modes-after"), tmux.readFile("modes-before"));
    }
}

TEST(Children, CtrlZDuringGenerateGivesTheShellItsScreen) {
    Tmux tmux;
    tmux.writeFile("bin/fortune", "#!/bin/sh\nwhile [ ! -e go ]; do sleep 0.02; done\nprintf 'a b\\nc d\\ne f\\n'\n",
                   true);
    tmux.writeFile("puzzle.txt", "Ab\n");
    tmux.start({"puzzle.txt"}, onPath(tmux), "", true);
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    tmux.type("TG");
    ASSERT_TRUE(tmux.waitForLine(0, "Please wait, generating..."));
    tmux.press("C-z");
    // Stopped, the job leaves the terminal as curses mode found it: the
    // shell's own screen, not the program's.
    ASSERT_TRUE(tmux.waitFor([](const Screen& s) { return !s.alternate && s.contains("Stopped"); },
                             "the shell's screen while the job is stopped"));
    tmux.type("fg");
    tmux.press("Enter");
    tmux.writeFile("go", "");
    ASSERT_TRUE(tmux.waitFor(
        [](const Screen& s) {
            return s.alternate && startsWith(s.lines[0], MAIN_BAR) && trimmed(s.lines[1]) == "_ _" &&
                   trimmed(s.lines[5]) == "_ _" && trimmed(s.lines[7]).empty() && s.cursorShown;
        },
        "the new puzzle, the screen taken up afresh"));

    // Killed while stopped during G, it ends without touching the terminal
    // the shell now has.
    std::filesystem::remove(tmux.path("go"));
    tmux.type("TG");
    ASSERT_TRUE(tmux.waitForLine(0, "Please wait, generating..."));
    tmux.press("C-z");
    ASSERT_TRUE(tmux.waitFor([](const Screen& s) { return !s.alternate && s.contains("Stopped"); },
                             "the shell's screen once more"));
    killStoppedJob(tmux);
}

TEST(Children, QuitDuringGenerateEndsFortuneAndAllItStarted) {
    const std::pair<int, const char*> ways[] = {{SIGTERM, nullptr}, {SIGHUP, nullptr}, {SIGQUIT, nullptr}, {0, "C-c"}};
    for (const auto& [signalNumber, keys] : ways) {
        SCOPED_TRACE(keys ? keys : strsignal(signalNumber));
        Tmux tmux;
        tmux.writeFile("bin/fortune", "#!/bin/sh\nsleep 30 & echo $! > " + tmux.path("sleeper") + "\nwait\n", true);
        tmux.writeFile("puzzle.txt", "Ab\n");
        // The keyboard's Ctrl-C goes to the foreground job: the program's
        // job, from a shell with job control.
        tmux.start({"puzzle.txt"}, onPath(tmux), "", keys != nullptr);
        ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
        tmux.type("TG");
        ASSERT_TRUE(appearsWithin(tmux.path("sleeper"), Tmux::DEADLINE));
        ASSERT_TRUE(tmux.waitForLine(0, "Please wait, generating..."));
        auto asked = std::chrono::steady_clock::now();
        if (keys)
            tmux.press(keys);
        else
            tmux.signal(signalNumber);
        EXPECT_EQ(tmux.waitForExit(), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
        pid_t sleeper = std::atoi(tmux.readFile("sleeper").c_str());
        ASSERT_GT(sleeper, 0);
        EXPECT_TRUE(endsWithin(sleeper, std::chrono::seconds(2)));
    }
}

TEST(Children, RepaintsLeaveNothingOtherProgramsWrote) {
    // What a failing shell prints on the terminal, many times over: long
    // lines whose newlines, in curses mode, do not return the cursor.
    std::string junk;
    for (int line = 0; line < 8; ++line) junk += "sh: 1: cannot create tmp.tmp: Is a directory\n";
    junk += "\033[?25l";  // and the cursor hidden
    for (const char* type : TERMINAL_TYPES) {
        SCOPED_TRACE(type);
        Tmux tmux;
        // An editor that draws on the alternate screen and leaves without
        // cleaning up, and a fortune that writes straight on the terminal
        // and never has a usable text.
        tmux.writeFile("bin/editor", "#!/bin/sh\nprintf '\\033[?1049h\\033[12;30HJUNK-OF-EDITOR\\033[?25l'\n"
                                     "printf 'One fish\\ntwo fish\\n' > \"$1\"\n", true);
        tmux.writeFile("bin/fortune", "#!/bin/sh\necho 'sh: 1: cannot create tmp.tmp: Is a directory' > /dev/tty\n"
                                      "echo 'One line'\n", true);
        Tmux::Environment environment = onPath(tmux);
        environment.push_back({"TERM", type});
        environment.push_back({"VISUAL", tmux.path("bin/editor")});
        startOn(tmux, "Ab\n", environment);

        fileCommand(tmux, "N", "File to create?", "fish.txt");
        const std::vector<std::string> fish = {"___ ____", "One fish", "___ ____", "two fish"};
        ASSERT_TRUE(tmux.waitFor([&](const Screen& s) { return showsMainScreenOnly(s, fish); },
                                 "the new puzzle alone after the editor"));

        tmux.writeToTerminal(junk);
        ASSERT_TRUE(tmux.waitForText("Is a directory"));
        tmux.press("C-l");
        ASSERT_TRUE(tmux.waitFor([&](const Screen& s) { return showsMainScreenOnly(s, fish); },
                                 "Ctrl-L to leave the main screen alone"));

        tmux.type("TG");
        ASSERT_TRUE(tmux.waitForLine(0, "No usable text from fortune. Press a key.", std::chrono::seconds(30)));
        EXPECT_FALSE(tmux.capture().contains("Is a directory"));
        tmux.type("x");
        ASSERT_TRUE(tmux.waitFor([&](const Screen& s) { return showsMainScreenOnly(s, fish); },
                                 "the main screen alone after fortune"));
    }
}
