// Any bytes as a puzzle file: the reader stays within what it read and
// leaves a puzzle the rest of the program can rely on.
#include <algorithm>
#include <string_view>

#include "fuzz_input.h"
#include "puzzle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Puzzle puzzle;
    FUZZ_CHECK(puzzle.load(asFile(data, size)));

    std::string_view file(reinterpret_cast<const char*>(data), size);
    bool binary = file.substr(0, CGFILE_MAGIC.size()) == CGFILE_MAGIC || file == CGFILE_MAGIC.substr(0, 7);
    // The text limit counts after a binary file's header, from the start of a plain one.
    std::string_view text = binary ? file.substr(std::min(file.size(), BINARY_HEADER_BYTES)) : file;
    text = text.substr(0, MAX_TEXT_BYTES);
    text = text.substr(0, std::min(text.find('\0'), text.size()));

    FUZZ_CHECK(puzzle.cyphertext == text);
    FUZZ_CHECK(puzzle.plaintext.size() == puzzle.cyphertext.size());
    for (std::size_t i = 0; i < KEY_SIZE; ++i) {
        std::size_t offset = CGFILE_MAGIC.size() + i;
        char expected = binary && offset < file.size() ? file[offset] : ' ';
        FUZZ_CHECK(puzzle.key[i] == expected);
    }
    return 0;
}
