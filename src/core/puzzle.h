// The puzzle document: the cyphertext as loaded, the substitution key the
// user fills in, and the plaintext read through that key.
#pragma once

#include <array>
#include <cstddef>
#include <ctime>
#include <map>
#include <string>
#include <string_view>

#include "child_process.h"

// The cipher acts on the 52 ASCII letters only; a lowercase letter stands for
// its uppercase letter. Every other byte passes through unchanged.
constexpr char foldLetter(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

constexpr bool isUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }

constexpr bool isLetter(char c) { return isUpperLetter(foldLetter(c)); }

constexpr std::size_t KEY_SIZE = 26;

// Only this many bytes of text are ever read: the whole of a plain-text
// puzzle file, the part after the header of a binary one.
constexpr std::size_t MAX_TEXT_BYTES = 4095;

// A binary puzzle file: this magic, the 26 key bytes, then the cyphertext.
// Its text is read after the header, so that every binary file the program
// writes from a text of MAX_TEXT_BYTES loads back whole.
constexpr std::string_view CGFILE_MAGIC{"CGFILE1\0", 8};
constexpr std::size_t BINARY_HEADER_BYTES = CGFILE_MAGIC.size() + KEY_SIZE;
constexpr std::size_t MAX_BINARY_FILE_BYTES = BINARY_HEADER_BYTES + MAX_TEXT_BYTES;

// The cyphertext that a plain-text puzzle file of these bytes holds: its
// first MAX_TEXT_BYTES bytes, up to the first NUL.
std::string_view plainTextOf(std::string_view bytes);

constexpr std::string_view WELCOME_TEXT =
    "Welcome to Quorvantis!  This program has been designed to help you solve\n"
    "those pencil-and-paper cryptograms found in newspapers and puzzle \n"
    "magazines.  Hit a key from the menu bar above.  S,U,R let you change the\n"
    "substitution values.  F lets you create, load, or save a file.  S gives you\n"
    "good statistics.  Load the file \"sample.txt\" to try it out.  (You could\n"
    "have also given the filename on the command line).\n";

// What a save did: `error` is 0 when every byte reached the file, else the
// system's error number for what went wrong.
struct SaveResult {
    int error = 0;
    bool ok() const { return error == 0; }
};

// What came of making a cryptogram from a text of `fortune`.
struct GenerateResult {
    enum class Outcome { Generated, NoUsableText, Interrupted };
    Outcome outcome = Outcome::NoUsableText;
    // The first line of what fortune last wrote on its error output, so
    // that a missing program can be told apart from unusable texts.
    std::string complaint;
};

struct _win_st;  // curses' WINDOW, kept out of the core's headers

// Words of the cyphertext by how often they occur, fewest first. Words with
// equal counts stand in the order they were inserted.
using WordTable = std::multimap<int, std::string>;

using LetterArray = std::array<char, KEY_SIZE>;
using CountArray = std::array<int, KEY_SIZE>;

class Puzzle {
public:
    std::string cyphertext;
    // Same length as the cyphertext after every decode; byte i belongs to
    // byte i of the cyphertext.
    std::string plaintext;
    // Entry i is the plaintext chosen for cyphertext letter 'A'+i; a space
    // means unset. An entry may hold any byte: a binary file stores the key
    // without conversion, and setChar stores whatever key the user pressed.
    std::array<char, KEY_SIZE> key;

    Puzzle();

    void reset();
    void decode();
    // Returns whether the file could be read; when it could not (it is
    // missing, unreadable, a terminal, or fails before its first byte), the
    // puzzle is in the reset state. Reading a FIFO or pipe waits for its
    // writer, unless `stopRequested` says the program must quit; the file
    // operations below wait likewise.
    bool load(const char* fileName, const StopRequested& stopRequested = {});

    void setChar(char cypherLetter, char plainLetter);
    void unsetChar(char cypherLetter);
    void resetChars();

    // The text export: plaintext, two newlines, cyphertext.
    SaveResult saveText(const char* fileName, const StopRequested& stopRequested = {}) const;
    // A binary puzzle file: CGFILE_MAGIC, the 26 key entries, the cyphertext.
    SaveResult saveBinary(const char* fileName, const StopRequested& stopRequested = {}) const;
    // A key file: the 26 entries, nothing else.
    SaveResult saveKeys(const char* fileName, const StopRequested& stopRequested = {}) const;
    void loadKeys(const char* fileName, const StopRequested& stopRequested = {});

    // Key generators. They leave the plaintext for the caller to decode.
    void randomCypher();
    void rot13();
    // Enciphers the text with the random key of the first second, from
    // `firstSecond` on, whose key leaves no letter standing for itself; the
    // result becomes the cyphertext and the key is blanked.
    void transform(std::time_t firstSecond);
    void transform() { transform(std::time(nullptr)); }
    // Makes a new cryptogram from a text of `fortune`. The puzzle stays
    // untouched when no usable text came in GENERATE_ATTEMPTS runs, or when
    // the watch's stop request ended the run under way.
    GenerateResult generate(const ChildWatch& watch = {});

    // Statistics of the cyphertext; the key plays no part in them.
    void countLetters(LetterArray& letters, CountArray& counts) const;
    WordTable countWords() const;
    // Draws the statistics view into a window; it refreshes nothing.
    void drawStatistics(_win_st* window) const;
};
