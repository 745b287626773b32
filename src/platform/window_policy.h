// What the window backends decide alike, written once: which fullscreen
// modes to try and in which order, how the desktop's own mode meets a
// request, which pixel formats to try, and how long a display server that
// turns the show away is tried again. A backend only carries out the
// attempts with its own interfaces (finding and setting a mode, choosing a
// pixel format) and reports what it got in the terms of window.h; the loop
// over the attempts (createWindowInTurn) is here too. Pure functions, and
// that loop over the backend's attempt; the thread of the caller.
#pragma once

#include <functional>
#include <string>

#include "platform/window.h"

// One way to meet a fullscreen request: the requested size at `refreshHz`,
// counted as `fit` when the display has such a mode and takes it.
struct FullscreenAttempt {
    int refreshHz = 0;  // Hz; 0 = any rate the display lists
    FullscreenFit fit = FullscreenFit::Exact;
};

// The attempts in the order they are made.
struct FullscreenAttempts {
    static constexpr int MAX = 3;
    FullscreenAttempt attempt[MAX];
    int count = 0;
    const FullscreenAttempt* begin() const { return attempt; }
    const FullscreenAttempt* end() const { return attempt + count; }
};

// For a request at `requestedHz` (0: any) on a desktop that runs at
// `desktopHz` (0: unknown): the requested mode, then the requested size at
// the desktop's rate, then at any rate the display lists (many displays have
// no 120 Hz mode at all). An attempt that could only find what an earlier
// one looked for is left out. When none is met, the window takes the
// desktop's own mode (FullscreenFit::DesktopSize) and the show letterboxes.
FullscreenAttempts fullscreenAttempts(int requestedHz, int desktopHz);

// How the desktop's own mode meets a fullscreen request, where the show
// cannot set a mode of its own: Exact at the requested size and rate (or any
// rate, when none was asked for), DesktopRate at the requested size only,
// DesktopSize otherwise or when the desktop's mode is unknown (width 0).
FullscreenFit desktopModeFit(const WindowRequest& request, const DisplayMode& desktop);

// One pixel format to ask for; with `atLeast`, only a format with at least
// the alpha, depth and stencil bits asked for will do, otherwise the
// closest the system has.
struct PixelFormatAttempt {
    PixelFormatRequest format;
    bool atLeast = true;
};

constexpr int PIXEL_FORMAT_ATTEMPTS = 2;

// The pixel formats to try, in order: the request itself, then the nearest
// that most systems have (alpha 8, stencil 8), taken as the closest match.
// WindowResult::pixelFormatIndex is the 1-based place in this list of the
// one that gave the window.
void pixelFormatAttempts(const PixelFormatRequest& requested, PixelFormatAttempt (&attempts)[PIXEL_FORMAT_ATTEMPTS]);

// One window built for one pixel format, the backend's primitive: the
// window, with the fit and rate it got filled into `made`; or null with the
// reason in `failure`.
using WindowAttempt =
    std::function<PlatformWindow*(const PixelFormatAttempt& format, WindowResult& made, std::string& failure)>;
// The creation every backend with a choice of pixel formats runs: nothing
// (said why) while the video subsystem is down; otherwise `attempt` for each
// format of pixelFormatAttempts in turn, until one gives a window. The
// result holds that window and its place in the list, or no window, place
// 0 and the last attempt's failure. The backend fills in the drawable size.
WindowResult createWindowInTurn(const WindowRequest& request, bool videoUp, const WindowAttempt& attempt);

// True when a format with these bits has at least the alpha, depth and
// stencil bits asked for (the colour depth is the display's).
bool pixelFormatMeets(const PixelFormatRequest& requested, int alphaBits, int depthBits, int stencilBits);

// The pauses between attempts to reach a display server that turned the
// show away, ms. An X server run bare (Xvfb, or X with no session manager)
// resets whenever its last client leaves, and drops a connection made while
// it does: a show started just after another client ended (a script's
// xdpyinfo or xrandr) would fail although the server is up. One attempt
// after the drop has always got through; the pauses add up to about 0.2 s,
// the longest a display that is not there delays the line that says so.
constexpr int DISPLAY_RETRY_PAUSES_MS[] = {10, 40, 160};
