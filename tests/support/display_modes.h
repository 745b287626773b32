// Display modes of a test's own X server: the configuration of an Xorg
// server with the dummy video driver whose desktop is 1280 x 720 and which
// also offers 1920 x 1080 (at 60 Hz and, when asked, 120 Hz), and the mode
// it runs now, read with xrandr. For tests of real mode changes and their
// undoing (XSession's Xorg form; root only).
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "support/real_parts.h"
#include "support/x_session.h"

// Ends the running test (see real_parts.h) when `session`, an Xorg with the
// dummy driver, did not start.
#define REQUIRE_XORG(session) \
    do { \
        if (!(session).ok()) \
            REAL_PART_MISSING() << "no Xorg with the dummy driver for this test: " << (session).why(); \
    } while (0)

// The text of an xorg.conf for XSession.
std::string dummyXorgConf(bool with120Hz);

struct Mode {
    std::string name;   // e.g. "1920x1080_120"
    double rate = 0.0;  // Hz
};

// The mode the server shows now, from xrandr's starred line.
Mode currentMode(const XSession& session);
// The 1280 x 720 desktop of dummyXorgConf.
bool isDesktopMode(const Mode& mode);
// A 1920 x 1080 mode between `minHz` and `maxHz`.
bool isShowMode(const Mode& mode, double minHz, double maxHz);
// Switches the first connected output to the mode called `name`, as a user
// would with xrandr; false when xrandr refused.
bool setMode(const XSession& session, const std::string& name);
// Waits until the server's mode satisfies `wanted`; `seen` is the last read.
bool waitForMode(const XSession& session, const std::function<bool(const Mode&)>& wanted,
                 std::chrono::milliseconds limit, Mode& seen);
