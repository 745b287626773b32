// The real program on a real X server under a real window manager (Xvfb and
// openbox, started by the tests): the picture is letterboxed to 16:9 on
// every desktop shape, the bars follow a window's size, a start part-way
// through shows what that moment shows, and Escape ends it with status 0.
// Skipped, with the reason, where Xvfb or openbox cannot be started.
#include <gtest/gtest.h>

#include <signal.h>

#include <set>
#include <thread>

#include "gl/viewport.h"
#include "screens/x_session.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string SHOW = QUILLMOOR_BINARY_DIR "/quillmoor";
const std::string DATA = QUILLMOOR_BINARY_DIR "/Data";
const char* WINDOW_CLASS = "demo_zel";

// Where the show's picture is in a top-row-first screenshot of a drawable.
struct Area {
    int left, top, width, height;
    bool contains(int x, int y) const { return x >= left && x < left + width && y >= top && y < top + height; }
};

Area pictureArea(int width, int height)
{
    const ViewportRect rect = fitShowViewport(width, height);
    // GL counts rows from the bottom.
    return {rect.x, height - rect.y - rect.height, rect.width, rect.height};
}

double litShare(const Screenshot& shot, int x0, int y0, int x1, int y1)
{
    long lit = 0, all = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++all)
            lit += !shot.black(x, y);
    return all ? static_cast<double>(lit) / static_cast<double>(all) : 0.0;
}

// A frame has been drawn into the picture area.
bool hasPicture(const Screenshot& shot)
{
    const Area a = pictureArea(shot.width, shot.height);
    return litShare(shot, a.left, a.top, a.left + a.width, a.top + a.height) > 0.5;
}

// Black exactly outside fitShowViewport's rectangle; inside, a picture that
// reaches each of the rectangle's edges and has many colours.
void expectLetterboxed(const Screenshot& shot, const std::string& what)
{
    const Area a = pictureArea(shot.width, shot.height);
    long litOutside = 0;
    std::set<uint32_t> colours;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            if (!a.contains(x, y)) {
                litOutside += !shot.black(x, y);
            } else if ((x + y) % 7 == 0) {
                const uint8_t* p = shot.at(x, y);
                colours.insert(static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
            }
        }
    EXPECT_EQ(litOutside, 0) << what << ": lit pixels in the bars";
    const int right = a.left + a.width, bottom = a.top + a.height;
    EXPECT_GT(litShare(shot, a.left, a.top, right, a.top + 1), 0.9) << what << ": top edge";
    EXPECT_GT(litShare(shot, a.left, bottom - 1, right, bottom), 0.9) << what << ": bottom edge";
    EXPECT_GT(litShare(shot, a.left, a.top, a.left + 1, bottom), 0.9) << what << ": left edge";
    EXPECT_GT(litShare(shot, right - 1, a.top, right, bottom), 0.9) << what << ": right edge";
    EXPECT_GT(colours.size(), 100u) << what << ": a picture, not a flat colour";
}

// The show on `session`, with its stderr kept.
class ShowOnDisplay {
public:
    ShowOnDisplay(const XSession& session, std::vector<std::string> args) : session_(session)
    {
        args.insert(args.begin(), {SHOW, "--data", DATA});
        std::vector<std::string> env = session.environment();
        env.push_back("SDL_AUDIODRIVER=dummy");
        env.push_back("LIBGL_ALWAYS_SOFTWARE=1");
        log_ = ::testing::TempDir() + "quillmoor_screens_show_" + std::to_string(getpid()) + ".txt";
        started_ = child_.start(args, env, log_);
    }

    bool started() const { return started_; }
    std::string log() const
    {
        int status = 0;
        return runCommand({"cat", log_}, {}, seconds(5), status);
    }
    // Waits for a screenshot of `window` (root when empty) with a drawn frame.
    bool waitForPicture(const std::string& window, Screenshot& shot, milliseconds limit,
                        int width = 0, int height = 0)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end && child_.running()) {
            if (session_.screenshot(window, shot) && hasPicture(shot) &&
                (width == 0 || (shot.width == width && shot.height == height)))
                return true;
            std::this_thread::sleep_for(milliseconds(200));
        }
        return false;
    }
    // Waits for a picture that differs from `before` inside the picture area.
    bool waitForChange(const std::string& window, const Screenshot& before, milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        Screenshot now;
        while (std::chrono::steady_clock::now() < end && child_.running()) {
            if (session_.screenshot(window, now) && now.width == before.width && now.height == before.height &&
                now.rgb != before.rgb)
                return true;
            std::this_thread::sleep_for(milliseconds(200));
        }
        return false;
    }
    // Presses Escape in `window` and returns the exit status (-1: no exit).
    int escape(const std::string& window)
    {
        int status = 0;
        session_.tool({"xdotool", "windowfocus", "--sync", window}, status, seconds(5));
        session_.tool({"xdotool", "key", "Escape"}, status);
        return child_.wait(seconds(90));
    }

private:
    const XSession& session_;
    Child child_;
    std::string log_;
    bool started_ = false;
};

#define REQUIRE_X(session) \
    do { \
        if (!(session).ok()) \
            GTEST_SKIP() << "no X server for this test: " << (session).why(); \
    } while (0)

}  // namespace

class Desktop : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(Desktop, FullscreenIsLetterboxedAndEscapeEndsIt)
{
    const int width = GetParam().first, height = GetParam().second;
    const std::string what = std::to_string(width) + "x" + std::to_string(height);
    XSession session(width, height);
    REQUIRE_X(session);

    ShowOnDisplay show(session, {"--from", "20s"});
    ASSERT_TRUE(show.started());
    const std::string window = session.waitForWindow(WINDOW_CLASS, seconds(30));
    ASSERT_FALSE(window.empty()) << "no window appeared\n" << show.log();

    int status = 0;
    const std::string geometry = session.tool({"xdotool", "getwindowgeometry", window}, status);
    EXPECT_NE(geometry.find("Geometry: " + what), std::string::npos) << geometry;

    Screenshot shot;
    ASSERT_TRUE(show.waitForPicture("", shot, seconds(90))) << "no picture\n" << show.log();
    ASSERT_EQ(shot.width, width);
    ASSERT_EQ(shot.height, height);
    expectLetterboxed(shot, what);
    EXPECT_TRUE(show.waitForChange("", shot, seconds(60))) << what << ": the picture does not move";

    EXPECT_EQ(show.escape(window), 0) << show.log();
}

INSTANTIATE_TEST_SUITE_P(Screens, Desktop,
                         ::testing::Values(std::make_pair(1366, 768), std::make_pair(1280, 1024),
                                           std::make_pair(1920, 1200), std::make_pair(2560, 1080),
                                           std::make_pair(1920, 1080)),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "x" + std::to_string(info.param.second);
                         });

TEST(Window, BarsFollowTheWindowSize)
{
    XSession session(1280, 1024);
    REQUIRE_X(session);
    ShowOnDisplay show(session, {"--window", "--size", "960x540", "--from", "20s"});
    ASSERT_TRUE(show.started());
    const std::string window = session.waitForWindow(WINDOW_CLASS, seconds(30));
    ASSERT_FALSE(window.empty()) << "no window appeared\n" << show.log();

    Screenshot shot;
    ASSERT_TRUE(show.waitForPicture(window, shot, seconds(60), 960, 540)) << show.log();
    expectLetterboxed(shot, "960x540 window");

    int status = 0;
    session.tool({"xdotool", "windowsize", window, "800", "600"}, status);
    ASSERT_EQ(status, 0);
    // Frames drawn before the new size took effect may still be on screen:
    // wait for one whose bars are where the new size puts them.
    const Area area = pictureArea(800, 600);
    const auto end = std::chrono::steady_clock::now() + seconds(60);
    bool followed = false;
    while (!followed && std::chrono::steady_clock::now() < end) {
        if (show.waitForPicture(window, shot, seconds(10), 800, 600))
            followed = shot.black(0, area.top - 1) && !shot.black(400, area.top + 1);
    }
    ASSERT_TRUE(followed) << "the picture never moved into the 800x600 window's bars\n" << show.log();
    expectLetterboxed(shot, "800x600 window");

    EXPECT_EQ(show.escape(window), 0) << show.log();
}

TEST(Window, StartPartWayThroughShowsTheTitle)
{
    XSession session(1280, 720);
    REQUIRE_X(session);
    ShowOnDisplay show(session, {"--window", "--size", "640x360", "--from", "56s"});
    ASSERT_TRUE(show.started());
    const std::string window = session.waitForWindow(WINDOW_CLASS, seconds(30));
    ASSERT_FALSE(window.empty()) << "no window appeared\n" << show.log();

    Screenshot shot;
    ASSERT_TRUE(show.waitForPicture(window, shot, seconds(60), 640, 360)) << show.log();
    // The title plate lies right of centre in the lower half (eye space x 0.5
    // to 4.5, y -3 to -1 at depth 3): count its near-white text there and in
    // the mirror-image area on the left, where no plate is drawn.
    auto white = [&](int x0, int x1) {
        int count = 0;
        for (int y = 213; y < 350; ++y)
            for (int x = x0; x < x1; ++x) {
                const uint8_t* p = shot.at(x, y);
                count += p[0] >= 240 && p[1] >= 240 && p[2] >= 240;
            }
        return count;
    };
    const int plate = white(349, 576);
    const int mirror = white(64, 291);
    EXPECT_GT(plate, 500) << "no title text where the title plate is";
    EXPECT_GT(plate, 4 * mirror) << "plate " << plate << ", mirror " << mirror;

    EXPECT_EQ(show.escape(window), 0) << show.log();
}
