#include "input.h"

#include <curses.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "screen.h"

namespace {

volatile std::sig_atomic_t quitSignalled = 0;
volatile std::sig_atomic_t waitingForKey = 0;
int inputFlagsAtStart = -1;

// A signal that lands between the test of quitSignalled and the read inside
// wgetch would otherwise leave the program blocked until the next key. Making
// standard input non-blocking from the handler turns that read into an
// immediate failure, so the quit is seen at once.
void onQuitSignal(int) {
    quitSignalled = 1;
    if (waitingForKey && inputFlagsAtStart != -1)
        fcntl(STDIN_FILENO, F_SETFL, inputFlagsAtStart | O_NONBLOCK);
}

void catchUnlessIgnored(int signalNumber) {
    struct sigaction previous {};
    if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the blocking read must be interrupted
    sigaction(signalNumber, &action, nullptr);
}

struct EchoOff {
    EchoOff() { noecho(); }
    ~EchoOff() { echo(); }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
};

struct WaitingForKey {
    WaitingForKey() { waitingForKey = 1; }
    ~WaitingForKey() { waitingForKey = 0; }
    WaitingForKey(const WaitingForKey&) = delete;
    WaitingForKey& operator=(const WaitingForKey&) = delete;
};

constexpr const char* SIZE_NOTICE = "Quorvantis needs a terminal of at least 62 columns and 5 rows.";

void showSizeNotice() {
    werase(stdscr);
    mvwaddstr(stdscr, 0, 0, SIZE_NOTICE);
    placeCursor(0, 0);
}

// One key code from stdscr. Input that has ended for good, or a quit
// signal, leaves the program instead.
int readCode(Echo echoMode) {
    for (;;) {
        WaitingForKey waiting;
        if (quitSignalled) throw LeaveProgram{};
        errno = 0;
        int code;
        if (echoMode == Echo::Off) {
            EchoOff echoOff;
            code = wgetch(stdscr);
        } else {
            code = wgetch(stdscr);
        }
        int readError = errno;
        if (quitSignalled) throw LeaveProgram{};
        if (code != ERR) return code;
        if (readError == EINTR) continue;  // some other signal; read again
        throw LeaveProgram{};              // end of file, hang-up or read error
    }
}

}  // namespace

int waitKey(Screen& screen, Echo echoMode, const Paint& paint) {
    for (;;) {
        if (screen.fits())
            paint();
        else
            showSizeNotice();
        for (;;) {
            int code = readCode(echoMode);
            if (code == KEY_RESIZE) {
                layoutWindows(screen);
                break;  // paint anew for the new size
            }
            if (screen.fits()) return code;
            if ((code & 0xFF & ~0x20) == 'Q') throw LeaveProgram{};
        }
    }
}

void installQuitSignals() {
    inputFlagsAtStart = fcntl(STDIN_FILENO, F_GETFL);
    catchUnlessIgnored(SIGINT);
    catchUnlessIgnored(SIGTERM);
    catchUnlessIgnored(SIGHUP);
}

void restoreInputMode() {
    if (quitSignalled && inputFlagsAtStart != -1) fcntl(STDIN_FILENO, F_SETFL, inputFlagsAtStart);
}
