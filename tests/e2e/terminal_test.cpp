// Real terminals: resizes, small sizes, UTF-8 text, job control, and the
// conventions of a command-line program.
#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "screens.h"
#include "tmux_driver.h"

namespace {

constexpr const char* NOTICE = "Quorvantis needs a terminal of at least 70 columns and 5 rows.";

// The key panel stands on the last three rows of a terminal `rows` high.
bool keyPanelAt(const Screen& screen, int rows) {
    return static_cast<int>(screen.lines.size()) == rows && startsWith(screen.lines[rows - 3], "Cyphertext: ABC") &&
           startsWith(screen.lines[rows - 2], "Plaintext:  B") && startsWith(screen.lines[rows - 1], PRODUCT_TITLE);
}

// The column at which the UTF-8 text `what` appears in `row`, counting cells.
int columnOf(const Screen& screen, int row, const std::string& what) {
    const std::vector<ScreenCell>& cells = screen.cells.at(row);
    for (std::size_t column = 0; column < cells.size(); ++column)
        if (cells[column].text == what) return static_cast<int>(column);
    return -1;
}

}  // namespace

// The resizes below wipe the terminal first (see Tmux::resize), so each
// wait is for a whole frame that the program drew for the new size.

TEST(Terminal, ResizeLaysTheMainScreenOutAgain) {
    Tmux tmux;
    startOn(tmux, "Abc\n");
    tmux.type("Sab");
    ASSERT_TRUE(tmux.waitForText("B__"));
    for (auto [columns, rows] : {std::pair{100, 30}, std::pair{70, 12}}) {
        tmux.resize(columns, rows);
        ASSERT_TRUE(tmux.waitFor(
            [rows = rows](const Screen& s) {
                return keyPanelAt(s, rows) && mainScreenDrawn(s) && startsWith(s.lines[1], "B__") &&
                       startsWith(s.lines[2], "Abc");
            },
            "the main screen laid out for " + std::to_string(columns) + "x" + std::to_string(rows)));
    }
}

TEST(Terminal, ResizeAtAPromptKeepsWhatWasTyped) {
    Tmux tmux;
    startOn(tmux, "Abc\n");
    tmux.type("S");
    ASSERT_TRUE(tmux.waitForLine(0, "Cyphertext letter to set?"));
    tmux.type("a");
    ASSERT_TRUE(tmux.waitForText("Set letter \"a\""));
    tmux.resize(90, 20);
    // The prompt stands again over a key panel in which the resize set nothing.
    ASSERT_TRUE(tmux.waitFor(
        [](const Screen& s) {
            return s.lines.size() == 20u && startsWith(s.lines[17], "Cyphertext:") &&
                   startsWith(s.lines[18], "Plaintext:   ") &&
                   startsWith(s.lines[0], "Set letter \"a\" to which plaintext letter (spacebar to unset)?");
        },
        "the prompt on a screen laid out for 90x20"));
    tmux.type("b");
    ASSERT_TRUE(tmux.waitForText("B__"));

    tmux.type("F");
    ASSERT_TRUE(tmux.waitForText("L:Load"));
    tmux.type("S");
    ASSERT_TRUE(tmux.waitForLine(0, "File to save keys to?"));
    tmux.type("half");
    ASSERT_TRUE(tmux.waitForLine(0, "File to save keys to? half"));
    tmux.resize(80, 24);
    ASSERT_TRUE(tmux.waitFor(
        [](const Screen& s) {
            return s.lines.size() == 24u && startsWith(s.lines[21], "Cyphertext:") &&
                   startsWith(s.lines[0], "File to save keys to? half") && s.cursor == std::make_pair(0, 26);
        },
        "the name prompt on a screen laid out for 80x24"));
    tmux.type("way");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_EQ(tmux.readFile("halfway"), "B" + std::string(25, ' '));
}

TEST(Terminal, ResizeKeepsTheStatisticsOfTheToolsMenu) {
    Tmux tmux;
    startOn(tmux, "Abc abc\n");
    tmux.type("T");
    ASSERT_TRUE(tmux.waitForLine(0, TOOLS_BAR));
    tmux.resize(100, 30);
    ASSERT_TRUE(tmux.waitFor(
        [](const Screen& s) {
            return s.lines.size() == 30u && startsWith(s.lines[27], "Cyphertext:") &&
                   startsWith(s.lines[0], TOOLS_BAR) && startsWith(s.lines[2], HEADING) &&
                   startsWith(s.lines[4], " A    2") && s.lines[4].substr(40, 7) == "  2 ABC";
        },
        "the statistics laid out for 100x30"));
    tmux.type("c");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
}

TEST(Terminal, SmallTerminalShowsANoticeUntilItGrows) {
    Tmux tmux;
    startOn(tmux, "Abc\n");
    // One column short. tmux shows the old frame until the program repaints,
    // so each wait is for rows that only the new state puts there.
    tmux.resize(69, 24);
    ASSERT_TRUE(tmux.waitForLine(0, NOTICE));
    tmux.type("Sab");  // ignored while the notice stands
    tmux.resize(40, 10);
    ASSERT_TRUE(tmux.waitForLine(1, "70 columns and 5 rows."));
    EXPECT_TRUE(tmux.waitForLine(0, "Quorvantis needs a terminal of at least"));
    tmux.resize(30, 3);  // broken between words, down to the last row
    ASSERT_TRUE(tmux.waitForLine(2, "rows."));
    EXPECT_TRUE(tmux.waitForLine(1, "at least 70 columns and 5"));
    tmux.resize(1, 1);
    ASSERT_TRUE(tmux.waitFor([](const Screen& s) { return s.lines.size() == 1u; }, "a 1x1 terminal"));
    tmux.resize(80, 4);
    ASSERT_TRUE(tmux.waitForLine(0, NOTICE));
    EXPECT_FALSE(tmux.exited());

    // The least size: a one-row text panel, and the whole File menu bar
    // with the cursor after it.
    tmux.resize(70, 5);
    ASSERT_TRUE(tmux.waitFor([](const Screen& s) { return s.lines.size() == 5u && startsWith(s.lines[2], "Cyphertext:"); },
                             "the screen at 70x5"));
    EXPECT_TRUE(startsWith(tmux.capture().lines[1], "___"));
    tmux.type("F");
    ASSERT_TRUE(tmux.waitForLine(0, FILE_BAR));
    EXPECT_EQ(tmux.cursor(), std::make_pair(0, 69));

    tmux.resize(30, 3);
    ASSERT_TRUE(tmux.waitForLine(2, "rows."));
    tmux.type("q");
    EXPECT_EQ(tmux.waitForExit(), 0);
}

TEST(Terminal, Utf8TextKeepsBothRowsAligned) {
    Tmux tmux;
    startOn(tmux, "\xe2\x80\x9c" "Caf\xc3\xa9" "\xe2\x80\x9d isn\xe2\x80\x99t \xff ok\n"
                  "Cafe\xcc\x81 noe\xcc\x88l!\n"
                  "e\xcc\x81\tx \xe6\x97\xa5\ty\n"
                  "\xef\xbb\xbf" "Ab\xe2\x80\x8d!\n");
    Screen screen = tmux.capture();
    // A combining mark joins the cell before it, in both rows, and takes no
    // column of its own; tabs stop every eight columns.
    EXPECT_TRUE(startsWith(screen.lines[3], "____\xcc\x81 ___\xcc\x88_! "));
    EXPECT_TRUE(startsWith(screen.lines[4], "Cafe\xcc\x81 noe\xcc\x88l! "));
    EXPECT_TRUE(startsWith(screen.lines[5], "_\xcc\x81       _ \xe6\x97\xa5    _ "));
    EXPECT_TRUE(startsWith(screen.lines[6], "e\xcc\x81       x \xe6\x97\xa5    y "));
    for (int row : {3, 4, 5, 6})
        for (const ScreenCell& cell : screen.cells[row]) EXPECT_FALSE(cell.reverse) << "row " << row;
    // A character that cannot be shown (a byte-order mark, a zero-width
    // joiner) is one odd cell, whatever its length in bytes.
    EXPECT_TRUE(startsWith(screen.lines[7], "?__?! "));
    EXPECT_TRUE(startsWith(screen.lines[8], "?Ab?! "));
    EXPECT_TRUE(screen.at(7, 0).reverse && screen.at(8, 3).reverse && !screen.at(8, 4).reverse);

    EXPECT_TRUE(startsWith(screen.lines[2], "\xe2\x80\x9c" "Caf\xc3\xa9" "\xe2\x80\x9d isn\xe2\x80\x99t ? ok"));
    EXPECT_TRUE(startsWith(screen.lines[1], "\xe2\x80\x9c___\xc3\xa9\xe2\x80\x9d ___\xe2\x80\x99_ ? __"));
    for (const char* character : {"\xe2\x80\x9c", "\xc3\xa9", "\xe2\x80\x9d", "\xe2\x80\x99"}) {
        EXPECT_NE(columnOf(screen, 2, character), -1) << character;
        EXPECT_EQ(columnOf(screen, 1, character), columnOf(screen, 2, character)) << character;
    }
    EXPECT_EQ(columnOf(screen, 2, "\xe2\x80\x99"), 10);
    EXPECT_EQ(columnOf(screen, 2, "o"), 15);
    EXPECT_TRUE(screen.at(1, 13).reverse && screen.at(2, 13).reverse);  // the byte that is no UTF-8

    // Under the C locale every byte above 0x7F is one odd cell, in both rows.
    Tmux plain;
    startOn(plain, "Caf\xc3\xa9 ok\n", {{"LANG", "C"}, {"LC_ALL", "C"}});
    Screen cells = plain.capture();
    EXPECT_TRUE(startsWith(cells.lines[1], "___?? __"));
    EXPECT_TRUE(startsWith(cells.lines[2], "Caf?? ok"));
    EXPECT_TRUE(cells.at(1, 3).reverse && cells.at(2, 4).reverse);
}

TEST(Terminal, CtrlZSuspendsAndFgRepaints) {
    Tmux tmux;
    tmux.writeFile("puzzle.txt", "Abc\n");
    tmux.start({"puzzle.txt"}, {}, "", true);
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    tmux.recordOutput();
    tmux.press("C-z");
    ASSERT_TRUE(tmux.waitForText("Stopped"));
    EXPECT_TRUE(normalScreenBack(tmux));
    tmux.type("fg");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_TRUE(startsWith(tmux.capture().lines[2], "Abc"));
    // The program's screen is left once and taken up once: leaving it again
    // on the way back would put the shell's cursor back where it was before
    // the program started.
    std::string written = tmux.stopRecordingOutput();
    auto count = [&](const std::string& sequence) {
        int found = 0;
        for (std::size_t at = written.find(sequence); at != std::string::npos; at = written.find(sequence, at + 1))
            ++found;
        return found;
    };
    EXPECT_EQ(count("\033[?1049l"), 1);
    EXPECT_EQ(count("\033[?1049h"), 1);

    // Put in the background, the program draws nothing until it is brought
    // back, and at a prompt it still waits for the answer.
    tmux.type("S");
    ASSERT_TRUE(tmux.waitForLine(0, "Cyphertext letter to set?"));
    tmux.press("C-z");
    ASSERT_TRUE(tmux.waitForText("Stopped"));
    tmux.type("bg; jobs; echo shell-$((6*7))");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForText("shell-42"));
    EXPECT_FALSE(tmux.seen().alternate);
    EXPECT_FALSE(tmux.seen().contains("Cyphertext letter to set?"));
    tmux.type("fg");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForLine(0, "Cyphertext letter to set?"));
    tmux.type("ab");
    ASSERT_TRUE(tmux.waitForText("B__"));

    // Stopped and brought back once more, then left with Q: the shell goes on
    // below what it wrote meanwhile, not over it.
    tmux.press("C-z");
    ASSERT_TRUE(tmux.waitForText("Stopped"));
    tmux.type("echo BEFORE");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForText("BEFORE"));
    tmux.type("fg");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    tmux.type("q");
    ASSERT_TRUE(normalScreenBack(tmux));
    tmux.type("echo AFTER");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForText("AFTER"));
    const std::vector<std::string>& rows = tmux.seen().lines;
    auto rowOf = [&](const std::string& text) {
        for (std::size_t row = rows.size(); row-- > 0;)
            if (rows[row].find(text) == 0) return static_cast<int>(row);
        return -1;
    };
    EXPECT_NE(rowOf("BEFORE"), -1) << tmux.seen().dump();
    EXPECT_GT(rowOf("AFTER"), rowOf("BEFORE")) << tmux.seen().dump();
}

TEST(Terminal, KillingAJobStoppedAtTheMenuEndsIt) {
    Tmux tmux;
    tmux.writeFile("puzzle.txt", "Abc\n");
    tmux.start({"puzzle.txt"}, {}, "", true);
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    tmux.press("C-z");
    ASSERT_TRUE(tmux.waitForText("Stopped"));
    killStoppedJob(tmux);
}

TEST(Terminal, HelpAndVersionPrintWithoutTheScreen) {
    // Run outside tmux, so that every byte written can be checked: plain
    // text on standard output, no terminal control at all.
    for (const char* option : {"--help", "--version"}) {
        auto [status, output] = runWithoutTerminal(shellQuote(QUORVANTIS_BINARY) + " " + option);
        EXPECT_EQ(status, 0) << option;
        EXPECT_EQ(output.find('\033'), std::string::npos) << option;
        if (std::string(option) == "--version") {
            EXPECT_EQ(output, PRODUCT_TITLE + "\n");
        } else {
            EXPECT_TRUE(startsWith(output, "Usage: quorvantis [PUZZLE-FILE]\n")) << output;
            EXPECT_NE(output.find("quorvantis(1)"), std::string::npos) << output;
        }
    }

    // A puzzle file named like the option opens through a path.
    Tmux file;
    file.writeFile("--help", "Xyz\n");
    file.start({"./--help"});
    ASSERT_TRUE(file.waitForText("Xyz"));
}
