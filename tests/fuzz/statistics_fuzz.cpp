// Any bytes as a cyphertext: the letter table is a sorted permutation of
// the alphabet, and every letter of the text lies in exactly one counted word.
#include <algorithm>

#include "fuzz_input.h"
#include "puzzle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Puzzle puzzle;
    puzzle.cyphertext.assign(reinterpret_cast<const char*>(data), size);
    long letterCount = std::count_if(puzzle.cyphertext.begin(), puzzle.cyphertext.end(), isLetter);

    LetterArray letters;
    CountArray counts;
    puzzle.countLetters(letters, counts);
    LetterArray sorted = letters;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t k = 0; k < KEY_SIZE; ++k) FUZZ_CHECK(sorted[k] == static_cast<char>('A' + k));
    FUZZ_CHECK(std::is_sorted(counts.rbegin(), counts.rend()));
    long total = 0;
    for (int count : counts) total += count;
    FUZZ_CHECK(total == letterCount);

    long lettersInWords = 0;
    for (const auto& [count, word] : puzzle.countWords()) {
        FUZZ_CHECK(count >= 1 && !word.empty());
        FUZZ_CHECK(isUpperLetter(word.front()) && isUpperLetter(word.back()));
        lettersInWords += count * std::count_if(word.begin(), word.end(), isLetter);
    }
    FUZZ_CHECK(lettersInWords == letterCount);
    return 0;
}
