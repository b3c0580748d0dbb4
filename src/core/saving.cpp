#include <cstdio>
#include <string>

#include "puzzle.h"
#include "safe_write.h"

SaveResult Puzzle::saveText(const char* fileName) const {
    return writeWholeFile(fileName, plaintext + "\n\n" + cyphertext);
}

SaveResult Puzzle::saveBinary(const char* fileName) const {
    std::string bytes(CGFILE_MAGIC);
    bytes.append(key.begin(), key.end());
    bytes += cyphertext;
    return writeWholeFile(fileName, bytes);
}

SaveResult Puzzle::saveKeys(const char* fileName) const {
    return writeWholeFile(fileName, std::string_view(key.data(), key.size()));
}

void Puzzle::loadKeys(const char* fileName) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (!file) return;
    key.fill(' ');
    std::fread(key.data(), 1, key.size(), file);
    std::fclose(file);
    // Only the letters A to Z are taken: whatever else a key file holds
    // (lowercase, digits, a newline an editor added) reads as unset.
    for (char& entry : key)
        if (!isUpperLetter(entry)) entry = ' ';
    decode();
}
