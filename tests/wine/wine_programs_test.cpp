// The Windows build's other programs under wine: its own test program
// (the Win32 backend's checks, which need Windows' interfaces) passes, and
// the capture tool's still at 58 s matches the Linux build's within the
// rounding of two GL implementations: at most 1 % of the pixels differ by
// more than 3 levels of 255 in any channel, whether the desktop it runs on
// is larger than the still or smaller (its window is hidden, so the still
// must not depend on what the desktop can show).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "support/png_file.h"
#include "support/x_session.h"
#include "wine/wine_session.h"

namespace fs = std::filesystem;

namespace {

using std::chrono::seconds;

std::string scratchFolder(const std::string& name)
{
    const fs::path folder = ::testing::TempDir() + "quillmoor_wine_" + name + "_" + std::to_string(getpid());
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder);
    return folder.string();
}

}  // namespace

TEST(WinePrograms, WindowsSideSuitePasses)
{
    XSession display(1280, 1024);
    WineSession wine(display, {"test_windows.exe"});
    REQUIRE_WINE(wine);
    int status = 0;
    const std::string output = wine.run(windowsBuildFile("test_windows.exe"), {"--gtest_color=no"}, status, seconds(600));
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ]"), std::string::npos) << output;
}

class WineCaptureDesktop : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(WineCaptureDesktop, StillMatchesTheLinuxBuilds)
{
    const std::string linuxCapture = QUILLMOOR_BINARY_DIR "/quillmoor-capture";
    if (!fs::exists(linuxCapture))
        GTEST_SKIP() << "no Linux capture tool at " << linuxCapture;
    XSession display(GetParam().first, GetParam().second);
    WineSession wine(display, {"quillmoor-capture.exe", "Data/music.mp3"});
    REQUIRE_WINE(wine);

    const std::vector<std::string> settings = {"--still", "58s", "--size", "1280x720", "--quiet"};
    const std::string linuxOut = scratchFolder("linux_still");
    std::vector<std::string> argv = {linuxCapture, "--out", linuxOut};
    argv.insert(argv.end(), settings.begin(), settings.end());
    int status = 0;
    const std::string linuxLog = runCommand(argv, {}, seconds(300), status);
    ASSERT_EQ(status, 0) << linuxLog;

    const std::string windowsOut = scratchFolder("windows_still");
    std::vector<std::string> args = {"--out", windowsPath(windowsOut)};
    args.insert(args.end(), settings.begin(), settings.end());
    const std::string windowsLog = wine.run(windowsBuildFile("quillmoor-capture.exe"), args, status, seconds(300));
    ASSERT_EQ(status, 0) << windowsLog;

    Screenshot onLinux, onWindows;
    std::string failure;
    ASSERT_TRUE(readPngFile(linuxOut + "/still_058000.png", onLinux, failure)) << failure;
    ASSERT_TRUE(readPngFile(windowsOut + "/still_058000.png", onWindows, failure)) << failure << "\n" << windowsLog;
    ASSERT_EQ(onWindows.width, 1280);
    ASSERT_EQ(onWindows.height, 720);
    ASSERT_EQ(onLinux.width, onWindows.width);
    ASSERT_EQ(onLinux.height, onWindows.height);

    const double share = differingShare(onLinux, onWindows, 3);
    std::printf("still at 58 s, 1280x720, on a %dx%d desktop: %.3f %% of the pixels differ by more than 3 levels\n",
                GetParam().first, GetParam().second, share * 100.0);
    RecordProperty("differing_percent", std::to_string(share * 100.0));
    EXPECT_LE(share, 0.01);
    // Two black frames would match as well: the still is a picture.
    const Screenshot black{onLinux.width, onLinux.height, std::vector<uint8_t>(onLinux.rgb.size(), 0)};
    EXPECT_GT(differingShare(onLinux, black, 3), 0.5) << "the Linux still is mostly black";

    std::error_code ignored;
    fs::remove_all(linuxOut, ignored);
    fs::remove_all(windowsOut, ignored);
}

INSTANTIATE_TEST_SUITE_P(WinePrograms, WineCaptureDesktop,
                         ::testing::Values(std::make_pair(1920, 1080), std::make_pair(1024, 768)),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "x" + std::to_string(info.param.second);
                         });
