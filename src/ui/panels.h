// The key panel and the text panel. Neither changes the puzzle, and neither
// refreshes its window.
#pragma once

#include <curses.h>

#include "puzzle.h"

constexpr const char* PRODUCT_NAME = "Quorvantis";
constexpr const char* PRODUCT_VERSION = "v1.2";
constexpr const char* AUTHOR_CREDIT = "the Quorvantis developers <see README.md>";

void drawKeyPanel(const Puzzle& puzzle, WINDOW* keyWin);
void drawTextPanel(const Puzzle& puzzle, WINDOW* textWin);
