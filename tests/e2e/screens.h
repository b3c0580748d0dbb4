// What the tests look for on the program's screen, shared by every suite.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "tmux_driver.h"

// Menu bars as tmux shows them, without their trailing blank.
inline constexpr const char* MAIN_BAR = " S:SetChar U:UnSetChar R:ResetChars F:File T:Tools Q:Quit";
inline constexpr const char* FILE_BAR = " L:Load T:saveText B:saveBinary S:SaveKeys K:LoadKeys N:New C:Cancel";
inline constexpr const char* TOOLS_BAR = " R:RandomCypher 3:ROT13 T:Transform G:Generate C:Cancel";
inline constexpr const char* HEADING = "Number of times each letter/word appears in cyphertext:";
// The name and version that the title row and --version show, from the build.
inline const std::string PRODUCT_TITLE = std::string("Quorvantis v") + QUORVANTIS_VERSION;

// On 24 rows the key panel takes the last three.
inline constexpr int KEY_ROW = 21;
inline constexpr int ENTRIES_ROW = 22;
inline constexpr int TITLE_ROW = 23;

inline bool startsWith(const std::string& line, const std::string& prefix) { return line.rfind(prefix, 0) == 0; }

// The 26 entries as the key panel shows them.
inline std::string shownEntries(const Screen& screen) {
    std::string row = screen.lines.at(ENTRIES_ROW);
    row.resize(38, ' ');
    return row.substr(12, 26);
}

// The main screen drawn to its end: the bar on top, the title on the last
// row, and the cursor after the bar, where the program puts it last.
inline bool mainScreenDrawn(const Screen& screen) {
    return !screen.lines.empty() && startsWith(screen.lines.front(), MAIN_BAR) &&
           startsWith(screen.lines.back(), PRODUCT_TITLE) &&
           screen.cursor == std::make_pair(0, static_cast<int>(std::string(MAIN_BAR).size()) + 1);
}

inline std::string trimmed(std::string line) {
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

// The main screen and nothing else: the menu bar, the puzzle's rows, blank
// rows down to the key panel of a blank key, and the cursor shown.
inline bool showsMainScreenOnly(const Screen& screen, const std::vector<std::string>& textRows) {
    if (screen.lines.size() != 24u || trimmed(screen.lines[0]) != MAIN_BAR || !screen.cursorShown) return false;
    for (int row = 1; row < KEY_ROW; ++row) {
        std::size_t line = static_cast<std::size_t>(row - 1);
        if (trimmed(screen.lines[row]) != (line < textRows.size() ? textRows[line] : "")) return false;
    }
    return trimmed(screen.lines[KEY_ROW]) == "Cyphertext: ABCDEFGHIJKLMNOPQRSTUVWXYZ" &&
           trimmed(screen.lines[ENTRIES_ROW]) == "Plaintext:" && startsWith(screen.lines[TITLE_ROW], "Quorvantis ");
}

// Opens the File menu and chooses `key`.
inline void openPrompt(Tmux& tmux, const std::string& key, const std::string& prompt) {
    tmux.type("F");
    ASSERT_TRUE(tmux.waitForLine(0, FILE_BAR));
    tmux.type(key);
    ASSERT_TRUE(tmux.waitForLine(0, prompt));
}

// Chooses `key` from the File menu and answers its prompt with `name`.
inline void fileCommand(Tmux& tmux, const std::string& key, const std::string& prompt, const std::string& name) {
    openPrompt(tmux, key, prompt);
    tmux.type(name);
    tmux.press("Enter");
}

// From the shell, kills the program's stopped job: the program must end,
// and the shell, waiting at its prompt meanwhile, must still have its
// terminal. "Done" is the shell's word for an exit status of 0.
inline void killStoppedJob(Tmux& tmux) {
    tmux.type("kill %1");
    tmux.press("Enter");
    ASSERT_TRUE(endsWithin(tmux.programPid(), std::chrono::seconds(3)));
    tmux.type("jobs; echo alive-$((6*7))");
    tmux.press("Enter");
    EXPECT_TRUE(tmux.waitForText("alive-42"));
    EXPECT_TRUE(tmux.seen().contains("Done"));
}

// Starts the program on a puzzle file holding `text` and waits for its
// main screen.
inline void startOn(Tmux& tmux, const std::string& text, const Tmux::Environment& environment = {}) {
    tmux.writeFile("puzzle.txt", text);
    tmux.start({"puzzle.txt"}, environment);
    ASSERT_TRUE(tmux.waitFor(mainScreenDrawn, "the main screen"));
}

// Once the program has ended or stopped, the terminal shows its normal
// screen again. Polled: tmux may still be taking in the program's last
// output when the shell already has its status.
inline bool normalScreenBack(Tmux& tmux) {
    return tmux.waitFor([](const Screen& screen) { return !screen.alternate; }, "the terminal's normal screen");
}

// Runs the program outside tmux through the shell, with its error output
// joined to its standard output, so that every byte it writes can be
// checked. Returns the exit status (-1 if it did not exit) and the output.
inline std::pair<int, std::string> runWithoutTerminal(const std::string& shellCommand) {
    FILE* program = popen((shellCommand + " 2>&1 </dev/null").c_str(), "r");
    if (!program) return {-1, ""};
    std::string output;
    char buffer[512];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, program)) > 0;) output.append(buffer, n);
    int status = pclose(program);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}
