// Reading the start of a puzzle or key file without ever hanging on it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "child_process.h"

// Reads at most `limit` bytes from the start of the file `fileName`; the
// rest of the file is never read. A FIFO with no writer reads as empty at
// once, and one with a writer gives what the writer sends. Returns nothing
// when the file cannot be opened, is a terminal (whose keys belong to the
// program), or fails before its first byte; a failure after some bytes
// leaves those bytes as the content.
// A FIFO's writer is waited for, unless `stopRequested` says the program must
// quit; what came until then is the content.
std::optional<std::string> readFileStart(const char* fileName, std::size_t limit,
                                         const StopRequested& stopRequested = {});

// Waits until the descriptor is ready for `events` (POLLIN, POLLOUT), asking
// in between whether the program must quit: the other end of a FIFO may
// take its time. Returns false when it must.
bool waitUntilReady(int descriptor, short events, const StopRequested& stopRequested);
