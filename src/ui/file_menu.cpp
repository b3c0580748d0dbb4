#include "file_menu.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "cells.h"
#include "terminal.h"

namespace {

constexpr std::string_view FILE_MENU_TEXT =
    " L:Load T:saveText B:saveBinary S:SaveKeys K:LoadKeys N:New C:Cancel ";
constexpr std::string_view NO_EDITOR_MESSAGE = "Set VISUAL or EDITOR to choose an editor. Press a key.";
// "Could not write NAME: REASON. Press a key.", in its parts around the name.
constexpr std::string_view SAVE_FAILED_TEXT = "Could not write ";
constexpr const char* SAVE_FAILED_REASON_FORMAT = ": %s. Press a key.";

// The bar and the cursor after it must fit the least terminal, or the way
// out of the menu would be cut off.
static_assert(FILE_MENU_TEXT.size() < MIN_COLUMNS);

// The operations take a name of at most 254 bytes, and the prompt holds no
// more: what it shows is what is used.
constexpr std::size_t NAME_LIMIT = 254;

constexpr int BACKSPACE = 0x08, DELETE = 0x7F, CTRL_U = 0x15;

void reportSave(Screen& screen, Puzzle& puzzle, const std::string& name, SaveResult result) {
    // Saved to a device, a terminal perhaps (/dev/tty): the bytes may be
    // on the screen now.
    struct stat status {};
    if (stat(name.c_str(), &status) == 0 && S_ISCHR(status.st_mode)) repaintWholeTerminal();
    if (result.ok()) return;
    // A save cut short because the program must quit is no failure to show.
    if (quitRequested()) throw LeaveProgram{};
    char reason[512];
    std::snprintf(reason, sizeof reason, SAVE_FAILED_REASON_FORMAT, std::strerror(result.error));
    showMessageAndWait(screen, [&] { redraw(screen, puzzle); }, SAVE_FAILED_TEXT, name, reason);
}

void loadPuzzle(Screen&, Puzzle& puzzle, const std::string& name) {
    puzzle.load(name.c_str(), quitRequested);
    puzzle.decode();
}

void saveTextExport(Screen& screen, Puzzle& puzzle, const std::string& name) {
    reportSave(screen, puzzle, name, puzzle.saveText(name.c_str(), quitRequested));
    puzzle.decode();
}

void saveBinaryFile(Screen& screen, Puzzle& puzzle, const std::string& name) {
    reportSave(screen, puzzle, name, puzzle.saveBinary(name.c_str(), quitRequested));
    puzzle.decode();
}

void saveKeyFile(Screen& screen, Puzzle& puzzle, const std::string& name) {
    reportSave(screen, puzzle, name, puzzle.saveKeys(name.c_str(), quitRequested));
}

void loadKeyFile(Screen&, Puzzle& puzzle, const std::string& name) { puzzle.loadKeys(name.c_str(), quitRequested); }

// An empty value, or one of white space only, counts as unset: run as a
// command it would make the shell run the file name itself.
const char* editorFromEnvironment() {
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const char* value = std::getenv(variable);
        if (value && std::string_view(value).find_first_not_of(" \t\n\v\f\r") != std::string_view::npos) return value;
    }
    return nullptr;
}

// A name that begins like an option (-x, or vim's +command) would be taken
// for one by the editor; as a path it is only a file name.
std::string editorArgument(const std::string& name) {
    bool optionLike = !name.empty() && (name.front() == '-' || name.front() == '+');
    return optionLike ? "./" + name : name;
}

void createWithEditor(Screen& screen, Puzzle& puzzle, const std::string& name) {
    const char* editor = editorFromEnvironment();
    if (!editor) {
        showMessageAndWait(screen, [&] { redraw(screen, puzzle); }, NO_EDITOR_MESSAGE);
        return;
    }
    // The editor value goes to the shell whole, so that options work; the
    // name is quoted, so that it arrives as one argument and nothing in it
    // is run.
    std::string command = editor;
    if (!name.empty()) command += " " + shellQuote(editorArgument(name));
    runOutsideCurses(command);
    puzzle.load(name.c_str(), quitRequested);
    puzzle.decode();
}

struct FileAction {
    char key;
    std::string_view prompt;
    void (*run)(Screen&, Puzzle&, const std::string& name);
};

constexpr FileAction FILE_ACTIONS[] = {
    {'L', "File to open? ", loadPuzzle},
    {'T', "Text file to save? ", saveTextExport},
    {'B', "Binary file to save? ", saveBinaryFile},
    {'S', "File to save keys to? ", saveKeyFile},
    {'K', "File to load keys from? ", loadKeyFile},
    {'N', "File to create? ", createWithEditor},
};

// Whether `bytes` begin a character of the locale or make exactly one.
bool oneCharacterSoFar(std::string_view bytes) {
    std::mbstate_t state{};
    wchar_t code;
    std::size_t length = std::mbrtowc(&code, bytes.data(), bytes.size(), &state);
    return length == static_cast<std::size_t>(-2) || length == bytes.size();
}

// Where the character starts that `byte` would continue at the end of
// `typed`, or the end of `typed` when it continues none.
std::size_t continuedStart(std::string_view typed, char byte) {
    for (std::size_t length = 1; length < MB_CUR_MAX && length <= typed.size(); ++length) {
        std::string_view start = typed.substr(typed.size() - length);
        std::mbstate_t state{};
        wchar_t code;
        if (std::mbrtowc(&code, start.data(), start.size(), &state) == static_cast<std::size_t>(-2) &&
            oneCharacterSoFar(std::string(start) + byte))
            return typed.size() - length;
    }
    return typed.size();
}

// The name being typed. A character that does not fit is refused whole: its
// first bytes are taken back out of the name and the rest of it refused as
// it comes, so that no half character is left in the name.
struct NameTyping {
    std::string typed;
    std::string refused;  // the bytes so far of a character that did not fit

    void type(char byte) {
        if (!refused.empty()) {
            refused += byte;
            if (oneCharacterSoFar(refused)) {
                beep();
                return;
            }
            refused.clear();
        }
        // A NUL would end the name for the file system.
        if (byte != '\0' && typed.size() < NAME_LIMIT) {
            typed += byte;
            return;
        }
        if (byte != '\0') {
            std::size_t start = continuedStart(typed, byte);
            refused = typed.substr(start) + byte;
            typed.resize(start);
        }
        beep();
    }

    void erase() {
        refused.clear();
        typed.resize(lastCharacterStart(typed));
    }

    void eraseAll() {
        refused.clear();
        typed.clear();
    }
};

bool isEraseKey(int code) {
    return code == KEY_BACKSPACE || code == BACKSPACE || code == DELETE ||
           code == static_cast<unsigned char>(erasechar());
}

bool isKillKey(int code) { return code == CTRL_U || code == static_cast<unsigned char>(killchar()); }

}  // namespace

std::string shellQuote(std::string_view word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string_view("'\\''") : std::string_view(&c, 1);
    return quoted + "'";
}

std::string promptString(Screen& screen, const Paint& background, std::string_view prompt) {
    NameTyping name;
    for (;;) {
        int code = waitKey(screen, Echo::Off, [&] {
            background();
            drawMenuMessage(screen, prompt, name.typed);
        });
        // A key of the keypad comes as one code above 0xFF; its low byte
        // means nothing, so it is never typed.
        if (code == KEY_ENTER || code == '\n' || code == '\r') return name.typed;
        if (isEraseKey(code))
            name.erase();
        else if (isKillKey(code))
            name.eraseAll();
        else if (code <= 0xFF)
            name.type(static_cast<char>(code));
    }
}

void fileMenu(Screen& screen, Puzzle& puzzle) {
    auto background = [&] { redraw(screen, puzzle); };
    for (;;) {
        int code = waitKey(screen, Echo::Off, [&] {
            background();
            drawMenuBar(screen, FILE_MENU_TEXT);
        });
        if (isMenuKey(code, 'C')) return;
        for (const FileAction& action : FILE_ACTIONS) {
            if (!isMenuKey(code, action.key)) continue;
            std::string name = promptString(screen, background, action.prompt);
            action.run(screen, puzzle, name);
            return;
        }
    }
}
