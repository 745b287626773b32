// A private X session for tests that need a real display: an Xvfb server
// of a chosen size (with or without the window manager), or Xorg with the dummy video driver and a given
// configuration (for real mode changes; root only), with the openbox window
// manager on it; tools run on that display (xdotool, xrandr), screenshots of
// the root or of a window. Everything started here is stopped by the
// destructors. When the server or openbox cannot be started, ok() is false
// and why() says why (the tests then skip).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// An RGB picture, top row first.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
    bool black(int x, int y) const { const uint8_t* p = at(x, y); return p[0] == 0 && p[1] == 0 && p[2] == 0; }
};

// Reads a binary PPM (P6, 8 bits) into `shot`; false when it is not one.
bool parsePpm(const std::string& data, Screenshot& shot);

// A child process with its stdout and stderr in a file.
class Child {
public:
    Child() = default;
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Starts argv[0] (looked up on PATH) with `env` added to (or, "NAME=",
    // removed from) this process's environment.
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& outputPath);
    // Waits up to `limit` for the exit; -1 when it did not exit (it is then killed).
    int wait(std::chrono::milliseconds limit);
    bool running();
    void stop(int signal);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Runs a command to completion (at most `limit`), returning its stdout; the
// exit status goes to `status` (-1 on time-out).
std::string runCommand(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       std::chrono::milliseconds limit, int& status);

// How an Xvfb session is run.
struct XvfbOptions {
    bool windowManager = true;  // openbox on it
    bool resetsWhenIdle = false;  // the server's own default: it resets when its last client leaves
};

class XSession {
public:
    // Xvfb with one screen of width x height.
    XSession(int width, int height, XvfbOptions options = XvfbOptions());
    // Xorg with the dummy driver and `xorgConf` (the text of an xorg.conf).
    explicit XSession(const std::string& xorgConf);
    ~XSession();

    bool ok() const { return ok_; }
    const std::string& why() const { return why_; }
    const std::string& display() const { return display_; }  // ":N"

    // The environment a program on this display gets.
    std::vector<std::string> environment() const;
    // Runs a tool (xdotool, xwininfo, import ...) on this display.
    std::string tool(const std::vector<std::string>& argv, int& status,
                     std::chrono::milliseconds limit = std::chrono::seconds(20)) const;
    // The first visible window of WM_CLASS `windowClass` now; empty when none.
    std::string findWindow(const std::string& windowClass) const;
    // The first visible window of WM_CLASS `windowClass`, waiting up to `limit`; empty when none.
    std::string waitForWindow(const std::string& windowClass, std::chrono::milliseconds limit) const;
    // The first visible window whose title is `title`, waiting up to `limit`; empty when none.
    std::string waitForWindowNamed(const std::string& title, std::chrono::milliseconds limit) const;
    // The root window (`window` empty) or one window, as RGB; false when it failed.
    bool screenshot(const std::string& window, Screenshot& shot) const;

private:
    // The first visible window that xdotool finds with `how` ("--class", "--name") matching `what`.
    std::string findWindowBy(const char* how, const std::string& what) const;
    std::string waitForWindowBy(const char* how, const std::string& what, std::chrono::milliseconds limit) const;
    // Starts the server (whose arguments get -displayfd N appended), then
    // openbox when `windowManager`.
    void start(std::vector<std::string> serverArgs, const std::string& what, bool windowManager = true);

    Child server_;
    Child windowManager_;
    std::string display_;
    std::string why_;
    bool ok_ = false;
};
