// The key panel and the text panel. Neither changes the puzzle, and neither
// refreshes its window.
#pragma once

#include <curses.h>

#include "puzzle.h"

constexpr const char* PRODUCT_NAME = "Quorvantis";
// QUORVANTIS_VERSION comes from the build, which holds the one version number.
constexpr const char* PRODUCT_VERSION = "v" QUORVANTIS_VERSION;
constexpr const char* AUTHOR_CREDIT = "the Quorvantis developers <see README.md>";

void drawKeyPanel(const Puzzle& puzzle, WINDOW* keyWin);
void drawTextPanel(const Puzzle& puzzle, WINDOW* textWin);
