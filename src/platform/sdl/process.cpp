#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

extern char** environ;

namespace {

bool isExecutableFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string findProgram(const std::string& program)
{
    if (program.empty())
        return std::string();
    if (program.find('/') != std::string::npos)
        return isExecutableFile(program) ? program : std::string();
    const char* path = std::getenv("PATH");
    if (!path)
        return std::string();
    const std::string folders = path;
    size_t start = 0;
    for (;;) {
        const size_t colon = folders.find(':', start);
        std::string folder = folders.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (folder.empty())
            folder = ".";
        const std::string candidate = folder + "/" + program;
        if (isExecutableFile(candidate))
            return candidate;
        if (colon == std::string::npos)
            return std::string();
        start = colon + 1;
    }
}

bool stderrIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

namespace {

volatile sig_atomic_t stopSignal = 0;
volatile sig_atomic_t stopCount = 0;

void onStopRequest(int number)
{
    if (stopSignal == 0)
        stopSignal = number;
    stopCount = stopCount + 1;
}

// What the child does between fork and exec: only calls that are safe in
// the copy of a process with threads, on data made before the fork.
struct ChildSetup {
    pid_t parent = 0;
    int pipeEnd = -1;     // becomes stdin or stdout
    int pipeTarget = -1;  // STDIN_FILENO or STDOUT_FILENO
    int errors = -1;      // becomes stderr; -1: keep ours, -2: /dev/null
    int input = -1;       // becomes descriptor 3; -1: none
    int report = -1;      // written with errno when exec fails
    char* const* argv = nullptr;
};

[[noreturn]] void childFails(const ChildSetup& setup)
{
    const int error = errno;
    if (write(setup.report, &error, sizeof error) < 0) {
        // Nothing more to tell it with.
    }
    _exit(127);
}

// A copy of `fd` above the standard ones and descriptor 3, so that placing
// one descriptor never overwrites another still to be placed; -1 for none.
int lifted(int fd)
{
    return fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 10) : fd;
}

[[noreturn]] void runChild(const ChildSetup& setup)
{
    // A group of its own: the terminal's Ctrl+C goes to the tool, which then
    // ends the program's input in good order. It dies with its parent.
    setpgid(0, 0);
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != setup.parent)
        _exit(127);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // We ignore SIGPIPE so that a program that stops reading is an error we
    // report; the program itself starts with the usual disposition.
    signal(SIGPIPE, SIG_DFL);
    const int pipeEnd = lifted(setup.pipeEnd);
    const int input = lifted(setup.input);
    const int errors = setup.errors == -2 ? open("/dev/null", O_WRONLY | O_CLOEXEC) : lifted(setup.errors);
    if (pipeEnd < 0 || dup2(pipeEnd, setup.pipeTarget) < 0)
        childFails(setup);
    if (setup.input >= 0 && (input < 0 || dup2(input, 3) < 0))
        childFails(setup);
    if (setup.errors != -1 && (errors < 0 || dup2(errors, STDERR_FILENO) < 0))
        childFails(setup);
    execve(setup.argv[0], setup.argv, environ);
    childFails(setup);
}

}  // namespace

void catchStopRequests()
{
    struct sigaction action = {};
    action.sa_handler = onStopRequest;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
}

int stopRequest()
{
    return stopSignal;
}

ScratchFile::~ScratchFile()
{
    if (stream_)
        std::fclose(stream_);
}

bool ScratchFile::make(const char* suffix, std::string& failure)
{
    const char* variable = std::getenv("TMPDIR");
    const std::string folder = variable && *variable ? variable : "/tmp";
    // Unnamed from the start where the file system can; else named for the
    // moment it takes to unlink it.
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = folder + "/quillmoor-XXXXXX" + suffix;
        fd = ::mkostemps(name.data(), static_cast<int>(std::strlen(suffix)), O_CLOEXEC);
        if (fd < 0) {
            failure = name + ": " + std::strerror(errno);
            return false;
        }
        ::unlink(name.c_str());
    }
    stream_ = ::fdopen(fd, "w+b");
    if (!stream_) {
        failure = folder + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    childName_ = "/dev/fd/3";
    return true;
}

bool ScratchFile::truncate(uint64_t bytes)
{
    return stream_ && std::fflush(stream_) == 0 && ::ftruncate(fileno(stream_), static_cast<off_t>(bytes)) == 0;
}

bool ChildProgram::launch(const std::vector<std::string>& argv, Pipe pipe, std::string& failure, const ChildFiles& files)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        failure = argv[0] + ": no pipe: " + std::strerror(errno);
        return false;
    }
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        failure = argv[0] + ": no pipe: " + std::strerror(errno);
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    // fds[0] reads, fds[1] writes; the child gets one end as stdin or stdout.
    const bool toChild = pipe == Pipe::ToChild;
    const int childEnd = toChild ? fds[0] : fds[1];
    const int ourEnd = toChild ? fds[1] : fds[0];

    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& arg : args)
        argp.push_back(arg.data());
    argp.push_back(nullptr);
    ChildSetup setup;
    setup.parent = getpid();
    setup.pipeEnd = childEnd;
    setup.pipeTarget = toChild ? STDIN_FILENO : STDOUT_FILENO;
    setup.errors = files.errors && files.errors->stream() ? fileno(files.errors->stream()) : toChild ? -1 : -2;
    setup.input = files.input && files.input->stream() ? fileno(files.input->stream()) : -1;
    setup.report = report[1];
    setup.argv = argp.data();
    if (files.input)
        std::fflush(files.input->stream());

    if (toChild)
        signal(SIGPIPE, SIG_IGN);
    const pid_t pid = fork();
    if (pid == 0)
        runChild(setup);
    const int forkError = errno;
    ::close(childEnd);
    ::close(report[1]);
    int execError = 0;
    ssize_t got = -1;
    if (pid > 0) {
        // Also here, so that the group exists whichever of us runs first.
        setpgid(pid, pid);
        do
            got = ::read(report[0], &execError, sizeof execError);
        while (got < 0 && errno == EINTR);
    }
    ::close(report[0]);
    if (pid < 0 || got > 0) {
        ::close(ourEnd);
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        failure = argv[0] + ": cannot start: " + std::strerror(pid < 0 ? forkError : execError);
        return false;
    }
    stream_ = fdopen(ourEnd, toChild ? "w" : "r");
    process_ = pid;
    if (!stream_) {
        ::close(ourEnd);
        finish();
        failure = argv[0] + ": no pipe: " + std::strerror(errno);
        return false;
    }
    return true;
}

int ChildProgram::finish()
{
    if (!closeOurEnd())
        return -1;
    int status = 0;
    pid_t waited;
    do
        waited = waitpid(static_cast<pid_t>(process_), &status, 0);
    while (waited == -1 && errno == EINTR);
    process_ = 0;
    if (waited == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

int ChildProgram::finishUnlessStopped(bool& cutShort)
{
    cutShort = false;
    if (!closeOurEnd())
        return -1;
    const sig_atomic_t stopsBefore = stopCount;
    const pid_t pid = static_cast<pid_t>(process_);
    int status = 0;
    pid_t waited;
    const struct timespec pause = {0, 20 * 1000 * 1000};
    while ((waited = waitpid(pid, &status, WNOHANG)) == 0) {
        if (stopCount != stopsBefore && !cutShort) {
            kill(pid, SIGKILL);
            cutShort = true;
        }
        nanosleep(&pause, nullptr);
    }
    process_ = 0;
    if (waited == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
