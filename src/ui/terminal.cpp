#include "terminal.h"

#include <curses.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string_view>

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

// What the terminal is given back when the job is stopped (Ctrl-Z): the
// modes the user's shell had, and what endwin would write. Kept ready, since
// a signal handler may only write and set.
termios shellModes{};
bool shellModesKnown = false;
std::string leavingCursesMode;
volatile std::sig_atomic_t stoppedMeanwhile = 0;

void appendCapability(std::string& sequence, const char* capability) {
    if (hasString(capability)) sequence += tigetstr(capability);
}

void giveTerminalToShellForStop() {
    if (!leavingCursesMode.empty()) (void)!write(STDOUT_FILENO, leavingCursesMode.data(), leavingCursesMode.size());
    if (shellModesKnown) tcsetattr(STDIN_FILENO, TCSADRAIN, &shellModes);
    stoppedMeanwhile = 1;
}

// Ctrl-Z: the terminal goes back to the shell as curses mode found it, and
// the program stops. Nothing is drawn when the job is continued: curses mode
// is taken up again by the next key read, once the program has the terminal
// (continued in the background, it may not; killed there, it just ends).
void onStopSignal(int) {
    int savedErrno = errno;
    giveTerminalToShellForStop();
    stopAsByDefault();
    errno = savedErrno;
}

void onContinueSignal(int) {}

// Stopping is this program's own, unless the job cannot be stopped at all
// (SIGTSTP ignored, as without job control). Set before initscr, so that
// curses, whose own handler repaints from within the handler, keeps out.
void catchStops() {
    struct sigaction previous {};
    if (sigaction(SIGTSTP, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a waiting read returns, so the program sees it was stopped
    sigaction(SIGTSTP, &action, nullptr);
    // Continued after a stop, a read the program waits in must return, so
    // that it takes the terminal up again at once.
    action.sa_handler = onContinueSignal;
    sigaction(SIGCONT, &action, nullptr);
}

bool inForeground() {
    pid_t foreground = tcgetpgrp(STDOUT_FILENO);
    return foreground == -1 || foreground == getpgrp();
}

// As endwin leaves the terminal: plain attributes, the cursor shown at the
// bottom left, the keypad back to normal, the shell's own screen.
void prepareForStop() {
    std::string sequence;
    appendCapability(sequence, "sgr0");
    appendCapability(sequence, "cnorm");
    if (hasString("cup")) sequence += tiparm(tigetstr("cup"), LINES - 1, 0);
    appendCapability(sequence, "rmkx");
    appendCapability(sequence, "rmcup");
    // Swapped in whole: the handler may run at any moment.
    sigset_t stop, previous;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    sigprocmask(SIG_BLOCK, &stop, &previous);
    leavingCursesMode = std::move(sequence);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
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
    catchStops();
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
    prepareForStop();
}

void leaveCursesMode() {
    // Ended while in the background (a stopped job killed from the shell),
    // the program leaves the terminal to the job that has it: changing its
    // modes from there would only stop the program again.
    if (!inForeground()) return;
    // Stopped and not yet taken up again, the terminal is as curses mode
    // found it already; endwin would only move the shell's cursor.
    if (stoppedMeanwhile) return;
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

void terminalResized() { prepareForStop(); }

bool terminalHandedBack() { return stoppedMeanwhile != 0; }

bool takeTerminalBackAfterStop() {
    if (!stoppedMeanwhile) return true;
    if (!inForeground()) return false;
    // The terminal was the shell's, left as endwin leaves it: curses takes
    // up its modes, its keypad and its own screen again, and paints it all.
    // (endwin here would write its leaving a second time, on the shell's
    // screen.)
    stoppedMeanwhile = 0;
    if (hasString("smcup")) {
        std::string_view entering = tigetstr("smcup");
        (void)!write(STDOUT_FILENO, entering.data(), entering.size());
    }
    reset_prog_mode();
    repaintWholeTerminal();
    return true;
}

ChildWatch watchBesideCurses() { return {quitRequested, giveTerminalToShellForStop}; }

void resumeAfterChild() {
    if (quitRequested()) throw LeaveProgram{};
    // Continued in the background, the program leaves the terminal alone
    // until a key read finds it in the foreground.
    if (takeTerminalBackAfterStop()) repaintWholeTerminal();
}
