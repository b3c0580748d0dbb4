#include "panels.h"

#include "cells.h"
#include "screen.h"

namespace {

constexpr const char* DUPLICATE_WARNING = " <-- Warning: duplicates";
constexpr const char* NO_WARNING = "                        ";  // as wide as the warning

constexpr int TAB_WIDTH = 8;

// A key entry or a plaintext letter may hold any byte; it always takes one
// column, so that it stays under its letter.
Cell letterCell(char byte) {
    if (isPrintableAscii(static_cast<unsigned char>(byte))) return {std::wstring(1, static_cast<wchar_t>(byte)), 1, false};
    return {L"?", 1, true};
}

// The cells of one line in both rows. A letter of the cyphertext takes one
// cell in each row; every other byte is the same in both rows and is shown the
// same way in both, a combining mark joining the cell before it in each, so
// the rows stay aligned column for column.
void lineCells(const Puzzle& puzzle, std::size_t begin, std::size_t end, Cells& plain, Cells& cypher) {
    std::string_view text = std::string_view(puzzle.cyphertext).substr(0, end);
    int column = 0;
    for (std::size_t i = begin; i < end;) {
        char byte = text[i];
        if (isLetter(byte)) {
            plain.push_back(letterCell(i < puzzle.plaintext.size() ? puzzle.plaintext[i] : '_'));
            cypher.push_back({std::wstring(1, static_cast<wchar_t>(byte)), 1, false});
            ++column;
            ++i;
        } else if (byte == '\t') {
            do {
                plain.push_back({L" ", 1, false});
                cypher.push_back({L" ", 1, false});
            } while (++column % TAB_WIDTH != 0);
            ++i;
        } else {
            addCharacter(text, i, plain);
            Taken taken = addCharacter(text, i, cypher);
            column += taken.columns;
            i += taken.bytes;
        }
    }
}

// Writes rows of cells into a window, wrapping long rows and stopping once
// the window is full, so that nothing overwrites its last row.
class RowWriter {
public:
    explicit RowWriter(WINDOW* window) : window_(window), rows_(getmaxy(window)), columns_(getmaxx(window)) {}

    bool full() const { return row_ >= rows_; }

    void writeRow(const Cells& cells, attr_t attributes) {
        int column = 0;
        for (const Cell& cell : cells) {
            if (column + cell.width > columns_) {
                ++row_;
                column = 0;
            }
            if (full()) return;
            wmove(window_, row_, column);
            putCell(window_, cell, attributes, PAIR_TEXT);
            column += cell.width;
        }
        ++row_;
    }

private:
    WINDOW* window_;
    int rows_, columns_;
    int row_ = 0;
};

}  // namespace

void drawKeyPanel(const Puzzle& puzzle, WINDOW* keyWin) {
    wcolor_set(keyWin, PAIR_KEY, nullptr);
    mvwaddstr(keyWin, 0, 0, "Cyphertext: ");
    for (char letter = 'A'; letter <= 'Z'; ++letter) waddch(keyWin, static_cast<chtype>(letter));
    wclrtoeol(keyWin);

    mvwaddstr(keyWin, 1, 0, "Plaintext:  ");
    bool seen[KEY_SIZE] = {};
    bool duplicate = false;
    for (char entry : puzzle.key) {
        putCell(keyWin, letterCell(entry), A_NORMAL, PAIR_KEY);
        if (!isUpperLetter(entry)) continue;
        bool& letterSeen = seen[entry - 'A'];
        if (letterSeen) duplicate = true;
        letterSeen = true;
    }
    waddstr(keyWin, duplicate ? DUPLICATE_WARNING : NO_WARNING);
    wclrtoeol(keyWin);

    mvwprintw(keyWin, 2, 0, "%s %s by %s", PRODUCT_NAME, PRODUCT_VERSION, AUTHOR_CREDIT);
    wclrtoeol(keyWin);
}

void drawTextPanel(const Puzzle& puzzle, WINDOW* textWin) {
    werase(textWin);
    wcolor_set(textWin, PAIR_TEXT, nullptr);
    const std::string& text = puzzle.cyphertext;
    RowWriter writer(textWin);
    Cells plain, cypher;
    for (std::size_t begin = 0; begin < text.size() && !writer.full();) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        plain.clear();
        cypher.clear();
        lineCells(puzzle, begin, end, plain, cypher);
        writer.writeRow(plain, A_BOLD);
        writer.writeRow(cypher, A_DIM);
        begin = end + 1;
    }
}
