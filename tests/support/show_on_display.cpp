#include "support/show_on_display.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "support/display_modes.h"
#include "support/letterbox.h"

using std::chrono::milliseconds;
using std::chrono::seconds;

const char* const SHOW_WINDOW_CLASS = "demo_zel";

ShowOnDisplay::ShowOnDisplay(const XSession& session, std::vector<std::string> args) : session_(session)
{
    args.insert(args.begin(), {QUILLMOOR_BINARY_DIR "/quillmoor", "--data", QUILLMOOR_BINARY_DIR "/Data"});
    std::vector<std::string> env = session.environment();
    env.push_back("SDL_AUDIODRIVER=dummy");
    env.push_back("LIBGL_ALWAYS_SOFTWARE=1");
    log_ = ::testing::TempDir() + "quillmoor_show_on_display_" + std::to_string(getpid()) + ".txt";
    started_ = child_.start(args, env, log_);
}

std::string ShowOnDisplay::log() const
{
    int status = 0;
    return runCommand({"cat", log_}, {}, seconds(5), status);
}

std::string ShowOnDisplay::waitForWindow(milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end && child_.running()) {
        const std::string window = session_.findWindow(SHOW_WINDOW_CLASS);
        if (!window.empty())
            return window;
        std::this_thread::sleep_for(milliseconds(50));
    }
    return "";
}

bool ShowOnDisplay::waitForPicture(const std::string& window, Screenshot& shot, milliseconds limit, int width,
                                   int height)
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

bool ShowOnDisplay::waitForChange(const std::string& window, const Screenshot& before, milliseconds limit)
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

void ShowOnDisplay::press(const std::string& window, const std::string& key)
{
    int status = 0;
    session_.tool({"xdotool", "windowfocus", "--sync", window}, status, seconds(5));
    session_.tool({"xdotool", "key", key}, status);
}

int ShowOnDisplay::escape(const std::string& window)
{
    press(window, "Escape");
    return child_.wait(seconds(90));
}

std::string waitForFullscreen(const XSession& session, const ShowOnDisplay& show, double minHz, double maxHz)
{
    Mode mode;
    EXPECT_TRUE(isDesktopMode(currentMode(session))) << currentMode(session).name;
    if (!show.started())
        return "";
    const std::string window = session.waitForWindow(SHOW_WINDOW_CLASS, seconds(30));
    EXPECT_FALSE(window.empty()) << "no window appeared\n" << show.log();
    const bool switched = waitForMode(
        session, [&](const Mode& m) { return isShowMode(m, minHz, maxHz); }, seconds(20), mode);
    EXPECT_TRUE(switched) << "mode now " << mode.name << " at " << mode.rate << " Hz\n" << show.log();
    return switched ? window : "";
}
