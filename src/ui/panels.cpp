#include "panels.h"

#include <cwchar>
#include <cwctype>
#include <vector>

#include "screen.h"

namespace {

constexpr const char* DUPLICATE_WARNING = " <-- Warning: duplicates";
constexpr const char* NO_WARNING = "                        ";  // as wide as the warning

constexpr int TAB_WIDTH = 8;

bool isPrintableAscii(unsigned char byte) { return byte >= 0x20 && byte < 0x7F; }

// One screen cell, or two for a double-width character.
struct Cell {
    wchar_t character;
    int width;
    bool odd;  // stands for a byte that cannot be shown as it is
};

// A key entry or a plaintext letter may hold any byte; it always takes one
// column, so that it stays under its letter.
Cell letterCell(char byte) {
    if (isPrintableAscii(static_cast<unsigned char>(byte))) return {static_cast<wchar_t>(byte), 1, false};
    return {L'?', 1, true};
}

void putCell(WINDOW* window, const Cell& cell, attr_t attributes, short pair) {
    wchar_t text[] = {cell.character, L'\0'};
    cchar_t shown;
    setcchar(&shown, text, attributes | (cell.odd ? A_REVERSE : A_NORMAL), pair, nullptr);
    wadd_wch(window, &shown);
}

// A multibyte character of the user's locale that starts at `offset`: its
// length in bytes, or 0 when the bytes there do not form a printable one.
// Only bytes above 0x7F may belong to it, so that no letter is ever swallowed.
std::size_t multibyteAt(const std::string& text, std::size_t offset, std::size_t end, Cell& cell) {
    std::mbstate_t state{};
    wchar_t character;
    std::size_t length = std::mbrtowc(&character, text.data() + offset, end - offset, &state);
    if (length == 0 || length > end - offset) return 0;
    for (std::size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[offset + i]) < 0x80) return 0;
    int width = wcwidth(character);
    if (!std::iswprint(static_cast<wint_t>(character)) || width < 1) return 0;
    cell = {character, width, false};
    return length;
}

// The cells of one line in both rows. A letter of the cyphertext takes one
// cell in each row; every other byte is the same in both rows and is shown the
// same way in both, so the rows stay aligned column for column.
void lineCells(const Puzzle& puzzle, std::size_t begin, std::size_t end, std::vector<Cell>& plain,
               std::vector<Cell>& cypher) {
    const std::string& text = puzzle.cyphertext;
    int column = 0;
    auto both = [&](const Cell& cell) {
        plain.push_back(cell);
        cypher.push_back(cell);
        column += cell.width;
    };
    for (std::size_t i = begin; i < end;) {
        char byte = text[i];
        unsigned char code = static_cast<unsigned char>(byte);
        Cell cell{};
        if (isLetter(byte)) {
            plain.push_back(letterCell(i < puzzle.plaintext.size() ? puzzle.plaintext[i] : '_'));
            cypher.push_back({static_cast<wchar_t>(byte), 1, false});
            ++column;
            ++i;
        } else if (isPrintableAscii(code)) {
            both({static_cast<wchar_t>(byte), 1, false});
            ++i;
        } else if (byte == '\t') {
            do both({L' ', 1, false});
            while (column % TAB_WIDTH != 0);
            ++i;
        } else if (code < 0x20 || code == 0x7F) {
            // Control bytes in the usual caret notation, as a terminal user
            // knows them: ^M for the carriage return of a DOS file.
            both({L'^', 1, false});
            both({static_cast<wchar_t>(code ^ 0x40), 1, false});
            ++i;
        } else if (std::size_t length = multibyteAt(text, i, end, cell)) {
            both(cell);
            i += length;
        } else {
            both({L'?', 1, true});
            ++i;
        }
    }
}

// Writes rows of cells into a window, wrapping long rows and stopping once
// the window is full, so that nothing overwrites its last row.
class RowWriter {
public:
    explicit RowWriter(WINDOW* window) : window_(window), rows_(getmaxy(window)), columns_(getmaxx(window)) {}

    bool full() const { return row_ >= rows_; }

    void writeRow(const std::vector<Cell>& cells, attr_t attributes) {
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
    std::vector<Cell> plain, cypher;
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
