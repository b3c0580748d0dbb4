#include "safe_write.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>

#include "safe_read.h"

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

}  // namespace

int writeEveryByte(int descriptor, std::string_view bytes, const StopRequested& stopRequested) {
    while (!bytes.empty()) {
        if (!waitUntilReady(descriptor, POLLOUT, stopRequested)) return EINTR;
        // No more than a pipe takes at once once it has room, so that the
        // write cannot block where a quit would go unseen.
        ssize_t written = write(descriptor, bytes.data(), std::min<std::size_t>(bytes.size(), PIPE_BUF));
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

namespace {

// Nothing of a file written in place is kept aside, so the usual ways for a
// write to fail part-way are tried before the first byte changes: the
// file-size limit, and a disk without room for the new content.
int roomFor(int descriptor, const struct stat& status, std::size_t size) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && size > limit.rlim_cur)
        return EFBIG;
    if (size == 0) return 0;
    // The room is taken without changing the file's size, so that nothing
    // of it changes if what follows fails.
    if (fallocate(descriptor, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) return 0;
    if (errno != EOPNOTSUPP && errno != ENOSYS) return errno;
    // A file system that cannot take room ahead (ext2, ext3) is asked how
    // much it has: the blocks the file has are written over, and only what
    // it grows by needs new ones.
    struct statvfs disk {};
    if (fstatvfs(descriptor, &disk) != 0) return 0;
    unsigned long long blockSize = disk.f_frsize ? disk.f_frsize : disk.f_bsize;
    unsigned long long held = static_cast<unsigned long long>(status.st_blocks) * 512;
    unsigned long long wanted = (size + blockSize - 1) / blockSize * blockSize;
    unsigned long long free = (geteuid() == 0 ? disk.f_bfree : disk.f_bavail) * blockSize;
    return wanted > held && wanted - held > free ? ENOSPC : 0;
}

// Writes into a file that is already open for writing: it keeps its inode,
// and with it its owner, its mode and every other link to it.
SaveResult writeInPlace(int descriptor, const struct stat& status, std::string_view bytes,
                        const StopRequested& stopRequested) {
    int error = 0;
    // Opened without waiting for a FIFO's reader; once there is one, the
    // bytes wait for it to take them.
    int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) error = errno;
    if (error == 0 && S_ISREG(status.st_mode)) error = roomFor(descriptor, status, bytes.size());
    // A quit cuts short only the wait for a FIFO's reader: a regular file,
    // once begun, is written to its end.
    if (error == 0) error = writeEveryByte(descriptor, bytes, S_ISREG(status.st_mode) ? StopRequested{} : stopRequested);
    if (S_ISREG(status.st_mode)) {
        // Cut to size only after the bytes are down: a save no longer than
        // the old content then reuses its blocks, and a full disk fails it
        // less often.
        if (error == 0 && ftruncate(descriptor, static_cast<off_t>(bytes.size())) != 0) error = errno;
        if (error == 0 && fsync(descriptor) != 0) error = errno;
    }
    if (close(descriptor) != 0 && error == 0) error = errno;
    return {error};
}

mode_t modeForNewFile() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The file that will replace `path`: beside it, so that the rename stays on
// one file system; named after it, so that one left by a crash can be
// recognised, but short enough for any name the target itself may have.
// Returns -1, with errno set, when the folder takes no new file.
int createTemporary(const std::string& path, std::string& temporary) {
    std::string base = path.substr(path.rfind('/') + 1).substr(0, TEMPORARY_BASE_LIMIT);
    temporary = directoryOf(path) + "/." + base + ".XXXXXX";
    return mkostemp(temporary.data(), O_CLOEXEC);
}

// Fills the temporary file and renames it over `path` once every byte is
// safely down; on any failure it goes, and `path` stays as it was.
SaveResult fillAndRename(int descriptor, const std::string& temporary, const std::string& path,
                         std::string_view bytes) {
    int error = writeEveryByte(descriptor, bytes);
    if (error == 0 && fsync(descriptor) != 0) error = errno;
    if (close(descriptor) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) unlink(temporary.c_str());
    return {error};
}

SaveResult createFile(const std::string& path, std::string_view bytes) {
    std::string temporary;
    int descriptor = createTemporary(path, temporary);
    if (descriptor < 0) return {errno};
    if (fchmod(descriptor, modeForNewFile()) != 0) {
        int error = errno;
        close(descriptor);
        unlink(temporary.c_str());
        return {error};
    }
    return fillAndRename(descriptor, temporary, path, bytes);
}

// A rename puts a new inode in place of the old. Only a regular file with no
// other link to it stays the same file that way, and only when the new inode
// can carry its owner: the user's own file, or any file when the user is root.
bool mayReplace(const struct stat& status) {
    return S_ISREG(status.st_mode) && status.st_nlink == 1 && (geteuid() == 0 || status.st_uid == geteuid());
}

// Fails when the replacement cannot carry the old file's group, one this
// user is not in, say.
bool takeOwnerAndMode(int descriptor, const struct stat& status) {
    return fchown(descriptor, status.st_uid, status.st_gid) == 0 && fchmod(descriptor, status.st_mode & 07777) == 0;
}

// Extended attributes (an access control list among them) belong to the
// file as much as its mode does: the replacement gets them all, or the file
// is written in place. Security labels, which the system gives a new file
// itself, may be refused without that.
bool copyExtendedAttributes(int from, int to) {
    ssize_t size = flistxattr(from, nullptr, 0);
    if (size == 0 || (size < 0 && (errno == ENOTSUP || errno == ENOSYS))) return true;
    if (size < 0) return false;
    std::string names(static_cast<std::size_t>(size), '\0');
    size = flistxattr(from, names.data(), names.size());
    if (size < 0) return false;
    names.resize(static_cast<std::size_t>(size));
    // The names stand one after another, each ended by a NUL.
    for (std::size_t start = 0, end; (end = names.find('\0', start)) != std::string::npos; start = end + 1) {
        const char* name = names.c_str() + start;
        ssize_t length = fgetxattr(from, name, nullptr, 0);
        std::string value(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
        if (length < 0 || (length > 0 && fgetxattr(from, name, value.data(), value.size()) != length) ||
            fsetxattr(to, name, value.data(), value.size(), 0) != 0) {
            if (std::string_view(name).rfind("security.", 0) == 0) continue;
            return false;
        }
    }
    return true;
}

}  // namespace

SaveResult writeWholeFile(const char* fileName, std::string_view bytes, const StopRequested& stopRequested) {
    std::string path = fileName;
    if (path.empty()) return {ENOENT};
    int error = 0;
    if (!resolveLinks(path, error)) return {error};

    // Opening the file for writing, without truncating it, asks whether this
    // user may change it at all: a rename needs only the folder's permission.
    // A FIFO with no reader makes the open fail at once (ENXIO), not wait.
    int descriptor = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        if (errno != ENOENT) return {errno};
        return createFile(path, bytes);
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        error = errno;
        close(descriptor);
        return {error};
    }
    if (mayReplace(status)) {
        std::string temporary;
        int replacement = createTemporary(path, temporary);
        if (replacement >= 0 && takeOwnerAndMode(replacement, status) &&
            copyExtendedAttributes(descriptor, replacement)) {
            close(descriptor);
            return fillAndRename(replacement, temporary, path, bytes);
        }
        if (replacement >= 0) {
            close(replacement);
            unlink(temporary.c_str());
        } else if (errno != EACCES && errno != EPERM) {
            error = errno;
            close(descriptor);
            return {error};
        }
    }
    // A folder that takes no new file, a file with other links, or one whose
    // owner or group a new file could not carry: the bytes go into the file
    // itself, which the user may write.
    return writeInPlace(descriptor, status, bytes, stopRequested);
}
