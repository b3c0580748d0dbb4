#include "puzzle.h"

#include <algorithm>
#include <optional>

#include "safe_read.h"

Puzzle::Puzzle() { reset(); }

void Puzzle::reset() {
    cyphertext = WELCOME_TEXT;
    plaintext.clear();
    key.fill(' ');
    decode();
}

void Puzzle::decode() {
    if (plaintext.size() != cyphertext.size()) plaintext.assign(cyphertext.size(), ' ');
    for (std::size_t i = 0; i < cyphertext.size(); ++i) {
        char c = cyphertext[i];
        if (isLetter(c)) {
            char entry = key[foldLetter(c) - 'A'];
            plaintext[i] = entry == ' ' ? '_' : entry;
        } else {
            plaintext[i] = c;
        }
    }
}

void Puzzle::setChar(char cypherLetter, char plainLetter) {
    if (!isLetter(cypherLetter)) return;
    key[foldLetter(cypherLetter) - 'A'] = foldLetter(plainLetter);
}

void Puzzle::unsetChar(char cypherLetter) {
    if (!isLetter(cypherLetter)) return;
    key[foldLetter(cypherLetter) - 'A'] = ' ';
}

void Puzzle::resetChars() {
    for (char letter = 'A'; letter <= 'Z'; ++letter) unsetChar(letter);
}

// Text ends at the first NUL: the rest of the program never sees a NUL in the
// cyphertext.
static std::string_view upToNul(std::string_view bytes) {
    return bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
}

std::string_view plainTextOf(std::string_view bytes) { return upToNul(bytes.substr(0, MAX_TEXT_BYTES)); }

bool Puzzle::load(const char* fileName, const StopRequested& stopRequested) {
    cyphertext = WELCOME_TEXT;
    plaintext.clear();
    key.fill(' ');

    std::optional<std::string> read = readFileStart(fileName, MAX_BINARY_FILE_BYTES, stopRequested);
    if (!read) {
        reset();
        return false;
    }
    std::string_view data = *read;
    // The magic is compared as though a NUL followed the data: a file of
    // just the seven letters "CGFILE1" then matches it.
    std::string start(data.substr(0, CGFILE_MAGIC.size()));
    start.resize(CGFILE_MAGIC.size(), '\0');

    if (start == CGFILE_MAGIC) {
        // A short binary file supplies only the key entries it holds; nothing
        // is taken from beyond the bytes that were read.
        std::string_view stored = data.substr(std::min(data.size(), CGFILE_MAGIC.size()));
        for (std::size_t i = 0; i < KEY_SIZE; ++i) key[i] = i < stored.size() ? stored[i] : ' ';
        cyphertext = upToNul(data.substr(std::min(data.size(), BINARY_HEADER_BYTES)));
    } else {
        cyphertext = plainTextOf(data);
    }
    decode();
    return true;
}
