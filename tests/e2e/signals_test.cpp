// Signals and terminal states that end programs: every way out leaves the
// terminal as the program found it, and failed writes are reported.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "screens.h"
#include "tmux_driver.h"

namespace {

// Records the terminal's modes before and after the program, in the
// program's own terminal.
void recordModes(Tmux& tmux) {
    tmux.runBefore("stty -g > " + shellQuote(tmux.path("modes-before")));
    tmux.runAfter("stty -g > " + shellQuote(tmux.path("modes-after")));
}

std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Whether the process comes to have the file open, within a few seconds.
bool holdsOpen(int pid, const std::string& path) {
    auto deadline = std::chrono::steady_clock::now() + Tmux::DEADLINE;
    std::string descriptors = "/proc/" + std::to_string(pid) + "/fd";
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(descriptors, error))
            if (std::filesystem::read_symlink(entry.path(), error) == path) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Reads one byte from a FIFO and closes it, having shrunk the pipe to one
// page, so that a longer write is cut off by a reader that has gone.
pid_t startImpatientReader(const std::string& fifo) {
    pid_t reader = fork();
    if (reader == 0) {
        int descriptor = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        if (descriptor < 0) _exit(1);
        fcntl(descriptor, F_SETPIPE_SZ, 4096);
        pollfd waiting{descriptor, POLLIN, 0};
        char byte;
        _exit(poll(&waiting, 1, 10000) == 1 && read(descriptor, &byte, 1) == 1 ? 0 : 1);
    }
    return reader;
}

}  // namespace

TEST(Signals, EveryQuitSignalRestoresTheTerminal) {
    for (int signalNumber : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
        Tmux tmux;
        recordModes(tmux);
        tmux.start({});
        ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
        tmux.signal(signalNumber);
        EXPECT_EQ(tmux.waitForExit(), 0) << "signal " << signalNumber;
        EXPECT_EQ(tmux.readFile("modes-after"), tmux.readFile("modes-before")) << "signal " << signalNumber;
    }
    // Ctrl-\ from the keyboard, from a shell as a user has it.
    Tmux keyboard;
    keyboard.writeFile("puzzle.txt", "Ab\n");
    keyboard.start({"puzzle.txt"}, {}, "", true);
    ASSERT_TRUE(keyboard.waitForLine(0, MAIN_BAR));
    keyboard.press("C-\\");
    EXPECT_EQ(keyboard.waitForExit(), 0);
}

TEST(Signals, SaveBeyondTheFileSizeLimitIsReported) {
    Tmux tmux;
    tmux.runBefore("ulimit -f 1");
    tmux.writeFile("old.txt", "old");
    startOn(tmux, std::string(1500, 'x') + "\n");
    fileCommand(tmux, "T", "Text file to save?", "old.txt");
    ASSERT_TRUE(tmux.waitForLine(0, "Could not write old.txt: File too large. Press a key."));
    EXPECT_EQ(tmux.readFile("old.txt"), "old");
    EXPECT_EQ(namesIn(tmux.dir()), (std::vector<std::string>{"old.txt", "puzzle.txt"}));
    tmux.type("x");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
}

TEST(Signals, SaveIntoAPipeWhoseReaderLeftIsReported) {
    Tmux tmux;
    ASSERT_EQ(mkfifo(tmux.path("fifo").c_str(), 0600), 0);
    startOn(tmux, std::string(3000, 'x') + "\n");
    pid_t reader = startImpatientReader(tmux.path("fifo"));
    fileCommand(tmux, "T", "Text file to save?", "fifo");
    ASSERT_TRUE(tmux.waitForLine(0, "Could not write fifo: Broken pipe. Press a key."));
    waitpid(reader, nullptr, 0);
    tmux.type("x");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
}

TEST(Signals, QuitWhileAFifoHoldsTheProgram) {
    // The test holds the FIFO open at both ends, with its pipe shrunk to a
    // page: a read of it waits for bytes that never come, and a text export
    // longer than a page waits for a reader that never reads.
    for (const char* command : {"L", "T"}) {
        SCOPED_TRACE(command);
        Tmux tmux;
        ASSERT_EQ(mkfifo(tmux.path("fifo").c_str(), 0600), 0);
        int holder = open(tmux.path("fifo").c_str(), O_RDWR);
        ASSERT_GE(holder, 0);
        fcntl(holder, F_SETPIPE_SZ, 4096);
        startOn(tmux, std::string(3000, 'x') + "\n");
        tmux.type(std::string("F") + command);
        ASSERT_TRUE(tmux.waitFor([](const Screen& s) { return s.lines[0].find("? ") != std::string::npos; },
                                 "the name prompt"));
        tmux.type("fifo");
        tmux.press("Enter");
        ASSERT_TRUE(holdsOpen(tmux.programPid(), tmux.path("fifo")));
        tmux.signal(SIGTERM);
        EXPECT_EQ(tmux.waitForExit(), 0);
        close(holder);
    }
}

TEST(Signals, InputLeftNonBlockingIsStillWaitedFor) {
    Tmux tmux;
    const std::string setNonBlocking = "perl -MFcntl -e 'fcntl(STDIN, F_SETFL, fcntl(STDIN, F_GETFL, 0) | O_NONBLOCK)'";
    const std::string flags = "perl -MFcntl -e 'print fcntl(STDIN, F_GETFL, 0) & O_NONBLOCK ? \"on\" : \"off\"' > ";
    // Left so by an earlier program, and again by the editor while the
    // program runs: the terminal's file description is shared.
    tmux.runBefore(setNonBlocking);
    tmux.runAfter(flags + shellQuote(tmux.path("nonblocking-after")));
    tmux.writeFile("editor", "#!/bin/sh\n" + setNonBlocking + "\necho Xyz > \"$1\"\n", true);
    startOn(tmux, "Ab\n", {{"VISUAL", tmux.path("editor")}});
    tmux.type("Sab");
    ASSERT_TRUE(tmux.waitForText("B_"));
    fileCommand(tmux, "N", "File to create?", "new.txt");
    ASSERT_TRUE(tmux.waitForText("Xyz"));
    tmux.type("Sxq");
    ASSERT_TRUE(tmux.waitForLine(1, "Q__"));
    EXPECT_FALSE(tmux.exited());
    tmux.type("q");
    EXPECT_EQ(tmux.waitForExit(), 0);
    EXPECT_EQ(tmux.readFile("nonblocking-after"), "on");  // as the program found it
}

TEST(Signals, UnusableTerminalIsRefusedInWords) {
    const std::pair<const char*, const char*> cases[] = {
        {"TERM=dumb", "quorvantis: terminal type 'dumb' cannot move the cursor; set TERM to your terminal's type\n"},
        {"TERM=no-such-terminal",
         "quorvantis: terminal type 'no-such-terminal' is not known; set TERM to your terminal's type\n"},
        {"-u TERM", "quorvantis: TERM is not set; set TERM to your terminal's type\n"},
    };
    for (const auto& [setting, expected] : cases) {
        // The terminal library keeps a little memory when it cannot load a
        // description, and the program ends right after.
        auto [status, output] = runWithoutTerminal("env " + std::string(setting) + " ASAN_OPTIONS=detect_leaks=0 " +
                                                   shellQuote(QUORVANTIS_BINARY));
        EXPECT_EQ(status, 1) << setting;
        EXPECT_EQ(output, expected);
    }
}
