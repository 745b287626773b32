// A private Wayland desktop for tests: Debian's sway compositor on its
// headless backend (pixman renderer, no input devices) with one output of a
// chosen size, optionally with XWayland, in a runtime folder of its own.
// sway will not run as root, so as root everything here (sway, its tools
// and the programs the test starts on it) runs as an unprivileged user that
// is found or created (quillmoor-test, else nobody). Windows are found by
// title in sway's tree, moved with swaymsg, typed into with wtype and
// photographed with grim. When sway or a tool cannot be started, ok() is
// false and why() says why. Everything is stopped by the destructor.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "support/x_session.h"

// A window as sway places it: its area on the output and whether it is fullscreen.
struct SwayWindow {
    int x = 0, y = 0, width = 0, height = 0;  // pixels
    bool fullscreen = false;
};

class SwaySession {
public:
    // sway with output HEADLESS-1 at width x height; with `xwayland`, an X
    // server for X11 programs too (started at once, so its DISPLAY is known).
    SwaySession(int width, int height, bool xwayland = false);
    ~SwaySession();
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    bool ok() const { return ok_; }
    const std::string& why() const { return why_; }

    // The environment a Wayland program on this desktop gets; with `x11`,
    // an X11 program on its XWayland server (no WAYLAND_DISPLAY).
    std::vector<std::string> environment(bool x11 = false) const;
    // `argv` as the desktop's user runs it (unchanged when not root).
    std::vector<std::string> asUser(std::vector<std::string> argv) const;
    // A program under test as the desktop's user when that user can run it;
    // as this process's user where it cannot (a build tree in a home that
    // only its owner may enter): the compositor lets root's clients in.
    std::vector<std::string> program(std::vector<std::string> argv) const;
    // Runs a tool (swaymsg, wtype, grim ...) on this desktop as its user.
    std::string tool(const std::vector<std::string>& argv, int& status,
                     std::chrono::milliseconds limit = std::chrono::seconds(20)) const;
    // A sway command (e.g. "output HEADLESS-1 mode 1280x1024"); true when sway took it.
    bool command(const std::string& text) const;
    // The mapped window titled `title`, waiting up to `limit` for it; false when none.
    bool waitForWindow(const std::string& title, std::chrono::milliseconds limit, SwayWindow& window) const;
    // The whole output (`area` null) or one area of it, as RGB; false when it failed.
    bool screenshot(const SwayWindow* area, Screenshot& shot) const;

private:
    void start(int width, int height, bool xwayland);
    bool chooseUser();
    std::string runtimeFile(const std::string& prefix) const;

    Child compositor_;
    Child keyboard_;         // keeps a keyboard on the seat between key presses
    std::string runtime_;    // the desktop's XDG_RUNTIME_DIR
    std::string wayland_;    // WAYLAND_DISPLAY
    std::string swaySocket_; // SWAYSOCK
    std::string xDisplay_;   // XWayland's DISPLAY, when asked for
    bool switchUser_ = false;
    unsigned uid_ = 0, gid_ = 0;
    std::string why_;
    bool ok_ = false;
};
