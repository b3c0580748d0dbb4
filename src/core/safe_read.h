// Reading the start of a puzzle or key file without ever hanging on it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// Reads at most `limit` bytes from the start of the file `fileName`; the
// rest of the file is never read. A FIFO with no writer reads as empty at
// once, and one with a writer gives what the writer sends. Returns nothing
// when the file cannot be opened, is a terminal (whose keys belong to the
// program), or fails before its first byte; a failure after some bytes
// leaves those bytes as the content.
std::optional<std::string> readFileStart(const char* fileName, std::size_t limit);
