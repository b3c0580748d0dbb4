#include "safe_read.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Closes the descriptor whichever way the read ends.
struct OpenFile {
    int descriptor;
    ~OpenFile() {
        if (descriptor >= 0) close(descriptor);
    }
};

}  // namespace

std::optional<std::string> readFileStart(const char* fileName, std::size_t limit) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer, possibly for
    // ever. O_NOCTTY keeps a terminal from becoming the program's own.
    OpenFile file{open(fileName, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.descriptor < 0 || isatty(file.descriptor)) return std::nullopt;
    // Reads wait again from here on: a writer that is still at work is
    // waited for, while a FIFO without one ends at once.
    int flags = fcntl(file.descriptor, F_GETFL);
    if (flags < 0 || fcntl(file.descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) return std::nullopt;

    std::string bytes(limit, '\0');
    std::size_t count = 0;
    while (count < limit) {
        ssize_t got = read(file.descriptor, bytes.data() + count, limit - count);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && count == 0) return std::nullopt;
        if (got <= 0) break;
        count += static_cast<std::size_t>(got);
    }
    bytes.resize(count);
    return bytes;
}
