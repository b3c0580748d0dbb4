// What the tests look for on the program's screen, shared by every suite.
#pragma once

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

// Starts the program on a puzzle file holding `text` and waits for its
// main screen.
inline void startOn(Tmux& tmux, const std::string& text, const Tmux::Environment& environment = {}) {
    tmux.writeFile("puzzle.txt", text);
    tmux.start({"puzzle.txt"}, environment);
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
}
