// The curses screen: its three windows, their layout, and the main loop.
#pragma once

#include <curses.h>

#include <string_view>

#include "input.h"
#include "puzzle.h"

enum ColourPair : short { PAIR_MENU = 1, PAIR_KEY = 2, PAIR_TEXT = 3 };

// The File menu bar, the widest text that must show whole, takes 69 columns
// and the cursor waits in the one after it; the text panel needs a row.
constexpr int MIN_COLUMNS = 70;
constexpr int MIN_ROWS = 5;

struct Rect {
    int rows = 0, columns = 0, top = 0, left = 0;
};

// Where the windows go on a terminal of the given size. A pure function, so
// start-up and every resize lay the screen out the same way.
struct Layout {
    bool fits = false;
    Rect menu, text, key;
};
Layout computeLayout(int lines, int columns);

// The windows live from the start of curses mode to its end; they are all
// null while the terminal is too small to hold them.
struct Screen {
    WINDOW* menuWin = nullptr;
    WINDOW* textWin = nullptr;
    WINDOW* keyWin = nullptr;

    bool fits() const { return menuWin != nullptr; }
};

// One line of a menu's table: the key (its uppercase form) and what it does.
struct MenuAction {
    char key;
    void (*run)(Screen&, Puzzle&);
};

// Makes the windows again for the terminal's present size.
void layoutWindows(Screen& screen);

void runInterface(Puzzle& puzzle);

// Draws the menu bar and both panels into the virtual screen; the caller
// places the cursor and updates the terminal.
void redraw(Screen& screen, const Puzzle& puzzle);

// The main screen with the cursor parked after the main menu bar.
void paintMainScreen(Screen& screen, const Puzzle& puzzle);

void handleMainKey(char key, Screen& screen, Puzzle& puzzle);

// A menu bar in reverse video, or a prompt or message without it, on the menu
// row; the cursor goes right after the text. A prompt or message may hold a
// file name, typed or reported, between `text` and `after`. Where the row is
// too narrow the name gives way: its end is kept and the cut marked with
// "...", so that the point of the message and `after` show whole.
void drawMenuBar(Screen& screen, std::string_view text);
void drawMenuMessage(Screen& screen, std::string_view text, std::string_view name = {}, std::string_view after = {});

// Shows a message in the menu row over what `background` draws, and waits
// for any key.
void showMessageAndWait(Screen& screen, const Paint& background, std::string_view message,
                        std::string_view name = {}, std::string_view after = {});

// Moves the terminal's cursor and brings the terminal up to date.
void placeCursor(int row, int column);
