#include "safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

namespace {

constexpr int MAX_LINKS_FOLLOWED = 40;  // as the kernel's own limit on link chains
constexpr std::size_t TEMPORARY_BASE_LIMIT = 200;

std::string directoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that a chain of symbolic links ends at, which need not exist yet:
// replacing the link itself would turn it into a plain file.
bool resolveLinks(std::string& path, int& error) {
    for (int followed = 0; followed < MAX_LINKS_FOLLOWED; ++followed) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
        char target[PATH_MAX];
        ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length < 0) {
            error = errno;
            return false;
        }
        std::string next(target, static_cast<std::size_t>(length));
        path = next.front() == '/' ? next : directoryOf(path) + "/" + next;
    }
    error = ELOOP;
    return false;
}

int writeAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = write(descriptor, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// Devices and FIFOs cannot be replaced; they get the bytes directly.
SaveResult writeInPlace(const std::string& path, std::string_view bytes) {
    int descriptor = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (descriptor < 0) return {errno};
    int error = writeAll(descriptor, bytes);
    if (close(descriptor) != 0 && error == 0) error = errno;
    return {error};
}

mode_t modeForNewFile() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

SaveResult replaceFile(const std::string& path, const struct stat* existing, std::string_view bytes) {
    // Named after the target, so that one left by a crash can be recognised,
    // but short enough for any name the target itself may have.
    std::string base = path.substr(path.rfind('/') + 1).substr(0, TEMPORARY_BASE_LIMIT);
    std::string temporary = directoryOf(path) + "/." + base + ".XXXXXX";
    int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) return {errno};

    int error = 0;
    if (existing) {
        // Best effort: only the owner or root can hand the file back.
        if (existing->st_uid != geteuid() || existing->st_gid != getegid())
            (void)!fchown(descriptor, existing->st_uid, existing->st_gid);
        if (fchmod(descriptor, existing->st_mode & 07777) != 0) error = errno;
    } else if (fchmod(descriptor, modeForNewFile()) != 0) {
        error = errno;
    }
    if (error == 0) error = writeAll(descriptor, bytes);
    if (error == 0 && fsync(descriptor) != 0) error = errno;
    if (close(descriptor) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) unlink(temporary.c_str());
    return {error};
}

}  // namespace

SaveResult writeWholeFile(const char* fileName, std::string_view bytes) {
    std::string path = fileName;
    if (path.empty()) return {ENOENT};
    int error = 0;
    if (!resolveLinks(path, error)) return {error};

    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode)) return writeInPlace(path, bytes);
        return replaceFile(path, &status, bytes);
    }
    if (errno != ENOENT) return {errno};
    return replaceFile(path, nullptr, bytes);
}
