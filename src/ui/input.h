// Reading keys: echo, terminal resizes, the end of input and quit signals.
#pragma once

#include <curses.h>

#include <functional>

struct Screen;

// Thrown when the program must end: key input has ended for good, a quit
// signal arrived, or the user quit from the too-small-terminal notice.
// runInterface catches it and leaves curses mode in order.
struct LeaveProgram {};

enum class Echo { Off, On };

// Echo is off for the life of the object.
struct EchoOff {
    EchoOff() { noecho(); }
    ~EchoOff() { echo(); }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
};

// Draws everything that the screen shows while a key is awaited.
using Paint = std::function<void()>;

// Paints the screen and reads one key from stdscr. A resize is never
// returned as a key: the windows are laid out again and painted anew.
int waitKey(Screen& screen, Echo echoMode, const Paint& paint);

// Whether a key code is the menu letter `letter` (uppercase) in either case.
// A function or cursor key never is, whatever its low byte.
bool isMenuKey(int code, char letter);

// The byte a key code stands for as the answer to a letter prompt.
char answerByte(int code);

// Whether a quit signal has arrived; what runs another program polls it.
bool quitRequested();

// Catches SIGINT, SIGTERM, SIGHUP and SIGQUIT (unless ignored) so that they
// end the program through LeaveProgram with the terminal restored, keeps
// SIGPIPE and SIGXFSZ from ending it, and makes standard input blocking.
// Call before initscr, so that curses leaves the quit signals to us.
void installSignals();

// Gives standard input back the flags it had at the start; call at exit.
void restoreInputMode();
