// Other programs a tool starts (the capture tool's video encoder), found on
// PATH and started with an argument list, never through a shell, so no
// file name is ever read as shell syntax; scratch files handed to them;
// requests to stop a long run; and whether stderr is a terminal, for
// progress lines. A started program never outlives its starter and never
// sees the terminal's Ctrl+C: it gets a process group of its own. On Linux:
// PATH of ':'-separated folders, fork and exec with a parent-death signal,
// pipes, unnamed files; on Windows: ';'-separated folders and the
// extensions of PATHEXT, CreateProcessW in a new process group inside a job
// object that kills it when the tool goes, anonymous pipes, files in the
// temporary folder. Main thread only (stopRequest may be read anywhere).
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

// From now on, the requests to stop (SIGINT, SIGTERM and SIGHUP on Linux;
// Ctrl+C, Ctrl+Break and a closing console window on Windows) no longer end
// the process: they are remembered for stopRequest, so that a long run can
// finish what it has made. The console's closing gives about five seconds.
void catchStopRequests();
// The signal of the first stop request since catchStopRequests: SIGINT,
// SIGTERM or SIGHUP (on Windows SIGINT for Ctrl+C, SIGBREAK for
// Ctrl+Break, SIGTERM for a closing console); 0 while there is none.
int stopRequest();

// A file of scratch data for a started program, which no ending of this
// process leaves behind: on Linux it has no name at all (made unnamed in
// the temporary folder) and the program opens it by childName(), its
// descriptor 3; on Windows it is a file in the temporary folder, opened by
// its path and removed when this goes (a process killed outright leaves it
// there, for the system's temporary-file clean-up).
class ScratchFile {
public:
    ScratchFile() = default;
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Makes the file, empty, open for reading and writing; `suffix` ends
    // its name where it has one. False with a reason.
    bool make(const char* suffix, std::string& failure);
    // Ours to write and read back (fseek to read what the program wrote).
    std::FILE* stream() const { return stream_; }
    // The name the program opens it by.
    const std::string& childName() const { return childName_; }
    // Cuts the file to its first `bytes` (written out first); false when
    // the system refuses.
    bool truncate(uint64_t bytes);
    // Everything in the file, from its start.
    std::string contents() const;

private:
    std::FILE* stream_ = nullptr;
    std::string childName_;
    std::string path_;  // Windows: the file to remove
};

// Scratch files a started program gets besides its pipe.
struct ChildFiles {
    const ScratchFile* input = nullptr;   // opened by the program as input->childName()
    const ScratchFile* errors = nullptr;  // its stderr; null: ours (ToChild) or nowhere
};

// A started program, joined to this one by a pipe: we write its standard
// input (its stdout and stderr stay ours), or we read its standard output
// (its stderr goes nowhere). `files` may give it a scratch file to read
// (descriptor 3 on Linux) and one to take its stderr instead.
class ChildProgram {
public:
    enum class Pipe { ToChild, FromChild };

    ChildProgram() = default;
    ~ChildProgram();  // closes the pipe and waits for the program
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // Starts argv[0] (a path, as findProgram gives it) with the arguments
    // that follow. False with a reason when it cannot be started.
    bool start(const std::vector<std::string>& argv, Pipe pipe, std::string& failure,
               const ChildFiles& files = ChildFiles());
    // Our end of the pipe; null when not started. A write to a program that
    // has ended fails (no signal ends this process).
    std::FILE* stream() const { return stream_; }
    // Closes our end, waits for the program and returns its exit status;
    // -1 when it was not started, or ended without one (killed by a signal).
    int finish();
    // As finish(), but a stop request that comes while it waits (such as a
    // second Ctrl+C, when the first asked the tool to stop) ends the program
    // at once; then -1 and `cutShort` is set.
    int finishUnlessStopped(bool& cutShort);

private:
    // The backend's part of start(): argv is not empty and nothing runs.
    bool launch(const std::vector<std::string>& argv, Pipe pipe, std::string& failure, const ChildFiles& files);
    // Closes our end of the pipe; true when a started program is still to
    // be waited for.
    bool closeOurEnd();

    std::FILE* stream_ = nullptr;
    intptr_t process_ = 0;  // pid on Linux, process handle on Windows
};

// Runs `argv` to its end and returns what it wrote to stdout; `status` is
// its exit status, or -1 when it could not be started.
std::string programOutput(const std::vector<std::string>& argv, int& status);
