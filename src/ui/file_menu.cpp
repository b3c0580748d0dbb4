#include "file_menu.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cells.h"

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

// A name may be typed to 255 characters; the operations get at most 254.
constexpr std::size_t TYPED_NAME_LIMIT = 255;
constexpr std::size_t NAME_LIMIT = 254;
constexpr std::size_t EDITOR_LIMIT = 512;

constexpr unsigned char BACKSPACE = 0x08, DELETE = 0x7F, CTRL_U = 0x15;

void reportSave(Screen& screen, Puzzle& puzzle, const std::string& name, SaveResult result) {
    if (result.ok()) return;
    char reason[512];
    std::snprintf(reason, sizeof reason, SAVE_FAILED_REASON_FORMAT, std::strerror(result.error));
    showMessageAndWait(screen, [&] { redraw(screen, puzzle); }, SAVE_FAILED_TEXT, name, reason);
}

void loadPuzzle(Screen&, Puzzle& puzzle, const std::string& name) {
    puzzle.load(name.c_str());
    puzzle.decode();
}

void saveTextExport(Screen& screen, Puzzle& puzzle, const std::string& name) {
    reportSave(screen, puzzle, name, puzzle.saveText(name.c_str()));
    puzzle.decode();
}

void saveBinaryFile(Screen& screen, Puzzle& puzzle, const std::string& name) {
    reportSave(screen, puzzle, name, puzzle.saveBinary(name.c_str()));
    puzzle.decode();
}

void saveKeyFile(Screen& screen, Puzzle& puzzle, const std::string& name) {
    reportSave(screen, puzzle, name, puzzle.saveKeys(name.c_str()));
}

void loadKeyFile(Screen&, Puzzle& puzzle, const std::string& name) { puzzle.loadKeys(name.c_str()); }

// An empty value counts as unset: run as a command it would make the shell
// run the file name itself.
const char* editorFromEnvironment() {
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return nullptr;
}

void createWithEditor(Screen& screen, Puzzle& puzzle, const std::string& name) {
    const char* editor = editorFromEnvironment();
    if (!editor) {
        showMessageAndWait(screen, [&] { redraw(screen, puzzle); }, NO_EDITOR_MESSAGE);
        return;
    }
    // The editor value goes to the shell as it stands, so that options work;
    // the name is quoted, so that it arrives as one argument and nothing in
    // it is run.
    std::string command = std::string(editor).substr(0, EDITOR_LIMIT);
    if (!name.empty()) command += " " + shellQuote(name);
    runOutsideCurses(command);
    puzzle.load(name.c_str());
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

// Removes the last character as the prompt shows it: a multibyte character
// whole, a stray byte alone.
void eraseLastCharacter(std::string& typed) { typed.resize(lastCharacterStart(typed)); }

}  // namespace

std::string shellQuote(std::string_view word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string_view("'\\''") : std::string_view(&c, 1);
    return quoted + "'";
}

std::string promptString(Screen& screen, const Paint& background, std::string_view prompt) {
    std::string typed;
    for (;;) {
        int code = waitKey(screen, Echo::Off, [&] {
            background();
            drawMenuMessage(screen, prompt, typed);
        });
        unsigned char byte = static_cast<unsigned char>(code & 0xFF);
        if (byte == '\n' || byte == '\r') break;
        if (byte == erasechar() || byte == DELETE || byte == BACKSPACE) {
            eraseLastCharacter(typed);
        } else if (byte == killchar() || byte == CTRL_U) {
            typed.clear();
        } else if (typed.size() < TYPED_NAME_LIMIT) {
            typed += static_cast<char>(byte);
        } else {
            beep();
        }
    }
    // A NUL ends the name, as it would end it for the file system.
    typed.resize(std::min({typed.find('\0'), typed.size(), NAME_LIMIT}));
    return typed;
}

void fileMenu(Screen& screen, Puzzle& puzzle) {
    auto background = [&] { redraw(screen, puzzle); };
    for (;;) {
        int code = waitKey(screen, Echo::Off, [&] {
            background();
            drawMenuBar(screen, FILE_MENU_TEXT);
        });
        char choice = foldLetter(static_cast<char>(code & 0xFF));
        if (choice == 'C') return;
        for (const FileAction& action : FILE_ACTIONS) {
            if (choice != action.key) continue;
            std::string name = promptString(screen, background, action.prompt);
            action.run(screen, puzzle, name);
            return;
        }
    }
}
