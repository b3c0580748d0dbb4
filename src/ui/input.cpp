#include "input.h"

#include <curses.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "keys.h"
#include "puzzle.h"
#include "screen.h"
#include "terminal.h"

namespace {

// Read in place of a key when the job was stopped and continued meanwhile.
constexpr int CONTINUED = KEY_MAX + 2;

volatile std::sig_atomic_t quitSignalled = 0;
volatile std::sig_atomic_t waitingForKey = 0;
int inputFlagsAtStart = -1;

void blockingInput() {
    int flags = fcntl(STDIN_FILENO, F_GETFL);
    if (flags != -1 && (flags & O_NONBLOCK)) fcntl(STDIN_FILENO, F_SETFL, flags & ~O_NONBLOCK);
}

// A signal that lands between the test of quitSignalled and the read inside
// wgetch would otherwise leave the program blocked until the next key. Making
// standard input non-blocking from the handler turns that read into an
// immediate failure, so the quit is seen at once.
void onQuitSignal(int) {
    int savedErrno = errno;
    quitSignalled = 1;
    if (waitingForKey && inputFlagsAtStart != -1)
        fcntl(STDIN_FILENO, F_SETFL, inputFlagsAtStart | O_NONBLOCK);
    errno = savedErrno;
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

struct WaitingForKey {
    WaitingForKey() { waitingForKey = 1; }
    ~WaitingForKey() { waitingForKey = 0; }
    WaitingForKey(const WaitingForKey&) = delete;
    WaitingForKey& operator=(const WaitingForKey&) = delete;
};

// The handler may have left standard input non-blocking to cut a read
// short; the writes that restore the terminal share its file description.
[[noreturn]] void leaveOnQuitSignal() {
    blockingInput();
    throw LeaveProgram{};
}

constexpr const char* SIZE_NOTICE_FORMAT = "Quorvantis needs a terminal of at least %d columns and %d rows.";

// The notice in rows of at most `columns`, broken between words; only a word
// longer than a row is broken inside.
std::vector<std::string> wrapWords(std::string_view text, std::size_t columns) {
    std::vector<std::string> rows(1);
    for (std::size_t begin = 0; begin < text.size();) {
        std::size_t end = std::min(text.find(' ', begin), text.size());
        std::string_view word = text.substr(begin, end - begin);
        begin = end + 1;
        if (!rows.back().empty() && rows.back().size() + 1 + word.size() <= columns)
            rows.back() += ' ';
        else if (!rows.back().empty())
            rows.emplace_back();
        for (;;) {
            std::size_t fits = std::min(word.size(), columns - rows.back().size());
            rows.back() += word.substr(0, fits);
            word.remove_prefix(fits);
            if (word.empty()) break;
            rows.emplace_back();
        }
    }
    return rows;
}

void showSizeNotice() {
    char notice[96];
    std::snprintf(notice, sizeof notice, SIZE_NOTICE_FORMAT, MIN_COLUMNS, MIN_ROWS);
    werase(stdscr);
    std::vector<std::string> rows = wrapWords(notice, static_cast<std::size_t>(std::max(COLS, 1)));
    for (int row = 0; row < LINES && row < static_cast<int>(rows.size()); ++row)
        mvwaddstr(stdscr, row, 0, rows[row].c_str());
    placeCursor(0, 0);
}

// One key code from stdscr. Input that has ended for good, or a quit
// signal, leaves the program instead.
int readCode(Echo echoMode) {
    for (;;) {
        WaitingForKey waiting;
        if (quitSignalled) leaveOnQuitSignal();
        // Stopped before the read, and continued with the terminal.
        if (terminalHandedBack() && takeTerminalBackAfterStop()) return CONTINUED;
        errno = 0;
        int code;
        if (echoMode == Echo::Off) {
            EchoOff echoOff;
            code = wgetch(stdscr);
        } else {
            code = wgetch(stdscr);
        }
        int readError = errno;
        if (quitSignalled) leaveOnQuitSignal();
        if (code != ERR) return code;
        bool interrupted = readError == EINTR;  // some other signal, or a stop
        // The terminal is shared: another program may have made it
        // non-blocking.
        bool wouldBlock = readError == EAGAIN || readError == EWOULDBLOCK;
        if (!interrupted && !wouldBlock) throw LeaveProgram{};  // end of file, hang-up or read error
        if (wouldBlock) blockingInput();
        // Curses keeps the failed read as a key of its own; without this the
        // next read would hand it back.
        flushinp();
        if (terminalHandedBack()) return CONTINUED;
    }
}

// Function and cursor keys come through the keypad as one code each, above
// the bytes. None of them is a command or an answer, except Backspace and
// Enter, which stand for the bytes those keys send.
bool isKeyForMenus(int code) { return code <= 0xFF || code == KEY_BACKSPACE || code == KEY_ENTER; }

}  // namespace

int waitKey(Screen& screen, Echo echoMode, const Paint& paint) {
    for (;;) {
        // Continued in the background after a stop, the program draws
        // nothing; reading the terminal stops it until it is in the
        // foreground again.
        bool drawing = takeTerminalBackAfterStop();
        if (drawing && screen.fits())
            paint();
        else if (drawing)
            showSizeNotice();
        for (;;) {
            int code = wholeKey(readCode(echoMode));
            if (code == CONTINUED) break;  // paint anew once the terminal is back
            // With echo on, curses has shown the Escape of a dropped key.
            if (code == UNNAMED_KEY && echoMode == Echo::On) break;
            if (code == KEY_RESIZE) {
                layoutWindows(screen);
                terminalResized();
                break;  // paint anew for the new size
            }
            if (!isKeyForMenus(code)) continue;
            if (screen.fits()) return code;
            if (isMenuKey(code, 'Q')) throw LeaveProgram{};
        }
    }
}

bool isMenuKey(int code, char letter) { return code >= 0 && code <= 0xFF && foldLetter(static_cast<char>(code)) == letter; }

char answerByte(int code) {
    if (code == KEY_BACKSPACE) return static_cast<char>(erasechar());
    if (code == KEY_ENTER) return '\n';
    return static_cast<char>(code);
}

bool quitRequested() { return quitSignalled != 0; }

void installSignals() {
    // An earlier program may have left the terminal non-blocking; that must
    // not read as the end of input.
    inputFlagsAtStart = fcntl(STDIN_FILENO, F_GETFL);
    blockingInput();
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) catchUnlessIgnored(signalNumber);
    // A write past the file-size limit or into a pipe that nobody reads
    // fails with an error that a save reports; it must not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    // Children are waited for one by one; an inherited SIG_IGN would have
    // the system reap them unseen.
    std::signal(SIGCHLD, SIG_DFL);
}

void restoreInputMode() {
    if (inputFlagsAtStart != -1) fcntl(STDIN_FILENO, F_SETFL, inputFlagsAtStart);
}
