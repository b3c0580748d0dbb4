#include "generators.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int ROT13_SHIFT = 13;
constexpr const char* SCRATCH_FILE = "tmp.tmp";
// Debian installs fortune in /usr/games, which root's PATH lacks.
constexpr const char* FORTUNE_COMMAND =
    "PATH=\"${PATH:-/usr/bin:/bin}:/usr/games:/usr/local/games\" fortune > tmp.tmp";
constexpr long MIN_NEWLINES = 3;
constexpr long MAX_NEWLINES = 8;

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

bool Puzzle::generate() {
    for (int attempt = 0; attempt < GENERATE_ATTEMPTS; ++attempt) {
        (void)!std::system(FORTUNE_COMMAND);
        // Loaded aside, so that a run without a usable text costs nothing;
        // a scratch file that cannot be opened is such a run.
        Puzzle candidate;
        if (!candidate.load(SCRATCH_FILE)) continue;
        const std::string& text = candidate.cyphertext;
        long newlines = std::count(text.begin(), text.end(), '\n');
        if (text.empty() || newlines < MIN_NEWLINES || newlines > MAX_NEWLINES) continue;
        cyphertext = text;
        transform();
        return true;
    }
    return false;
}
