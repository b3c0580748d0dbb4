// Hands a fuzz input to the file readers as a file of its own, kept in
// memory so that a long fuzzing run does not wear on the disk.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

inline const char* asFile(const std::uint8_t* data, std::size_t size) {
    static const int descriptor = memfd_create("fuzz-input", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
    if (descriptor < 0 || ftruncate(descriptor, 0) != 0 ||
        pwrite(descriptor, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    return path.c_str();
}

#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) std::abort(); \
    } while (0)
