#include <algorithm>
#include <optional>
#include <string>

#include "puzzle.h"
#include "safe_read.h"
#include "safe_write.h"

SaveResult Puzzle::saveText(const char* fileName, const StopRequested& stopRequested) const {
    return writeWholeFile(fileName, plaintext + "\n\n" + cyphertext, stopRequested);
}

SaveResult Puzzle::saveBinary(const char* fileName, const StopRequested& stopRequested) const {
    std::string bytes(CGFILE_MAGIC);
    bytes.append(key.begin(), key.end());
    bytes += cyphertext;
    return writeWholeFile(fileName, bytes, stopRequested);
}

SaveResult Puzzle::saveKeys(const char* fileName, const StopRequested& stopRequested) const {
    return writeWholeFile(fileName, std::string_view(key.data(), key.size()), stopRequested);
}

void Puzzle::loadKeys(const char* fileName, const StopRequested& stopRequested) {
    // A file that cannot be read leaves the key as it was, even one that
    // opens and then fails, as a directory does.
    std::optional<std::string> stored = readFileStart(fileName, KEY_SIZE, stopRequested);
    if (!stored) return;
    key.fill(' ');
    std::copy(stored->begin(), stored->end(), key.begin());
    // Only the letters A to Z are taken: whatever else a key file holds
    // (lowercase, digits, a newline an editor added) reads as unset.
    for (char& entry : key)
        if (!isUpperLetter(entry)) entry = ' ';
    decode();
}
