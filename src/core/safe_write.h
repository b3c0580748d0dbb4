// Writing a whole file so that a failure never costs the file it replaces.
#pragma once

#include <string_view>

#include "puzzle.h"

// Writes `bytes` as the whole content of the file `fileName`, which this
// user must be allowed to write; if not, nothing changes. A new file, and a
// regular file of this user's (any file, for root) with a single link, is
// written to a temporary file beside it and renamed over it only once every
// byte is safely down, so on failure the old file stays as it was. Any other
// file keeps its identity, owner and links by being written in place; so
// does one in a folder that takes no temporary file. A symbolic link is
// followed and stays a link. A FIFO with no reader fails at once (ENXIO);
// one whose reader is slow is waited for, unless `stopRequested` says the
// program must quit (EINTR).
// Writes every byte to an open file, going on after interruptions; returns
// 0, or the system's error number. A quit cuts short only a wait for a
// FIFO's reader.
int writeEveryByte(int descriptor, std::string_view bytes, const StopRequested& stopRequested = {});

SaveResult writeWholeFile(const char* fileName, std::string_view bytes, const StopRequested& stopRequested = {});
