// The cross-built show under wine on Xorg with the dummy video driver, where
// wine changes the display mode for real: the show switches the desktop to
// 1920 x 1080 at 120 Hz; a viewer who switches to another program gets the
// desktop's own mode back (and the show minimised), the show's mode returns
// with the show, and Escape leaves the desktop as it was. Root only (the
// dummy driver needs it); skipped with the reason otherwise.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <thread>

#include "support/display_modes.h"
#include "support/x_session.h"
#include "wine/wine_session.h"

namespace {

using std::chrono::seconds;

bool is120Hz(const Mode& mode) { return isShowMode(mode, 110.0, 130.0); }

std::string fileText(const std::string& path)
{
    int status = 0;
    return runCommand({"cat", path}, {}, seconds(5), status);
}

// Waits until the window manager holds `window` minimised.
bool waitForIconic(const XSession& display, const std::string& window)
{
    for (int tries = 0; tries < 100; ++tries) {
        int status = 0;
        if (display.tool({"xprop", "-id", window, "WM_STATE"}, status).find("Iconic") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Waits until the window manager has given `window` the focus.
bool waitForActive(const XSession& display, const std::string& window)
{
    for (int tries = 0; tries < 100; ++tries) {
        int status = 0;
        if (display.tool({"xdotool", "getactivewindow"}, status) == window + "\n")
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

}  // namespace

TEST(WineModeChange, SwitchingAwayGivesTheDesktopItsModeBackUntilTheShowReturns)
{
    XSession display(dummyXorgConf(true));
    REQUIRE_XORG(display);
    WineSession wine(display, {"quillmoor.exe", "Data/music.mp3"});
    REQUIRE_WINE(wine);
    int status = 0;

    // Another program's window to switch to, made first so that the show
    // starts in front of it.
    Child other;
    const std::string otherLog = ::testing::TempDir() + "quillmoor_wine_other_" + std::to_string(getpid()) + ".txt";
    ASSERT_TRUE(other.start({"xmessage", "-geometry", "+20+20", "another program"}, display.environment(), otherLog));
    const std::string otherWindow = display.waitForWindowNamed("xmessage", seconds(20));
    ASSERT_FALSE(otherWindow.empty()) << "xmessage opened no window\n" << fileText(otherLog);

    Child show;
    const std::string log = ::testing::TempDir() + "quillmoor_wine_mode_" + std::to_string(getpid()) + ".txt";
    ASSERT_TRUE(wine.start(show, windowsBuildFile("quillmoor.exe"), {}, log, "winepulse.drv,winealsa.drv,wineoss.drv="));
    const std::string window = display.waitForWindowNamed("quillmoor2o15", seconds(60));
    ASSERT_FALSE(window.empty()) << "no window\n" << fileText(log);
    Mode mode;
    ASSERT_TRUE(waitForMode(display, is120Hz, seconds(30), mode))
        << "mode now " << mode.name << " at " << mode.rate << " Hz\n" << fileText(log);

    // The show has come up in front before the viewer switches away.
    ASSERT_TRUE(waitForActive(display, window)) << display.tool({"xdotool", "getactivewindow"}, status);
    display.tool({"xdotool", "windowactivate", "--sync", otherWindow}, status);
    EXPECT_TRUE(waitForMode(display, isDesktopMode, seconds(15), mode))
        << "switched away, the mode is still " << mode.name << " at " << mode.rate << " Hz";
    EXPECT_TRUE(show.running()) << "the show ended when switched away from\n" << fileText(log);

    // Minimised, out of the viewer's way (and only then asked back: a
    // request that overtakes the minimising would be undone by it).
    EXPECT_TRUE(waitForIconic(display, window)) << display.tool({"xprop", "-id", window, "WM_STATE"}, status);

    display.tool({"xdotool", "windowactivate", "--sync", window}, status);
    EXPECT_TRUE(waitForMode(display, is120Hz, seconds(15), mode))
        << "back in the show, the mode is " << mode.name << " at " << mode.rate << " Hz";

    display.tool({"xdotool", "key", "Escape"}, status);
    EXPECT_EQ(show.wait(seconds(60)), 0) << fileText(log);
    EXPECT_TRUE(waitForMode(display, isDesktopMode, seconds(10), mode)) << "left at " << mode.name;
    other.stop(SIGTERM);
    other.wait(seconds(5));
}
