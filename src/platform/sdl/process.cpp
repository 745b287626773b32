#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

ChildProgram::~ChildProgram()
{
    finish();
}

bool ChildProgram::start(const std::vector<std::string>& argv, Pipe pipe, std::string& failure)
{
    finish();
    if (argv.empty()) {
        failure = "no program named";
        return false;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        failure = argv[0] + ": no pipe: " + std::strerror(errno);
        return false;
    }
    // fds[0] reads, fds[1] writes; the child gets one end as stdin or stdout.
    const bool toChild = pipe == Pipe::ToChild;
    const int childEnd = toChild ? fds[0] : fds[1];
    const int ourEnd = toChild ? fds[1] : fds[0];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childEnd, toChild ? STDIN_FILENO : STDOUT_FILENO);
    if (!toChild)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // We ignore SIGPIPE so that a program that stops reading is an error we
    // report; the program itself starts with the usual disposition.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& arg : args)
        argp.push_back(arg.data());
    argp.push_back(nullptr);
    if (toChild)
        signal(SIGPIPE, SIG_IGN);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argp[0], &actions, &attributes, argp.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(childEnd);
    if (spawned != 0) {
        ::close(ourEnd);
        failure = argv[0] + ": cannot start: " + std::strerror(spawned);
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
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (process_ <= 0)
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
