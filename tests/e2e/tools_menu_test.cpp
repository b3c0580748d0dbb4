// The Tools menu: the statistics view and the key generators.
#include <cstdlib>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "screens.h"
#include "tmux_driver.h"

namespace {

void openTools(Tmux& tmux, const std::string& text, const Tmux::Environment& environment = {}) {
    startOn(tmux, text, environment);
    tmux.type("t");
    ASSERT_TRUE(tmux.waitForLine(0, TOOLS_BAR));
}

// A fortune first on PATH that prints `text`, and `complaint` on its error
// output, once `go` exists in the program's directory, so the test can see
// the wait message first.
Tmux::Environment fakeFortune(Tmux& tmux, const std::string& text, bool waitForGo = false,
                              const std::string& complaint = "") {
    tmux.writeFile("fortune-text", text);
    tmux.writeFile("bin/fortune",
                   std::string("#!/bin/sh\n") + (waitForGo ? "while [ ! -e go ]; do sleep 0.02; done\n" : "") +
                       (complaint.empty() ? "" : "echo '" + complaint + "' >&2\n") + "cat " +
                       tmux.path("fortune-text") + "\n",
                   true);
    return {{"PATH", tmux.path("bin") + ":" + std::getenv("PATH")}};
}

}  // namespace

TEST(ToolsMenu, StatisticsShowLettersInExchangeOrder) {
    Tmux tmux;
    openTools(tmux, "eeeee tttt aaa oo i\n");
    Screen screen = tmux.capture();
    EXPECT_TRUE(screen.at(0, 0).reverse);
    EXPECT_EQ(screen.at(0, 0).foreground, 2);
    EXPECT_EQ(tmux.cursor(), std::make_pair(0, 56));

    EXPECT_EQ(screen.lines[1].find_first_not_of(' '), std::string::npos);
    EXPECT_EQ(screen.lines[2].rfind(HEADING, 0), 0u);
    EXPECT_EQ(screen.lines[3].find_first_not_of(' '), std::string::npos);
    const std::string first = "ETAOIFGHCJKLM", second = "NDPQRSBUVWXYZ";
    const int counts[] = {5, 4, 3, 2, 1};
    for (int k = 0; k < 13; ++k) {
        const std::string& line = screen.lines[4 + k];
        char count[8];
        std::snprintf(count, sizeof count, "%4d", k < 5 ? counts[k] : 0);
        EXPECT_EQ(line.substr(0, 7), " " + std::string(1, first[k]) + " " + count) << "row " << 4 + k;
        EXPECT_EQ(line.substr(19, 7), " " + std::string(1, second[k]) + "    0") << "row " << 4 + k;
    }
    EXPECT_EQ(screen.lines[4].substr(40, 9), "  1 EEEEE");
    EXPECT_EQ(screen.lines[8].substr(40, 5), "  1 I");
    EXPECT_EQ(screen.lines[9].find_first_not_of(' ', 26), std::string::npos);
    EXPECT_EQ(screen.lines[17].find_first_not_of(' '), std::string::npos);
}

TEST(ToolsMenu, WordColumnShowsThirteenLargestCountsFirst) {
    Tmux tmux;
    openTools(tmux, "b c d e f g h i j k l m n o p B\n");
    Screen screen = tmux.capture();
    EXPECT_EQ(screen.lines[4].substr(40), "  2 B" + std::string(35, ' '));
    const std::string shown = "CDEFGHIJKLMN";
    for (int n = 0; n < 12; ++n) EXPECT_EQ(screen.lines[5 + n].substr(40, 6), "  1 " + std::string(1, shown[n]) + " ");
    EXPECT_EQ(screen.lines[17].find_first_not_of(' '), std::string::npos);
}

TEST(ToolsMenu, OtherKeysKeepTheBarAndCancelRestoresTheText) {
    Tmux tmux;
    openTools(tmux, "Abc\n");
    tmux.type("xq");
    tmux.press("Escape");
    tmux.press("Enter");
    tmux.press("Up");
    tmux.type("s");
    // Only the Tools menu takes 3: the keys before it left the menu open.
    tmux.type("3");
    ASSERT_TRUE(tmux.waitForText("NOP"));
    EXPECT_EQ(shownEntries(tmux.seen()), "NOPQRSTUVWXYZABCDEFGHIJKLM");

    tmux.type("t");
    ASSERT_TRUE(tmux.waitForLine(0, TOOLS_BAR));
    tmux.type("c");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    Screen screen = tmux.seen();
    EXPECT_EQ(screen.lines[1].substr(0, 4), "NOP ");
    EXPECT_EQ(screen.lines[2].substr(0, 4), "Abc ");
    EXPECT_EQ(shownEntries(screen), "NOPQRSTUVWXYZABCDEFGHIJKLM");
}

TEST(ToolsMenu, RandomAndRot13FillTheKey) {
    Tmux tmux;
    openTools(tmux, "Hello\n");
    tmux.type("r");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    std::string entries = shownEntries(tmux.capture());
    EXPECT_EQ(std::set<char>(entries.begin(), entries.end()).size(), 26u) << entries;
    EXPECT_EQ(std::set<char>(entries.begin(), entries.end()).count(' '), 0u);

    tmux.type("T3");
    ASSERT_TRUE(tmux.waitForText("URYYB"));
    EXPECT_EQ(shownEntries(tmux.capture()), "NOPQRSTUVWXYZABCDEFGHIJKLM");
}

TEST(ToolsMenu, TransformMakesAFreshCryptogram) {
    Tmux tmux;
    openTools(tmux, "Hello, world!\n");
    tmux.type("T");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    Screen screen = tmux.capture();
    EXPECT_EQ(screen.lines[1].substr(0, 14), "_____, _____! ");
    std::string cypher = screen.lines[2].substr(0, 13);
    EXPECT_NE(cypher, "HELLO, WORLD!");
    EXPECT_EQ(cypher[2], cypher[3]);
    EXPECT_EQ(cypher.substr(5, 2), ", ");
    for (int i : {0, 1, 2, 4, 7, 8, 9, 10, 11}) EXPECT_TRUE(cypher[i] >= 'A' && cypher[i] <= 'Z') << cypher;
    EXPECT_EQ(shownEntries(screen), std::string(26, ' '));
}

TEST(ToolsMenu, GenerateShowsItsMessageThenTheNewCryptogram) {
    Tmux tmux;
    std::string text = "One fish\ntwo fish\nred fish\nblue fish\n";
    openTools(tmux, "Abc\n", fakeFortune(tmux, text, true));
    tmux.type("g");
    ASSERT_TRUE(tmux.waitForLine(0, "Please wait, generating..."));
    EXPECT_FALSE(tmux.capture().at(0, 0).reverse);
    EXPECT_EQ(tmux.cursor(), std::make_pair(0, 26));
    tmux.writeFile("go", "");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    Screen screen = tmux.capture();
    EXPECT_EQ(screen.lines[1].substr(0, 9), "___ ____ ");
    EXPECT_EQ(screen.lines[7].substr(0, 10), "____ ____ ");
    EXPECT_NE(screen.lines[2].substr(0, 8), "ONE FISH");
    EXPECT_EQ(screen.lines[2].substr(4, 4), screen.lines[4].substr(4, 4));
    EXPECT_EQ(tmux.readFile("tmp.tmp"), text);
}

TEST(ToolsMenu, GenerateGivesUpWithoutAUsableText) {
    Tmux tmux;
    // A planted link in place of the scratch file leads nowhere.
    tmux.writeFile("precious.txt", "mine\n");
    std::filesystem::create_symlink("precious.txt", tmux.dir() / "tmp.tmp");
    openTools(tmux, "Abc\n", fakeFortune(tmux, "Just one line\n", false, "fortune: no fortunes here"));
    tmux.type("G");
    // Fifty runs of the command: a sanitizer build forks slowly.
    ASSERT_TRUE(tmux.waitForLine(0, "No usable text from fortune (fortune: no fortunes here). Press a key.",
                                 std::chrono::seconds(30)));
    EXPECT_EQ(tmux.readFile("precious.txt"), "mine\n");
    Screen screen = tmux.capture();
    EXPECT_FALSE(screen.at(0, 0).reverse);
    EXPECT_EQ(screen.at(0, 0).foreground, 2);
    tmux.type("x");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_EQ(tmux.capture().lines[2].substr(0, 4), "Abc ");
}
