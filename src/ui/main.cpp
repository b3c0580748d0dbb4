#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "panels.h"
#include "puzzle.h"
#include "screen.h"
#include "terminal.h"

namespace {

constexpr const char* USAGE =
    "Usage: quorvantis [PUZZLE-FILE]\n"
    "       quorvantis --help | --version\n"
    "\n"
    "Helps you solve a substitution cryptogram in the terminal. With a file,\n"
    "loads that puzzle (plain text, or a binary puzzle file with its key);\n"
    "without one, shows a welcome text. A file named like an option can be\n"
    "given as ./--help.\n"
    "\n"
    "Main menu: S set a key letter, U unset one, R reset the key,\n"
    "F File menu, T Tools menu, Q quit. See quorvantis(1).\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", PRODUCT_NAME, PRODUCT_VERSION);
        return 0;
    }

    // The user's locale, so that the text panel shows the multibyte
    // characters of puzzles copied from the web.
    std::setlocale(LC_ALL, "");

    // Curses would draw a terminal it cannot address onto one line, or end
    // with a message of its own; say what is wrong before anything is drawn.
    std::string problem = terminalProblem();
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }

    Puzzle puzzle;
    if (argc == 2) puzzle.load(argv[1]);
    runInterface(puzzle);
    return 0;
}
