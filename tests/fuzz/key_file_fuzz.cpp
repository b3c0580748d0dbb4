// Any bytes as a key file: only the letters A to Z of its first 26 bytes
// are taken, each into its own entry.
#include "fuzz_input.h"
#include "puzzle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Puzzle puzzle;
    puzzle.loadKeys(asFile(data, size));
    for (std::size_t i = 0; i < KEY_SIZE; ++i) {
        char byte = i < size ? static_cast<char>(data[i]) : ' ';
        FUZZ_CHECK(puzzle.key[i] == (isUpperLetter(byte) ? byte : ' '));
    }
    FUZZ_CHECK(puzzle.plaintext.size() == puzzle.cyphertext.size());
    return 0;
}
