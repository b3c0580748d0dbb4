#include "screen.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "file_menu.h"
#include "input.h"
#include "panels.h"
#include "terminal.h"
#include "tools_menu.h"

namespace {

constexpr std::string_view MAIN_MENU_TEXT = " S:SetChar U:UnSetChar R:ResetChars F:File T:Tools Q:Quit ";
constexpr std::string_view SET_PROMPT = "Cyphertext letter to set? ";
constexpr std::string_view UNSET_PROMPT = "Cyphertext letter to unset? ";
constexpr const char* SET_TO_PROMPT_FORMAT = "Set letter \"%c\" to which plaintext letter (spacebar to unset)? ";

constexpr int CTRL_L = 0x0C;

void deleteWindows(Screen& screen) {
    // Sub-windows share stdscr's cells; deleting them leaves stdscr intact.
    for (WINDOW** window : {&screen.menuWin, &screen.textWin, &screen.keyWin}) {
        if (*window) delwin(*window);
        *window = nullptr;
    }
}

// Menu bars are drawn in reverse video; prompts and messages are not.
void writeMenuRow(WINDOW* menuWin, std::string_view text, attr_t attributes) {
    werase(menuWin);
    wcolor_set(menuWin, PAIR_MENU, nullptr);
    wattr_on(menuWin, attributes, nullptr);
    mvwaddnstr(menuWin, 0, 0, text.data(), static_cast<int>(text.size()));
    wattr_off(menuWin, attributes, nullptr);
}

// How many bytes at the end of `typed` fit in `columns` cells: bytes that
// continue a UTF-8 character take none, control bytes show as ^X.
std::size_t fittingTail(std::string_view typed, int columns) {
    std::size_t count = 0;
    for (int used = 0; count < typed.size(); ++count) {
        unsigned char byte = static_cast<unsigned char>(typed[typed.size() - 1 - count]);
        used += (byte & 0xC0) == 0x80 ? 0 : (byte < 0x20 || byte == 0x7F) ? 2 : 1;
        if (used > columns) break;
    }
    return count;
}

WINDOW* makeWindow(const Rect& rect) {
    return subwin(stdscr, rect.rows, rect.columns, rect.top, rect.left);
}

void setOneLetter(Screen& screen, Puzzle& puzzle) {
    char cypherLetter = answerByte(waitKey(screen, Echo::On, [&] {
        redraw(screen, puzzle);
        drawMenuMessage(screen, SET_PROMPT);
    }));
    char plainLetter = answerByte(waitKey(screen, Echo::On, [&] {
        redraw(screen, puzzle);
        char prompt[80];
        std::snprintf(prompt, sizeof prompt, SET_TO_PROMPT_FORMAT, cypherLetter);
        drawMenuMessage(screen, prompt);
    }));
    puzzle.setChar(cypherLetter, plainLetter);
    puzzle.decode();
}

void unsetOneLetter(Screen& screen, Puzzle& puzzle) {
    char cypherLetter = answerByte(waitKey(screen, Echo::On, [&] {
        redraw(screen, puzzle);
        drawMenuMessage(screen, UNSET_PROMPT);
    }));
    puzzle.unsetChar(cypherLetter);
    puzzle.decode();
}

void resetAllLetters(Screen&, Puzzle& puzzle) {
    puzzle.resetChars();
    puzzle.decode();
}

constexpr MenuAction MAIN_ACTIONS[] = {
    {'S', setOneLetter},
    {'U', unsetOneLetter},
    {'R', resetAllLetters},
    {'F', fileMenu},
    {'T', toolsMenu},
};

void mainLoop(Screen& screen, Puzzle& puzzle) {
    for (;;) {
        int code = waitKey(screen, Echo::Off, [&] { paintMainScreen(screen, puzzle); });
        if (isMenuKey(code, 'Q')) return;
        if (code == CTRL_L) {
            repaintWholeTerminal();
            continue;
        }
        handleMainKey(answerByte(code), screen, puzzle);
    }
}

}  // namespace

Layout computeLayout(int lines, int columns) {
    Layout layout;
    if (lines < MIN_ROWS || columns < MIN_COLUMNS) return layout;
    layout.fits = true;
    layout.menu = {1, columns, 0, 0};
    layout.text = {lines - 4, columns, 1, 0};
    layout.key = {3, columns, lines - 3, 0};
    return layout;
}

void layoutWindows(Screen& screen) {
    deleteWindows(screen);
    werase(stdscr);
    Layout layout = computeLayout(LINES, COLS);
    if (!layout.fits) return;
    screen.menuWin = makeWindow(layout.menu);
    screen.textWin = makeWindow(layout.text);
    screen.keyWin = makeWindow(layout.key);
    if (!screen.menuWin || !screen.textWin || !screen.keyWin) deleteWindows(screen);
}

void drawMenuBar(Screen& screen, std::string_view text) {
    writeMenuRow(screen.menuWin, text, A_REVERSE);
    wnoutrefresh(screen.menuWin);
    placeCursor(0, static_cast<int>(text.size()));
}

void drawMenuMessage(Screen& screen, std::string_view text, std::string_view typed) {
    writeMenuRow(screen.menuWin, text, A_NORMAL);
    typed.remove_prefix(typed.size() - fittingTail(typed, COLS - 1 - static_cast<int>(text.size())));
    for (char byte : typed) waddch(screen.menuWin, static_cast<unsigned char>(byte));
    wnoutrefresh(screen.menuWin);
    // A key typed with echo on is echoed at stdscr's cursor: keep that right
    // after the prompt, where the user looks.
    placeCursor(0, getcurx(screen.menuWin));
}

void showMessageAndWait(Screen& screen, const Paint& background, std::string_view message) {
    waitKey(screen, Echo::Off, [&] {
        background();
        drawMenuMessage(screen, message);
    });
}

void placeCursor(int row, int column) {
    wmove(stdscr, row, std::min(column, COLS - 1));
    wnoutrefresh(stdscr);
    doupdate();
}

void redraw(Screen& screen, const Puzzle& puzzle) {
    writeMenuRow(screen.menuWin, MAIN_MENU_TEXT, A_REVERSE);
    drawKeyPanel(puzzle, screen.keyWin);
    drawTextPanel(puzzle, screen.textWin);
    wnoutrefresh(screen.menuWin);
    wnoutrefresh(screen.textWin);
    wnoutrefresh(screen.keyWin);
}

void paintMainScreen(Screen& screen, const Puzzle& puzzle) {
    redraw(screen, puzzle);
    placeCursor(0, static_cast<int>(MAIN_MENU_TEXT.size()));
}

void handleMainKey(char key, Screen& screen, Puzzle& puzzle) {
    for (const MenuAction& action : MAIN_ACTIONS) {
        if (foldLetter(key) == action.key) {
            action.run(screen, puzzle);
            return;
        }
    }
}

void runInterface(Puzzle& puzzle) {
    installSignals();
    enterCursesMode();
    Screen screen;
    layoutWindows(screen);
    init_pair(PAIR_MENU, COLOR_GREEN, COLOR_BLACK);
    init_pair(PAIR_KEY, COLOR_BLUE, COLOR_BLACK);
    init_pair(PAIR_TEXT, COLOR_WHITE, COLOR_BLACK);
    try {
        mainLoop(screen, puzzle);
    } catch (const LeaveProgram&) {
        // End of input or a quit signal: leave as Q would.
    }
    deleteWindows(screen);
    leaveCursesMode();
    restoreInputMode();
}
