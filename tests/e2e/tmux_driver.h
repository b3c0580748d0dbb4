// Runs the real program in a private tmux server at a fixed size, types into
// it and reads its screen back, attributes and colours included.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One cell of the screen as tmux holds it. Colours are terminal colour
// numbers (0 black, 2 green, 4 blue, 7 white); -1 is the default colour.
struct ScreenCell {
    std::string text;  // the character, UTF-8; empty for the right half of a wide one
    bool bold = false, dim = false, reverse = false;
    int foreground = -1, background = -1;
};

// One snapshot of the terminal: text, attributes, cursor and mode all come
// from the same moment, so they belong to the same frame.
struct Screen {
    std::vector<std::string> lines;               // plain text, one per row
    std::vector<std::vector<ScreenCell>> cells;   // [row][column]
    std::pair<int, int> cursor{-1, -1};           // {row, column}
    bool alternate = false;                       // a full-screen program's own screen, not the shell's
    bool cursorShown = true;

    std::string dump() const;
    bool contains(const std::string& text) const;
    const ScreenCell& at(int row, int column) const;
};

class Tmux {
public:
    using Environment = std::vector<std::pair<std::string, std::optional<std::string>>>;

    explicit Tmux(int columns = 80, int rows = 24);
    ~Tmux();
    Tmux(const Tmux&) = delete;
    Tmux& operator=(const Tmux&) = delete;

    // The test's own directory; the program runs in it.
    const std::filesystem::path& dir() const { return dir_; }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void writeFile(const std::string& name, const std::string& bytes, bool executable = false) const;
    std::string readFile(const std::string& name) const;

    // Starts the program with these arguments. An environment entry without
    // a value unsets that variable. `stdinFile` replaces the terminal as the
    // program's standard input. From an interactive shell the program runs
    // as a job under job control, as a user starts it.
    void start(const std::vector<std::string>& arguments, const Environment& environment = {},
               const std::string& stdinFile = "", bool fromInteractiveShell = false);

    // Shell commands the program's shell runs before starting it, and after
    // it has ended (before its status is recorded).
    void runBefore(const std::string& shellCommands) { prelude_ = shellCommands; }
    void runAfter(const std::string& shellCommands) { postlude_ = shellCommands; }
    // For tests that hang up or close the terminal, called before start: the
    // leak checker was seen to leave the process spinning after a hang-up.
    void withoutLeakCheck() { detectLeaks_ = false; }

    void type(const std::string& literal);  // each byte a key
    void press(const std::string& keyName);  // tmux key names: Enter, Escape, C-l
    // Returns once tmux has the new size. The terminal is wiped first, so
    // whatever shows afterwards the program drew after the resize.
    void resize(int columns, int rows);
    // Blanks the terminal behind the program's back, cursor and attributes
    // kept: only a frame the program draws from now on can fill it again.
    void wipe();
    // Writes bytes on the program's terminal, as another program would.
    void writeToTerminal(const std::string& bytes);

    // Records what is written to the terminal from now on, until stopped;
    // returns what was recorded.
    void recordOutput();
    std::string stopRecordingOutput();
    void signal(int signalNumber);
    void hangUp();  // closes the terminal under the program

    Screen capture();

    // Polls the screen until the condition holds; on timeout records a
    // failure that shows the last screen seen.
    bool waitFor(const std::function<bool(const Screen&)>& condition, const std::string& what,
                 std::chrono::milliseconds deadline = DEADLINE);
    // The screen the last wait accepted: check the rest of a frame on it,
    // not on a later capture.
    const Screen& seen() const { return seen_; }
    bool waitForText(const std::string& text);
    bool waitForLine(int row, const std::string& line, std::chrono::milliseconds deadline = DEADLINE);

    // The program's process id, once started.
    int programPid() const { return pid_; }

    // The exit status once the program has ended, or nothing on timeout.
    std::optional<int> waitForExit();
    bool exited();

    // A tmux format expanded for the pane: "#{keypad_cursor_flag}", say.
    std::string paneValue(const std::string& format);

    // The terminal cursor as {row, column}.
    std::pair<int, int> cursor();

    // Whatever the sanitizers wrote; a test fails on it at teardown anyway.
    std::string sanitizerReports() const;

    static constexpr std::chrono::milliseconds DEADLINE{5000};

private:
    std::string tmux(const std::vector<std::string>& arguments, bool mustSucceed = true);

    std::filesystem::path base_;  // holds the program's directory, its exit status and sanitizer logs
    std::filesystem::path dir_;
    std::string socket_;
    int columns_, rows_;
    std::string prelude_, postlude_;
    std::string terminal_;  // the pane's terminal device
    Screen seen_;
    bool detectLeaks_ = true;
    bool started_ = false;
    int pid_ = -1;
};

// Whether the process has ended, within the time given: gone, or a zombie
// waiting for whoever adopted it (this machine's first process may never
// reap it).
bool endsWithin(int pid, std::chrono::milliseconds patience);

// Single-quotes a word for the shell.
std::string shellQuote(const std::string& word);
