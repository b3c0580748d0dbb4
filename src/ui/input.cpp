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
#include <utility>
#include <vector>

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

constexpr int ESCAPE = 0x1B;
// A key that the terminal's description does not name: never a command.
constexpr int UNNAMED_KEY = KEY_MAX + 1;

// The next byte if one comes within `milliseconds`, else ERR.
int pendingByte(int milliseconds) {
    wtimeout(stdscr, milliseconds);
    int code = wgetch(stdscr);
    wtimeout(stdscr, -1);
    return code;
}

// The longest control string (a pasted title or link, say) read to its end.
constexpr int CONTROL_STRING_LIMIT = 4096;

// The numeric keypad in application mode, which the keypad switches on:
// ESC O followed by these bytes. Its keys are the characters on them.
constexpr std::string_view KEYPAD_FINALS = "pqrstuvwxyjklmnoX";
constexpr std::string_view KEYPAD_CHARACTERS = "0123456789*+,-./=";

// Reads the rest of a sequence after its introducer, as the sequences a
// terminal sends are built: a control sequence (ESC [) up to its final
// byte; a control string (ESC ], ESC P and their kind) up to BEL or to ESC
// and a backslash; intermediate bytes up to a final byte (ESC ( B); or a
// whole UTF-8 character after Escape (Alt with a key).
void skipSequence(int introducer) {
    auto next = [] { return pendingByte(get_escdelay()); };
    if (introducer == '[') {
        int byte = next();
        // A mouse report left switched on by another program (ESC [ M):
        // three raw bytes follow.
        if (byte == 'M')
            for (int extra = 0; extra < 3; ++extra) next();
        while (byte >= 0x20 && byte < 0x40) byte = next();
    } else if (introducer == ']' || introducer == 'P' || introducer == 'X' || introducer == '^' || introducer == '_') {
        for (int count = 0, byte = next(); byte != ERR && byte != 0x07 && count < CONTROL_STRING_LIMIT;
             ++count, byte = next())
            if (byte == ESCAPE) {
                next();  // the backslash that ends the string
                break;
            }
    } else if (introducer >= 0x20 && introducer < 0x30) {
        int byte = next();
        while (byte >= 0x20 && byte < 0x30) byte = next();
    } else if (introducer >= 0xC0 && introducer <= 0xFF) {
        for (int extra = introducer >= 0xF0 ? 3 : introducer >= 0xE0 ? 2 : 1; extra > 0; --extra) next();
    }
}

// What an Escape stands for. Keys that the terminal's description does not
// name (Shift-F2 on TERM=screen, say) still come as sequences that start
// with Escape; curses has waited for the rest, and hands back the Escape
// alone when the rest matches nothing it knows. Such a sequence is taken
// whole and dropped, so that none of its bytes acts as a command or is
// typed; so is anything pasted that holds one. An Escape with nothing after
// it is the Escape key.
int afterEscape() {
    EchoOff echoOff;
    int next = pendingByte(0);
    if (next == ERR) return ESCAPE;
    if (next == KEY_RESIZE) {
        ungetch(KEY_RESIZE);  // not part of a key: the resize still counts
        return ESCAPE;
    }
    if (next == 'O') {
        // Shifted function keys of some terminals carry parameters here
        // (ESC O 2 Q); the keypad's keys do not.
        int final = pendingByte(get_escdelay());
        bool parameters = false;
        for (; final >= 0x30 && final < 0x40; final = pendingByte(get_escdelay())) parameters = true;
        if (parameters) return UNNAMED_KEY;
        // The keypad's keys where the description lacks them.
        if (final == 'M') return KEY_ENTER;
        std::size_t key = final >= 0 && final <= 0xFF ? KEYPAD_FINALS.find(static_cast<char>(final)) : std::string_view::npos;
        return key == std::string_view::npos ? UNNAMED_KEY : KEYPAD_CHARACTERS[key];
    }
    skipSequence(next);
    return UNNAMED_KEY;
}

// The numeric keypad's keys that a description names (xterm's names them
// all, others some or none): each stands for the character on it.
constexpr std::pair<std::string_view, char> NAMED_KEYPAD_KEYS[] = {
    {"KEY_A1", '7'}, {"ka2", '8'},   {"KEY_A3", '9'}, {"kb1", '4'},   {"KEY_B2", '5'},
    {"kb3", '6'},    {"KEY_C1", '1'}, {"kc2", '2'},   {"KEY_C3", '3'}, {"kpZRO", '0'},
    {"kpDOT", '.'},  {"kpCMA", ','},  {"kpADD", '+'}, {"kpSUB", '-'},  {"kpMUL", '*'},
    {"kpDIV", '/'}};

// A mouse report that another program left switched on: curses names its
// start (KEY_MOUSE) and leaves the rest, three raw bytes (ESC [ M b x y) or
// numbers up to M or m (ESC [ < b ; x ; y M), which are read and dropped.
void skipMouseReport() {
    EchoOff echoOff;
    int byte = pendingByte(get_escdelay());
    if (byte >= '0' && byte <= '9') {
        while (byte != ERR && byte != 'M' && byte != 'm') byte = pendingByte(get_escdelay());
        return;
    }
    pendingByte(get_escdelay());
    pendingByte(get_escdelay());
}

int keypadCharacter(int code) {
    if (code <= 0xFF || code == KEY_RESIZE) return code;
    const char* name = keyname(code);
    if (!name) return code;
    for (const auto& [keyName, character] : NAMED_KEYPAD_KEYS)
        if (keyName == name) return character;
    return code;
}

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
            int code = keypadCharacter(readCode(echoMode));
            if (code == ESCAPE) code = afterEscape();
            if (code == KEY_MOUSE) {
                skipMouseReport();
                code = UNNAMED_KEY;
            }
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
