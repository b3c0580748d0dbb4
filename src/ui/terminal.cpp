#include "terminal.h"

#include <curses.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "child_process.h"
#include "input.h"

namespace {

// Short enough that Escape alone still feels immediate, long enough for the
// rest of a function key's sequence to arrive over a slow line.
constexpr int ESCAPE_DELAY_MS = 25;

bool hasString(const char* capability) {
    const char* value = tigetstr(capability);
    return value != nullptr && value != reinterpret_cast<const char*>(-1);
}

// What the terminal is given back when the job stops while a child runs
// beside curses mode: the modes the user's shell had, and what endwin would
// write. Kept ready, since the stop handler may only write and set.
termios shellModes{};
bool shellModesKnown = false;
std::string leavingCursesMode;
volatile std::sig_atomic_t stoppedBesideChild = 0;

void appendCapability(std::string& sequence, const char* capability) {
    if (hasString(capability)) sequence += tigetstr(capability);
}

void giveTerminalToShellForStop() {
    if (!leavingCursesMode.empty()) (void)!write(STDOUT_FILENO, leavingCursesMode.data(), leavingCursesMode.size());
    if (shellModesKnown) tcsetattr(STDIN_FILENO, TCSADRAIN, &shellModes);
    stoppedBesideChild = 1;
}

// Ctrl-S would stop all output (XON/XOFF) and leave the program looking
// dead; in curses mode it is an ordinary key. The user's own setting comes
// back with the shell mode that endwin restores.
void flowControlOff() {
    termios modes{};
    if (tcgetattr(STDIN_FILENO, &modes) != 0) return;
    modes.c_iflag &= ~static_cast<tcflag_t>(IXON);
    tcsetattr(STDIN_FILENO, TCSANOW, &modes);
    def_prog_mode();
}

}  // namespace

std::string terminalProblem() {
    const char* type = std::getenv("TERM");
    const std::string advice = "; set TERM to your terminal's type";
    if (!type || !*type) return "quorvantis: TERM is not set" + advice;
    std::string named = std::string("terminal type '") + type + "'";
    int status = 0;
    if (setupterm(nullptr, STDOUT_FILENO, &status) != OK)
        return "quorvantis: " + named + (status == 1 ? " cannot move the cursor" : " is not known") + advice;
    bool canMove = hasString("cup");
    del_curterm(cur_term);
    if (!canMove) return "quorvantis: " + named + " cannot move the cursor" + advice;
    return {};
}

void enterCursesMode() {
    shellModesKnown = tcgetattr(STDIN_FILENO, &shellModes) == 0;
    initscr();
    // Set, not assumed: curses shows the cursor again on coming back from
    // a program that hid it only when it knows how the cursor should be.
    curs_set(1);
    keypad(stdscr, TRUE);
    // A delay the user set (ESCDELAY) is the user's choice.
    if (!std::getenv("ESCDELAY")) set_escdelay(ESCAPE_DELAY_MS);
    flowControlOff();
    start_color();
    // The terminal's own colours for cells the program does not paint. Then
    // curses can clear the screen with one command even on terminals that
    // do not erase in the current background colour (TERM=screen), instead
    // of clearing only the cells it believes are not blank: a full repaint
    // then really removes what another program wrote.
    use_default_colors();
}

void leaveCursesMode() {
    // Ended while in the background (a stopped job killed from the shell),
    // the program leaves the terminal to the job that has it: changing its
    // modes from there would only stop the program again.
    pid_t foreground = tcgetpgrp(STDOUT_FILENO);
    if (foreground != -1 && foreground != getpgrp()) return;
    // After a child was ended on the way out, curses mode is already left;
    // the terminal still gets the modes it had at the start.
    if (isendwin())
        reset_shell_mode();
    else
        endwin();
}

void repaintWholeTerminal() {
    clearok(curscr, TRUE);
    // Another program may have hidden the cursor; curses sends only what
    // changes, so it is hidden and shown again.
    curs_set(0);
    curs_set(1);
}

void runOutsideCurses(const std::string& commandLine) {
    // The next refresh after endwin resumes curses mode: the program's
    // terminal modes come back, and the terminal is cleared and every cell
    // painted again, whatever the command left on it.
    endwin();
    ChildRun run = runOnTerminal(commandLine, quitRequested);
    if (run.interrupted || quitRequested()) throw LeaveProgram{};
}

ChildWatch watchBesideCurses() {
    // As endwin leaves the terminal: plain attributes, the cursor shown at
    // the bottom left, the keypad back to normal, the shell's own screen.
    leavingCursesMode.clear();
    appendCapability(leavingCursesMode, "sgr0");
    appendCapability(leavingCursesMode, "cnorm");
    if (hasString("cup")) leavingCursesMode += tiparm(tigetstr("cup"), LINES - 1, 0);
    appendCapability(leavingCursesMode, "rmkx");
    appendCapability(leavingCursesMode, "rmcup");
    stoppedBesideChild = 0;
    return {quitRequested, giveTerminalToShellForStop};
}

void resumeAfterChild() {
    // Stopped meanwhile, the terminal was the shell's: curses mode is left
    // in form, so that the next update takes it up afresh.
    if (stoppedBesideChild) endwin();
    stoppedBesideChild = 0;
    repaintWholeTerminal();
    if (quitRequested()) throw LeaveProgram{};
}
