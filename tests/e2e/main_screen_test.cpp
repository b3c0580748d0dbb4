// The main screen and the main menu, driven as a user would in a terminal.
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

bool warningShown(const Screen& screen) {
    return screen.lines.at(ENTRIES_ROW).find("<-- Warning: duplicates") != std::string::npos;
}

}  // namespace

TEST(MainScreen, WelcomeScreenHasBarPanelsAndColours) {
    Tmux tmux;
    tmux.start({});
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    Screen screen = tmux.capture();

    const ScreenCell& bar = screen.at(0, 1);
    EXPECT_TRUE(bar.reverse);
    EXPECT_EQ(bar.foreground, 2);
    EXPECT_EQ(bar.background, 0);
    EXPECT_TRUE(screen.at(0, 57).reverse);
    EXPECT_FALSE(screen.at(0, 58).reverse);

    EXPECT_EQ(screen.lines[1].substr(0, 22), "_______ __ __________!");
    EXPECT_EQ(screen.lines[2].substr(0, 22), "Welcome to Quorvantis!");
    EXPECT_EQ(screen.lines[12].substr(0, 22), "have also given the fi");
    // Six lines make twelve rows, bold over dim, white on black.
    for (int row = 1; row <= 12; ++row) {
        const ScreenCell& cell = screen.at(row, 0);
        EXPECT_EQ(cell.bold, row % 2 == 1) << "row " << row;
        EXPECT_EQ(cell.dim, row % 2 == 0) << "row " << row;
        EXPECT_EQ(cell.foreground, 7) << "row " << row;
        EXPECT_EQ(cell.background, 0) << "row " << row;
    }
    EXPECT_EQ(screen.lines[13].find_first_not_of(' '), std::string::npos);

    EXPECT_EQ(screen.lines[KEY_ROW].substr(0, 38), "Cyphertext: ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(screen.lines[ENTRIES_ROW].find_last_not_of(' '), 9u);
    EXPECT_EQ(screen.lines[TITLE_ROW].rfind(PRODUCT_TITLE + " by ", 0), 0u);
    EXPECT_NE(screen.lines[TITLE_ROW].find("README"), std::string::npos);
    for (int row : {KEY_ROW, ENTRIES_ROW, TITLE_ROW}) {
        EXPECT_EQ(screen.at(row, 0).foreground, 4) << "row " << row;
        EXPECT_FALSE(screen.at(row, 0).bold || screen.at(row, 0).dim || screen.at(row, 0).reverse);
    }
    EXPECT_EQ(tmux.cursor(), std::make_pair(0, 58));
}

TEST(MainScreen, SetAndUnsetThroughBothPrompts) {
    Tmux tmux;
    startOn(tmux, "Abc cab\nbad\n");

    tmux.type("S");
    ASSERT_TRUE(tmux.waitForLine(0, "Cyphertext letter to set?"));
    EXPECT_FALSE(tmux.capture().at(0, 0).reverse);
    EXPECT_EQ(tmux.cursor(), std::make_pair(0, 26));
    tmux.type("a");
    ASSERT_TRUE(tmux.waitForLine(0, "Set letter \"a\" to which plaintext letter (spacebar to unset)?"));
    tmux.type("t");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    Screen screen = tmux.capture();
    EXPECT_EQ(screen.lines[1].substr(0, 7), "T__ _T_");
    EXPECT_EQ(screen.lines[3].substr(0, 3), "_T_");
    EXPECT_EQ(shownEntries(screen), "T                         ");

    // 'Q' at a prompt is an answer, not a quit.
    tmux.type("SBq");
    ASSERT_TRUE(tmux.waitForText("TQ_ _TQ"));
    EXPECT_EQ(shownEntries(tmux.capture()), "TQ                        ");

    // A space unsets; a key that is no letter still gets the second prompt.
    tmux.type("Sa ");
    ASSERT_TRUE(tmux.waitForText("_Q_ __Q"));
    tmux.type("S7");
    ASSERT_TRUE(tmux.waitForLine(0, "Set letter \"7\" to which plaintext letter (spacebar to unset)?"));
    tmux.type("x");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_EQ(shownEntries(tmux.capture()), " Q                        ");

    tmux.type("U");
    ASSERT_TRUE(tmux.waitForLine(0, "Cyphertext letter to unset?"));
    tmux.type("!");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_EQ(shownEntries(tmux.capture()), " Q                        ");
    tmux.type("ub");
    ASSERT_TRUE(tmux.waitForText("___ ___"));
    EXPECT_EQ(shownEntries(tmux.capture()), std::string(26, ' '));
}

TEST(MainScreen, DuplicateWarningComesAndGoesAndIgnoresNonLetters) {
    Tmux tmux;
    startOn(tmux, "abcd\n");
    tmux.type("Sa7Sb7");
    ASSERT_TRUE(tmux.waitForText("77__"));
    EXPECT_FALSE(warningShown(tmux.capture()));

    tmux.type("ScEsde");
    ASSERT_TRUE(tmux.waitForText("77EE"));
    Screen screen = tmux.capture();
    EXPECT_TRUE(warningShown(screen));
    EXPECT_EQ(screen.lines[ENTRIES_ROW].substr(38, 25), " <-- Warning: duplicates ");

    tmux.type("Sae");
    ASSERT_TRUE(tmux.waitForText("E7EE"));
    EXPECT_TRUE(warningShown(tmux.capture()));

    tmux.type("UcUd");
    ASSERT_TRUE(tmux.waitForText("E7__"));
    EXPECT_FALSE(warningShown(tmux.capture()));
}

TEST(MainScreen, ResetBlanksTheWholeKeyAndOtherKeysChangeNothing) {
    Tmux tmux;
    tmux.writeFile("solved.bin", binaryPuzzle("BCDEFGHIJKLMNOPQRSTUVWXYZA", "Hello, World!\n"));
    tmux.start({"solved.bin"});
    ASSERT_TRUE(tmux.waitForText("IFMMP, XPSME!"));
    Screen before = tmux.capture();
    EXPECT_EQ(shownEntries(before), "BCDEFGHIJKLMNOPQRSTUVWXYZA");

    // Unknown keys, Ctrl-L and the bytes of a cursor key leave it all alone.
    tmux.type("xz9");
    tmux.press("Escape");
    tmux.press("Enter");
    tmux.press("C-l");
    tmux.press("Up");
    tmux.type("S");
    ASSERT_TRUE(tmux.waitForLine(0, "Cyphertext letter to set?"));
    tmux.type("ab");  // entry A already holds B
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    Screen after = tmux.capture();
    EXPECT_EQ(after.lines, before.lines);

    tmux.type("r");
    ASSERT_TRUE(tmux.waitForText("_____, _____!"));
    EXPECT_EQ(tmux.capture().lines[ENTRIES_ROW].find_last_not_of(' '), 9u);
}

TEST(MainScreen, QuitEndsWithStatusZeroInEitherCase) {
    for (const char* quit : {"Q", "q"}) {
        Tmux tmux;
        tmux.start({});
        ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
        tmux.type("Sab");
        tmux.type(quit);
        EXPECT_EQ(tmux.waitForExit(), 0) << quit;
        // Nothing was saved, and the terminal has its normal screen back.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmux.dir()), {}), 0);
        EXPECT_TRUE(normalScreenBack(tmux)) << quit;
    }
}

TEST(MainScreen, CommandLineLoadsOnlyASingleArgument) {
    Tmux plain;
    plain.writeFile("plain.txt", "Xyz abc\nlast line without newline");
    plain.start({"plain.txt"});
    ASSERT_TRUE(plain.waitForText("___ ___"));
    Screen screen = plain.capture();
    EXPECT_EQ(screen.lines[2].substr(0, 7), "Xyz abc");
    EXPECT_EQ(screen.lines[3].substr(0, 26), "____ ____ _______ _______ ");
    EXPECT_EQ(screen.lines[4].substr(0, 25), "last line without newline");
    EXPECT_EQ(screen.lines[5].find_first_not_of(' '), std::string::npos);

    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"missing.txt"}, std::vector<std::string>{"a.txt", "b.txt"}}) {
        Tmux tmux;
        tmux.writeFile("a.txt", "Aaa\n");
        tmux.writeFile("b.txt", "Bbb\n");
        tmux.start(arguments);
        ASSERT_TRUE(tmux.waitForText("Welcome to Quorvantis!"));
    }
}

TEST(MainScreen, LongTextFillsThePanelAndStopsAtItsEnd) {
    Tmux tmux;
    std::string text;
    for (int line = 0; line < 30; ++line) text += "line" + std::string(1, static_cast<char>('a' + line % 26)) + "\n";
    // A line exactly as wide as the terminal takes one row; a wider one wraps.
    text = std::string(80, 'w') + "\n" + std::string(85, 'v') + "\n" + text;
    tmux.writeFile("long.txt", text);
    tmux.start({"long.txt"});
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    Screen screen = tmux.capture();
    EXPECT_EQ(screen.lines[1], std::string(80, '_'));
    EXPECT_EQ(screen.lines[2], std::string(80, 'w'));
    EXPECT_EQ(screen.lines[3], std::string(80, '_'));
    EXPECT_EQ(screen.lines[4], "_____" + std::string(75, ' '));
    EXPECT_EQ(screen.lines[5], std::string(80, 'v'));
    EXPECT_EQ(screen.lines[6].substr(0, 5), "vvvvv");
    for (int row = 7, line = 0; row <= 20; row += 2, ++line) {
        EXPECT_EQ(screen.lines[row].substr(0, 6), "_____ ") << "row " << row;
        EXPECT_EQ(screen.lines[row + 1].substr(0, 6), "line" + std::string(1, static_cast<char>('a' + line)) + " ")
            << "row " << row + 1;
    }
    EXPECT_EQ(screen.lines[KEY_ROW].substr(0, 12), "Cyphertext: ");
}

TEST(MainScreen, OddKeyBytesTakeOneColumnEach) {
    Tmux tmux;
    // Entries A, B, C hold a control byte, a newline and a byte above 0x7F.
    std::string key = std::string("\x01\n\xe9", 3) + "DEFGHIJKLMNOPQRSTUVWXYZ";
    tmux.writeFile("odd.bin", binaryPuzzle(key, "abc, dab\tz!\n"));
    tmux.start({"odd.bin"});
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    Screen screen = tmux.capture();
    EXPECT_EQ(shownEntries(screen), "???DEFGHIJKLMNOPQRSTUVWXYZ");
    for (int column = 12; column < 15; ++column) EXPECT_TRUE(screen.at(ENTRIES_ROW, column).reverse);
    EXPECT_FALSE(screen.at(ENTRIES_ROW, 15).reverse);

    // The tab reaches column 16 in both rows.
    EXPECT_EQ(screen.lines[1].substr(0, 19), "???, D??" + std::string(8, ' ') + "Z! ");
    EXPECT_EQ(screen.lines[2].substr(0, 19), "abc, dab" + std::string(8, ' ') + "z! ");
    EXPECT_TRUE(screen.at(1, 0).reverse && screen.at(1, 0).bold);
    EXPECT_FALSE(screen.at(1, 5).reverse);
}

TEST(MainScreen, EndOfInputEndsTheProgramAtOnce) {
    Tmux tmux;
    tmux.start({}, {}, "/dev/null");
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(tmux.waitForExit(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

TEST(MainScreen, HangUpEndsTheProgramEvenWithSighupIgnored) {
    Tmux tmux;
    tmux.runBefore("trap '' HUP");
    tmux.withoutLeakCheck();
    tmux.start({});
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    tmux.hangUp();
    EXPECT_EQ(tmux.waitForExit(), 0);
}

TEST(MainScreen, TerminationSignalsRestoreTheTerminal) {
    for (int signalNumber : {SIGTERM, SIGHUP, SIGINT}) {
        Tmux tmux;
        if (signalNumber == SIGHUP) tmux.withoutLeakCheck();
        tmux.start({});
        ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
        tmux.signal(signalNumber);
        EXPECT_EQ(tmux.waitForExit(), 0) << "signal " << signalNumber;
        EXPECT_TRUE(normalScreenBack(tmux)) << "signal " << signalNumber;
    }
}
