// The File menu: puzzle files, text export, key files, and a new puzzle
// written in the user's editor.
#pragma once

#include <string>
#include <string_view>

#include "screen.h"

void fileMenu(Screen& screen, Puzzle& puzzle);

// Reads a file name in the menu row after the prompt. Enter ends it;
// Backspace and the terminal's erase and kill characters edit it. It holds
// at most 254 bytes; a key beyond them is refused with a beep.
std::string promptString(Screen& screen, const Paint& background, std::string_view prompt);

// Single-quotes a word for the shell, each ' written as '\''.
std::string shellQuote(std::string_view word);
