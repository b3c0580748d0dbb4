// The terminal itself: whether it can hold the screen, its modes in curses
// mode, and handing it to another program.
#pragma once

#include <string>

#include "child_process.h"

// Why the terminal named by TERM cannot hold the screen, as the line to
// print before leaving; empty when it can. Call before curses mode.
std::string terminalProblem();

// Curses mode, as the program uses it: function and cursor keys as one
// code each, no XON/XOFF flow control, colours where the terminal has them.
void enterCursesMode();
// Back to the terminal as the program found it.
void leaveCursesMode();

// Has the next update clear the terminal and paint every cell again, for
// when something outside may have written on it.
void repaintWholeTerminal();

// Runs a shell command line with the terminal handed over, as the user's
// shell had it; the next update brings the whole screen back. A quit signal
// ends the command and then the program.
void runOutsideCurses(const std::string& commandLine);

// The stop sequence depends on the terminal's size.
void terminalResized();

// Whether the terminal is the shell's since the job was stopped (Ctrl-Z).
bool terminalHandedBack();
// Once the program has the terminal again after a stop, curses mode is
// taken up afresh at the next update. Returns whether the program has it.
bool takeTerminalBackAfterStop();

// How to watch a child that runs beside curses mode, away from the
// terminal: a quit signal ends it, and if the job is stopped meanwhile the
// terminal goes back to the user's shell as curses mode found it.
ChildWatch watchBesideCurses();

// After such a child: the screen is painted anew, and taken up afresh if
// the job was stopped meanwhile. A quit signal meanwhile ends the program.
void resumeAfterChild();
