#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "audio/audio_decode.h"
#include "audio/audio_engine.h"
#include "audio/music_track.h"
#include "audio/spectrum.h"
#include "audio_fixtures.h"
#include "platform/log.h"

namespace {

constexpr int TONE_BIN = 20;

class MusicTrackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        ASSERT_TRUE(audioInit(-1, TEST_RATE));
        ASSERT_FALSE(scratch.path().empty());
    }
    void TearDown() override { audioFree(); }

    // Two seconds of a bin-centre tone as an MP3.
    static const std::vector<uint8_t>& toneMp3()
    {
        static const std::vector<uint8_t> mp3 =
            encodeMp3(stereoSine(2 * TEST_RATE, binCentreHz(TONE_BIN), 0.5f), TEST_RATE);
        return mp3;
    }

    // Loading `path` fails: -1, nothing changed, exactly one line logged.
    void expectFailedLoad(const std::string& path)
    {
        MusicTrack track;
        unsigned long before = loggedLineCount();
        EXPECT_EQ(track.load(path.c_str()), -1) << path;
        EXPECT_EQ(loggedLineCount(), before + 1) << path;
        EXPECT_EQ(track.kind, 0);
        EXPECT_EQ(track.activeHandle(), 0u);
        track.updateSpectrum();
        EXPECT_EQ(*std::max_element(track.spectrum, track.spectrum + MusicTrack::SPECTRUM_BINS), 0.0f);
    }

    ScratchFolder scratch;
};

}  // namespace

TEST(MusicTrackPath, Mp3AnywhereInAnyCaseNamesAStream)
{
    EXPECT_TRUE(pathNamesStream("Data\\music.mp3"));
    EXPECT_TRUE(pathNamesStream("MUSIC.MP3"));
    EXPECT_TRUE(pathNamesStream("/home/x/Mp3s/tune.xm"));
    EXPECT_TRUE(pathNamesStream("tune.mp3.mod"));
    EXPECT_FALSE(pathNamesStream("Data\\music.xm"));
    EXPECT_FALSE(pathNamesStream("song.mod"));
    EXPECT_FALSE(pathNamesStream("song.it"));
    EXPECT_FALSE(pathNamesStream("song.ogg"));
    EXPECT_FALSE(pathNamesStream("m_p3.wav"));
    EXPECT_FALSE(pathNamesStream(""));
    EXPECT_FALSE(pathNamesStream(nullptr));
}

TEST(MusicTrackPath, SpectrumIsZeroBeforeTheFirstFetch)
{
    MusicTrack track;
    EXPECT_EQ(track.kind, 0);
    EXPECT_EQ(track.activeHandle(), 0u);
    for (float bin : track.spectrum)
        ASSERT_EQ(bin, 0.0f);
}

TEST_F(MusicTrackTest, Mp3LoadsAsAStreamOfTheRightLengthAndRate)
{
    ASSERT_FALSE(toneMp3().empty());
    std::string path = scratch.write("music.mp3", toneMp3());
    MusicTrack track;
    ASSERT_EQ(track.load(path.c_str()), 0);
    EXPECT_EQ(track.kind, 0);
    EXPECT_NE(track.streamHandle, 0u);
    EXPECT_EQ(track.moduleHandle, 0u);
    EXPECT_EQ(track.activeHandle(), track.streamHandle);

    EXPECT_EQ(audioChannelRate(track.activeHandle()), TEST_RATE);
    // The LAME header lets the decoder drop the encoder's delay and padding.
    DecodedAudio pcm;
    std::string reason;
    ASSERT_TRUE(decodeAudioFile(path.c_str(), AudioKind::Stream, pcm, reason)) << reason;
    EXPECT_EQ(pcm.channels, 2);
    EXPECT_EQ(pcm.frames(), 2u * TEST_RATE);

    // Not playing yet: the cursor is at 0 and the spectrum is silence.
    track.updateSpectrum();
    EXPECT_EQ(*std::max_element(track.spectrum, track.spectrum + MusicTrack::SPECTRUM_BINS), 0.0f);
}

TEST_F(MusicTrackTest, DecodedMp3PeaksAtTheTonesBinAtAnyTime)
{
    std::string path = scratch.write("tone.mp3", toneMp3());
    DecodedAudio pcm;
    std::string reason;
    ASSERT_TRUE(decodeAudioFile(path.c_str(), AudioKind::Stream, pcm, reason)) << reason;
    for (size_t seconds10 : {3u, 10u, 19u}) {
        float bins[SPECTRUM_BIN_COUNT];
        computeSpectrum(pcm.samples.data(), pcm.frames(), pcm.channels, seconds10 * TEST_RATE / 10, bins);
        EXPECT_EQ(std::max_element(bins, bins + SPECTRUM_BIN_COUNT) - bins, TONE_BIN);
        EXPECT_NEAR(bins[TONE_BIN], 0.5f, 0.05f);
    }
}

TEST_F(MusicTrackTest, ModuleLoadsThroughTheModulePlayerAndSounds)
{
    std::string path = scratch.write("music.mod", makeMinimalModule());
    MusicTrack track;
    ASSERT_EQ(track.load(path.c_str()), 0);
    EXPECT_EQ(track.kind, 1);
    EXPECT_NE(track.moduleHandle, 0u);
    EXPECT_EQ(track.streamHandle, 0u);
    EXPECT_EQ(track.activeHandle(), track.moduleHandle);

    EXPECT_EQ(audioChannelRate(track.activeHandle()), TEST_RATE);  // rendered at the output's rate
    DecodedAudio pcm;
    std::string reason;
    ASSERT_TRUE(decodeAudioFile(path.c_str(), AudioKind::Module, pcm, reason)) << reason;
    // One pattern: 64 rows of 6 ticks at 125 BPM, 7.68 s, plus a short tail.
    const double seconds = static_cast<double>(pcm.frames()) / pcm.rate;
    EXPECT_GE(seconds, 7.6);
    EXPECT_LE(seconds, 8.0);

    audioStart();
    ASSERT_TRUE(audioChannelPlay(track.activeHandle(), false));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_GT(audioChannelPosition(track.activeHandle()), 0u);
    track.updateSpectrum();
    EXPECT_GT(*std::max_element(track.spectrum, track.spectrum + MusicTrack::SPECTRUM_BINS), 0.05f);
}

TEST_F(MusicTrackTest, NoSecondAttemptWithTheOtherLoader)
{
    // A module in a folder whose name holds "mp3" goes to the stream decoder
    // and fails there; the module player is not tried.
    std::string modulePath = scratch.write("old mp3s/tune.mod", makeMinimalModule());
    MusicTrack track;
    EXPECT_EQ(track.load(modulePath.c_str()), -1);
    EXPECT_EQ(track.moduleHandle, 0u);
    EXPECT_EQ(track.activeHandle(), 0u);

    // An MP3 under a name without it goes to the module player and fails.
    std::string streamPath = scratch.write("music.ogg", toneMp3());
    EXPECT_EQ(track.load(streamPath.c_str()), -1);
    EXPECT_EQ(track.streamHandle, 0u);
    EXPECT_EQ(track.kind, 0);
}

TEST_F(MusicTrackTest, BadFilesFailWithOneMessage)
{
    expectFailedLoad(scratch.path() + "/missing.mp3");
    expectFailedLoad(scratch.path() + "/missing.mod");
    expectFailedLoad(scratch.write("empty.mp3", {}));
    expectFailedLoad(scratch.write("empty.xm", {}));

    std::mt19937 random(1234);
    for (int file = 0; file < 4; ++file) {
        std::vector<uint8_t> noise(64 * 1024);
        for (uint8_t& byte : noise)
            byte = static_cast<uint8_t>(random());
        expectFailedLoad(scratch.write("noise" + std::to_string(file) + ".mp3", noise));
        expectFailedLoad(scratch.write("noise" + std::to_string(file) + ".it", noise));
    }
    // A real MP3 cut short still decodes what is there.
    std::vector<uint8_t> cut(toneMp3().begin(), toneMp3().begin() + toneMp3().size() / 2);
    MusicTrack track;
    EXPECT_EQ(track.load(scratch.write("cut.mp3", cut).c_str()), 0);
}
