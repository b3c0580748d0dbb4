#include "tools_menu.h"

#include "terminal.h"

namespace {

constexpr std::string_view TOOLS_MENU_TEXT = " R:RandomCypher 3:ROT13 T:Transform G:Generate C:Cancel ";
constexpr std::string_view RANDOMIZING_MESSAGE = "Please wait, randomizing...";
constexpr std::string_view GENERATING_MESSAGE = "Please wait, generating...";
constexpr std::string_view NO_FORTUNE_MESSAGE = "No usable text from fortune. Press a key.";
// With the first line of what fortune wrote on its error output.
constexpr std::string_view NO_FORTUNE_BEFORE = "No usable text from fortune (";
constexpr std::string_view NO_FORTUNE_AFTER = "). Press a key.";

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
    GenerateResult result = puzzle.generate(watchBesideCurses());
    resumeAfterChild();
    if (result.outcome == GenerateResult::Outcome::Interrupted) throw LeaveProgram{};
    if (result.outcome != GenerateResult::Outcome::NoUsableText) return;
    // What fortune complained of tells a missing program apart from texts
    // of the wrong length.
    auto background = [&] { drawStatisticsScreen(screen, puzzle); };
    if (result.complaint.empty())
        showMessageAndWait(screen, background, NO_FORTUNE_MESSAGE);
    else
        showMessageAndWait(screen, background, NO_FORTUNE_BEFORE, result.complaint, NO_FORTUNE_AFTER);
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
        if (isMenuKey(code, 'C')) return;
        for (const MenuAction& action : TOOLS_ACTIONS) {
            if (!isMenuKey(code, action.key)) continue;
            action.run(screen, puzzle);
            puzzle.decode();
            return;
        }
    }
}
