#include "tmux_driver.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace {

struct CommandResult {
    int status;
    std::string output;
};

// Runs a program without a shell in between and collects its output.
CommandResult runCommand(const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {-1, ""};
    pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDERR_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, n);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Applies one SGR sequence's parameters to the current attributes.
void applySgr(const std::string& parameters, ScreenCell& style) {
    std::vector<int> codes;
    std::stringstream in(parameters);
    for (std::string code; std::getline(in, code, ';');) codes.push_back(code.empty() ? 0 : std::stoi(code));
    if (codes.empty()) codes.push_back(0);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        int code = codes[i];
        if (code == 0) style = ScreenCell{};
        else if (code == 1) style.bold = true;
        else if (code == 2) style.dim = true;
        else if (code == 7) style.reverse = true;
        else if (code == 22) style.bold = style.dim = false;
        else if (code == 27) style.reverse = false;
        else if (code >= 30 && code <= 37) style.foreground = code - 30;
        else if (code == 39) style.foreground = -1;
        else if (code >= 40 && code <= 47) style.background = code - 40;
        else if (code == 49) style.background = -1;
        else if (code >= 90 && code <= 97) style.foreground = code - 90 + 8;
        else if (code >= 100 && code <= 107) style.background = code - 100 + 8;
        else if ((code == 38 || code == 48) && i + 2 < codes.size() && codes[i + 1] == 5) {
            (code == 38 ? style.foreground : style.background) = codes[i + 2];
            i += 2;
        }
    }
}

// Turns one line of `capture-pane -e` output into cells. tmux writes only
// the changes of attributes, so the style runs on from the line before.
std::vector<ScreenCell> parseCells(const std::string& line, ScreenCell& style) {
    std::vector<ScreenCell> cells;
    std::mbstate_t state{};
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] == '\033' && i + 1 < line.size() && line[i + 1] == '[') {
            std::size_t end = line.find_first_of("ABCDEFGHJKSTfmnsu", i + 2);
            if (end == std::string::npos) break;
            if (line[end] == 'm') applySgr(line.substr(i + 2, end - i - 2), style);
            i = end + 1;
            continue;
        }
        wchar_t character;
        std::size_t length = std::mbrtowc(&character, line.data() + i, line.size() - i, &state);
        if (length == 0 || length > line.size() - i) {
            state = {};
            length = 1;
            character = L'?';
        }
        ScreenCell cell = style;
        cell.text = line.substr(i, length);
        cells.push_back(cell);
        for (int extra = 1; extra < wcwidth(character); ++extra) {
            ScreenCell padding = style;
            cells.push_back(padding);
        }
        i += length;
    }
    return cells;
}

std::atomic<int> serverCount{0};

bool ended(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t name = stat.rfind(')');
    return name == std::string::npos || stat.compare(name, 4, ") Z ") == 0;
}

}  // namespace

bool endsWithin(int pid, std::chrono::milliseconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    while (!ended(pid)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string shellQuote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Screen::dump() const {
    std::string text = "+" + std::string(80, '-') + "\n";
    for (const std::string& line : lines) text += "|" + line + "\n";
    return text + "+" + std::string(80, '-') + "\n";
}

bool Screen::contains(const std::string& text) const {
    for (const std::string& line : lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

const ScreenCell& Screen::at(int row, int column) const {
    static const ScreenCell blank{" "};
    if (row < 0 || row >= static_cast<int>(cells.size())) return blank;
    const std::vector<ScreenCell>& line = cells[row];
    if (column < 0 || column >= static_cast<int>(line.size())) return blank;
    return line[column];
}

Tmux::Tmux(int columns, int rows) : columns_(columns), rows_(rows) {
    std::setlocale(LC_ALL, "C.UTF-8");
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvantis-e2e-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    base_ = pattern;
    dir_ = base_ / "work";
    std::filesystem::create_directory(dir_);
    socket_ = "quorvantis-" + std::to_string(getpid()) + "-" + std::to_string(serverCount++);
}

Tmux::~Tmux() {
    if (started_) {
        // End the program in order first, so that LeakSanitizer gets to run.
        // One that has ended without its status recorded (killed from the
        // shell that started it) is not waited for.
        if (!exited() && pid_ > 0 && !ended(pid_)) {
            kill(pid_, SIGTERM);
            waitForExit();
        }
        tmux({"kill-server"}, false);
    }
    std::string reports = sanitizerReports();
    if (!reports.empty()) ADD_FAILURE() << "sanitizer report:\n" << reports;
    std::filesystem::remove_all(base_);
}

void Tmux::writeFile(const std::string& name, const std::string& bytes, bool executable) const {
    std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
    std::ofstream(path(name), std::ios::binary) << bytes;
    if (executable) std::filesystem::permissions(path(name), std::filesystem::perms::owner_all);
}

std::string Tmux::readFile(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Tmux::tmux(const std::vector<std::string>& arguments, bool mustSucceed) {
    std::vector<std::string> command = {TMUX_PROGRAM, "-L", socket_, "-f", "/dev/null"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    CommandResult result = runCommand(command);
    if (mustSucceed && result.status != 0) ADD_FAILURE() << "tmux " << arguments.front() << " failed";
    return result.output;
}

void Tmux::start(const std::vector<std::string>& arguments, const Environment& environment,
                 const std::string& stdinFile, bool fromInteractiveShell) {
    std::string sanitizerLog = (base_ / "sanitizer").string();
    // The process that becomes the program tells its process id first: the
    // shell's first child may be a command run before it.
    std::string pidFile = (base_ / "pid").string();
    std::string command = (prelude_.empty() ? "" : prelude_ + "; ") + "cd " + shellQuote(dir_.string()) +
                          " && sh -c 'echo $$ > \"$0\" && exec \"$@\"' " + shellQuote(pidFile) + " env";
    Environment pinned = {
        {"TERM", "tmux-256color"},
        {"LANG", "C.UTF-8"},
        {"LC_ALL", "C.UTF-8"},
        {"ASAN_OPTIONS", "log_path=" + sanitizerLog + ":detect_leaks=" + (detectLeaks_ ? "1" : "0") +
                             ":abort_on_error=0"},
        {"UBSAN_OPTIONS", "log_path=" + sanitizerLog + ":print_stacktrace=1:halt_on_error=1"},
    };
    pinned.insert(pinned.end(), environment.begin(), environment.end());
    // env takes its options before the first assignment.
    for (const auto& [name, value] : pinned)
        if (!value) command += " -u " + shellQuote(name);
    for (const auto& [name, value] : pinned)
        if (value) command += " " + shellQuote(name + "=" + *value);
    command += " " + shellQuote(QUORVANTIS_BINARY);
    for (const std::string& argument : arguments) command += " " + shellQuote(argument);
    if (!stdinFile.empty()) command += " < " + shellQuote(stdinFile);
    std::string status = shellQuote((base_ / "exit-status").string());

    // A shell with job control, as a user has, gets the command line typed
    // in, so that the program is a job of its own, as when a user starts it.
    // The prompt then records the status, once no job is left stopped.
    // Otherwise the pane runs the command line directly, and the shell, not
    // tmux, collects the status: tmux may be slow to reap it.
    std::string paneCommand = fromInteractiveShell
                                  ? "env PS1='$ ' bash --norc --noprofile -i"
                                  : command + "; s=$?; " + (postlude_.empty() ? "" : postlude_ + "; ") + "echo $s > " + status;
    tmux({"start-server", ";", "set-option", "-g", "remain-on-exit", "on", ";", "set-option", "-g", "status",
          "off", ";", "set-option", "-g", "default-terminal", "tmux-256color", ";", "new-session", "-d", "-x",
          std::to_string(columns_), "-y", std::to_string(rows_), paneCommand});
    started_ = true;
    if (fromInteractiveShell) {
        waitForText("$");
        type("PROMPT_COMMAND='s=$?; jobs %% >/dev/null 2>&1 || echo $s > '" + shellQuote(status) + "; " + command);
        press("Enter");
    }
    terminal_ = paneValue("#{pane_tty}");
    auto deadline = std::chrono::steady_clock::now() + DEADLINE;
    while (pid_ <= 0 && std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(pidFile);
        if (!(in >> pid_)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void Tmux::type(const std::string& literal) { tmux({"send-keys", "-l", literal}); }

void Tmux::press(const std::string& keyName) { tmux({"send-keys", keyName}); }

void Tmux::resize(int columns, int rows) {
    columns_ = columns;
    rows_ = rows;
    wipe();
    tmux({"resize-window", "-x", std::to_string(columns), "-y", std::to_string(rows)});
    std::string size = std::to_string(columns) + "x" + std::to_string(rows);
    auto deadline = std::chrono::steady_clock::now() + DEADLINE;
    while (paneValue("#{pane_width}x#{pane_height}") != size) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "tmux did not take the size " << size;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void Tmux::wipe() {
    // Save the cursor and attributes, clear in plain colours, restore.
    writeToTerminal("\0337\033[0m\033[H\033[2J\0338");
}

void Tmux::recordOutput() {
    std::string recording = (base_ / "output").string();
    std::filesystem::remove(recording);
    tmux({"pipe-pane", "-o", "cat > " + shellQuote(recording)});
}

std::string Tmux::stopRecordingOutput() {
    tmux({"pipe-pane"});
    std::ifstream in(base_ / "output", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Tmux::writeToTerminal(const std::string& bytes) {
    int terminal = open(terminal_.c_str(), O_WRONLY | O_NOCTTY);
    if (terminal < 0 || write(terminal, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        ADD_FAILURE() << "could not write to the terminal " << terminal_;
    if (terminal >= 0) close(terminal);
}

void Tmux::hangUp() { tmux({"kill-pane"}); }

void Tmux::signal(int signalNumber) {
    if (pid_ > 0) kill(pid_, signalNumber);
}

Screen Tmux::capture() {
    // One command list, which tmux runs without taking in output between
    // its commands: the text, the attributes and the cursor of one moment.
    std::vector<std::string> rows = splitLines(tmux({"capture-pane", "-p", "-N", "-e", ";", "display-message", "-p",
                                                     "#{cursor_y} #{cursor_x} #{alternate_on} #{cursor_flag}"}));
    Screen screen;
    if (rows.empty()) return screen;
    std::istringstream(rows.back()) >> screen.cursor.first >> screen.cursor.second >> screen.alternate >>
        screen.cursorShown;
    rows.pop_back();
    ScreenCell style;
    for (const std::string& row : rows) {
        screen.cells.push_back(parseCells(row, style));
        std::string text;
        for (const ScreenCell& cell : screen.cells.back()) text += cell.text;
        // tmux leaves out the blank cells at the end of a row that nothing
        // was written to; every row is as wide as the pane.
        int missing = columns_ - static_cast<int>(screen.cells.back().size());
        if (missing > 0) text.append(static_cast<std::size_t>(missing), ' ');
        screen.lines.push_back(text);
    }
    return screen;
}

bool Tmux::waitFor(const std::function<bool(const Screen&)>& condition, const std::string& what,
                   std::chrono::milliseconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        seen_ = capture();
        if (condition(seen_)) return true;
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "timed out waiting for " << what << "; the screen was:\n" << seen_.dump();
    return false;
}

bool Tmux::waitForText(const std::string& text) {
    return waitFor([&](const Screen& screen) { return screen.contains(text); }, "\"" + text + "\"");
}

bool Tmux::waitForLine(int row, const std::string& line, std::chrono::milliseconds deadline) {
    return waitFor(
        [&](const Screen& screen) {
            if (row >= static_cast<int>(screen.lines.size())) return false;
            std::string shown = screen.lines[row];
            return shown.substr(0, shown.find_last_not_of(' ') + 1) == line;
        },
        "row " + std::to_string(row) + " to read \"" + line + "\"", deadline);
}

std::string Tmux::paneValue(const std::string& format) {
    std::string value = tmux({"display-message", "-p", format}, false);
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

std::pair<int, int> Tmux::cursor() {
    std::string position = paneValue("#{cursor_y} #{cursor_x}");
    return {std::atoi(position.c_str()), std::atoi(position.substr(position.find(' ') + 1).c_str())};
}

bool Tmux::exited() {
    std::error_code error;
    std::uintmax_t size = std::filesystem::file_size(base_ / "exit-status", error);
    return !error && size > 0;
}

std::optional<int> Tmux::waitForExit() {
    auto deadline = std::chrono::steady_clock::now() + DEADLINE;
    while (std::chrono::steady_clock::now() < deadline) {
        if (exited()) {
            std::ifstream in(base_ / "exit-status");
            int status = -1;
            in >> status;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "the program did not end; the screen was:\n" << capture().dump();
    return std::nullopt;
}

std::string Tmux::sanitizerReports() const {
    std::string reports;
    for (const auto& entry : std::filesystem::directory_iterator(base_)) {
        if (entry.path().filename().string().rfind("sanitizer", 0) != 0) continue;
        std::ifstream in(entry.path());
        reports.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return reports;
}
