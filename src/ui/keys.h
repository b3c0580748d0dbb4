// Keys as a terminal sends them: what a code just read from curses makes,
// once whatever belongs to it has been read too.
#pragma once

#include <curses.h>

// A key that the terminal's description does not name: never a command,
// never an answer, never typed.
constexpr int UNNAMED_KEY = KEY_MAX + 1;

// Takes the rest of an escape sequence, a mouse report or a keypad key that
// starts with `code`, and returns the key it makes: a byte, a key code,
// the Escape key alone, or UNNAMED_KEY for what is to be dropped.
int wholeKey(int code);
