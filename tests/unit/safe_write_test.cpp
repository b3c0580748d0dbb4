// Which files a save may change, and how each keeps its identity.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <filesystem>
#include <utility>

#include "puzzle.h"
#include "temp_dir.h"

namespace {

using SafeWrite = TempDirTest;
constexpr uid_t NOBODY = 65534;
const std::string SAVED(KEY_SIZE, ' ');  // a blank key's file
const std::string OLD(40, 'o');          // longer, so that a file written in place must be cut to size

// Saves a blank key into `file` in a child process running as uid and gid
// 65534 with no other groups, and returns the save's error number.
int saveAsNobody(const std::string& file) {
    pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0) _exit(255);
        _exit(Puzzle().saveKeys(file.c_str()).error);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 254;
}

// The inode, and the owner, group and mode.
std::pair<ino_t, std::string> identityOf(const std::string& file) {
    struct stat status {};
    stat(file.c_str(), &status);
    return {status.st_ino, std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid) + " " +
                               std::to_string(status.st_mode)};
}

}  // namespace

TEST_F(SafeWrite, HardLinkedFileIsWrittenInPlaceAndFifoWithoutReaderFailsAtOnce) {
    Deadline deadline;
    writeFile("one.k", OLD);
    std::filesystem::create_hard_link(dir / "one.k", dir / "two.k");
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    Puzzle puzzle;
    EXPECT_TRUE(puzzle.saveKeys(path("one.k").c_str()).ok());
    EXPECT_EQ(readFile("two.k"), SAVED);
    EXPECT_EQ(puzzle.saveKeys(path("fifo").c_str()).error, ENXIO);
}

TEST_F(SafeWrite, ExtendedAttributesStayWithTheFile) {
    std::string file = writeFile("noted.k", OLD);
    if (setxattr(file.c_str(), "user.note", "kept", 4, 0) != 0)
        GTEST_SKIP() << "the temporary folder's file system takes no user attributes";
    ASSERT_TRUE(Puzzle().saveKeys(file.c_str()).ok());
    EXPECT_EQ(readFile("noted.k"), SAVED);
    char value[8] = {};
    EXPECT_EQ(getxattr(file.c_str(), "user.note", value, sizeof value), 4);
    EXPECT_STREQ(value, "kept");
}

TEST_F(SafeWrite, OrdinaryUserChangesOnlyWhatItMayWriteAndKeepsItsIdentity) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run a save as uid 65534 in a child process";
    std::filesystem::permissions(dir, std::filesystem::perms(0755));
    std::filesystem::create_directories(dir / "home" / "locked");  // root's folder inside nobody's
    ASSERT_EQ(chown(path("home").c_str(), NOBODY, NOBODY), 0);
    struct Case { const char* name; uid_t owner; gid_t group; mode_t mode; int error; bool sameInode; };
    const Case cases[] = {
        {"home/ro.k", NOBODY, NOBODY, 0444, EACCES, true},     // its own, read-only
        {"home/root.k", 0, 0, 0644, EACCES, true},             // root's
        {"home/shared.k", 0, 0, 0666, 0, true},                // root's, open to all
        {"home/group.k", NOBODY, 0, 0664, 0, true},            // its own, in a group it is not in
        {"home/locked/mine.k", NOBODY, NOBODY, 0644, 0, true}, // in a folder it cannot add to
        {"home/mine.k", NOBODY, NOBODY, 0640, 0, false},       // replaced whole, as ever
    };
    for (const Case& c : cases) {
        std::string file = writeFile(c.name, OLD);
        ASSERT_EQ(chown(file.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
        auto [inode, owners] = identityOf(file);
        EXPECT_EQ(saveAsNobody(file), c.error) << c.name;
        EXPECT_EQ(identityOf(file).second, owners) << c.name;
        EXPECT_EQ(identityOf(file).first == inode, c.sameInode) << c.name;
        EXPECT_EQ(readFile(c.name), c.error ? OLD : SAVED) << c.name;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "home"), {}), 6);  // no temporary file left
}
