#include "cells.h"

#include <cwchar>
#include <cwctype>

namespace {

enum class Kind { Spacing, Combining, Control, Odd };

struct Character {
    Kind kind;
    std::size_t length;  // in bytes
    wchar_t code;
    int width;
};

// glibc's locales name the marks that combine; a locale that names none
// leaves it to the width alone. Zero-width characters that do not combine
// (bidirectional overrides, joiners) stay odd, so that none of them can
// reorder or hide what stands around it.
bool combines(wchar_t code) {
    wctype_t combining = std::wctype("combining");
    return combining == 0 || std::iswctype(static_cast<wint_t>(code), combining);
}

// Only bytes above 0x7F may belong to a multibyte character, so that no
// ASCII byte, a letter of the puzzle above all, is ever swallowed by one.
Character characterAt(std::string_view text, std::size_t offset) {
    unsigned char byte = static_cast<unsigned char>(text[offset]);
    if (isPrintableAscii(byte)) return {Kind::Spacing, 1, static_cast<wchar_t>(byte), 1};
    if (byte < 0x80) return {Kind::Control, 1, static_cast<wchar_t>(byte), 2};
    const Character odd{Kind::Odd, 1, L'?', 1};
    std::mbstate_t state{};
    wchar_t code;
    std::size_t length = std::mbrtowc(&code, text.data() + offset, text.size() - offset, &state);
    if (length == 0 || length > text.size() - offset) return odd;
    for (std::size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[offset + i]) < 0x80) return odd;
    // A character that cannot be shown (a byte-order mark, a joiner) is
    // still one character: one odd cell for all its bytes.
    const Character oddCharacter{Kind::Odd, length, L'?', 1};
    if (!std::iswprint(static_cast<wint_t>(code))) return oddCharacter;
    int width = wcwidth(code);
    if (width > 0) return {Kind::Spacing, length, code, width};
    if (width == 0 && combines(code)) return {Kind::Combining, length, code, 0};
    return oddCharacter;
}

}  // namespace

Taken addCharacter(std::string_view text, std::size_t offset, Cells& cells) {
    Character character = characterAt(text, offset);
    switch (character.kind) {
    case Kind::Spacing:
        cells.push_back({std::wstring(1, character.code), character.width, false});
        return {character.length, character.width};
    case Kind::Control:
        // The caret notation a terminal user knows: ^M for the carriage
        // return of a DOS file.
        cells.push_back({L"^", 1, false});
        cells.push_back({std::wstring(1, character.code ^ 0x40), 1, false});
        return {1, 2};
    case Kind::Combining:
        // A cell holds at most CCHARW_MAX characters; a mark beyond them, or
        // one with nothing before it, shows as odd rather than vanish.
        if (!cells.empty() && cells.back().characters.size() < CCHARW_MAX) {
            cells.back().characters += character.code;
            return {character.length, 0};
        }
        break;
    case Kind::Odd:
        break;
    }
    cells.push_back({L"?", 1, true});
    return {character.length, 1};
}

Cells textCells(std::string_view text) {
    Cells cells;
    for (std::size_t offset = 0; offset < text.size();) offset += addCharacter(text, offset, cells).bytes;
    return cells;
}

int widthOf(const Cells& cells) {
    int width = 0;
    for (const Cell& cell : cells) width += cell.width;
    return width;
}

std::size_t lastCharacterStart(std::string_view text) {
    std::size_t start = 0;
    for (std::size_t offset = 0; offset < text.size(); offset += characterAt(text, offset).length) start = offset;
    return start;
}

void putCell(WINDOW* window, const Cell& cell, attr_t attributes, short pair) {
    cchar_t shown;
    setcchar(&shown, cell.characters.c_str(), attributes | (cell.odd ? A_REVERSE : A_NORMAL), pair, nullptr);
    wadd_wch(window, &shown);
}
