#include "support/x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra)
{
    std::vector<std::string> merged;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool overridden = false;
        for (const std::string& x : extra) {
            const size_t eq = x.find('=');
            if (entry.compare(0, eq + 1, x, 0, eq + 1) == 0)
                overridden = true;
        }
        if (!overridden)
            merged.push_back(entry);
    }
    for (const std::string& x : extra)
        if (x.back() != '=')
            merged.push_back(x);
    return merged;
}

std::string tempPath(const char* what)
{
    static std::atomic<int> counter{0};
    return std::string("/tmp/quillmoor_xsession_") + std::to_string(getpid()) + "_" + what + "_" +
           std::to_string(counter++);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& outputPath)
{
    std::vector<std::string> envStrings = mergedEnvironment(env);
    std::vector<char*> envp;
    for (std::string& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& s : args)
        argp.push_back(s.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

}  // namespace

bool parsePpm(const std::string& data, Screenshot& shot)
{
    std::istringstream in(data);
    std::string magic;
    int maxValue = 0;
    in >> magic >> shot.width >> shot.height >> maxValue;
    if (magic != "P6" || shot.width <= 0 || shot.height <= 0 || maxValue != 255)
        return false;
    in.get();
    const size_t bytes = static_cast<size_t>(shot.width) * shot.height * 3;
    const size_t offset = static_cast<size_t>(in.tellg());
    if (data.size() < offset + bytes)
        return false;
    shot.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(offset),
                    data.begin() + static_cast<std::ptrdiff_t>(offset + bytes));
    return true;
}

Child::~Child()
{
    if (pid_ > 0) {
        stop(SIGTERM);
        if (wait(std::chrono::seconds(5)) == -1 && pid_ > 0)
            stop(SIGKILL);
    }
}

bool Child::start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::string& outputPath)
{
    pid_ = spawn(argv, env, outputPath);
    return pid_ > 0;
}

int Child::wait(std::chrono::milliseconds limit)
{
    if (pid_ <= 0)
        return -1;
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= end)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop(SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

bool Child::running()
{
    int status = 0;
    return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0;
}

void Child::stop(int signal)
{
    if (pid_ > 0)
        kill(pid_, signal);
}

std::string runCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       std::chrono::milliseconds limit, int& status)
{
    const std::string out = tempPath("out");
    Child child;
    if (!child.start(argv, env, out)) {
        status = -1;
        return "";
    }
    status = child.wait(limit);
    std::string text = readFile(out);
    std::remove(out.c_str());
    return text;
}

XSession::XSession(int width, int height, XvfbOptions options)
{
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::vector<std::string> args = {"Xvfb", "-screen", "0", screen, "-nolisten", "tcp"};
    if (!options.resetsWhenIdle)
        args.push_back("-noreset");
    start(args, "Xvfb", options.windowManager);
}

XSession::XSession(const std::string& xorgConf)
{
    if (geteuid() != 0) {
        why_ = "Xorg with the dummy driver needs root to start";
        return;
    }
    const std::string conf = tempPath("xorg") + ".conf";
    std::ofstream(conf) << xorgConf;
    start({"Xorg", "-config", conf, "-logfile", conf + ".log", "-nolisten", "tcp", "-noreset"},
          "Xorg (dummy driver)");
}

void XSession::start(std::vector<std::string> serverArgs, const std::string& what, bool windowManager)
{
    int fds[2];
    if (pipe(fds) != 0) {
        why_ = "no pipe for the X server's display number";
        return;
    }
    // The server writes the display number it chose to the inherited pipe.
    serverArgs.push_back("-displayfd");
    serverArgs.push_back(std::to_string(fds[1]));
    const std::string log = tempPath("server");
    if (!server_.start(serverArgs, {}, log)) {
        close(fds[0]);
        close(fds[1]);
        why_ = what + " cannot be started (is it installed?)";
        return;
    }
    close(fds[1]);
    std::string number;
    pollfd waitFor{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&waitFor, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty()) {
        std::string text = readFile(log);
        if (text.size() > 600)
            text = text.substr(text.size() - 600);
        why_ = what + " did not start: " + text;
        return;
    }
    display_ = ":" + number;
    if (!windowManager) {
        ok_ = true;
        return;
    }

    if (!windowManager_.start({"openbox", "--sm-disable"}, environment(), tempPath("openbox"))) {
        why_ = "openbox cannot be started (is the openbox package installed?)";
        return;
    }
    // The window manager is ready once it has announced itself on the root window.
    for (int tries = 0; tries < 200; ++tries) {
        int status = 0;
        const std::string props = tool({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, status);
        if (status == 0 && props.find("window id") != std::string::npos) {
            ok_ = true;
            return;
        }
        if (!windowManager_.running())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why_ = "openbox did not come up on " + display_;
}

XSession::~XSession()
{
    windowManager_.stop(SIGTERM);
    windowManager_.wait(std::chrono::seconds(5));
    server_.stop(SIGTERM);
    server_.wait(std::chrono::seconds(5));
}

std::vector<std::string> XSession::environment() const
{
    return {"DISPLAY=" + display_, "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER="};
}

std::string XSession::tool(const std::vector<std::string>& argv, int& status,
                           std::chrono::milliseconds limit) const
{
    return runCommand(argv, environment(), limit, status);
}

std::string XSession::waitForWindow(const std::string& windowClass, std::chrono::milliseconds limit) const
{
    return waitForWindowBy("--class", windowClass, limit);
}

std::string XSession::waitForWindowNamed(const std::string& title, std::chrono::milliseconds limit) const
{
    // xdotool takes the name as a pattern: match it whole.
    return waitForWindowBy("--name", "^" + title + "$", limit);
}

std::string XSession::findWindow(const std::string& windowClass) const
{
    return findWindowBy("--class", windowClass);
}

std::string XSession::findWindowBy(const char* how, const std::string& what) const
{
    int status = 0;
    const std::string ids = tool({"xdotool", "search", "--onlyvisible", how, what}, status);
    return status == 0 ? ids.substr(0, ids.find('\n')) : "";
}

std::string XSession::waitForWindowBy(const char* how, const std::string& what, std::chrono::milliseconds limit) const
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        const std::string window = findWindowBy(how, what);
        if (!window.empty())
            return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
}

bool XSession::screenshot(const std::string& window, Screenshot& shot) const
{
    const std::string path = tempPath("shot") + ".ppm";
    int status = 0;
    tool({"import", "-silent", "-window", window.empty() ? "root" : window, "-depth", "8", "ppm:" + path},
         status, std::chrono::seconds(30));
    const bool ok = status == 0 && parsePpm(readFile(path), shot);
    std::remove(path.c_str());
    return ok;
}
