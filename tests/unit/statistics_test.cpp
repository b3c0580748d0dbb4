#include <utility>
#include <vector>

#include "puzzle.h"
#include "temp_dir.h"

namespace {

// The letter table as "L3 O2 ...", in its order.
std::string letterOrder(const std::string& cyphertext) {
    Puzzle puzzle;
    puzzle.cyphertext = cyphertext;
    LetterArray letters;
    CountArray counts;
    puzzle.countLetters(letters, counts);
    std::string order;
    for (std::size_t k = 0; k < KEY_SIZE; ++k)
        order += (k ? " " : "") + std::string(1, letters[k]) + std::to_string(counts[k]);
    return order;
}

// The word table as the word column lists it: largest count first.
std::vector<std::pair<int, std::string>> wordColumn(const std::string& cyphertext) {
    Puzzle puzzle;
    puzzle.cyphertext = cyphertext;
    WordTable table = puzzle.countWords();
    return {table.rbegin(), table.rend()};
}

}  // namespace

TEST(Statistics, LetterCountsKeepTheExchangeSortOrder) {
    EXPECT_EQ(letterOrder("Hello, World"),
              "L3 O2 H1 D1 E1 R1 W1 C0 I0 J0 K0 A0 M0 N0 B0 P0 Q0 F0 S0 T0 U0 V0 G0 X0 Y0 Z0");
    EXPECT_EQ(letterOrder("ABCC"),
              "C2 B1 A1 D0 E0 F0 G0 H0 I0 J0 K0 L0 M0 N0 O0 P0 Q0 R0 S0 T0 U0 V0 W0 X0 Y0 Z0");
    EXPECT_EQ(letterOrder("C"),
              "C1 B0 A0 D0 E0 F0 G0 H0 I0 J0 K0 L0 M0 N0 O0 P0 Q0 R0 S0 T0 U0 V0 W0 X0 Y0 Z0");
    EXPECT_EQ(letterOrder(""),
              "A0 B0 C0 D0 E0 F0 G0 H0 I0 J0 K0 L0 M0 N0 O0 P0 Q0 R0 S0 T0 U0 V0 W0 X0 Y0 Z0");
    // Both cases count together; digits, punctuation, @ [ ` { and bytes
    // above 0x7F do not count at all.
    EXPECT_EQ(letterOrder("zZz 19 @[`{ \xc3\xa9\xff!\n"),
              "Z3 B0 C0 D0 E0 F0 G0 H0 I0 J0 K0 L0 M0 N0 O0 P0 Q0 R0 S0 T0 U0 V0 W0 X0 Y0 A0");
}

TEST(Statistics, KeyPlaysNoPartInTheCounts) {
    Puzzle puzzle;
    puzzle.cyphertext = "Abc abc";
    LetterArray before, after;
    CountArray beforeCounts, afterCounts;
    puzzle.countLetters(before, beforeCounts);
    WordTable words = puzzle.countWords();
    puzzle.rot13();
    puzzle.decode();
    puzzle.countLetters(after, afterCounts);
    EXPECT_EQ(before, after);
    EXPECT_EQ(beforeCounts, afterCounts);
    EXPECT_EQ(puzzle.countWords(), words);
}

TEST(Statistics, WordsFoldCaseKeepInnerApostrophesAndListTiesInTextOrder) {
    using Column = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ(wordColumn("the cat and THE dog; don't DON'T, cat"),
              (Column{{2, "THE"}, {2, "CAT"}, {2, "DON'T"}, {1, "AND"}, {1, "DOG"}}));
    // Apostrophes count only between two letters; the typographic one is
    // kept as it stands.
    EXPECT_EQ(wordColumn("'quoted' it''s rock\xe2\x80\x99n\xe2\x80\x99roll don\xe2\x80\x99t dogs'"),
              (Column{{1, "QUOTED"}, {1, "IT"}, {1, "S"}, {1, "ROCK\xe2\x80\x99N\xe2\x80\x99ROLL"},
                      {1, "DON\xe2\x80\x99T"}, {1, "DOGS"}}));
    // Digits and other bytes separate words.
    EXPECT_EQ(wordColumn("ab1ab\xc3\xa9" "AB"), (Column{{3, "AB"}}));
    EXPECT_TRUE(wordColumn("").empty());
    EXPECT_TRUE(wordColumn("123 '' \xe2\x80\x99").empty());
}
