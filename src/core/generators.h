// The random key behind the key generators, exposed for its tests.
#pragma once

#include "puzzle.h"

constexpr int RANDOM_EXCHANGES = 1000;
constexpr int GENERATE_ATTEMPTS = 50;

// The key that randomCypher makes when the clock reads `seed`: the
// alphabet, shuffled by RANDOM_EXCHANGES exchanges of two drawn positions.
std::array<char, KEY_SIZE> randomKeyFor(unsigned seed);

// The same key, computed without going through rand's shared state, for
// searches over many seconds.
std::array<char, KEY_SIZE> quickRandomKeyFor(unsigned seed);

bool fixesALetter(const std::array<char, KEY_SIZE>& key);
