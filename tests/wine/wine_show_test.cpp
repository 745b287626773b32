// The cross-built show under wine on a real X server and window manager
// (Xvfb and openbox): on desktops of two shapes it opens its window with its
// own Win32 class and title (seen from the Windows side by a probe
// program), draws a living, letterboxed picture and ends on Escape with
// status 0; a missing picture is named once and the show goes on; with no
// sound device it plays silently. Skipped, with the reason, where wine, the
// X server or the Windows build is missing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "support/letterbox.h"
#include "support/x_session.h"
#include "wine/wine_session.h"

namespace fs = std::filesystem;

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const char* WINDOW_CLASS = "demo_zel";
const char* WINDOW_TITLE = "quillmoor2o15";
const std::vector<std::string> SHOW_FILES = {"quillmoor.exe", "window_probe.exe", "Data/music.mp3", "Data/title.pcx"};

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> found;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        found.push_back(line);
    return found;
}

size_t linesNaming(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (const std::string& line : lines(text))
        count += line.find(what) != std::string::npos;
    return count;
}

// The show under wine, with its output kept.
class WineShow {
public:
    WineShow(const XSession& display, const WineSession& wine, const std::string& program,
             const std::string& dllOverrides = "")
        : display_(display), wine_(wine)
    {
        log_ = ::testing::TempDir() + "quillmoor_wine_show_" + std::to_string(getpid()) + ".txt";
        started_ = wine.start(child_, program, {}, log_, dllOverrides);
        startedAt_ = std::chrono::steady_clock::now();
    }

    bool started() const { return started_; }
    bool running() { return child_.running(); }
    std::string log() const
    {
        int status = 0;
        return runCommand({"cat", log_}, {}, seconds(5), status);
    }

    // Asks from the Windows side for the show's window: "client W H visible V", or empty.
    std::string probeWindow() const
    {
        int status = 0;
        const std::string out =
            wine_.run(windowsBuildFile("window_probe.exe"), {WINDOW_CLASS, WINDOW_TITLE, "60000"}, status, seconds(90));
        const size_t found = out.find("client");
        return status == 0 && found != std::string::npos ? out.substr(found) : std::string();
    }

    // Waits until `since` after the start.
    void waitUntil(milliseconds since) const { std::this_thread::sleep_until(startedAt_ + since); }

    // A screenshot of the root with a drawn frame, waiting up to `limit`.
    bool waitForPicture(Screenshot& shot, milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end && child_.running()) {
            if (display_.screenshot("", shot) && hasPicture(shot))
                return true;
            std::this_thread::sleep_for(milliseconds(200));
        }
        return false;
    }
    // Waits for a picture that differs from `before`.
    bool waitForChange(const Screenshot& before, milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        Screenshot now;
        while (std::chrono::steady_clock::now() < end && child_.running()) {
            if (display_.screenshot("", now) && now.width == before.width && now.rgb != before.rgb)
                return true;
            std::this_thread::sleep_for(milliseconds(200));
        }
        return false;
    }
    // Presses Escape in the X window and returns the exit status (-1: no exit).
    int escape(const std::string& window)
    {
        int status = 0;
        display_.tool({"xdotool", "windowfocus", "--sync", window}, status, seconds(5));
        display_.tool({"xdotool", "key", "Escape"}, status);
        return child_.wait(seconds(60));
    }

private:
    const XSession& display_;
    const WineSession& wine_;
    Child child_;
    std::string log_;
    bool started_ = false;
    std::chrono::steady_clock::time_point startedAt_;
};

// A scratch copy of the Windows build's show and content, without `left_out`.
std::string copyOfTheShow(const std::string& leftOut)
{
    const fs::path folder = ::testing::TempDir() + "quillmoor_wine_copy_" + std::to_string(getpid());
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder / "Data");
    for (const auto& entry : fs::directory_iterator(windowsBuildFolder())) {
        const std::string name = entry.path().filename().string();
        const std::string extension = entry.path().extension().string();
        if (entry.is_regular_file() && (name == "quillmoor.exe" || extension == ".dll"))
            fs::copy_file(entry.path(), folder / name);
    }
    for (const auto& entry : fs::directory_iterator(windowsBuildFile("Data")))
        if (entry.path().filename() != leftOut)
            fs::copy_file(entry.path(), folder / "Data" / entry.path().filename());
    return folder.string();
}

}  // namespace

class WineDesktop : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(WineDesktop, ShowOpensItsWindowDrawsLetterboxedAndEndsOnEscape)
{
    const int width = GetParam().first, height = GetParam().second;
    const std::string what = std::to_string(width) + "x" + std::to_string(height);
    XSession display(width, height);
    WineSession wine(display, SHOW_FILES);
    REQUIRE_WINE(wine);

    WineShow show(display, wine, windowsBuildFile("quillmoor.exe"));
    ASSERT_TRUE(show.started());
    // The whole desktop, seen from the Windows side: the mode change falls
    // back to the desktop's own size where 1920 x 1080 is not offered.
    const std::string probed = show.probeWindow();
    ASSERT_FALSE(probed.empty()) << "no window of class demo_zel titled quillmoor2o15\n" << show.log();
    EXPECT_EQ(probed, "client " + std::to_string(width) + " " + std::to_string(height) + " visible 1\n");
    const std::string window = display.waitForWindowNamed(WINDOW_TITLE, seconds(30));
    ASSERT_FALSE(window.empty()) << "no X window titled quillmoor2o15\n" << show.log();

    show.waitUntil(seconds(12));
    Screenshot shot;
    ASSERT_TRUE(show.waitForPicture(shot, seconds(60))) << what << ": no picture\n" << show.log();
    ASSERT_EQ(shot.width, width);
    ASSERT_EQ(shot.height, height);
    expectLetterboxed(shot, what);
    EXPECT_TRUE(show.waitForChange(shot, seconds(30))) << what << ": the picture does not move";

    EXPECT_EQ(show.escape(window), 0) << show.log();
}

INSTANTIATE_TEST_SUITE_P(Wine, WineDesktop,
                         ::testing::Values(std::make_pair(1920, 1080), std::make_pair(1366, 768)),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "x" + std::to_string(info.param.second);
                         });

TEST(WineShowContent, MissingTitlePictureIsNamedOnceAndTheShowGoesOn)
{
    XSession display(1280, 720);
    WineSession wine(display, SHOW_FILES);
    REQUIRE_WINE(wine);
    const std::string folder = copyOfTheShow("title.pcx");

    WineShow show(display, wine, folder + "/quillmoor.exe");
    ASSERT_TRUE(show.started());
    ASSERT_FALSE(show.probeWindow().empty()) << show.log();
    const std::string window = display.waitForWindowNamed(WINDOW_TITLE, seconds(30));
    ASSERT_FALSE(window.empty()) << show.log();

    show.waitUntil(seconds(8));
    ASSERT_TRUE(show.running()) << "the show ended\n" << show.log();
    Screenshot shot;
    ASSERT_TRUE(show.waitForPicture(shot, seconds(60))) << show.log();
    EXPECT_TRUE(show.waitForChange(shot, seconds(30))) << "the picture does not move\n" << show.log();
    EXPECT_EQ(show.escape(window), 0) << show.log();

    const std::string log = show.log();
    EXPECT_EQ(linesNaming(log, "title.pcx"), 1u) << log;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

TEST(WineShowContent, WithNoSoundDeviceTheShowPlaysSilently)
{
    XSession display(1280, 720);
    WineSession wine(display, SHOW_FILES);
    REQUIRE_WINE(wine);

    // Wine's sound drivers disabled: waveOut then offers no device.
    WineShow show(display, wine, windowsBuildFile("quillmoor.exe"), "winepulse.drv,winealsa.drv,wineoss.drv=");
    ASSERT_TRUE(show.started());
    ASSERT_FALSE(show.probeWindow().empty()) << show.log();
    const std::string window = display.waitForWindowNamed(WINDOW_TITLE, seconds(30));
    ASSERT_FALSE(window.empty()) << show.log();

    show.waitUntil(seconds(8));
    Screenshot shot;
    ASSERT_TRUE(show.waitForPicture(shot, seconds(60))) << show.log();
    EXPECT_TRUE(show.waitForChange(shot, seconds(30))) << "the picture does not move with time\n" << show.log();
    EXPECT_EQ(show.escape(window), 0) << show.log();

    const std::string log = show.log();
    EXPECT_EQ(linesNaming(log, "no audio output"), 1u) << log;
}
