// Reading keys: echo, terminal resizes, the end of input and quit signals.
#pragma once

#include <functional>

struct Screen;

// Thrown when the program must end: key input has ended for good, a quit
// signal arrived, or the user quit from the too-small-terminal notice.
// runInterface catches it and leaves curses mode in order.
struct LeaveProgram {};

enum class Echo { Off, On };

// Draws everything that the screen shows while a key is awaited.
using Paint = std::function<void()>;

// Paints the screen and reads one key from stdscr. A resize is never
// returned as a key: the windows are laid out again and painted anew.
int waitKey(Screen& screen, Echo echoMode, const Paint& paint);

// Catches SIGINT, SIGTERM and SIGHUP (unless ignored) so that they end the
// program through LeaveProgram with the terminal restored. Call before initscr,
// so that curses leaves them to us.
void installQuitSignals();

// Undoes what a quit signal did to standard input; call before endwin.
void restoreInputMode();
