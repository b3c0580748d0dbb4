#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "puzzle.h"
#include "temp_dir.h"

namespace {

using Saving = TempDirTest;
namespace fs = std::filesystem;

std::string keyOf(const Puzzle& puzzle) { return std::string(puzzle.key.begin(), puzzle.key.end()); }

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Holds the process's file-size limit down for the life of the object, with
// SIGXFSZ ignored so that an oversized write fails instead of killing us.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int);
};

}  // namespace

TEST_F(Saving, TextExportIsPlaintextTwoNewlinesCyphertext) {
    Puzzle puzzle;
    puzzle.cyphertext = "XY";
    puzzle.setChar('X', 'A');
    puzzle.setChar('Y', 'b');
    puzzle.decode();
    ASSERT_TRUE(puzzle.saveText(path("xy").c_str()).ok());
    EXPECT_EQ(readFile("xy"), "AB\n\nXY");
    // An export loads back as a plain-text puzzle: all of it is cyphertext.
    Puzzle reloaded;
    reloaded.load(path("xy").c_str());
    EXPECT_EQ(reloaded.cyphertext, "AB\n\nXY");
    EXPECT_EQ(keyOf(reloaded), std::string(26, ' '));

    Puzzle welcome;
    ASSERT_TRUE(welcome.saveText(path("welcome").c_str()).ok());
    EXPECT_EQ(readFile("welcome"), welcome.plaintext + "\n\n" + std::string(WELCOME_TEXT));
    EXPECT_EQ(readFile("welcome").size(), 2 * 412u + 2);

    Puzzle empty;
    empty.cyphertext.clear();
    empty.decode();
    ASSERT_TRUE(empty.saveText(path("empty").c_str()).ok());
    EXPECT_EQ(readFile("empty"), "\n\n");
    ASSERT_TRUE(empty.saveBinary(path("empty.bin").c_str()).ok());
    EXPECT_EQ(readFile("empty.bin"), bytes("CGFILE1\0                          "));
}

TEST_F(Saving, BinaryFileRoundTripsKeyAndTextAtTheLimit) {
    Puzzle puzzle;
    puzzle.cyphertext.clear();
    for (int i = 0; i < 4095; ++i) puzzle.cyphertext += static_cast<char>(i % 7 == 0 ? '\n' : 'a' + i % 26);
    std::string key = bytes("Q7\0\x01z                     ");
    std::copy(key.begin(), key.end(), puzzle.key.begin());
    puzzle.decode();
    ASSERT_TRUE(puzzle.saveBinary(path("puzzle.bin").c_str()).ok());
    EXPECT_EQ(readFile("puzzle.bin"), bytes("CGFILE1\0") + key + puzzle.cyphertext);

    Puzzle loaded;
    loaded.load(path("puzzle.bin").c_str());
    EXPECT_EQ(keyOf(loaded), key);
    EXPECT_EQ(loaded.cyphertext, puzzle.cyphertext);
    EXPECT_EQ(loaded.plaintext, puzzle.plaintext);
}

TEST_F(Saving, KeyFilesKeepOnlyUppercaseLetters) {
    Puzzle puzzle;
    puzzle.setChar('a', 'x');
    puzzle.setChar('b', '7');
    puzzle.setChar('c', 'Z');
    ASSERT_TRUE(puzzle.saveKeys(path("keys").c_str()).ok());
    EXPECT_EQ(readFile("keys"), "X7Z" + std::string(23, ' '));

    Puzzle loaded;
    loaded.loadKeys(path("keys").c_str());
    EXPECT_EQ(keyOf(loaded), "X Z" + std::string(23, ' '));
    EXPECT_EQ(loaded.plaintext.substr(0, 7), "___Z___");  // "Welcome"

    loaded.loadKeys(writeFile("three", "QRS").c_str());
    EXPECT_EQ(keyOf(loaded), "QRS" + std::string(23, ' '));
    loaded.loadKeys(writeFile("lower", "abcdefghijklmnopqrstuvwxyz").c_str());
    EXPECT_EQ(keyOf(loaded), std::string(26, ' '));
    loaded.loadKeys(writeFile("long", "ABCDEFGHIJKLMNOPQRSTUVWXYZ\nMORE").c_str());
    EXPECT_EQ(keyOf(loaded), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    loaded.loadKeys(writeFile("empty", "").c_str());
    EXPECT_EQ(keyOf(loaded), std::string(26, ' '));

    loaded.setChar('e', 'T');
    loaded.decode();
    std::string plaintext = loaded.plaintext;
    loaded.loadKeys(path("missing").c_str());
    EXPECT_EQ(keyOf(loaded), "    T" + std::string(21, ' '));
    EXPECT_EQ(loaded.plaintext, plaintext);
    loaded.loadKeys(dir.c_str());  // opens, but its first read fails
    EXPECT_EQ(keyOf(loaded), "    T" + std::string(21, ' '));
    EXPECT_EQ(loaded.plaintext, plaintext);
}

TEST_F(Saving, SaveIntoMissingDirectoryFailsAndCreatesNothing) {
    Puzzle puzzle;
    SaveResult result = puzzle.saveText(path("nowhere/file.txt").c_str());
    EXPECT_EQ(result.error, ENOENT);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(puzzle.saveKeys("").error, ENOENT);
    EXPECT_TRUE(namesIn(dir).empty());
}

TEST_F(Saving, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    std::string old(3000, 'o');
    writeFile("puzzle.bin", old);
    Puzzle puzzle;
    {
        FileSizeLimit limit(100);
        SaveResult result = puzzle.saveBinary(path("puzzle.bin").c_str());
        EXPECT_EQ(result.error, EFBIG);
    }
    EXPECT_EQ(readFile("puzzle.bin"), old);
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"puzzle.bin"});

    // A file with another link is written in place; the limit stops that
    // save before a byte changes, too.
    fs::create_hard_link(dir / "puzzle.bin", dir / "other.bin");
    {
        FileSizeLimit limit(100);
        EXPECT_EQ(puzzle.saveBinary(path("puzzle.bin").c_str()).error, EFBIG);
    }
    EXPECT_EQ(readFile("puzzle.bin"), old);

    // A quit that comes while a file is written in place does not cut the
    // file short: only the wait for a FIFO's reader gives way to it.
    ASSERT_TRUE(puzzle.saveBinary(path("puzzle.bin").c_str(), [] { return true; }).ok());
    EXPECT_EQ(readFile("other.bin"), bytes("CGFILE1\0") + std::string(26, ' ') + puzzle.cyphertext);
}

TEST_F(Saving, SaveKeepsSymbolicLinksAndPermissions) {
    fs::create_directory(dir / "real");
    writeFile("real/target", "old");
    fs::create_symlink("real/target", dir / "link");
    Puzzle puzzle;
    ASSERT_TRUE(puzzle.saveKeys(path("link").c_str()).ok());
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(readFile("real/target"), std::string(26, ' '));
    EXPECT_EQ(namesIn(dir / "real"), std::vector<std::string>{"target"});

    // A dangling link gets the file it names created.
    fs::create_symlink("real/new", dir / "dangling");
    ASSERT_TRUE(puzzle.saveKeys(path("dangling").c_str()).ok());
    EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
    EXPECT_EQ(readFile("real/new"), std::string(26, ' '));

    // The longest name a directory can hold still leaves room for the
    // temporary file beside it.
    std::string longest(255, 'n');
    ASSERT_TRUE(puzzle.saveKeys(path(longest).c_str()).ok());
    ASSERT_TRUE(puzzle.saveKeys(path(longest).c_str()).ok());
    EXPECT_EQ(readFile(longest), std::string(26, ' '));

    writeFile("private", "old");
    chmod(path("private").c_str(), 0640);
    ASSERT_TRUE(puzzle.saveText(path("private").c_str()).ok());
    EXPECT_EQ(fs::status(dir / "private").permissions(), fs::perms(0640));

    mode_t mask = umask(027);
    ASSERT_TRUE(puzzle.saveText(path("fresh").c_str()).ok());
    umask(mask);
    EXPECT_EQ(fs::status(dir / "fresh").permissions(), fs::perms(0640));
}

TEST_F(Saving, DevicesAreWrittenInPlaceAndReportTheirErrors) {
    Puzzle puzzle;
    EXPECT_TRUE(puzzle.saveText("/dev/null").ok());
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(puzzle.saveBinary("/dev/full").error, ENOSPC);
    }
    EXPECT_EQ(puzzle.saveText(dir.c_str()).error, EISDIR);
}
