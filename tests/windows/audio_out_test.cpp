// waveOut as the engine meets it: where Windows (or Wine) has no output
// device, opening says so, and nothing is held open afterwards.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <string>

#include "platform/audio_out.h"

namespace {

std::atomic<int> fills{0};

void countFill(float* frames, int frameCount, void*)
{
    for (int i = 0; i < frameCount * AUDIO_OUT_CHANNELS; ++i)
        frames[i] = 0.0f;
    fills.fetch_add(1);
}

std::atomic<int> feeds{0};

bool countFeed(uint32_t, void*)
{
    feeds.fetch_add(1);
    return false;
}

TEST(WaveOut, WithoutADeviceOpeningFailsWithAReason)
{
    if (waveOutGetNumDevs() != 0)
        GTEST_SKIP() << "this system has a waveOut device";
    std::string reason;
    EXPECT_FALSE(audioOutOpen(-1, 44100, countFill, countFeed, nullptr, reason));
    EXPECT_NE(std::string::npos, reason.find("no waveOut device")) << reason;
    EXPECT_EQ(0u, audioOutLatencyFrames());
    // The feed lock, a wake-up and pausing with nothing open do nothing,
    // and a second open is not refused as "already open".
    audioOutFeedLock();
    audioOutFeedUnlock();
    audioOutWakeFeeder();
    audioOutSetPaused(false);
    reason.clear();
    EXPECT_FALSE(audioOutOpen(-1, 44100, countFill, countFeed, nullptr, reason));
    EXPECT_EQ(std::string::npos, reason.find("already open")) << reason;
    audioOutClose();
}

TEST(WaveOut, WithADevicePlaysBlocksUntilClosed)
{
    if (waveOutGetNumDevs() == 0)
        GTEST_SKIP() << "this system has no waveOut device";
    std::string reason;
    ASSERT_TRUE(audioOutOpen(-1, 44100, countFill, countFeed, nullptr, reason)) << reason;
    Sleep(100);
    EXPECT_EQ(0, fills.load()) << "filled while paused";
    audioOutSetPaused(false);
    Sleep(300);
    EXPECT_GT(fills.load(), 4);
    EXPECT_GT(audioOutLatencyFrames(), 0u);
    EXPECT_GT(feeds.load(), 4) << "the feeder runs beside the device";
    audioOutClose();
    const int afterClose = fills.load();
    const int feedsAfterClose = feeds.load();
    Sleep(100);
    EXPECT_EQ(afterClose, fills.load()) << "filled after close";
    EXPECT_EQ(feedsAfterClose, feeds.load()) << "fed after close";
    EXPECT_EQ(0u, audioOutLatencyFrames());
}

TEST(WaveOut, AskingForADeviceThatIsNotThereFails)
{
    std::string reason;
    EXPECT_FALSE(audioOutOpen(static_cast<int>(waveOutGetNumDevs()) + 1, 44100, countFill, countFeed, nullptr, reason));
    EXPECT_FALSE(reason.empty());
    audioOutClose();
}

}  // namespace
