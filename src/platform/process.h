// Other programs a tool starts (the capture tool's video encoder), found on
// PATH and started with an argument list, never through a shell, so no
// file name is ever read as shell syntax; and whether stderr is a
// terminal, for progress lines. On Linux: PATH of ':'-separated folders,
// posix_spawn and pipes; on Windows: ';'-separated folders and the
// extensions of PATHEXT, CreateProcessW and anonymous pipes.
// Main thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The full path of `program` in the folders of PATH (on Windows also with
// each extension of PATHEXT added, unless it has one); empty when it is in
// none. An empty folder in PATH is the current one.
std::string findProgram(const std::string& program);

// True when stderr goes to a terminal (a console on Windows).
bool stderrIsTerminal();

// A started program, joined to this one by a pipe: we write its standard
// input (its stdout and stderr stay ours), or we read its standard output
// (its stderr goes nowhere).
class ChildProgram {
public:
    enum class Pipe { ToChild, FromChild };

    ChildProgram() = default;
    ~ChildProgram();  // closes the pipe and waits for the program
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // Starts argv[0] (a path, as findProgram gives it) with the arguments
    // that follow. False with a reason when it cannot be started.
    bool start(const std::vector<std::string>& argv, Pipe pipe, std::string& failure);
    // Our end of the pipe; null when not started. A write to a program that
    // has ended fails (no signal ends this process).
    std::FILE* stream() const { return stream_; }
    // Closes our end, waits for the program and returns its exit status;
    // -1 when it was not started, or ended without one (killed by a signal).
    int finish();

private:
    std::FILE* stream_ = nullptr;
    intptr_t process_ = 0;  // pid on Linux, process handle on Windows
};

// Runs `argv` to its end and returns what it wrote to stdout; `status` is
// its exit status, or -1 when it could not be started.
std::string programOutput(const std::vector<std::string>& argv, int& status);
