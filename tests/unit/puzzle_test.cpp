#include "puzzle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "temp_dir.h"

namespace {

std::string blankKey() { return std::string(KEY_SIZE, ' '); }

std::string keyOf(const Puzzle& puzzle) { return std::string(puzzle.key.begin(), puzzle.key.end()); }

void setKey(Puzzle& puzzle, const std::string& entries) {
    ASSERT_EQ(entries.size(), KEY_SIZE);
    std::copy(entries.begin(), entries.end(), puzzle.key.begin());
}

// What the reset state's plaintext must be: every letter an underscore.
std::string underscored(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (isLetter(c)) c = '_';
    return result;
}

void expectResetState(const Puzzle& puzzle) {
    EXPECT_EQ(puzzle.cyphertext, WELCOME_TEXT);
    EXPECT_EQ(puzzle.plaintext, underscored(WELCOME_TEXT));
    EXPECT_EQ(keyOf(puzzle), blankKey());
}

using PuzzleLoad = TempDirTest;

}  // namespace

TEST(Letters, FoldOnlyLowercaseAsciiLetters) {
    EXPECT_EQ(foldLetter('a'), 'A');
    EXPECT_EQ(foldLetter('z'), 'Z');
    EXPECT_EQ(foldLetter('Q'), 'Q');
    // Neighbours of the lowercase range, and a byte whose case bit is set.
    EXPECT_EQ(foldLetter('`'), '`');
    EXPECT_EQ(foldLetter('{'), '{');
    EXPECT_EQ(foldLetter('7'), '7');
    EXPECT_EQ(foldLetter(static_cast<char>(0xE1)), static_cast<char>(0xE1));
    EXPECT_TRUE(isUpperLetter('A'));
    EXPECT_TRUE(isUpperLetter('Z'));
    EXPECT_FALSE(isUpperLetter('a'));
    EXPECT_FALSE(isUpperLetter('@'));
    EXPECT_FALSE(isUpperLetter('['));
}

TEST(Puzzle, StartsInResetStateWithWelcomeText) {
    Puzzle puzzle;
    EXPECT_EQ(WELCOME_TEXT.size(), 412u);
    EXPECT_EQ(std::count(WELCOME_TEXT.begin(), WELCOME_TEXT.end(), '\n'), 6);
    EXPECT_NE(WELCOME_TEXT.find("puzzle \n"), std::string_view::npos);
    expectResetState(puzzle);
}

TEST(Puzzle, DecodeFoldsCaseAndPassesNonLettersThrough) {
    Puzzle puzzle;
    puzzle.cyphertext = "Ab, c!";
    puzzle.setChar('A', 'X');
    puzzle.decode();
    EXPECT_EQ(puzzle.plaintext, "X_, _!");

    // Bytes above 0x7F, control bytes and the neighbours of the letter
    // ranges are no letters, whatever the key holds.
    puzzle.cyphertext = bytes("q\x80\xff\xe9@[`{\t\x01Q");
    puzzle.key.fill('E');
    puzzle.decode();
    EXPECT_EQ(puzzle.plaintext, bytes("E\x80\xff\xe9@[`{\t\x01" "E"));
}

TEST(Puzzle, DecodeCopiesAnyEntryByteUnchanged) {
    Puzzle puzzle;
    puzzle.cyphertext = "abcdAB";
    setKey(puzzle, bytes("7x\0\n                      "));
    puzzle.decode();
    EXPECT_EQ(puzzle.plaintext, bytes("7x\0\n7x"));
}

TEST(Puzzle, DecodeResizesStalePlaintext) {
    Puzzle puzzle;
    puzzle.cyphertext = "Hi";
    puzzle.decode();
    EXPECT_EQ(puzzle.plaintext, "__");
    puzzle.cyphertext = "";
    puzzle.decode();
    EXPECT_EQ(puzzle.plaintext, "");
}

TEST(Puzzle, KeyEditsFoldLettersAndIgnoreNonLetters) {
    Puzzle puzzle;
    puzzle.setChar('q', 'e');
    EXPECT_EQ(puzzle.key['Q' - 'A'], 'E');
    puzzle.setChar('Q', ' ');
    EXPECT_EQ(puzzle.key['Q' - 'A'], ' ');
    puzzle.setChar('Q', '7');
    puzzle.cyphertext = "Quiq";
    puzzle.decode();
    EXPECT_EQ(puzzle.plaintext, "7__7");

    std::string before = keyOf(puzzle);
    puzzle.setChar('7', 'E');
    puzzle.setChar('@', 'E');
    puzzle.setChar('[', 'E');
    puzzle.unsetChar('!');
    puzzle.unsetChar('`');
    EXPECT_EQ(keyOf(puzzle), before);

    puzzle.unsetChar('q');
    EXPECT_EQ(keyOf(puzzle), blankKey());
}

TEST(Puzzle, ResetCharsBlanksEveryEntry) {
    Puzzle puzzle;
    for (char letter = 'A'; letter <= 'Z'; ++letter) puzzle.setChar(letter, 'M');
    puzzle.key[3] = '\0';
    puzzle.resetChars();
    puzzle.decode();
    EXPECT_EQ(keyOf(puzzle), blankKey());
    EXPECT_EQ(puzzle.plaintext, underscored(WELCOME_TEXT));
}

TEST_F(PuzzleLoad, PlainTextFileKeepsItsBytesUpToLimitOrNul) {
    Puzzle puzzle;
    puzzle.load(writeFile("empty", "").c_str());
    EXPECT_EQ(puzzle.cyphertext, "");
    EXPECT_EQ(puzzle.plaintext, "");
    EXPECT_EQ(keyOf(puzzle), blankKey());

    puzzle.setChar('A', 'B');
    puzzle.load(writeFile("open", "Abc\r\nno end").c_str());
    EXPECT_EQ(puzzle.cyphertext, "Abc\r\nno end");
    EXPECT_EQ(puzzle.plaintext, "___\r\n__ ___");
    EXPECT_EQ(keyOf(puzzle), blankKey());

    puzzle.load(writeFile("nul", bytes("ab\0cd")).c_str());
    EXPECT_EQ(puzzle.cyphertext, "ab");

    std::string exact(4095, 'x');
    puzzle.load(writeFile("exact", exact).c_str());
    EXPECT_EQ(puzzle.cyphertext, exact);

    std::string longer;
    for (int i = 0; i < 5000; ++i) longer += static_cast<char>('a' + i % 26);
    puzzle.load(writeFile("long", longer).c_str());
    EXPECT_EQ(puzzle.cyphertext, longer.substr(0, 4095));
    EXPECT_EQ(puzzle.plaintext.size(), 4095u);
}

TEST_F(PuzzleLoad, MagicNeedsItsNulByte) {
    Puzzle puzzle;
    puzzle.load(writeFile("almost", "CGFILE1XABCDEFGHIJKLMNOPQRSTUVWXYZhello").c_str());
    EXPECT_EQ(puzzle.cyphertext, "CGFILE1XABCDEFGHIJKLMNOPQRSTUVWXYZhello");
    EXPECT_EQ(keyOf(puzzle), blankKey());

    puzzle.load(writeFile("six", "CGFILE").c_str());
    EXPECT_EQ(puzzle.cyphertext, "CGFILE");
}

TEST_F(PuzzleLoad, BinaryFileRestoresKeyAndText) {
    Puzzle puzzle;
    puzzle.load(writeFile("shifted", bytes("CGFILE1\0BCDEFGHIJKLMNOPQRSTUVWXYZA") + "Hello, World!").c_str());
    EXPECT_EQ(keyOf(puzzle), "BCDEFGHIJKLMNOPQRSTUVWXYZA");
    EXPECT_EQ(puzzle.cyphertext, "Hello, World!");
    EXPECT_EQ(puzzle.plaintext, "IFMMP, XPSME!");

    // The key is taken without any test; the text still ends at a NUL.
    std::string oddKey = bytes("a7\0\x01\xff                     ");
    puzzle.load(writeFile("odd", bytes("CGFILE1\0") + oddKey + bytes("abcde\0fg")).c_str());
    EXPECT_EQ(keyOf(puzzle), oddKey);
    EXPECT_EQ(puzzle.cyphertext, "abcde");
    EXPECT_EQ(puzzle.plaintext, bytes("a7\0\x01\xff"));

    puzzle.load(writeFile("header", bytes("CGFILE1\0") + std::string(26, 'Q')).c_str());
    EXPECT_EQ(keyOf(puzzle), std::string(26, 'Q'));
    EXPECT_EQ(puzzle.cyphertext, "");
}

TEST_F(PuzzleLoad, BinaryTextIsCutAt4095BytesAfterTheHeader) {
    std::string text;
    for (int i = 0; i < 4200; ++i) text += static_cast<char>('A' + i % 26);
    std::string key = "ZYXWVUTSRQPONMLKJIHGFEDCBA";
    Puzzle puzzle;
    for (std::size_t length : {4095u, 4200u}) {
        puzzle.load(writeFile("big", bytes("CGFILE1\0") + key + text.substr(0, length)).c_str());
        EXPECT_EQ(keyOf(puzzle), key);
        EXPECT_EQ(puzzle.cyphertext.size(), std::min<std::size_t>(length, 4095)) << length;
        EXPECT_TRUE(text.compare(0, puzzle.cyphertext.size(), puzzle.cyphertext) == 0) << length;
    }
}

TEST_F(PuzzleLoad, ShortMagicFileKeepsOnlyTheEntriesItHolds) {
    Puzzle puzzle;
    puzzle.setChar('D', 'Q');
    puzzle.load(writeFile("seven", "CGFILE1").c_str());
    EXPECT_EQ(puzzle.cyphertext, "");
    EXPECT_EQ(puzzle.plaintext, "");
    EXPECT_EQ(keyOf(puzzle), blankKey());

    puzzle.load(writeFile("three", bytes("CGFILE1\0ABC")).c_str());
    EXPECT_EQ(keyOf(puzzle), "ABC" + std::string(23, ' '));
    EXPECT_EQ(puzzle.cyphertext, "");

    puzzle.load(writeFile("thirtythree", bytes("CGFILE1\0") + std::string(25, 'K')).c_str());
    EXPECT_EQ(keyOf(puzzle), std::string(25, 'K') + " ");
    EXPECT_EQ(puzzle.cyphertext, "");
}

TEST_F(PuzzleLoad, UnopenableFileGivesResetState) {
    Puzzle puzzle;
    puzzle.load(writeFile("loaded", bytes("CGFILE1\0BCDEFGHIJKLMNOPQRSTUVWXYZA") + "Hi").c_str());
    ASSERT_EQ(puzzle.cyphertext, "Hi");
    puzzle.load(path("missing").c_str());
    expectResetState(puzzle);

    puzzle.setChar('A', 'B');
    puzzle.load("");
    expectResetState(puzzle);

    // A directory opens, but its first read fails.
    puzzle.setChar('A', 'B');
    EXPECT_FALSE(puzzle.load(dir.c_str()));
    expectResetState(puzzle);
}

TEST_F(PuzzleLoad, FifoNeverWaitsForAWriterThatIsNotThere) {
    Deadline deadline;
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    Puzzle puzzle;
    EXPECT_TRUE(puzzle.load(path("fifo").c_str()));
    EXPECT_EQ(puzzle.cyphertext, "");

    // A writer still at work is waited for, piece by piece.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::thread writer([&] {
        (void)!write(ends[1], "Hel", 3);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        (void)!write(ends[1], "lo", 2);
        close(ends[1]);
    });
    EXPECT_TRUE(puzzle.load(("/proc/self/fd/" + std::to_string(ends[0])).c_str()));
    writer.join();
    close(ends[0]);
    EXPECT_EQ(puzzle.cyphertext, "Hello");
}

TEST_F(PuzzleLoad, TerminalIsNeverReadAsAPuzzleOrKeyFile) {
    Deadline deadline;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    ASSERT_EQ(write(master, "Hi\n", 3), 3);  // keys typed and not yet read
    Puzzle puzzle;
    EXPECT_FALSE(puzzle.load(ptsname(master)));
    expectResetState(puzzle);
    puzzle.setChar('A', 'B');
    puzzle.loadKeys(ptsname(master));
    EXPECT_EQ(keyOf(puzzle), "B" + std::string(25, ' '));
    close(master);
}
