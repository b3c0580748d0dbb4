#include "puzzle.h"

#include <algorithm>
#include <cstdio>

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

bool Puzzle::load(const char* fileName) {
    cyphertext = WELCOME_TEXT;
    plaintext.clear();
    key.fill(' ');

    std::FILE* file = std::fopen(fileName, "rb");
    if (!file) {
        reset();
        return false;
    }
    // One byte more than is ever read, so that the data is always followed by
    // a NUL: a file of just the seven letters "CGFILE1" then matches the magic.
    std::array<char, MAX_FILE_BYTES + 1> buffer{};
    std::size_t count = std::fread(buffer.data(), 1, MAX_FILE_BYTES, file);
    std::fclose(file);
    std::string_view data(buffer.data(), count);

    if (std::string_view(buffer.data(), CGFILE_MAGIC.size()) == CGFILE_MAGIC) {
        // A short binary file supplies only the key entries it holds; nothing
        // is taken from beyond the bytes that were read.
        std::string_view stored = data.substr(std::min(count, CGFILE_MAGIC.size()));
        for (std::size_t i = 0; i < KEY_SIZE; ++i) key[i] = i < stored.size() ? stored[i] : ' ';
        cyphertext = upToNul(data.substr(std::min(count, BINARY_HEADER_BYTES)));
    } else {
        cyphertext = upToNul(data);
    }
    decode();
    return true;
}
