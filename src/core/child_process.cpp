#include "child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr int POLL_MS = 50;
// How long a child asked to end gets before it is killed outright.
constexpr std::chrono::milliseconds GRACE{1000};

// The process group of the captured child, and what to do before stopping
// with it, for the stop handler.
volatile std::sig_atomic_t capturedGroup = 0;
void (*volatile beforeCapturedStop)() = nullptr;

// Sets one signal's disposition for the life of the object.
class SignalDisposition {
public:
    // With `change` false, the disposition stays as it is.
    SignalDisposition(int signalNumber, void (*handler)(int), bool change = true) : signalNumber_(signalNumber) {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        sigaction(signalNumber, change ? &action : nullptr, &previous_);
    }
    ~SignalDisposition() { restore(); }
    SignalDisposition(const SignalDisposition&) = delete;
    SignalDisposition& operator=(const SignalDisposition&) = delete;

    void restore() const { sigaction(signalNumber_, &previous_, nullptr); }

private:
    int signalNumber_;
    struct sigaction previous_ {};
};

// Ctrl-Z stops only the foreground process group, which the captured child
// is not in: stop it along with the program (which first hands the terminal
// back, if it asked to), and continue it along with it.
void stopWithCapturedChild(int) {
    int savedErrno = errno;
    pid_t group = capturedGroup;
    if (group > 0) kill(-group, SIGSTOP);
    if (void (*beforeStop)() = beforeCapturedStop) beforeStop();
    stopAsByDefault();
    if (group > 0) kill(-group, SIGCONT);
    errno = savedErrno;
}

}  // namespace

void stopAsByDefault() {
    struct sigaction stopping {}, handler {};
    stopping.sa_handler = SIG_DFL;
    sigemptyset(&stopping.sa_mask);
    sigaction(SIGTSTP, &stopping, &handler);
    sigset_t stopSignal, previousMask;
    sigemptyset(&stopSignal);
    sigaddset(&stopSignal, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stopSignal, &previousMask);
    raise(SIGTSTP);  // the program stops here until the job is continued
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    sigaction(SIGTSTP, &handler, nullptr);
}

namespace {

// What a child must not inherit from the program: it ignores SIGPIPE and
// SIGXFSZ so that failed writes are reported, and blocks nothing.
void resetSignalsInChild() {
    std::signal(SIGPIPE, SIG_DFL);
    std::signal(SIGXFSZ, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

[[noreturn]] void runShell(const char* commandLine) {
    execl("/bin/sh", "sh", "-c", commandLine, static_cast<char*>(nullptr));
    _exit(127);
}

// Gives the terminal's foreground to a process group. A process outside
// the foreground group may do so only with SIGTTOU held off.
void giveTerminalTo(pid_t group) {
    sigset_t hangOn, previous;
    sigemptyset(&hangOn);
    sigaddset(&hangOn, SIGTTOU);
    sigprocmask(SIG_BLOCK, &hangOn, &previous);
    tcsetpgrp(STDIN_FILENO, group);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

bool inForeground() { return tcgetpgrp(STDIN_FILENO) == getpgrp(); }

// Takes the terminal back only from the child: a program continued in the
// background must not take it from the user's shell.
void takeTerminalBackFrom(pid_t child) {
    if (tcgetpgrp(STDIN_FILENO) == child) giveTerminalTo(getpgrp());
}

enum class ChildState { Running, Stopped, Exited };

ChildState stateOf(pid_t child, bool seeStops) {
    siginfo_t info{};
    // WNOWAIT leaves an ended child a zombie, so that its process id and
    // group cannot be taken by another process while stragglers of its
    // group are ended.
    int options = WEXITED | WNOHANG | WNOWAIT | (seeStops ? WSTOPPED : 0);
    while (waitid(P_PID, static_cast<id_t>(child), &info, options) != 0)
        if (errno != EINTR) return ChildState::Exited;
    if (info.si_pid != child) return ChildState::Running;
    if (info.si_code != CLD_STOPPED) return ChildState::Exited;
    waitid(P_PID, static_cast<id_t>(child), &info, WSTOPPED | WNOHANG);  // takes the stop as seen
    return ChildState::Stopped;
}

// Whether a process of the group still runs. A zombie does not count: an
// orphan that has ended waits for whoever adopted it, and some systems'
// first process never reaps. Without /proc, any member counts.
bool groupRunning(pid_t group) {
    DIR* processes = opendir("/proc");
    if (!processes) return kill(-group, 0) == 0;
    bool running = false;
    while (dirent* entry = readdir(processes)) {
        std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
        std::string stat;
        if (!std::getline(in, stat)) continue;
        // "pid (name) state ppid pgrp ...": the name may hold anything, so
        // the fields are read after its last parenthesis.
        std::istringstream fields(stat.substr(stat.rfind(')') + 1));
        char state = 0;
        long parent = 0, processGroup = 0;
        if (fields >> state >> parent >> processGroup && processGroup == group && state != 'Z' && state != 'X') {
            running = true;
            break;
        }
    }
    closedir(processes);
    return running;
}

void reap(pid_t child) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// Asks the child, or its whole group, to end, and kills what will not, and
// reaps the child. The group is waited for as a whole: a shell that starts
// the editor dies at once, while the editor may still be saving its work.
void endChild(pid_t child, bool wholeGroup) {
    pid_t target = wholeGroup ? -child : child;
    kill(target, SIGTERM);
    kill(target, SIGCONT);  // a stopped child cannot act on SIGTERM
    bool reaped = false;
    auto deadline = std::chrono::steady_clock::now() + GRACE;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!reaped && stateOf(child, false) == ChildState::Exited) {
            reap(child);
            reaped = true;
        }
        if (reaped && (!wholeGroup || !groupRunning(child))) return;
        poll(nullptr, 0, POLL_MS / 5);
    }
    kill(target, SIGKILL);
    if (!reaped) reap(child);
}

// How a child runs: in a process group of its own away from the terminal
// (`fortune`), as a job of its own on the terminal (the editor), or, where
// there is no terminal to hand over, in the program's own group.
enum class ChildKind { Captured, TerminalJob, ProgramGroup };

// Waits for the child, ending it when the program must quit; returns
// whether it was ended that way.
//
// A terminal job stopped from the keyboard stops the program too, so that
// the user's shell sees the whole job stopped; continued in the foreground,
// the program hands the terminal back and continues the child. A captured
// child's group goes with the child, so that nothing it started lives on.
bool waitForChild(pid_t child, ChildKind kind, const StopRequested& stopRequested) {
    bool ownGroup = kind != ChildKind::ProgramGroup;
    bool childStopped = false;
    // Most children are done in a moment; the wait lengthens to POLL_MS.
    for (int pause = 1;; pause = std::min(pause * 2, POLL_MS)) {
        ChildState state = stateOf(child, kind == ChildKind::TerminalJob);
        if (state == ChildState::Exited) break;
        if (state == ChildState::Stopped) {
            takeTerminalBackFrom(child);
            raise(SIGTSTP);  // in a group without a job-control shell, nothing stops
            childStopped = true;
        }
        // Continued with bg, the program must not take the terminal; it
        // hands it on once it is in the foreground again.
        if (childStopped && inForeground()) {
            giveTerminalTo(child);
            kill(-child, SIGCONT);
            childStopped = false;
        }
        if (stopRequested && stopRequested()) {
            endChild(child, ownGroup);
            return true;
        }
        poll(nullptr, 0, pause);
    }
    // Nothing that fortune started outlives it; the child, not reaped yet,
    // still holds its group's number.
    if (kind == ChildKind::Captured) kill(-child, SIGKILL);
    reap(child);
    return false;
}

// Reads what is there from a pipe, keeping up to `limit` bytes and dropping
// the rest so that the child never blocks on a full pipe. Returns false at
// its end.
bool drain(int descriptor, std::string& kept, std::size_t limit) {
    char buffer[4096];
    ssize_t count = read(descriptor, buffer, sizeof buffer);
    if (count < 0) return errno == EINTR || errno == EAGAIN;
    if (count == 0) return false;
    std::size_t room = limit > kept.size() ? limit - kept.size() : 0;
    kept.append(buffer, std::min(room, static_cast<std::size_t>(count)));
    return true;
}

}  // namespace

ChildRun runOnTerminal(const std::string& commandLine, const StopRequested& stopRequested) {
    // The child gets a process group of its own and the terminal with it,
    // as a shell gives a job: the keyboard's signals go to the child alone,
    // and ending it on a quit ends everything it started. Without a terminal
    // of ours to hand over, it runs in the program's group, as system()
    // would run it.
    bool handOver = isatty(STDIN_FILENO) && tcgetpgrp(STDIN_FILENO) == getpgrp();
    // In the program's own group, the keyboard's interrupt and quit keys
    // reach the program too; they are the child's, as with system(). A stop
    // takes its default action, so that nothing of the program's (a repaint,
    // a change of terminal modes) runs under the child.
    SignalDisposition interrupt(SIGINT, SIG_IGN, !handOver), quit(SIGQUIT, SIG_IGN, !handOver), stop(SIGTSTP, SIG_DFL);
    pid_t child = fork();
    if (child < 0) return {};
    if (child == 0) {
        if (handOver) {
            setpgid(0, 0);
            giveTerminalTo(getpgrp());
        }
        interrupt.restore();
        quit.restore();
        resetSignalsInChild();
        runShell(commandLine.c_str());
    }
    if (handOver) {
        setpgid(child, child);  // either side may get there first
        giveTerminalTo(child);
    }
    ChildRun run;
    run.started = true;
    run.interrupted = waitForChild(child, handOver ? ChildKind::TerminalJob : ChildKind::ProgramGroup, stopRequested);
    if (handOver) takeTerminalBackFrom(child);
    return run;
}

CapturedRun runCaptured(const std::string& commandLine, std::size_t outputLimit, std::size_t errorLimit,
                        const ChildWatch& watch) {
    const StopRequested& stopRequested = watch.stopRequested;
    CapturedRun run;
    int output[2], errors[2];
    if (pipe2(output, O_CLOEXEC) != 0) return run;
    if (pipe2(errors, O_CLOEXEC) != 0) {
        close(output[0]);
        close(output[1]);
        return run;
    }
    SignalDisposition stop(SIGTSTP, stopWithCapturedChild);
    pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        int nothing = open("/dev/null", O_RDONLY);
        if (nothing >= 0) dup2(nothing, STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        dup2(errors[1], STDERR_FILENO);
        stop.restore();
        resetSignalsInChild();
        runShell(commandLine.c_str());
    }
    close(output[1]);
    close(errors[1]);
    if (child > 0) {
        setpgid(child, child);  // either side may get there first
        beforeCapturedStop = watch.beforeStop;
        capturedGroup = child;
        run.started = true;
        pollfd streams[] = {{output[0], POLLIN, 0}, {errors[0], POLLIN, 0}};
        std::string* kept[] = {&run.output, &run.errors};
        const std::size_t limits[] = {outputLimit, errorLimit};
        // Until both streams end; a child that has gone but left a
        // process holding them open is not waited for.
        while ((streams[0].fd >= 0 || streams[1].fd >= 0) && !(stopRequested && stopRequested())) {
            if (poll(streams, 2, POLL_MS) <= 0) {
                if (stateOf(child, false) == ChildState::Exited) break;
                continue;
            }
            for (int i = 0; i < 2; ++i) {
                if (streams[i].fd < 0 || streams[i].revents == 0) continue;
                if (!drain(streams[i].fd, *kept[i], limits[i])) streams[i].fd = -1;
            }
        }
        run.interrupted = waitForChild(child, ChildKind::Captured, stopRequested);
        capturedGroup = 0;
        beforeCapturedStop = nullptr;
    }
    close(output[0]);
    close(errors[0]);
    return run;
}
