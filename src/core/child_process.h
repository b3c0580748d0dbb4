// Other programs run on the program's behalf: the user's editor and
// `fortune`. The program owns each child: it waits for it without losing
// sight of its own quit request, and ends it before it leaves.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Polled while a child runs; true when the program has been asked to quit.
using StopRequested = std::function<bool()>;

struct ChildRun {
    bool started = false;      // the shell could be started at all
    bool interrupted = false;  // the child was ended because the program must quit
};

// Runs a shell command line on the terminal, in the program's own job, and
// waits for it. The keyboard's interrupt and quit keys belong to the child
// meanwhile, and a stop of the job (Ctrl-Z) stops the program with it and
// nothing else.
ChildRun runOnTerminal(const std::string& commandLine, const StopRequested& stopRequested);

// What the program asks of a child run away from the terminal.
struct ChildWatch {
    StopRequested stopRequested;
    // Called from the stop signal handler just before the program stops
    // along with the child (Ctrl-Z), so that the terminal can be handed
    // back as the user's shell expects it; only async-signal-safe calls.
    void (*beforeStop)() = nullptr;
};

// From within a handler of SIGTSTP: stops the program as the signal's
// default action would, and returns once the job is continued.
void stopAsByDefault();

struct CapturedRun : ChildRun {
    std::string output;  // standard output, up to the limit asked for
    std::string errors;  // error output, up to the limit asked for
};

// Runs a shell command line away from the terminal: no input, both output
// streams captured, in a process group of its own so that ending it ends
// everything it started. A stop of the job stops the child along with the
// program.
CapturedRun runCaptured(const std::string& commandLine, std::size_t outputLimit, std::size_t errorLimit,
                        const ChildWatch& watch);
