#pragma once
// RunHelperProcess: runs one of the program's helpers (a separate executable) for work that must
// not be able to end the program: code of a library that asserts, frees twice or loops on hostile
// data. The helper starts with posix_spawn (no fork of a threaded program), with stdin on
// /dev/null, its stdout and stderr collected, every other descriptor closed, every signal at its
// default, a time limit and a memory limit. Whatever the helper does (crashes, hangs, fills its
// output, reports a sanitizer finding), the caller gets an outcome to judge. Any thread; blocks
// until the helper has ended or been killed.

#include <cstddef>
#include <string>
#include <vector>

struct HelperLimits {
    int timeLimitMs = 5000;                    // then the helper is killed
    std::size_t memoryBytes = 512u << 20;      // address space (under the sanitizers: resident memory)
    std::size_t outputBytes = 64u << 10;       // of stdout; more is nonsense, and the helper is killed
    // Variables removed from the helper's environment.
    std::vector<std::string> unsetEnvironment;
};

struct HelperOutcome {
    enum class End {
        kExited,     // `status` is its exit status
        kSignalled,  // `status` is the signal that ended it
        kTimedOut,   // killed at the time limit
        kTooMuch,    // killed: its output passed the limit
        kNotStarted, // `why` says why
    };
    End end = End::kNotStarted;
    int status = 0;
    std::string out; // what it wrote on stdout
    std::string err; // what it wrote on stderr (the last 16 KB)
    std::string why; // for kNotStarted
    // True when it exited with status 0.
    bool Succeeded() const { return end == End::kExited && status == 0; }
    // "exited with status 1", "was killed by signal 6 (Aborted)", "did not end within 5 s" …
    std::string Describe(const HelperLimits& limits) const;
};

// Runs `program` with `args` (argv[1] on) under `limits`.
HelperOutcome RunHelperProcess(const std::string& program, const std::vector<std::string>& args,
                               const HelperLimits& limits = {});

// Where a helper of the program is: next to the running program, in libexec/zuzidero beside
// its bin folder (installed) or a few folders up (a build tree), else the configured folder.
// Empty when none is found.
std::string FindHelperProgram(const std::string& name);
