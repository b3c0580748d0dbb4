// Counts the bytes the program writes to an 80x24 terminal for the key edit
// S, h, i on a two-line puzzle: what a user on a slow line pays per key.
//
//   bench_redraw_bytes [path/to/quorvantis]
//
// Exits 1 when the edit costs 700 bytes or more.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr std::size_t BUDGET = 700;
constexpr int QUIET_MS = 300;  // the program is done drawing once it is this quiet

// Reads everything the program writes until it falls quiet.
std::size_t drain(int terminal) {
    std::size_t total = 0;
    pollfd waiting{terminal, POLLIN, 0};
    char buffer[4096];
    while (poll(&waiting, 1, QUIET_MS) > 0) {
        ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    const char* binary = argc > 1 ? argv[1] : QUORVANTIS_BINARY;
    char puzzlePath[] = "/tmp/quorvantis-bench-XXXXXX";
    int puzzleFile = mkstemp(puzzlePath);
    if (puzzleFile < 0) return 2;
    const std::string puzzle = "HIT GHI HIS\nIS THIS IT\n";
    if (write(puzzleFile, puzzle.data(), puzzle.size()) != static_cast<ssize_t>(puzzle.size())) return 2;
    close(puzzleFile);

    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    int terminal;
    pid_t child = forkpty(&terminal, nullptr, nullptr, &size);
    if (child < 0) return 2;
    if (child == 0) {
        setenv("TERM", "xterm-256color", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        execl(binary, binary, puzzlePath, static_cast<char*>(nullptr));
        _exit(127);
    }

    std::size_t startup = drain(terminal);
    std::size_t edit = 0;
    for (char key : std::string("Shi")) {
        if (write(terminal, &key, 1) != 1) return 2;
        std::size_t bytes = drain(terminal);
        std::printf("key %c: %zu bytes\n", key, bytes);
        edit += bytes;
    }
    if (write(terminal, "q", 1) != 1) return 2;
    drain(terminal);
    waitpid(child, nullptr, 0);
    unlink(puzzlePath);

    std::printf("start-up: %zu bytes\nS, h, i: %zu bytes (budget %zu)\n", startup, edit, BUDGET);
    return edit < BUDGET ? 0 : 1;
}
