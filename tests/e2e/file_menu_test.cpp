// The File menu: its bar and prompts, real files, and the editor.
#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "screens.h"
#include "tmux_driver.h"

namespace {

// A stand-in editor: records its arguments and the terminal mode it was
// given, then writes a puzzle into the file it was asked to edit.
void writeFakeEditor(Tmux& tmux, const std::string& name) {
    tmux.writeFile(name,
                   "#!/bin/sh\n"
                   "{ echo \"editor=" + name + " argc=$#\"; for a in \"$@\"; do echo \"arg=[$a]\"; done; } > " +
                       tmux.path("editor.log") + "\n"
                   "stty -a > " + tmux.path("stty.log") + "\n"
                   "for a in \"$@\"; do last=$a; done\n"
                   "printf 'Bcd efg\\n' > \"$last\"\n",
                   true);
}

}  // namespace

TEST(FileMenu, BarAndPromptsReadExactly) {
    Tmux tmux;
    startOn(tmux, "Ab\n");
    tmux.type("f");
    ASSERT_TRUE(tmux.waitForLine(0, FILE_BAR));
    Screen screen = tmux.capture();
    EXPECT_TRUE(screen.at(0, 0).reverse);
    EXPECT_EQ(screen.at(0, 0).foreground, 2);
    EXPECT_TRUE(screen.at(0, 68).reverse);
    EXPECT_EQ(tmux.cursor(), std::make_pair(0, 69));
    EXPECT_EQ(screen.lines[2].substr(0, 3), "Ab ");  // the panels stay as they were
    tmux.type("c");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));

    const std::pair<const char*, const char*> prompts[] = {
        {"l", "File to open?"},         {"T", "Text file to save?"},       {"b", "Binary file to save?"},
        {"S", "File to save keys to?"}, {"k", "File to load keys from?"},
    };
    for (const auto& [key, prompt] : prompts) {
        fileCommand(tmux, key, prompt, "");
        tmux.type("x");  // leaves a failure message or the main menu behind
        tmux.type("x");
        ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR)) << key;
    }
    openPrompt(tmux, "n", "File to create?");
    Screen prompt = tmux.capture();
    EXPECT_FALSE(prompt.at(0, 0).reverse);
    EXPECT_EQ(prompt.at(0, 0).foreground, 2);
    EXPECT_EQ(tmux.cursor(), std::make_pair(0, 16));
}

TEST(FileMenu, SavesAndLoadsRealFilesByteForByte) {
    Tmux tmux;
    startOn(tmux, "Ab ba\n");
    tmux.type("Sax");
    ASSERT_TRUE(tmux.waitForText("X_ _X"));

    fileCommand(tmux, "T", "Text file to save?", "export.txt");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    fileCommand(tmux, "B", "Binary file to save?", "puzzle.bin");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    fileCommand(tmux, "S", "File to save keys to?", "my keys");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    std::string key = "X" + std::string(25, ' ');
    EXPECT_EQ(tmux.readFile("export.txt"), "X_ _X\n\n\nAb ba\n");
    EXPECT_EQ(tmux.readFile("puzzle.bin"), std::string("CGFILE1\0", 8) + key + "Ab ba\n");
    EXPECT_EQ(tmux.readFile("my keys"), key);

    tmux.type("R");
    ASSERT_TRUE(tmux.waitForText("__ __"));
    fileCommand(tmux, "K", "File to load keys from?", "my keys");
    ASSERT_TRUE(tmux.waitForText("X_ _X"));

    tmux.writeFile("other.bin", std::string("CGFILE1\0", 8) + "QRSTUVWXYZABCDEFGHIJKLMNOP" + "Hello\n");
    fileCommand(tmux, "L", "File to open?", "other.bin");
    ASSERT_TRUE(tmux.waitForText("XUBBE"));
    EXPECT_EQ(shownEntries(tmux.capture()), "QRSTUVWXYZABCDEFGHIJKLMNOP");

    // A file that cannot be opened gives the welcome text with a blank key.
    fileCommand(tmux, "L", "File to open?", "missing");
    ASSERT_TRUE(tmux.waitForText("Welcome to Quorvantis!"));
    EXPECT_EQ(shownEntries(tmux.capture()), std::string(26, ' '));
}

TEST(FileMenu, OnlyCommandKeysLeaveTheBar) {
    Tmux tmux;
    startOn(tmux, "Ab\n");
    tmux.type("F");
    ASSERT_TRUE(tmux.waitForLine(0, FILE_BAR));
    tmux.type("xq?");
    tmux.press("Escape");
    tmux.press("Enter");
    tmux.press("Up");
    tmux.type("S");
    ASSERT_TRUE(tmux.waitForLine(0, "File to save keys to?"));
    tmux.type("keys");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_EQ(tmux.readFile("keys"), std::string(26, ' '));

    // An empty name is no file.
    tmux.type("F");
    ASSERT_TRUE(tmux.waitForLine(0, FILE_BAR));
    tmux.type("b");
    ASSERT_TRUE(tmux.waitForLine(0, "Binary file to save?"));
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForText("Could not write : No such file or directory. Press a key."));
    tmux.type("k");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmux.dir()), {}), 2);
}

TEST(FileMenu, NamesAreEditedAndHeldTo254Bytes) {
    Tmux tmux;
    startOn(tmux, "Ab\n");
    openPrompt(tmux, "T", "Text file to save?");
    tmux.type("wrong");
    tmux.press("BSpace");
    tmux.press("C-u");
    tmux.type("abc");
    tmux.press("BSpace");
    tmux.type("dn\xc3\xa9");  // Backspace takes all of a UTF-8 character
    tmux.press("BSpace");
    tmux.type("o");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_TRUE(std::filesystem::exists(tmux.path("abdno")));
    EXPECT_FALSE(std::filesystem::exists(tmux.path("wron")));

    // The 255th byte is refused, so Backspace takes the 254th.
    openPrompt(tmux, "S", "File to save keys to?");
    tmux.type(std::string(255, 'n'));
    tmux.press("BSpace");
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_TRUE(std::filesystem::exists(tmux.path(std::string(253, 'n'))));

    // A character that would pass the limit is refused whole.
    std::string wide = "n";
    for (int i = 0; i < 84; ++i) wide += "\xe6\x97\xa5";  // 253 bytes in all
    fileCommand(tmux, "S", "File to save keys to?", wide + "\xe6\x97\xa5" + "x");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_TRUE(std::filesystem::exists(tmux.path(wide + "x")));
}

TEST(FileMenu, LongNamesShowTheirEndInColumns) {
    Tmux tmux(70, 24);
    startOn(tmux, "Ab\n");
    std::string wide;
    for (int i = 0; i < 12; ++i) wide += "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";  // 日本語
    openPrompt(tmux, "S", "File to save keys to?");
    tmux.type(wide + "END");
    std::string end = "\xe6\x9c\xac\xe8\xaa\x9e" + wide.substr(0, 6 * 9) + "END";  // 本語, 6 x 日本語
    ASSERT_TRUE(tmux.waitForLine(0, "File to save keys to? ..." + end));
    EXPECT_EQ(tmux.cursor(), std::make_pair(0, 68));

    // A byte that is no character is one reverse '?'.
    tmux.press("C-u");
    tmux.type("\xff\xfe\x80\xff\xfe\x80ok");
    ASSERT_TRUE(tmux.waitForLine(0, "File to save keys to? ??????ok"));
    Screen screen = tmux.capture();
    EXPECT_TRUE(screen.at(0, 22).reverse && screen.at(0, 27).reverse);
    EXPECT_FALSE(screen.at(0, 28).reverse);
    for (int i = 0; i < 3; ++i) tmux.press("BSpace");  // o, k and one stray byte
    tmux.press("Enter");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_TRUE(std::filesystem::exists(tmux.path("\xff\xfe\x80\xff\xfe")));

    // A failure keeps its reason and "Press a key." whole; the name gives way.
    fileCommand(tmux, "T", "Text file to save?", "no/such/" + std::string(60, 'd') + "/\xe6\x97\xa5\xe6\x9c\xac.txt");
    ASSERT_TRUE(tmux.waitForLine(0, "Could not write .../\xe6\x97\xa5\xe6\x9c\xac.txt: No such file or directory. Press a key."));
}

TEST(FileMenu, FailedSaveIsReportedUntilAKey) {
    Tmux tmux;
    startOn(tmux, "Ab\n");
    fileCommand(tmux, "B", "Binary file to save?", "no/such/dir.bin");
    std::string message = "Could not write no/such/dir.bin: No such file or directory. Press a key.";
    ASSERT_TRUE(tmux.waitForLine(0, message));
    Screen screen = tmux.capture();
    EXPECT_FALSE(screen.at(0, 0).reverse);
    EXPECT_EQ(screen.at(0, 0).foreground, 2);
    EXPECT_EQ(screen.at(0, 0).background, 0);
    tmux.type("z");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmux.dir()), {}), 1);
}

TEST(FileMenu, NewRunsTheEditorWithTheNameAsOneArgument) {
    Tmux tmux;
    writeFakeEditor(tmux, "visual");
    writeFakeEditor(tmux, "editor");
    startOn(tmux, "Ab\n", {{"VISUAL", tmux.path("visual")}, {"EDITOR", tmux.path("editor")}});
    std::string name = "my puzzle 'x' $(touch pwned); `touch pwned2`";
    fileCommand(tmux, "N", "File to create?", name);
    ASSERT_TRUE(tmux.waitForText("___ ___"));
    Screen screen = tmux.capture();
    EXPECT_EQ(screen.lines[0].rfind(MAIN_BAR, 0), 0u);
    EXPECT_EQ(screen.lines[2].substr(0, 8), "Bcd efg ");

    EXPECT_EQ(tmux.readFile("editor.log"), "editor=visual argc=1\narg=[" + name + "]\n");
    EXPECT_EQ(tmux.readFile(name), "Bcd efg\n");
    EXPECT_FALSE(std::filesystem::exists(tmux.path("pwned")));
    EXPECT_FALSE(std::filesystem::exists(tmux.path("pwned2")));

    // The editor had the terminal as a shell has it: line editing and echo.
    std::string mode = tmux.readFile("stty.log");
    EXPECT_NE(mode.find(" icanon"), std::string::npos) << mode;
    EXPECT_NE(mode.find(" echo "), std::string::npos) << mode;
    EXPECT_NE(mode.find(" icrnl"), std::string::npos) << mode;
    EXPECT_NE(mode.find(" onlcr"), std::string::npos) << mode;
}

TEST(FileMenu, NewTakesTheEditorValueWholeAndNamesAsNames) {
    Tmux tmux;
    writeFakeEditor(tmux, "editor");
    // Blanks alone are no editor; a long value is never cut, not even
    // inside its quotes; a name that looks like an option (vim's +command)
    // reaches the editor as a path, and is loaded as typed.
    std::string longOption(520, 'x');
    startOn(tmux, "Ab\n", {{"VISUAL", " \t\n "}, {"EDITOR", tmux.path("editor") + " --wait '" + longOption + "'"}});
    fileCommand(tmux, "n", "File to create?", "+!touch vimran");
    ASSERT_TRUE(tmux.waitForText("Bcd efg"));
    EXPECT_EQ(tmux.readFile("editor.log"),
              "editor=editor argc=3\narg=[--wait]\narg=[" + longOption + "]\narg=[./+!touch vimran]\n");
}

TEST(FileMenu, NewWithoutAnEditorSaysSoAndChangesNothing) {
    Tmux tmux;
    startOn(tmux, "Ab\n", {{"VISUAL", std::nullopt}, {"EDITOR", ""}});
    tmux.type("Sab");
    ASSERT_TRUE(tmux.waitForText("B_"));
    fileCommand(tmux, "N", "File to create?", "new.txt");
    ASSERT_TRUE(tmux.waitForLine(0, "Set VISUAL or EDITOR to choose an editor. Press a key."));
    EXPECT_FALSE(tmux.capture().at(0, 0).reverse);
    tmux.type(" ");
    ASSERT_TRUE(tmux.waitForLine(0, MAIN_BAR));
    EXPECT_EQ(tmux.capture().lines[1].substr(0, 3), "B_ ");
    EXPECT_FALSE(std::filesystem::exists(tmux.path("new.txt")));
}

TEST(FileMenu, EndOfInputAtAPromptActsOnNothing) {
    Tmux tmux;
    tmux.withoutLeakCheck();  // it hangs up
    startOn(tmux, "Ab\n");
    openPrompt(tmux, "T", "Text file to save?");
    tmux.type("half");
    ASSERT_TRUE(tmux.waitForLine(0, "Text file to save? half"));
    tmux.signal(SIGHUP);
    EXPECT_EQ(tmux.waitForExit(), 0);
    EXPECT_FALSE(std::filesystem::exists(tmux.path("half")));
}
