#include <unordered_map>
#include <utility>
#include <vector>

#include "puzzle.h"

namespace {

// The typographic apostrophe, as UTF-8.
constexpr std::string_view RIGHT_SINGLE_QUOTE = "\xE2\x80\x99";

// The length of an apostrophe at `offset`, or 0.
std::size_t apostropheAt(const std::string& text, std::size_t offset) {
    if (text[offset] == '\'') return 1;
    if (text.compare(offset, RIGHT_SINGLE_QUOTE.size(), RIGHT_SINGLE_QUOTE) == 0) return RIGHT_SINGLE_QUOTE.size();
    return 0;
}

}  // namespace

void Puzzle::countLetters(LetterArray& letters, CountArray& counts) const {
    for (std::size_t k = 0; k < KEY_SIZE; ++k) {
        letters[k] = static_cast<char>('A' + k);
        counts[k] = 0;
    }
    for (char c : cyphertext)
        if (isLetter(c)) ++counts[foldLetter(c) - 'A'];
    // An exchange sort: equal counts end in the order it leaves them, which
    // is not alphabetical in general.
    for (std::size_t i = 0; i < KEY_SIZE; ++i) {
        for (std::size_t j = i + 1; j < KEY_SIZE; ++j) {
            if (counts[j] > counts[i]) {
                std::swap(counts[i], counts[j]);
                std::swap(letters[i], letters[j]);
            }
        }
    }
}

// A word is a run of letters, with an apostrophe between two letters kept
// in it (DON'T), folded to uppercase: both cases are one cyphertext letter.
WordTable Puzzle::countWords() const {
    std::vector<std::pair<std::string, int>> words;  // in order of first appearance
    std::unordered_map<std::string, std::size_t> position;
    const std::string& text = cyphertext;
    for (std::size_t i = 0; i < text.size();) {
        if (!isLetter(text[i])) {
            ++i;
            continue;
        }
        std::string word;
        for (;;) {
            while (i < text.size() && isLetter(text[i])) word += foldLetter(text[i++]);
            std::size_t apostrophe = i < text.size() ? apostropheAt(text, i) : 0;
            if (apostrophe == 0 || i + apostrophe >= text.size() || !isLetter(text[i + apostrophe])) break;
            word.append(text, i, apostrophe);
            i += apostrophe;
        }
        auto [known, isNew] = position.try_emplace(word, words.size());
        if (isNew)
            words.emplace_back(word, 1);
        else
            ++words[known->second].second;
    }
    // Later insertions of an equal count are listed first, so the words go in
    // backwards: ties then show in the order the words first appear.
    WordTable table;
    for (auto entry = words.rbegin(); entry != words.rend(); ++entry) table.emplace(entry->second, entry->first);
    return table;
}
