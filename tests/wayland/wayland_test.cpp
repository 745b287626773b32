// The real program on a Wayland desktop (sway, headless, started by the
// tests): fullscreen letterboxed on outputs of several shapes exactly as on
// X11, the bars following the output when its mode changes during the show
// (natively and through XWayland), a window resized by the compositor, F11
// between window and fullscreen, and Escape or a close request ending it
// with status 0. A missing or silent sway, grim or wtype is a missing real
// part.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <thread>

#include "support/letterbox.h"
#include "support/real_parts.h"
#include "support/sway_session.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string SHOW = QUILLMOOR_BINARY_DIR "/quillmoor";
const std::string DATA = QUILLMOOR_BINARY_DIR "/Data";
const std::string TITLE = "quillmoor2o15";
const std::string THE_SHOW = "[title=\"^" + TITLE + "$\"]";  // sway's criteria for the show's window

enum class Ending { Escape, CloseRequest };

// The show on `session` (Wayland, or X11 through XWayland), with its stderr kept.
class ShowOnSway {
public:
    ShowOnSway(const SwaySession& session, std::vector<std::string> args, bool x11 = false) : session_(session)
    {
        args.insert(args.begin(), {SHOW, "--data", DATA});
        std::vector<std::string> env = session.environment(x11);
        env.insert(env.end(), {"SDL_AUDIODRIVER=dummy", "LIBGL_ALWAYS_SOFTWARE=1"});
        if (std::getenv("LSAN_OPTIONS"))  // a sanitized build: what SDL's Wayland driver leaks
            env.push_back("LSAN_OPTIONS=suppressions=" QUILLMOOR_SOURCE_DIR "/tests/wayland/lsan.supp:"
                          "print_suppressions=0");
        log_ = ::testing::TempDir() + "quillmoor_wayland_show_" + std::to_string(getpid()) + ".txt";
        started_ = child_.start(session.program(args), env, log_);
    }

    bool started() const { return started_; }
    std::string log() const
    {
        int status = 0;
        return runCommand({"cat", log_}, {}, seconds(5), status);
    }
    // Waits for a frame drawn for a width x height window (fullscreen or
    // not, as asked) whose bars are where that size puts them.
    bool waitForFrame(int width, int height, bool fullscreen, Screenshot& shot, milliseconds limit = seconds(90))
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        SwayWindow window;
        while (std::chrono::steady_clock::now() < end && child_.running()) {
            if (session_.waitForWindow(TITLE, seconds(5), window) && window.fullscreen == fullscreen &&
                window.width == width && window.height == height && session_.screenshot(&window, shot) &&
                barsInPlace(shot))
                return true;
            std::this_thread::sleep_for(milliseconds(200));
        }
        return false;
    }
    // Ends the show as asked and returns its exit status (-1: no exit).
    int end(Ending ending)
    {
        if (ending == Ending::Escape) {
            session_.command(THE_SHOW + " focus");
            int status = 0;
            session_.tool({"wtype", "-k", "Escape"}, status);
        } else {
            session_.command(THE_SHOW + " kill");
        }
        return child_.wait(seconds(60));
    }
    void press(const char* key)
    {
        session_.command(THE_SHOW + " focus");
        int status = 0;
        session_.tool({"wtype", "-k", key}, status);
    }

private:
    const SwaySession& session_;
    Child child_;
    std::string log_;
    bool started_ = false;
};

// The desktop (with its keyboard from wtype) and grim to photograph it.
#define REQUIRE_SWAY(session)                                                          \
    do {                                                                               \
        if (!(session).ok())                                                           \
            REAL_PART_MISSING() << "no sway desktop: " << (session).why();           \
        Screenshot probe;                                                              \
        if (!(session).screenshot(nullptr, probe))                                     \
            REAL_PART_MISSING() << "grim cannot photograph sway (is grim installed?)"; \
    } while (0)

struct OutputCase {
    int width, height;
    Ending ending;
};

std::string sizeName(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

void PrintTo(const OutputCase& c, std::ostream* out)
{
    *out << sizeName(c.width, c.height) << (c.ending == Ending::Escape ? ", Escape" : ", close request");
}

}  // namespace

class WaylandOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(WaylandOutput, FullscreenIsLetterboxedAndEndsWithStatusZero)
{
    const OutputCase c = GetParam();
    SwaySession session(c.width, c.height);
    REQUIRE_SWAY(session);
    ShowOnSway show(session, {"--from", "20s"});
    ASSERT_TRUE(show.started());

    Screenshot shot;
    ASSERT_TRUE(show.waitForFrame(c.width, c.height, true, shot)) << "no fullscreen picture\n" << show.log();
    expectLetterboxed(shot, sizeName(c.width, c.height));
    EXPECT_EQ(show.end(c.ending), 0) << show.log();
}

INSTANTIATE_TEST_SUITE_P(Wayland, WaylandOutput,
                         ::testing::Values(OutputCase{1920, 1080, Ending::Escape},
                                           OutputCase{1280, 1024, Ending::CloseRequest},
                                           OutputCase{1366, 768, Ending::Escape}),
                         [](const auto& info) {
                             return sizeName(info.param.width, info.param.height) +
                                    (info.param.ending == Ending::Escape ? "_Escape" : "_CloseRequest");
                         });

class OutputModeChange : public ::testing::TestWithParam<bool> {};

// A laptop docked while the show plays: the output goes from 1920 x 1080 to
// 1280 x 1024, and the picture must keep its shape with bars above and below.
TEST_P(OutputModeChange, BarsFollowTheOutput)
{
    const bool x11 = GetParam();
    SwaySession session(1920, 1080, x11);
    REQUIRE_SWAY(session);
    ShowOnSway show(session, {"--from", "20s"}, x11);
    ASSERT_TRUE(show.started());

    Screenshot shot;
    ASSERT_TRUE(show.waitForFrame(1920, 1080, true, shot)) << "no fullscreen picture\n" << show.log();
    expectLetterboxed(shot, "1920x1080 output");
    ASSERT_TRUE(session.command("output HEADLESS-1 mode 1280x1024"));
    ASSERT_TRUE(show.waitForFrame(1280, 1024, true, shot))
        << "the picture never took the 1280x1024 output's shape\n" << show.log();
    expectLetterboxed(shot, "after the change to 1280x1024");
    EXPECT_EQ(show.end(Ending::Escape), 0) << show.log();
}

INSTANTIATE_TEST_SUITE_P(Wayland, OutputModeChange, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "XWayland" : "Native"; });

TEST(WaylandWindow, FollowsTheCompositorsResizeAndF11SwitchesToFullscreenAndBack)
{
    SwaySession session(1280, 1024);
    REQUIRE_SWAY(session);
    ShowOnSway show(session, {"--window", "--size", "960x540", "--from", "20s"});
    ASSERT_TRUE(show.started());

    Screenshot shot;
    ASSERT_TRUE(show.waitForFrame(960, 540, false, shot)) << "no 960x540 window\n" << show.log();
    expectLetterboxed(shot, "960x540 window");
    ASSERT_TRUE(session.command(THE_SHOW + " resize set 800 600"));
    ASSERT_TRUE(show.waitForFrame(800, 600, false, shot)) << "the bars never followed the resize\n" << show.log();
    expectLetterboxed(shot, "800x600 window");

    show.press("F11");
    ASSERT_TRUE(show.waitForFrame(1280, 1024, true, shot)) << "F11 did not go fullscreen\n" << show.log();
    expectLetterboxed(shot, "fullscreen after F11");
    show.press("F11");
    EXPECT_TRUE(show.waitForFrame(800, 600, false, shot)) << "F11 did not go back to the window\n" << show.log();
    EXPECT_EQ(show.end(Ending::CloseRequest), 0) << show.log();
}
