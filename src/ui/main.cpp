#include <clocale>

#include "puzzle.h"
#include "screen.h"

int main(int argc, char** argv) {
    // The user's locale, so that the text panel shows the multibyte
    // characters of puzzles copied from the web.
    std::setlocale(LC_ALL, "");

    Puzzle puzzle;
    if (argc == 2) puzzle.load(argv[1]);
    runInterface(puzzle);
    return 0;
}
