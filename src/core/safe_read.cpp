#include "safe_read.h"

#include <fcntl.h>
#include <poll.h>
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

// Long enough to cost nothing, short enough that a quit is seen at once.
constexpr int READY_POLL_MS = 100;

}  // namespace

bool waitUntilReady(int descriptor, short events, const StopRequested& stopRequested) {
    pollfd waiting{descriptor, events, 0};
    for (;;) {
        if (stopRequested && stopRequested()) return false;
        int ready = poll(&waiting, 1, READY_POLL_MS);
        // Errors, a hang-up included, are for the read or write to report.
        if (ready > 0 || (ready < 0 && errno != EINTR)) return true;
    }
}

std::optional<std::string> readFileStart(const char* fileName, std::size_t limit,
                                         const StopRequested& stopRequested) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer, possibly for
    // ever. O_NOCTTY keeps a terminal from becoming the program's own.
    OpenFile file{open(fileName, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.descriptor < 0 || isatty(file.descriptor)) return std::nullopt;

    // Reads stay non-blocking: a FIFO without a writer ends at once (a read
    // gives 0), while one whose writer is still at work is waited for (a
    // read gives EAGAIN), without losing sight of a quit.
    std::string bytes(limit, '\0');
    std::size_t count = 0;
    while (count < limit) {
        ssize_t got = read(file.descriptor, bytes.data() + count, limit - count);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitUntilReady(file.descriptor, POLLIN, stopRequested)) break;
            continue;
        }
        if (got < 0 && count == 0) return std::nullopt;
        if (got <= 0) break;
        count += static_cast<std::size_t>(got);
    }
    bytes.resize(count);
    return bytes;
}
