#pragma once
// Starts a child process without a shell, on POSIX systems and on Windows
// alike: the one place tests start programs.

#include <string>
#include <vector>

namespace velmar::test {

struct ProcessOptions {
    std::string inPath;           // standard input comes from here (empty: none)
    std::string outPath;          // standard output goes here (empty: discarded)
    std::string errPath;          // standard error goes here (empty: discarded)
    std::vector<std::string> env; // "NAME=value", added to this process's environment
    std::string workDir;          // the child's working folder (empty: this process's)
    // Milliseconds after the start at which the child is interrupted as by
    // Ctrl-C (SIGINT; on Windows a Ctrl-Break to its process group); -1: never.
    int interruptAfterMs = -1;
};

// The child's exit status, or -1 when it could not be started or did not exit
// normally.
int RunProcess(const std::string& program, const std::vector<std::string>& args,
               const ProcessOptions& options = {});

// True when RunProcess can interrupt a child on this system.
bool CanInterruptChildren();

} // namespace velmar::test
