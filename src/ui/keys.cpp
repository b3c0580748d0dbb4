#include "keys.h"

#include <string_view>
#include <utility>

#include "input.h"

namespace {

constexpr int ESCAPE = 0x1B;

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

int wholeKey(int code) {
    code = keypadCharacter(code);
    if (code == ESCAPE) return afterEscape();
    if (code == KEY_MOUSE) {
        skipMouseReport();
        return UNNAMED_KEY;
    }
    return code;
}
