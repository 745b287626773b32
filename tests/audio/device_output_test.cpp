// The device path, run on SDL's "disk" driver: a real output that paces
// itself like a sound card and writes what it is handed to a file, so the
// mix can be read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "audio/audio_engine.h"
#include "audio/spectrum.h"
#include "audio_fixtures.h"

namespace {

constexpr int TONE_BIN = 30;

class DiskOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.path().empty());
        outputFile = scratch.path() + "/device.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", outputFile.c_str(), 1);
    }
    void TearDown() override
    {
        audioFree();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    // Plays a tone made at `sourceRate` on a 44100 Hz device for ~300 ms and
    // returns what the device was handed (stereo float at 44100 Hz).
    std::vector<float> playTone(uint32_t sourceRate, float volume, uint64_t& cursor)
    {
        std::vector<float> heard;
        if (!audioInit(-1, TEST_RATE) || !audioHasDevice()) {
            ADD_FAILURE() << "disk output did not open";
            return heard;
        }
        auto mp3 = encodeMp3(stereoSine(sourceRate, binCentreHz(TONE_BIN), 0.5f, false, sourceRate), sourceRate);
        uint32_t handle = audioStreamCreateFile(scratch.write("tone.mp3", mp3).c_str(), AUDIO_STREAM_PRESCAN);
        if (!handle) {
            ADD_FAILURE() << "no channel";
            return heard;
        }
        audioChannelSetAttribute(handle, AUDIO_ATTRIB_VOL, volume);
        audioStart();
        audioChannelPlay(handle, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        audioStop();
        cursor = audioChannelPosition(handle);
        audioFree();  // closes the device, which flushes the file

        std::ifstream in(outputFile, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        heard.resize(bytes.size() / sizeof(float));
        std::memcpy(heard.data(), bytes.data(), heard.size() * sizeof(float));
        return heard;
    }

    ScratchFolder scratch;
    std::string outputFile;
};

float largest(const std::vector<float>& pcm)
{
    float peak = 0.0f;
    for (float x : pcm)
        peak = std::max(peak, std::abs(x));
    return peak;
}

bool loud(float x)
{
    return std::abs(x) > 1e-4f;
}

// Frames from the first sound to the last.
size_t audibleFrames(const std::vector<float>& stereo)
{
    const auto first = std::find_if(stereo.begin(), stereo.end(), loud);
    const auto last = std::find_if(stereo.rbegin(), stereo.rend(), loud);
    return first == stereo.end() ? 0 : size_t((stereo.rend() - last) - (first - stereo.begin()) + 1) / 2;
}

// The strongest bin of the last 1024 frames of sound: a device that started
// late still writes its silence after the tone, and a spectrum of that
// silence would peak anywhere.
int peakBin(const std::vector<float>& stereo)
{
    const size_t end = size_t(stereo.rend() - std::find_if(stereo.rbegin(), stereo.rend(), loud) + 1) / 2;
    float bins[SPECTRUM_BIN_COUNT];
    computeSpectrum(stereo.data(), stereo.size() / 2, 2, end, bins);
    return static_cast<int>(std::max_element(bins, bins + SPECTRUM_BIN_COUNT) - bins);
}

}  // namespace

TEST_F(DiskOutputTest, DeviceIsHandedTheToneAndTheCursorCountsIt)
{
    uint64_t cursor = 0;
    std::vector<float> heard = playTone(TEST_RATE, 1.0f, cursor);
    ASSERT_GE(audibleFrames(heard), size_t(SPECTRUM_FFT_SIZE));
    EXPECT_NEAR(largest(heard), 0.5f, 0.05f);
    EXPECT_EQ(peakBin(heard), TONE_BIN);
    // The position is what is heard: never more than the device was handed.
    EXPECT_GT(cursor, 0u);
    EXPECT_LE(cursor, heard.size() / 2);
    EXPECT_LT(cursor, TEST_RATE);  // well under a second after ~300 ms
}

TEST_F(DiskOutputTest, OtherRatesAreConvertedAndCountedInTheirOwnFrames)
{
    uint64_t cursor = 0;
    std::vector<float> heard = playTone(48000, 1.0f, cursor);
    ASSERT_GE(audibleFrames(heard), size_t(SPECTRUM_FFT_SIZE));
    // Same pitch at the device's rate: the tone lands in the same bin.
    EXPECT_EQ(peakBin(heard), TONE_BIN);
    // 48 kHz frames: more than the 44.1 kHz frames of the tone handed to the
    // device (a busy machine may start it late, after some silence).
    EXPECT_GT(cursor, audibleFrames(heard) / 2);
    EXPECT_LE(cursor, heard.size() / 2 * 48000 / TEST_RATE + 2048);
}

TEST_F(DiskOutputTest, VolumeZeroHandsOverSilence)
{
    uint64_t cursor = 0;
    std::vector<float> heard = playTone(TEST_RATE, 0.0f, cursor);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(largest(heard), 0.0f);
    EXPECT_GT(cursor, 0u);
}

TEST_F(DiskOutputTest, PauseHoldsThePositionAndTheSpectrumUntilPlayGoesOn)
{
    ASSERT_TRUE(audioInit(-1, TEST_RATE) && audioHasDevice());
    auto mp3 = encodeMp3(stereoSine(3 * TEST_RATE, binCentreHz(TONE_BIN), 0.5f), TEST_RATE);
    const uint32_t handle = audioStreamCreateFile(scratch.write("tone.mp3", mp3).c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(handle, 0u);
    audioStart();
    audioChannelPlay(handle, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    ASSERT_TRUE(audioChannelPause(handle));
    const uint64_t held = audioChannelPosition(handle);
    float before[SPECTRUM_BIN_COUNT], after[SPECTRUM_BIN_COUNT];
    audioChannelGetData(handle, before, AUDIO_DATA_FFT1024);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(audioChannelPosition(handle), held);
    audioChannelGetData(handle, after, AUDIO_DATA_FFT1024);
    EXPECT_TRUE(std::equal(before, before + SPECTRUM_BIN_COUNT, after));

    audioChannelPlay(handle, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GT(audioChannelPosition(handle), held);
    EXPECT_FALSE(audioChannelPause(0)) << "no such channel";
}
