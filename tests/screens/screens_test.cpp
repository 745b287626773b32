// The real program on a real X server under a real window manager (Xvfb and
// openbox, started by the tests): the picture is letterboxed to 16:9 on
// every desktop shape, the bars follow a window's size, a start part-way
// through shows what that moment shows, and Escape ends it with status 0.
// Skipped (failed where every real part is required), with the reason, where
// Xvfb or openbox cannot be started. On Xorg with the dummy driver (root
// only) the mode change itself: 120 Hz when the display has it, 60 Hz when
// not, and the desktop's mode back after Escape, a close request or SIGTERM.
#include <gtest/gtest.h>

#include <signal.h>

#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/display_modes.h"
#include "support/letterbox.h"
#include "support/real_parts.h"
#include "support/show_on_display.h"
#include "support/x_session.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// The title plate lies right of centre in the lower half (eye space x 0.5
// to 4.5, y -3 to -1 at depth 3). Near-white pixels there and in the
// mirror-image area on the left, where no plate is drawn; the areas are
// given in a 640 x 360 picture and scaled to `area`.
struct TitleCount {
    int plate = 0;
    int mirror = 0;
    bool shown(int least) const { return plate > least && plate > 4 * mirror; }
};

TitleCount countTitle(const Screenshot& shot, const Area& area)
{
    auto white = [&](int x0, int x1) {
        const double sx = area.width / 640.0, sy = area.height / 360.0;
        int count = 0;
        for (int y = area.top + int(213 * sy); y < area.top + int(350 * sy); ++y)
            for (int x = area.left + int(x0 * sx); x < area.left + int(x1 * sx); ++x) {
                const uint8_t* p = shot.at(x, y);
                count += p[0] >= 240 && p[1] >= 240 && p[2] >= 240;
            }
        return count;
    };
    return {white(349, 576), white(64, 291)};
}

void expectTitlePlate(const Screenshot& shot, const Area& area, int least)
{
    const TitleCount title = countTitle(shot, area);
    EXPECT_TRUE(title.shown(least)) << "plate " << title.plate << ", mirror " << title.mirror;
}

#define REQUIRE_X(session) \
    do { \
        if (!(session).ok()) \
            REAL_PART_MISSING() << "no X server for this test: " << (session).why(); \
    } while (0)

// The opening of the tests on a desktop of their own: an X session of
// width x height under a window manager, the show started on it with
// `args`, and the show's window once it is there.
class ShowOnDesktop {
protected:
    // Skips or fails the test (as OPEN_OR_END then sees) when a part does not come.
    void openShow(int width, int height, std::vector<std::string> args)
    {
        session = std::make_unique<XSession>(width, height);
        REQUIRE_X(*session);
        show = std::make_unique<ShowOnDisplay>(*session, std::move(args));
        ASSERT_TRUE(show->started());
        window = session->waitForWindow(SHOW_WINDOW_CLASS, seconds(30));
        ASSERT_FALSE(window.empty()) << "no window appeared\n" << show->log();
    }

    std::unique_ptr<XSession> session;
    std::unique_ptr<ShowOnDisplay> show;  // goes before the session it plays on
    std::string window;
};

// Runs one of the openings of ShowOnDesktop or a fixture, and ends the test
// there when the opening failed or skipped it.
#define OPEN_OR_END(opening)                                                        \
    do {                                                                            \
        opening;                                                                    \
        if (::testing::Test::HasFatalFailure() || ::testing::Test::IsSkipped())     \
            return;                                                                 \
    } while (0)
#define OPEN_SHOW(...) OPEN_OR_END(openShow(__VA_ARGS__))

}  // namespace

class Desktop : public ::testing::TestWithParam<std::pair<int, int>>, protected ShowOnDesktop {};

TEST_P(Desktop, FullscreenIsLetterboxedAndEscapeEndsIt)
{
    const int width = GetParam().first, height = GetParam().second;
    const std::string what = std::to_string(width) + "x" + std::to_string(height);
    OPEN_SHOW(width, height, {"--from", "20s"});

    int status = 0;
    const std::string geometry = session->tool({"xdotool", "getwindowgeometry", window}, status);
    EXPECT_NE(geometry.find("Geometry: " + what), std::string::npos) << geometry;

    Screenshot shot;
    ASSERT_TRUE(show->waitForPicture("", shot, seconds(90))) << "no picture\n" << show->log();
    ASSERT_EQ(shot.width, width);
    ASSERT_EQ(shot.height, height);
    expectLetterboxed(shot, what);
    EXPECT_TRUE(show->waitForChange("", shot, seconds(60))) << what << ": the picture does not move";

    EXPECT_EQ(show->escape(window), 0) << show->log();
}

INSTANTIATE_TEST_SUITE_P(Screens, Desktop,
                         ::testing::Values(std::make_pair(1366, 768), std::make_pair(1280, 1024),
                                           std::make_pair(1920, 1200), std::make_pair(2560, 1080),
                                           std::make_pair(1920, 1080)),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "x" + std::to_string(info.param.second);
                         });

class Window : public ::testing::Test, protected ShowOnDesktop {};

TEST_F(Window, BarsFollowTheWindowSize)
{
    OPEN_SHOW(1280, 1024, {"--window", "--size", "960x540", "--from", "20s"});

    Screenshot shot;
    ASSERT_TRUE(show->waitForPicture(window, shot, seconds(60), 960, 540)) << show->log();
    expectLetterboxed(shot, "960x540 window");

    int status = 0;
    session->tool({"xdotool", "windowsize", window, "800", "600"}, status);
    ASSERT_EQ(status, 0);
    // Frames drawn before the new size took effect may still be on screen:
    // wait for one whose bars are where the new size puts them.
    const Area area = pictureArea(800, 600);
    const auto end = std::chrono::steady_clock::now() + seconds(60);
    bool followed = false;
    while (!followed && std::chrono::steady_clock::now() < end) {
        if (show->waitForPicture(window, shot, seconds(10), 800, 600))
            followed = shot.black(0, area.top - 1) && !shot.black(400, area.top + 1);
    }
    ASSERT_TRUE(followed) << "the picture never moved into the 800x600 window's bars\n" << show->log();
    expectLetterboxed(shot, "800x600 window");

    EXPECT_EQ(show->escape(window), 0) << show->log();
}

TEST_F(Window, StartPartWayThroughShowsTheTitle)
{
    OPEN_SHOW(1280, 720, {"--window", "--size", "640x360", "--from", "56s"});

    Screenshot shot;
    ASSERT_TRUE(show->waitForPicture(window, shot, seconds(60), 640, 360)) << show->log();
    expectTitlePlate(shot, pictureArea(640, 360), 500);

    EXPECT_EQ(show->escape(window), 0) << show->log();
}

TEST_F(Window, HalfRenderScaleIsLetterboxedAliveAndPlacesTheTitle)
{
    // Drawn at 400 x 225 and scaled up into the 800 x 450 picture between
    // the bars of an 800 x 600 window.
    OPEN_SHOW(1280, 1024, {"--window", "--size", "800x600", "--render-scale", "0.5", "--from", "56s"});

    Screenshot shot;
    ASSERT_TRUE(show->waitForPicture(window, shot, seconds(60), 800, 600)) << show->log();
    expectLetterboxed(shot, "800x600 window at scale 0.5");
    expectTitlePlate(shot, pictureArea(800, 600), 700);
    EXPECT_TRUE(show->waitForChange(window, shot, seconds(60))) << "the picture does not move";

    EXPECT_EQ(show->escape(window), 0) << show->log();
}

TEST_F(Window, SpacePausesAndResumesAndRightJumpsToTheTitle)
{
    OPEN_SHOW(1280, 720, {"--window", "--size", "640x360", "--from", "50s"});
    Screenshot first, second;
    ASSERT_TRUE(show->waitForPicture(window, first, seconds(60), 640, 360)) << show->log();

    show->press(window, "space");
    std::this_thread::sleep_for(milliseconds(500));
    ASSERT_TRUE(session->screenshot(window, first));
    std::this_thread::sleep_for(seconds(1));
    ASSERT_TRUE(session->screenshot(window, second));
    EXPECT_TRUE(first.rgb == second.rgb) << "the picture moves while paused";

    show->press(window, "space");
    EXPECT_TRUE(show->waitForChange(window, second, seconds(30))) << "the picture does not move on";

    // Paused at about 50 s again, Right lands at 5 s on; played from there,
    // the title plate (54 s to 64 s) is on screen within a few seconds, long
    // before 50 s would have played on to it.
    show->press(window, "space");
    show->press(window, "Right");
    show->press(window, "space");
    const auto resumed = std::chrono::steady_clock::now();
    bool title = false;
    while (!title && std::chrono::steady_clock::now() - resumed < seconds(4) &&
           show->waitForPicture(window, second, seconds(4), 640, 360))
        title = countTitle(second, pictureArea(640, 360)).shown(500);
    EXPECT_TRUE(title) << "no title plate after Right\n" << show->log();

    EXPECT_EQ(show->escape(window), 0) << show->log();
}

TEST_F(Window, LoopStartsTheShowAgainAtItsEnd)
{
    OPEN_SHOW(1280, 720, {"--window", "--size", "640x360", "--from", "151s", "--loop"});

    // From 145 s the show fades to black (three quarters of the way at 151
    // s); after the start's fade-in the sky fills the picture again.
    auto skyShare = [](const Screenshot& shot) {
        int sky = 0;
        for (int y = 0; y < shot.height; ++y)
            for (int x = 0; x < shot.width; ++x)
                sky += shot.at(x, y)[2] >= 200;
        return static_cast<double>(sky) / (shot.width * shot.height);
    };
    Screenshot shot;
    bool started = false;
    const auto end = std::chrono::steady_clock::now() + seconds(60);
    while (!started && std::chrono::steady_clock::now() < end && show->running()) {
        if (session->screenshot(window, shot) && shot.width == 640)
            started = skyShare(shot) > 0.25;
        std::this_thread::sleep_for(milliseconds(200));
    }
    EXPECT_TRUE(started) << "the show's start never came back\n" << show->log();
    EXPECT_TRUE(show->running()) << "the show ended\n" << show->log();
    EXPECT_EQ(show->escape(window), 0) << show->log();
}

TEST_F(Window, F11AndAltEnterSwitchBetweenWindowAndFullscreen)
{
    // A monitor this desktop lacks: the primary one, with a line saying so.
    OPEN_SHOW(1280, 1024, {"--window", "--size", "960x540", "--display", "7", "--from", "20s"});
    EXPECT_NE(show->log().find("no display 7"), std::string::npos) << show->log();

    Screenshot shot;
    ASSERT_TRUE(show->waitForPicture(window, shot, seconds(60), 960, 540)) << show->log();
    int status = 0;
    session->tool({"xdotool", "windowfocus", "--sync", window}, status, seconds(5));
    session->tool({"xdotool", "key", "F11"}, status);
    // Fullscreen: the window is the desktop's size, letterboxed (1280 x 1024 has bars).
    ASSERT_TRUE(show->waitForPicture(window, shot, seconds(60), 1280, 1024)) << show->log();
    const Area full = pictureArea(1280, 1024);
    const auto end = std::chrono::steady_clock::now() + seconds(60);
    while (!(shot.black(640, full.top - 1) && !shot.black(640, full.top + 1)) &&
           std::chrono::steady_clock::now() < end)
        show->waitForPicture(window, shot, seconds(10), 1280, 1024);
    expectLetterboxed(shot, "after F11");

    session->tool({"xdotool", "key", "alt+Return"}, status);
    EXPECT_TRUE(show->waitForPicture(window, shot, seconds(60), 960, 540)) << "not back to the window";
    EXPECT_EQ(show->escape(window), 0) << show->log();
}

namespace {

void expectDesktopBack(const XSession& session)
{
    Mode mode;
    EXPECT_TRUE(waitForMode(session, isDesktopMode, seconds(10), mode))
        << "the desktop mode did not come back: " << mode.name << " at " << mode.rate << " Hz";
}

}  // namespace

// Xorg with the dummy driver, with or without a 120 Hz mode, and the show
// fullscreen on it at a rate from lowHz to highHz.
class ModeChange : public ::testing::Test, protected ShowOnDesktop {
protected:
    void openFullscreen(bool has120Hz, double lowHz, double highHz)
    {
        session = std::make_unique<XSession>(dummyXorgConf(has120Hz));
        REQUIRE_XORG(*session);
        show = std::make_unique<ShowOnDisplay>(*session, std::vector<std::string>{"--from", "20s"});
        window = waitForFullscreen(*session, *show, lowHz, highHz);
        ASSERT_FALSE(window.empty());
    }
};

#define OPEN_FULLSCREEN(...) OPEN_OR_END(openFullscreen(__VA_ARGS__))

TEST_F(ModeChange, SwitchesTo120HzAndPutsTheDesktopBackOnEscape)
{
    OPEN_FULLSCREEN(true, 119.0, 121.0);
    EXPECT_EQ(show->escape(window), 0) << show->log();
    expectDesktopBack(*session);
}

TEST_F(ModeChange, FallsBackTo60HzWithoutA120HzMode)
{
    OPEN_FULLSCREEN(false, 59.0, 61.0);
    EXPECT_NE(show->log().find("using 60 Hz"), std::string::npos) << show->log();
    EXPECT_EQ(show->escape(window), 0) << show->log();
    expectDesktopBack(*session);
}

TEST_F(ModeChange, PutsTheDesktopBackAfterACloseRequest)
{
    OPEN_FULLSCREEN(true, 119.0, 121.0);
    // Alt+F4 is openbox's close: it asks the window to close, as a title-bar button would.
    int status = 0;
    session->tool({"xdotool", "windowfocus", "--sync", window}, status, seconds(5));
    session->tool({"xdotool", "key", "alt+F4"}, status);
    EXPECT_EQ(show->waitForExit(), 0) << show->log();
    expectDesktopBack(*session);
}

TEST_F(ModeChange, PutsTheDesktopBackAfterSigterm)
{
    OPEN_FULLSCREEN(true, 119.0, 121.0);
    show->signal(SIGTERM);
    EXPECT_EQ(show->waitForExit(), 0) << show->log();
    expectDesktopBack(*session);
}
