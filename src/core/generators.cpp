#include "generators.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "safe_write.h"

namespace {

constexpr int ROT13_SHIFT = 13;
constexpr const char* SCRATCH_FILE = "tmp.tmp";
// Debian installs fortune in /usr/games, which root's PATH lacks.
constexpr const char* FORTUNE_COMMAND = "PATH=\"${PATH:-/usr/bin:/bin}:/usr/games:/usr/local/games\" fortune";
// Far more than any fortune; the scratch copy keeps this much of a text.
constexpr std::size_t FORTUNE_OUTPUT_LIMIT = 64 * 1024;
constexpr std::size_t COMPLAINT_LIMIT = 1024;
constexpr long MIN_NEWLINES = 3;
constexpr long MAX_NEWLINES = 8;

// The scratch file keeps the last text of fortune, as it always has. It is
// written only as a plain file with no other name: never through a link
// that someone may have planted in a shared folder, never into a FIFO or a
// device. A scratch file that cannot be written costs nothing.
void keepScratchCopy(std::string_view text) {
    int descriptor = open(SCRATCH_FILE, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (descriptor < 0) return;
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1 &&
        ftruncate(descriptor, 0) == 0)
        (void)writeEveryByte(descriptor, text);
    close(descriptor);
}

std::string firstLine(std::string_view text) { return std::string(text.substr(0, text.find('\n'))); }

}  // namespace

namespace {

// The alphabet after RANDOM_EXCHANGES exchanges of two positions drawn in
// turn: the first draw picks a, the second b.
template <class Draw>
std::array<char, KEY_SIZE> shuffledAlphabet(Draw draw) {
    std::array<char, KEY_SIZE> key;
    for (std::size_t i = 0; i < KEY_SIZE; ++i) key[i] = static_cast<char>('A' + i);
    for (int exchange = 0; exchange < RANDOM_EXCHANGES; ++exchange) {
        int a = static_cast<int>(draw() % KEY_SIZE);
        int b = static_cast<int>(draw() % KEY_SIZE);
        std::swap(key[a], key[b]);
    }
    return key;
}

}  // namespace

std::array<char, KEY_SIZE> randomKeyFor(unsigned seed) {
    std::srand(seed);
    return shuffledAlphabet([] { return static_cast<unsigned>(std::rand()); });
}

std::array<char, KEY_SIZE> quickRandomKeyFor(unsigned seed) {
#ifdef __GLIBC__
    // glibc's srand and rand are srandom and random on a 128-byte state, and
    // random takes a lock for every draw; random_r on a state of the same
    // size gives the same numbers without it, several times faster.
    char state[128];
    random_data data{};
    initstate_r(seed, state, sizeof state, &data);
    return shuffledAlphabet([&] {
        std::int32_t number;
        random_r(&data, &number);
        return static_cast<unsigned>(number);
    });
#else
    return randomKeyFor(seed);
#endif
}

bool fixesALetter(const std::array<char, KEY_SIZE>& key) {
    for (std::size_t i = 0; i < KEY_SIZE; ++i)
        if (key[i] == static_cast<char>('A' + i)) return true;
    return false;
}

void Puzzle::randomCypher() { key = randomKeyFor(static_cast<unsigned>(std::time(nullptr))); }

void Puzzle::rot13() {
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        setChar(letter, static_cast<char>('A' + (letter - 'A' + ROT13_SHIFT) % 26));
}

void Puzzle::transform(std::time_t firstSecond) {
    // The key of each second is known without waiting for that second to
    // come, so the first one without a fixed letter is found at once.
    std::time_t second = firstSecond;
    do key = quickRandomKeyFor(static_cast<unsigned>(second++));
    while (fixesALetter(key));
    decode();
    cyphertext = plaintext;
    plaintext.assign(cyphertext.size(), ' ');
    key.fill(' ');
}

GenerateResult Puzzle::generate(const ChildWatch& watch) {
    GenerateResult result;
    for (int attempt = 0; attempt < GENERATE_ATTEMPTS; ++attempt) {
        // The text comes straight from this run of fortune; the scratch file
        // is only a copy, so a stale or planted one is never taken for it.
        CapturedRun run = runCaptured(FORTUNE_COMMAND, FORTUNE_OUTPUT_LIMIT, COMPLAINT_LIMIT, watch);
        if (run.interrupted) {
            result.outcome = GenerateResult::Outcome::Interrupted;
            return result;
        }
        if (!run.errors.empty()) result.complaint = firstLine(run.errors);
        keepScratchCopy(run.output);
        std::string_view text = plainTextOf(run.output);
        long newlines = std::count(text.begin(), text.end(), '\n');
        if (text.empty() || newlines < MIN_NEWLINES || newlines > MAX_NEWLINES) continue;
        cyphertext = text;
        transform();
        result.outcome = GenerateResult::Outcome::Generated;
        return result;
    }
    return result;
}
