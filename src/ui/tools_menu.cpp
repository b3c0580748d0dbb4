#include "tools_menu.h"

namespace {

constexpr std::string_view TOOLS_MENU_TEXT = " R:RandomCypher 3:ROT13 T:Transform G:Generate C:Cancel ";
constexpr std::string_view RANDOMIZING_MESSAGE = "Please wait, randomizing...";
constexpr std::string_view GENERATING_MESSAGE = "Please wait, generating...";
constexpr std::string_view NO_FORTUNE_MESSAGE = "No usable text from fortune. Press a key.";

// The statistics view stands in for the text panel while the menu is open.
void drawStatisticsScreen(Screen& screen, const Puzzle& puzzle) {
    redraw(screen, puzzle);
    puzzle.drawStatistics(screen.textWin);
    wnoutrefresh(screen.textWin);
}

void showWaitMessage(Screen& screen, const Puzzle& puzzle, std::string_view message) {
    if (!screen.fits()) return;
    drawStatisticsScreen(screen, puzzle);
    drawMenuMessage(screen, message);
}

void randomKey(Screen&, Puzzle& puzzle) { puzzle.randomCypher(); }

void rot13Key(Screen&, Puzzle& puzzle) { puzzle.rot13(); }

void transformText(Screen& screen, Puzzle& puzzle) {
    showWaitMessage(screen, puzzle, RANDOMIZING_MESSAGE);
    puzzle.transform();
}

void generateText(Screen& screen, Puzzle& puzzle) {
    showWaitMessage(screen, puzzle, GENERATING_MESSAGE);
    bool generated = puzzle.generate();
    // fortune may have written its complaints anywhere on the terminal.
    clearok(curscr, TRUE);
    if (!generated) showMessageAndWait(screen, [&] { drawStatisticsScreen(screen, puzzle); }, NO_FORTUNE_MESSAGE);
}

constexpr MenuAction TOOLS_ACTIONS[] = {
    {'R', randomKey},
    {'3', rot13Key},
    {'T', transformText},
    {'G', generateText},
};

}  // namespace

void toolsMenu(Screen& screen, Puzzle& puzzle) {
    for (;;) {
        int code = waitKey(screen, Echo::Off, [&] {
            drawStatisticsScreen(screen, puzzle);
            drawMenuBar(screen, TOOLS_MENU_TEXT);
        });
        char choice = foldLetter(static_cast<char>(code & 0xFF));
        if (choice == 'C') return;
        for (const MenuAction& action : TOOLS_ACTIONS) {
            if (choice != action.key) continue;
            action.run(screen, puzzle);
            puzzle.decode();
            return;
        }
    }
}
