// Writing a whole file so that a failure never costs the file it replaces.
#pragma once

#include <string_view>

#include "puzzle.h"

// Writes `bytes` as the whole content of the file `fileName`. A regular file
// (or a new one) is written to a temporary file beside it and renamed over it
// only once every byte is safely down, so on failure the old file stays as it
// was. A symbolic link is followed and stays a link. A device or FIFO is
// written in place.
SaveResult writeWholeFile(const char* fileName, std::string_view bytes);
