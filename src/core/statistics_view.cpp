// The one place where the core draws: the statistics view.
#include <curses.h>

#include "puzzle.h"

namespace {

constexpr const char* STATISTICS_HEADING = "Number of times each letter/word appears in cyphertext:";
constexpr int FIRST_ROW = 3;
constexpr int LETTERS_PER_COLUMN = 13;
constexpr int LETTER_COLUMNS[] = {1, 20};
constexpr int WORD_COLUMN = 40;
constexpr int WORDS_SHOWN = 13;

}  // namespace

void Puzzle::drawStatistics(WINDOW* window) const {
    LetterArray letters;
    CountArray counts;
    countLetters(letters, counts);
    WordTable words = countWords();

    // Erased, not cleared: clearing would repaint the whole terminal.
    werase(window);
    int rows = getmaxy(window);
    int columns = getmaxx(window);
    mvwaddstr(window, 1, 0, STATISTICS_HEADING);

    // Each letter row is cleared to its end, so the first column goes first.
    for (std::size_t k = 0; k < KEY_SIZE; ++k) {
        int row = FIRST_ROW + static_cast<int>(k) % LETTERS_PER_COLUMN;
        if (row >= rows) continue;
        mvwprintw(window, row, LETTER_COLUMNS[k / LETTERS_PER_COLUMN], "%c %4d", letters[k], counts[k]);
        wclrtoeol(window);
    }

    // Largest counts first; a long word is cut at the window's edge rather
    // than wrapping over the rows below.
    int shown = 0;
    for (auto entry = words.rbegin(); entry != words.rend() && shown < WORDS_SHOWN; ++entry, ++shown) {
        int row = FIRST_ROW + shown;
        if (row >= rows || WORD_COLUMN >= columns) break;
        char count[16];
        int width = std::snprintf(count, sizeof count, "%3d ", entry->first);
        mvwaddnstr(window, row, WORD_COLUMN, count, columns - WORD_COLUMN);
        int room = columns - WORD_COLUMN - width;
        if (room > 0) waddnstr(window, entry->second.c_str(), room);
    }
}
