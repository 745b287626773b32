#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/audio_decode.h"
#include "audio/audio_engine.h"
#include "audio/spectrum.h"
#include "audio_fixtures.h"
#include "platform/log.h"

namespace {

constexpr int TONE_BIN = 30;

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Frames of `rate` in `ms` milliseconds.
uint64_t framesInMs(int ms, uint32_t rate = TEST_RATE)
{
    return static_cast<uint64_t>(ms) * rate / 1000;
}

class SilentEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(audioInit(-1, TEST_RATE));
        ASSERT_FALSE(audioHasDevice());
        static const std::vector<uint8_t> mp3 =
            encodeMp3(stereoSine(3 * TEST_RATE, binCentreHz(TONE_BIN), 0.5f), TEST_RATE);
        ASSERT_FALSE(mp3.empty());
        path = scratch.write("tone.mp3", mp3);
        handle = audioStreamCreateFile(path.c_str(), AUDIO_STREAM_PRESCAN);
        ASSERT_NE(handle, 0u);
    }
    void TearDown() override { audioFree(); }

    ScratchFolder scratch;
    std::string path;
    uint32_t handle = 0;
};

}  // namespace

TEST_F(SilentEngineTest, CursorFollowsTheClockWhilePlaying)
{
    EXPECT_TRUE(audioStart());
    EXPECT_EQ(audioChannelPosition(handle), 0u);  // loaded, not playing
    sleepMs(30);
    EXPECT_EQ(audioChannelPosition(handle), 0u);

    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(audioChannelPlay(handle, false));
    sleepMs(100);
    uint64_t position = audioChannelPosition(handle);
    auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(position, framesInMs(95));
    EXPECT_LE(position, framesInMs(static_cast<int>(elapsedMs) + 5));

    // Playing again without restart goes on from the cursor.
    ASSERT_TRUE(audioChannelPlay(handle, false));
    EXPECT_GE(audioChannelPosition(handle), position);
    // With restart it starts over.
    ASSERT_TRUE(audioChannelPlay(handle, true));
    EXPECT_LT(audioChannelPosition(handle), framesInMs(20));
}

TEST_F(SilentEngineTest, StoppingFreezesTheCursorAndStartingResumesIt)
{
    audioStart();
    audioChannelPlay(handle, false);
    sleepMs(60);
    ASSERT_TRUE(audioStop());
    uint64_t frozen = audioChannelPosition(handle);
    EXPECT_GE(frozen, framesInMs(55));
    sleepMs(60);
    EXPECT_EQ(audioChannelPosition(handle), frozen);

    ASSERT_TRUE(audioStart());
    sleepMs(60);
    uint64_t resumed = audioChannelPosition(handle);
    EXPECT_GE(resumed, frozen + framesInMs(55));
    EXPECT_LT(resumed, frozen + framesInMs(400));
}

TEST_F(SilentEngineTest, SpectrumAtTheCursorIgnoresVolume)
{
    DecodedAudio whole;
    std::string reason;
    ASSERT_TRUE(decodeAudioFile(path.c_str(), AudioKind::Stream, whole, reason)) << reason;
    const DecodedAudio* pcm = &whole;
    audioStart();
    ASSERT_TRUE(audioChannelSetAttribute(handle, AUDIO_ATTRIB_VOL, 0.0f));
    audioChannelPlay(handle, false);
    sleepMs(100);
    audioStop();  // hold the cursor still so every read sees the same frames
    const uint64_t cursor = audioChannelPosition(handle);

    float expected[SPECTRUM_BIN_COUNT];
    computeSpectrum(pcm->samples.data(), pcm->frames(), pcm->channels, cursor, expected);
    float silent[SPECTRUM_BIN_COUNT];
    float loud[SPECTRUM_BIN_COUNT];
    EXPECT_EQ(audioChannelGetData(handle, silent, AUDIO_DATA_FFT1024),
              SPECTRUM_BIN_COUNT * static_cast<int>(sizeof(float)));
    ASSERT_TRUE(audioChannelSetAttribute(handle, AUDIO_ATTRIB_VOL, 1.0f));
    audioChannelGetData(handle, loud, AUDIO_DATA_FFT1024);
    for (int k = 0; k < SPECTRUM_BIN_COUNT; ++k) {
        ASSERT_EQ(silent[k], expected[k]) << k;
        ASSERT_EQ(loud[k], expected[k]) << k;
    }
    EXPECT_NEAR(silent[TONE_BIN], 0.5f, 0.05f);
}

TEST_F(SilentEngineTest, UnknownHandlesAndRequestsAreRefused)
{
    float bins[SPECTRUM_BIN_COUNT] = {};
    EXPECT_EQ(audioChannelGetData(0, bins, AUDIO_DATA_FFT1024), -1);
    EXPECT_EQ(audioChannelGetData(handle + 1, bins, AUDIO_DATA_FFT1024), -1);
    EXPECT_EQ(audioChannelGetData(0xffffffffu, bins, AUDIO_DATA_FFT1024), -1);
    EXPECT_EQ(audioChannelGetData(handle, bins, 0x80000003u), -1);
    EXPECT_EQ(audioChannelGetData(handle, nullptr, AUDIO_DATA_FFT1024), -1);
    EXPECT_FALSE(audioChannelPlay(0, false));
    EXPECT_FALSE(audioChannelSetAttribute(handle, 99, 1.0f));
    EXPECT_FALSE(audioChannelSetAttribute(0, AUDIO_ATTRIB_VOL, 1.0f));
    EXPECT_EQ(audioChannelPosition(0), 0u);
}

TEST(AudioEngine, NothingLoadsBeforeInitAndHandlesDieWithFree)
{
    ScratchFolder scratch;
    std::string path = scratch.write("tone.mp3", encodeMp3(stereoSine(TEST_RATE / 2, 440.0, 0.5f), TEST_RATE));
    unsigned long before = loggedLineCount();
    EXPECT_EQ(audioStreamCreateFile(path.c_str(), AUDIO_STREAM_PRESCAN), 0u);
    EXPECT_EQ(loggedLineCount(), before + 1);
    EXPECT_FALSE(audioStart());

    // Decoding alone needs no engine.
    DecodedAudio pcm;
    std::string reason;
    EXPECT_TRUE(decodeAudioFile(path.c_str(), AudioKind::Stream, pcm, reason)) << reason;
    EXPECT_EQ(pcm.frames(), TEST_RATE / 2);

    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(audioInit(-1, TEST_RATE));
    uint32_t handle = audioStreamCreateFile(path.c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(handle, 0u);
    audioFree();
    EXPECT_FALSE(audioInitialised());
    EXPECT_FALSE(audioChannelPlay(handle, false));
    EXPECT_EQ(audioChannelRate(handle), 0u);
}

TEST_F(SilentEngineTest, ReplacedClockDrivesTheCursorExactly)
{
    static uint64_t fakeNs = 5000000000ull;
    audioSetClock([](void*) { return fakeNs; }, nullptr);
    audioStart();
    audioChannelPlay(handle, false);
    EXPECT_EQ(audioChannelPosition(handle), 0u);
    fakeNs += 1500000000ull;  // 1.5 s
    EXPECT_EQ(audioChannelPosition(handle), 3u * TEST_RATE / 2);
    audioStop();
    fakeNs += 1000000000ull;  // stopped: no change
    EXPECT_EQ(audioChannelPosition(handle), 3u * TEST_RATE / 2);
    audioSetClock(nullptr, nullptr);
}
