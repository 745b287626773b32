#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

struct RunResult {
    int exitCode = -1;
    bool signalled = false;
    std::string stderrText;
};

// Starts the show with extra environment, optionally sends it a signal
// after `stopAfter`, and waits for it (killing it if it hangs).
RunResult runShow(const std::vector<std::string>& extraEnv, std::chrono::milliseconds stopAfter,
                  int stopSignal)
{
    std::string exe = std::string(QUILLMOOR_BINARY_DIR) + "/quillmoor";
    // One file per test process: CTest runs the program tests side by side.
    std::string errPath = ::testing::TempDir() + "quillmoor_stderr_" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                          std::to_string(getpid()) + ".txt";

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool overridden = false;
        for (const std::string& extra : extraEnv)
            if (entry.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0)
                overridden = true;
        if (!overridden)
            envStrings.push_back(entry);
    }
    for (const std::string& extra : extraEnv)
        if (extra.back() != '=')  // "NAME=" removes NAME
            envStrings.push_back(extra);
    std::vector<char*> envp;
    for (std::string& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* argv[] = {exe.data(), nullptr};
    pid_t pid;
    RunResult result;
    int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return result;

    auto start = std::chrono::steady_clock::now();
    int status = 0;
    bool signalSent = false;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        auto elapsed = std::chrono::steady_clock::now() - start;
        if (!signalSent && stopSignal && elapsed >= stopAfter) {
            kill(pid, stopSignal);
            signalSent = true;
        }
        if (elapsed > stopAfter + std::chrono::seconds(30)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    result.signalled = WIFSIGNALED(status);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errPath);
    std::stringstream text;
    text << err.rdbuf();
    result.stderrText = text.str();
    return result;
}

}  // namespace

TEST(Program, HeadlessRunClosesCleanlyOnACloseRequest)
{
    // SDL turns SIGTERM into a quit request, as a window manager's close would.
    RunResult run = runShow({"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"},
                            std::chrono::milliseconds(4000), SIGTERM);
    EXPECT_FALSE(run.signalled) << run.stderrText;
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(run.stderrText.find("cannot"), std::string::npos) << run.stderrText;
}

TEST(Program, NoDisplayIsAClearFailure)
{
    RunResult run = runShow({"SDL_VIDEODRIVER=x11", "DISPLAY=", "WAYLAND_DISPLAY=", "SDL_AUDIODRIVER=dummy"},
                            std::chrono::milliseconds(0), 0);
    EXPECT_FALSE(run.signalled) << run.stderrText;
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.stderrText.find("window: no display"), std::string::npos) << run.stderrText;
}
