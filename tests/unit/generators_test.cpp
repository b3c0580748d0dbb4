#include "generators.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "temp_dir.h"

namespace {

std::string keyOf(const Puzzle& puzzle) { return std::string(puzzle.key.begin(), puzzle.key.end()); }

bool isPermutation(std::string key) {
    std::sort(key.begin(), key.end());
    return key == "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
}

// Checks that `cypher` is `plain` enciphered letter for letter by one
// substitution in which no letter stands for itself.
void expectEnciphered(const std::string& plain, const std::string& cypher) {
    ASSERT_EQ(cypher.size(), plain.size());
    std::map<char, char> forward, backward;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (!isLetter(plain[i])) {
            EXPECT_EQ(cypher[i], plain[i]) << "at " << i;
            continue;
        }
        char from = foldLetter(plain[i]), to = cypher[i];
        ASSERT_TRUE(isUpperLetter(to)) << "at " << i;
        EXPECT_NE(from, to) << "at " << i;
        EXPECT_EQ(forward.emplace(from, to).first->second, to) << "at " << i;
        EXPECT_EQ(backward.emplace(to, from).first->second, from) << "at " << i;
    }
}

// Runs the test in its own directory with a fake `fortune` first on PATH.
class Generate : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        previousDirectory_ = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        const char* path = std::getenv("PATH");
        previousPath_ = path ? path : "";
        setenv("PATH", (dir.string() + ":" + previousPath_).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", previousPath_.c_str(), 1);
        std::filesystem::current_path(previousDirectory_);
        TempDirTest::TearDown();
    }

    // A fortune that prints the texts in turn, one a run, then the last one
    // for ever, and counts its runs.
    void fakeFortune(const std::vector<std::string>& texts) {
        std::string script = "#!/bin/sh\nn=$(cat runs 2>/dev/null || echo 0)\nn=$((n+1))\necho $n > runs\ncase $n in\n";
        for (std::size_t i = 0; i < texts.size(); ++i) {
            writeFile("text" + std::to_string(i + 1), texts[i]);
            script += (i + 1 == texts.size() ? std::string("*") : std::to_string(i + 1)) + ") cat text" +
                      std::to_string(i + 1) + ";;\n";
        }
        writeFile("fortune", script + "esac\n");
        std::filesystem::permissions(path("fortune"), std::filesystem::perms::owner_all);
    }

    int runs() const { return std::atoi(readFile("runs").c_str()); }

private:
    std::filesystem::path previousDirectory_;
    std::string previousPath_;
};

std::string lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "Line " + std::to_string(i) + " of Ye Olde Text\n";
    return text;
}

}  // namespace

TEST(Generators, RandomKeysArePermutations) {
    for (unsigned seed : {0u, 1u, 42u, 1700000000u, 4294967295u}) {
        std::array<char, KEY_SIZE> key = randomKeyFor(seed);
        EXPECT_TRUE(isPermutation(std::string(key.begin(), key.end()))) << seed;
    }
    Puzzle puzzle;
    std::string text = puzzle.cyphertext;
    puzzle.randomCypher();
    EXPECT_TRUE(isPermutation(keyOf(puzzle)));
    EXPECT_EQ(puzzle.cyphertext, text);
}

TEST(Generators, QuickKeysAreTheKeysOfRand) {
    for (unsigned seed = 0; seed < 300; ++seed) EXPECT_EQ(quickRandomKeyFor(seed), randomKeyFor(seed)) << seed;
    for (unsigned seed : {1800000000u, 4294967295u}) EXPECT_EQ(quickRandomKeyFor(seed), randomKeyFor(seed)) << seed;
}

TEST(Generators, Rot13IsItsOwnInverse) {
    Puzzle puzzle;
    puzzle.cyphertext = "Hello";
    puzzle.setChar('A', '9');
    puzzle.rot13();
    puzzle.decode();
    EXPECT_EQ(puzzle.plaintext, "URYYB");
    EXPECT_EQ(keyOf(puzzle), "NOPQRSTUVWXYZABCDEFGHIJKLM");
    puzzle.rot13();
    EXPECT_EQ(keyOf(puzzle), "NOPQRSTUVWXYZABCDEFGHIJKLM");
}

TEST(Generators, TransformEnciphersTheWelcomeText) {
    Puzzle puzzle;
    puzzle.setChar('E', 'Q');
    puzzle.transform();
    expectEnciphered(std::string(WELCOME_TEXT), puzzle.cyphertext);
    EXPECT_EQ(std::count(puzzle.cyphertext.begin(), puzzle.cyphertext.end(), '\n'), 6);
    EXPECT_EQ(keyOf(puzzle), std::string(26, ' '));
    EXPECT_EQ(puzzle.plaintext, std::string(412, ' '));
    puzzle.decode();
    std::string underscored = puzzle.cyphertext;
    for (char& c : underscored)
        if (isLetter(c)) c = '_';
    EXPECT_EQ(puzzle.plaintext, underscored);

    puzzle.cyphertext = "1, 2; 3!\n\xe2\x80\x99";
    puzzle.setChar('A', 'B');
    puzzle.transform();
    EXPECT_EQ(puzzle.cyphertext, "1, 2; 3!\n\xe2\x80\x99");
    EXPECT_EQ(keyOf(puzzle), std::string(26, ' '));
}

TEST(Generators, TransformTakesTheFirstSecondWithoutAFixedLetter) {
    // A second whose key leaves some letter standing for itself.
    unsigned start = 1800000000u;
    while (!fixesALetter(randomKeyFor(start))) ++start;
    unsigned expected = start + 1;
    while (fixesALetter(randomKeyFor(expected))) ++expected;
    std::array<char, KEY_SIZE> key = randomKeyFor(expected);

    Puzzle puzzle;
    puzzle.cyphertext = "The quick brown fox jumps over the lazy dog.";
    puzzle.transform(static_cast<std::time_t>(start));
    std::string enciphered;
    for (char c : std::string("The quick brown fox jumps over the lazy dog."))
        enciphered += isLetter(c) ? key[foldLetter(c) - 'A'] : c;
    EXPECT_EQ(puzzle.cyphertext, enciphered);
}

TEST_F(Generate, AcceptsThreeToEightNewlines) {
    fakeFortune({lines(2), lines(9), "", lines(3)});
    Puzzle puzzle;
    ASSERT_TRUE(puzzle.generate());
    EXPECT_EQ(runs(), 4);
    EXPECT_EQ(readFile("tmp.tmp"), lines(3));
    expectEnciphered(lines(3), puzzle.cyphertext);
    EXPECT_EQ(keyOf(puzzle), std::string(26, ' '));

    std::filesystem::remove(path("runs"));
    fakeFortune({lines(8)});
    ASSERT_TRUE(puzzle.generate());
    EXPECT_EQ(runs(), 1);
    expectEnciphered(lines(8), puzzle.cyphertext);
}

TEST_F(Generate, GivesUpWithThePuzzleUntouched) {
    fakeFortune({"A single line of no use\n"});
    Puzzle puzzle;
    puzzle.cyphertext = "Abc\n";
    puzzle.setChar('a', '7');
    puzzle.decode();
    Puzzle before = puzzle;
    EXPECT_FALSE(puzzle.generate());
    EXPECT_EQ(runs(), GENERATE_ATTEMPTS);
    EXPECT_EQ(puzzle.cyphertext, before.cyphertext);
    EXPECT_EQ(puzzle.plaintext, before.plaintext);
    EXPECT_EQ(keyOf(puzzle), keyOf(before));
}

TEST_F(Generate, UnopenableScratchFileIsNoText) {
    // The shell cannot create tmp.tmp through a link into nowhere, and
    // nothing can open it: the welcome text must not stand in for it.
    fakeFortune({lines(4)});
    std::filesystem::create_symlink("missing/dir/file", dir / "tmp.tmp");
    Puzzle puzzle;
    puzzle.cyphertext = "Mine\n";
    puzzle.decode();
    EXPECT_FALSE(puzzle.generate());
    EXPECT_EQ(puzzle.cyphertext, "Mine\n");
}
