// FIFOs and the terminal named on the command line or at the File menu: the
// program never waits on them and never takes the user's keys.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "screens.h"
#include "tmux_driver.h"

TEST(Files, FifosAndTheTerminalNeverHoldTheProgram) {
    Tmux tmux;
    ASSERT_EQ(mkfifo(tmux.path("fifo").c_str(), 0600), 0);
    tmux.writeFile("puzzle.txt", "Ab\n");
    tmux.start({"fifo"});  // no writer: an empty puzzle, at once
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    fileCommand(tmux, "L", "File to open?", "puzzle.txt");
    ASSERT_TRUE(tmux.waitForLine(2, "Ab"));
    fileCommand(tmux, "L", "File to open?", "fifo");
    ASSERT_TRUE(tmux.waitForLine(2, ""));
    fileCommand(tmux, "B", "Binary file to save?", "fifo");  // no reader
    ASSERT_TRUE(tmux.waitForLine(0, "Could not write fifo: No such device or address. Press a key."));
    tmux.type("x");

    // A terminal cannot be opened as a puzzle, and the keys typed next are
    // menu keys, not bytes of a puzzle.
    fileCommand(tmux, "L", "File to open?", "/dev/tty");
    ASSERT_TRUE(tmux.waitForText("Welcome to Quorvantis!"));
    tmux.type("T");
    EXPECT_TRUE(tmux.waitForLine(0, TOOLS_BAR));
    tmux.type("C");

    // Saved to the terminal, the export goes over the screen, which is
    // then painted anew.
    fileCommand(tmux, "L", "File to open?", "puzzle.txt");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    fileCommand(tmux, "T", "Text file to save?", "/dev/tty");
    ASSERT_TRUE(tmux.waitFor([](const Screen& s) { return showsMainScreenOnly(s, {"__", "Ab"}); },
                             "the main screen alone after the export"));
}
