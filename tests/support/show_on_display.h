// The real show started on a test's own X session (see x_session.h), with
// its stderr kept: waiting for a drawn picture or a change of it, sending it
// a signal or an Escape key, and waiting for its exit. On an Xorg session
// with the dummy driver, the start of a fullscreen show that changes the
// display mode. Shared by the suites that run the program on a display.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/x_session.h"

// The show's window class, as xdotool searches for it.
extern const char* const SHOW_WINDOW_CLASS;

class ShowOnDisplay {
public:
    // Starts the show with `args` after its --data option.
    ShowOnDisplay(const XSession& session, std::vector<std::string> args);

    bool started() const { return started_; }
    pid_t pid() const { return child_.pid(); }
    std::string log() const;
    // The show's window once it is visible, waiting up to `limit`; empty
    // when none came or the show exited first.
    std::string waitForWindow(std::chrono::milliseconds limit);
    // Waits for a screenshot of `window` (root when empty) with a drawn frame.
    bool waitForPicture(const std::string& window, Screenshot& shot, std::chrono::milliseconds limit,
                        int width = 0, int height = 0);
    // Waits for a picture that differs from `before` inside the picture area.
    bool waitForChange(const std::string& window, const Screenshot& before, std::chrono::milliseconds limit);
    void signal(int number) { child_.stop(number); }
    // The exit status (128 + the signal when one ended it; -1: no exit).
    int waitForExit(std::chrono::milliseconds limit = std::chrono::seconds(90)) { return child_.wait(limit); }
    // Presses Escape in `window` and returns the exit status (-1: no exit).
    int escape(const std::string& window);
    // Presses `key` (an xdotool key name) in `window` and returns at once.
    void press(const std::string& window, const std::string& key);
    bool running() { return child_.running(); }

private:
    const XSession& session_;
    Child child_;
    std::string log_;
    bool started_ = false;
};

// Waits for the show's window on a dummy-driver desktop and for the
// fullscreen mode it switched to (between minHz and maxHz); the window,
// empty (with the test failed) when either did not come.
std::string waitForFullscreen(const XSession& session, const ShowOnDisplay& show, double minHz, double maxHz);
