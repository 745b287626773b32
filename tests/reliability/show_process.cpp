#include "show_process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
    ShowRun* run = nullptr;
    pid_t pid = -1;
    std::string errPath;
    Clock::time_point start;
    Clock::time_point stopAt = Clock::time_point::max();
    bool stopSent = false;
};

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra)
{
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
    std::vector<std::string> merged;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const std::string& x : extra)
            if (nameOf(entry) == nameOf(x))
                replaced = true;
        if (!replaced)
            merged.push_back(entry);
    }
    for (const std::string& x : extra)
        if (x.back() != '=')
            merged.push_back(x);
    return merged;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool start(Child& child, int index)
{
    ShowRun& run = *child.run;
    child.errPath = ::testing::TempDir() + "reliability_stderr_" + std::to_string(getpid()) + "_" +
                    std::to_string(index) + ".txt";
    std::vector<std::string> envStrings = mergedEnvironment(run.env);
    std::vector<char*> envp;
    for (std::string& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{run.program};
    argStrings.insert(argStrings.end(), run.args.begin(), run.args.end());
    std::vector<char*> argv;
    for (std::string& s : argStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, child.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int rc = posix_spawn(&child.pid, run.program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    run.started = rc == 0;
    child.start = Clock::now();
    if (run.started && run.stop && run.stopAfterText.empty())
        child.stopAt = child.start + run.settle;
    return run.started;
}

bool allReported(const ShowRun& run, const std::string& text)
{
    for (const std::string& fragment : run.stopAfterText)
        if (text.find(fragment) == std::string::npos)
            return false;
    return true;
}

// The child's largest resident set so far (kB), or 0 when it cannot be read.
long peakResidentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmHWM:") == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

// Fills in how the child ended from its wait status and resource usage.
void finish(Child& child, int status, const struct rusage& usage, Clock::time_point now)
{
    ShowRun& run = *child.run;
    run.signalled = WIFSIGNALED(status);
    run.signal = run.signalled ? WTERMSIG(status) : 0;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakRssKb = usage.ru_maxrss;
    run.stderrText = readText(child.errPath);
    if (run.reportedAfter.count() < 0 && allReported(run, run.stderrText)) {
        run.reportedAfter = std::chrono::duration_cast<std::chrono::milliseconds>(now - child.start);
        run.peakAtReportsKb = run.peakRssKb;
    }
    std::remove(child.errPath.c_str());
}

// One look at a running child; true once it has ended (outcome filled in).
bool poll(Child& child)
{
    ShowRun& run = *child.run;
    int status = 0;
    struct rusage usage {};
    const Clock::time_point now = Clock::now();
    if (wait4(child.pid, &status, WNOHANG, &usage) == child.pid) {
        run.exitedBeforeStop = !child.stopSent;
        finish(child, status, usage, now);
        return true;
    }
    if (run.reportedAfter.count() < 0 && allReported(run, readText(child.errPath))) {
        run.reportedAfter = std::chrono::duration_cast<std::chrono::milliseconds>(now - child.start);
        run.peakAtReportsKb = peakResidentKb(child.pid);
        if (run.stop && child.stopAt == Clock::time_point::max())
            child.stopAt = now + run.settle;
    }
    if (!child.stopSent && now >= child.stopAt) {
        kill(child.pid, SIGTERM);
        child.stopSent = true;
    }
    if (now - child.start > run.limit) {
        kill(child.pid, SIGKILL);
        wait4(child.pid, &status, 0, &usage);
        finish(child, status, usage, now);
        run.hung = true;
        run.signalled = true;
        run.signal = SIGKILL;
        return true;
    }
    return false;
}

}  // namespace

void runShows(std::vector<ShowRun>& runs, int parallel)
{
    std::vector<Child> running;
    size_t next = 0;
    while (next < runs.size() || !running.empty()) {
        while (next < runs.size() && static_cast<int>(running.size()) < parallel) {
            Child child;
            child.run = &runs[next];
            if (start(child, static_cast<int>(next)))
                running.push_back(child);
            ++next;
        }
        for (size_t i = 0; i < running.size();) {
            if (poll(running[i]))
                running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            else
                ++i;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<std::string> linesWith(const std::string& text, const std::string& fragment)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.find(fragment) != std::string::npos)
            lines.push_back(line);
    return lines;
}

std::string scratchFolder(const std::string& name)
{
    fs::path folder = fs::path(::testing::TempDir()) / ("quillmoor_reliability_" + std::to_string(getpid())) / name;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder);
    return folder.string();
}

std::string copyContent(const std::string& folder)
{
    const fs::path data = fs::path(folder) / "Data";
    fs::create_directories(data);
    for (const auto& entry : fs::directory_iterator(builtDataFolder()))
        if (entry.is_regular_file())
            fs::copy_file(entry.path(), data / entry.path().filename(), fs::copy_options::overwrite_existing);
    return data.string();
}

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string binaryFolder()
{
    const char* bin = std::getenv("QUILLMOOR_BIN");
    return bin && *bin ? bin : QUILLMOOR_BINARY_DIR;
}

std::string builtDataFolder()
{
    return std::string(QUILLMOOR_BINARY_DIR) + "/Data";
}
