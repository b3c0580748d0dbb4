// How bytes show on the screen under the user's locale, cell by cell: the
// text panel and the menu row (file names, typed or reported) share these
// rules, so that a name looks the same wherever it appears.
#pragma once

#include <curses.h>

#include <string>
#include <string_view>
#include <vector>

// One screen cell, or two for a wide character: a spacing character and the
// marks that combine with it.
struct Cell {
    std::wstring characters;
    int width = 1;
    bool odd = false;  // stands for bytes that cannot be shown as they are
};

using Cells = std::vector<Cell>;

inline bool isPrintableAscii(unsigned char byte) { return byte >= 0x20 && byte < 0x7F; }

// Adds the character at `offset` to `cells`: a new cell, a control byte as
// ^X in two, or a combining mark added to the last cell. A byte that is not
// part of a character of the locale is one odd '?' cell. Returns the bytes
// taken and the columns added.
struct Taken {
    std::size_t bytes;
    int columns;
};
Taken addCharacter(std::string_view text, std::size_t offset, Cells& cells);

Cells textCells(std::string_view text);
int widthOf(const Cells& cells);

// Where the last character of `text` starts, as addCharacter splits it: a
// multibyte character is erased whole, a stray byte alone.
std::size_t lastCharacterStart(std::string_view text);

// Odd cells are drawn in reverse video.
void putCell(WINDOW* window, const Cell& cell, attr_t attributes, short pair);
