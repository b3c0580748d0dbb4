// Function and cursor keys, flow control and Escape, as a real keyboard
// sends them.
#include <chrono>
#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "screens.h"
#include "tmux_driver.h"

namespace {

std::string binaryPuzzle(const std::string& key, const std::string& text) {
    return std::string("CGFILE1\0", 8) + key + text;
}

// Each of these, read byte by byte, would hold a menu letter: F2 ends in Q,
// F3 in R, F4 in S, End in F, Delete holds 3; the codes of Shift-Up, PgDn
// and PgUp have the low bytes Q, R and S. With modifiers, many are keys that
// a terminal's description does not name (on TERM=screen, most).
const char* const SPECIAL_KEYS[] = {"F2",   "F3",   "F4",  "End",  "S-Up",   "NPage",   "PPage",  "Home",
                                    "IC",   "DC",   "Left", "Right", "Up",   "Down",    "F1",     "F12",
                                    "S-F2", "C-F3", "S-F4", "C-End", "S-DC", "C-Right", "C-Left", "M-Up"};

void pressAll(Tmux& tmux) {
    for (const char* key : SPECIAL_KEYS) tmux.press(key);
}

}  // namespace

TEST(Keys, FunctionAndCursorKeysAreNeverCommandsOrAnswers) {
    for (const char* type : {"tmux-256color", "screen"}) {
        SCOPED_TRACE(type);
        Tmux tmux;
        std::string key = "BCDEFGHIJKLMNOPQRSTUVWXYZA";
        tmux.writeFile("solved.bin", binaryPuzzle(key, "Hello, World!\n"));
        tmux.start({"solved.bin"}, {{"TERM", type}});
        ASSERT_TRUE(tmux.waitForText("IFMMP, XPSME!"));
        // The terminal sends cursor keys in the form the description names.
        EXPECT_EQ(tmux.paneValue("#{keypad_cursor_flag}"), "1");

        // At the main menu nothing quits, resets or opens.
        pressAll(tmux);
        tmux.type("S");
        ASSERT_TRUE(tmux.waitForLine(0, "Cyphertext letter to set?"));
        // At a letter prompt they are no answer: the prompt keeps waiting.
        pressAll(tmux);
        tmux.type("h");
        ASSERT_TRUE(tmux.waitForLine(0, "Set letter \"h\" to which plaintext letter (spacebar to unset)?"));
        pressAll(tmux);
        tmux.type("x");
        ASSERT_TRUE(tmux.waitForText("XFMMP, XPSME!"));

        // In the File menu none of them chooses or cancels.
        tmux.type("F");
        ASSERT_TRUE(tmux.waitForLine(0, FILE_BAR));
        pressAll(tmux);
        tmux.type("T");
        ASSERT_TRUE(tmux.waitForLine(0, "Text file to save?"));
        // In the name prompt they type nothing; Backspace erases, and the
        // keypad's Enter ends the name.
        tmux.type("ab");
        pressAll(tmux);
        tmux.type("cX");
        tmux.press("BSpace");
        tmux.press("KPEnter");  // the keypad's own Enter
        ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
        EXPECT_TRUE(std::filesystem::exists(tmux.path("abc")));

        // In the Tools menu neither Delete (ESC [ 3 ~) nor Right (ESC [ C)
        // applies ROT13 or cancels.
        tmux.type("R");
        ASSERT_TRUE(tmux.waitForText("_____, _____!"));
        tmux.type("T");
        ASSERT_TRUE(tmux.waitForLine(0, TOOLS_BAR));
        pressAll(tmux);
        tmux.type("c");
        ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
        EXPECT_EQ(shownEntries(tmux.capture()), std::string(26, ' '));
        EXPECT_FALSE(tmux.exited());
    }
}

TEST(Keys, PastedSequencesAreDroppedWholeAndTheKeypadTypesItsCharacters) {
    // xterm's description names the keypad's corner keys; tmux's does not.
    for (const char* type : {"tmux-256color", "xterm-256color"}) {
        SCOPED_TRACE(type);
        Tmux tmux;
        startOn(tmux, "Ab\n", {{"TERM", type}});
        // A title, a link and a character-set switch, as a paste may hold them,
        // Alt with a letter, shifted function keys in an older form, a mouse
        // report: none of their bytes is a command (T would open the Tools
        // menu, R blank the key, Q quit) or typed into a name.
        const std::string pasted = "\033]0;Title T\007\033P1$r0mR\033\\\033]8;;http://t.example/\033\\\033(B"
                                   "\033\xc3\xa9\033O2Q\033O1;2R\033[M#RQ";
        tmux.type(pasted);
        tmux.type("F");
        ASSERT_TRUE(tmux.waitForLine(0, FILE_BAR));
        tmux.type("T");
        ASSERT_TRUE(tmux.waitForLine(0, "Text file to save?"));
        tmux.type("ab" + pasted + "c");
        // The numeric keypad types its digits.
        tmux.press("KP1");
        tmux.press("KP2");
        tmux.press("Enter");
        ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
        EXPECT_TRUE(std::filesystem::exists(tmux.path("abc12")));
        tmux.type("T");
        ASSERT_TRUE(tmux.waitForLine(0, TOOLS_BAR));
        tmux.press("KP3");
        ASSERT_TRUE(tmux.waitForText("NO"));
        EXPECT_EQ(shownEntries(tmux.seen()), "NOPQRSTUVWXYZABCDEFGHIJKLM");
    }
}

TEST(Keys, EscapeAloneIsAnOrdinaryAnswer) {
    Tmux tmux;
    startOn(tmux, "Ab\n");
    tmux.type("S");
    ASSERT_TRUE(tmux.waitForLine(0, "Cyphertext letter to set?"));
    tmux.type("a");
    ASSERT_TRUE(tmux.waitForLine(0, "Set letter \"a\" to which plaintext letter (spacebar to unset)?"));
    // Taken at once: the wait for the rest of a key's sequence is short.
    auto pressed = std::chrono::steady_clock::now();
    tmux.press("Escape");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::milliseconds(700));
    Screen screen = tmux.seen();
    EXPECT_EQ(shownEntries(screen).substr(0, 2), "? ");  // the escape byte, shown as an odd cell
    EXPECT_TRUE(screen.at(ENTRIES_ROW, 12).reverse);
}

TEST(Keys, CtrlSDoesNotFreezeTheScreen) {
    Tmux tmux;
    startOn(tmux, "Ab\n");
    tmux.press("C-s");
    tmux.type("Sab");
    ASSERT_TRUE(tmux.waitForText("B_"));
    tmux.signal(SIGTERM);
    EXPECT_EQ(tmux.waitForExit(), 0);
}
