// Times `transform` on a 4095-byte text over many calls and many starting
// seconds. Each call must finish within a millisecond: it never waits for
// the clock to reach a second whose key leaves no letter standing for itself.
//
// The time counted is the processor time of the calling thread, so that the
// moments when a shared machine hands the processor to someone else do not
// count against the program. Exits 1 when any call takes a millisecond or more.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "puzzle.h"

namespace {

std::chrono::nanoseconds threadTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace

int main() {
    constexpr int CALLS = 10000;
    constexpr auto LIMIT = std::chrono::milliseconds(1);
    std::string text;
    while (text.size() < MAX_TEXT_BYTES) text += "The quick brown fox jumps over the lazy dog.\n";
    text.resize(MAX_TEXT_BYTES);

    Puzzle puzzle;
    puzzle.cyphertext = text;
    std::chrono::nanoseconds total{0}, longest{0};
    std::time_t now = std::time(nullptr);
    for (int call = 0; call < CALLS; ++call) {
        auto started = threadTime();
        // Half the calls from the clock, half from seconds spread far apart.
        if (call % 2 == 0)
            puzzle.transform();
        else
            puzzle.transform(now + static_cast<std::time_t>(call) * 7919);
        auto taken = threadTime() - started;
        total += taken;
        longest = std::max(longest, taken);
    }
    std::printf("transform of %zu bytes, %d calls: mean %.1f us, longest %.1f us (limit %lld us)\n", text.size(),
                CALLS, total.count() / 1000.0 / CALLS, longest.count() / 1000.0,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(LIMIT).count()));
    return longest < LIMIT ? 0 : 1;
}
