// The streaming engine against whole-file decoding: the spectrum it reports
// at a time must be, bit for bit, what computeSpectrum gives over the whole
// decoded file, whether the engine got there by playing on or by moving;
// broken files play what is valid and say so once.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "audio/audio_decode.h"
#include "audio/audio_engine.h"
#include "audio/spectrum.h"
#include "audio_fixtures.h"
#include "platform/log.h"

namespace {

constexpr uint64_t NS_PER_SECOND = 1000000000ull;

// Twelve seconds that change all the time: gliding tones, beats, bursts of
// noise, so that a spectrum from the wrong frames cannot pass.
std::vector<float> busySignal(size_t frames)
{
    std::vector<float> pcm(frames * 2);
    uint32_t noise = 12345;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / TEST_RATE;
        noise = noise * 1664525u + 1013904223u;
        const double burst = std::fmod(t, 0.5) < 0.05 ? (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) : 0.0;
        const double glide = std::sin(2.0 * M_PI * (200.0 + 150.0 * t) * t);
        const double beat = std::sin(2.0 * M_PI * 60.0 * t) * (std::fmod(t, 0.25) < 0.1 ? 1.0 : 0.0);
        pcm[2 * i] = static_cast<float>(0.3 * glide + 0.4 * beat + 0.3 * burst);
        pcm[2 * i + 1] = static_cast<float>(0.3 * glide - 0.2 * beat + 0.3 * burst);
    }
    return pcm;
}

uint64_t fakeNs = 0;
uint64_t readFakeClock(void*)
{
    return fakeNs;
}

class StreamingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(audioInit(-1, TEST_RATE));
        ASSERT_FALSE(scratch.path().empty());
        fakeNs = 1000 * NS_PER_SECOND;
        audioSetClock(readFakeClock, nullptr);
    }
    void TearDown() override
    {
        audioFree();
        audioSetClock(nullptr, nullptr);
    }

    static const std::vector<uint8_t>& busyMp3()
    {
        static const std::vector<uint8_t> mp3 = encodeMp3(busySignal(12 * TEST_RATE), TEST_RATE);
        return mp3;
    }

    // The engine's spectrum now against the whole file's at the same cursor.
    void expectSpectrumOfWholeFile(uint32_t handle, const DecodedAudio& whole, const char* how)
    {
        const uint64_t cursor = audioChannelPosition(handle);
        float engine[SPECTRUM_BIN_COUNT];
        float expected[SPECTRUM_BIN_COUNT];
        ASSERT_EQ(audioChannelGetData(handle, engine, AUDIO_DATA_FFT1024),
                  SPECTRUM_BIN_COUNT * static_cast<int>(sizeof(float)));
        computeSpectrum(whole.samples.data(), whole.frames(), whole.channels, static_cast<size_t>(cursor), expected);
        ASSERT_EQ(std::memcmp(engine, expected, sizeof engine), 0) << how << " at frame " << cursor;
    }

    // Plays on with the clock in steps of a 60 Hz frame, then moves about at
    // random (back, a little ahead, far ahead, past the end), checking every
    // spectrum against the whole file.
    void checkPlayingAndMoving(uint32_t handle, const DecodedAudio& whole)
    {
        ASSERT_NE(handle, 0u);
        ASSERT_GT(whole.frames(), 4u * TEST_RATE);
        audioStart();
        audioChannelPlay(handle, false);
        for (int frame = 0; fakeNs < 1000 * NS_PER_SECOND + (whole.frames() + TEST_RATE) * NS_PER_SECOND / TEST_RATE;
             ++frame) {
            expectSpectrumOfWholeFile(handle, whole, "playing");
            fakeNs += NS_PER_SECOND / 60;
        }
        std::mt19937 random(7);
        const uint64_t frames = whole.frames();
        for (int move = 0; move < 300; ++move) {
            const uint64_t here = audioChannelPosition(handle);
            uint64_t target;
            switch (move % 4) {
            case 0: target = random() % (frames + TEST_RATE); break;            // anywhere
            case 1: target = here + random() % (TEST_RATE / 2); break;          // a little ahead
            case 2: target = here > 3000 ? here - random() % 3000 : 0; break;   // a little back
            default: target = random() % 4096; break;                           // near the start
            }
            ASSERT_TRUE(audioChannelSetPosition(handle, target));
            ASSERT_EQ(audioChannelPosition(handle), target);
            expectSpectrumOfWholeFile(handle, whole, "after a move");
            fakeNs += NS_PER_SECOND / 60;  // and one frame of playing on
            expectSpectrumOfWholeFile(handle, whole, "playing on after a move");
        }
    }

    ScratchFolder scratch;
};

}  // namespace

TEST_F(StreamingTest, Mp3SpectrumIsTheWholeFilesWhetherPlayedOrMovedTo)
{
    ASSERT_FALSE(busyMp3().empty());
    const std::string path = scratch.write("busy.mp3", busyMp3());
    DecodedAudio whole;
    std::string reason;
    ASSERT_TRUE(decodeAudioFile(path.c_str(), AudioKind::Stream, whole, reason)) << reason;
    const unsigned long lines = loggedLineCount();
    checkPlayingAndMoving(audioStreamCreateFile(path.c_str(), AUDIO_STREAM_PRESCAN), whole);
    EXPECT_EQ(loggedLineCount(), lines) << "a good file says nothing";
}

TEST_F(StreamingTest, SoundtrackSpectrumIsTheWholeFilesWhetherPlayedOrMovedTo)
{
    const std::string path = std::string(QUILLMOOR_BINARY_DIR) + "/Data/music.mp3";
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        GTEST_SKIP() << path << ": the soundtrack is not built in this configuration";
    DecodedAudio whole;
    std::string reason;
    ASSERT_TRUE(decodeAudioFile(path.c_str(), AudioKind::Stream, whole, reason)) << reason;
    checkPlayingAndMoving(audioStreamCreateFile(path.c_str(), AUDIO_STREAM_PRESCAN), whole);
}

TEST_F(StreamingTest, ModuleSpectrumIsTheWholeRendersWhetherPlayedOrMovedTo)
{
    const std::string path = scratch.write("tune.mod", makeMinimalModule());
    DecodedAudio whole;
    std::string reason;
    ASSERT_TRUE(decodeAudioFile(path.c_str(), AudioKind::Module, whole, reason, TEST_RATE)) << reason;
    checkPlayingAndMoving(audioMusicLoad(path.c_str(), AUDIO_MUSIC_RAMP), whole);
}

TEST_F(StreamingTest, GarbageAfterGoodAudioPlaysTheGoodPartAndSaysSoOnce)
{
    // Two seconds of sound, then 200 KB of noise.
    std::vector<uint8_t> bytes = encodeMp3(stereoSine(2 * TEST_RATE, binCentreHz(20), 0.5f), TEST_RATE);
    ASSERT_FALSE(bytes.empty());
    std::mt19937 random(99);
    for (int i = 0; i < 200 * 1024; ++i)
        bytes.push_back(static_cast<uint8_t>(random()));
    const std::string path = scratch.write("noisy tail.mp3", bytes);

    const unsigned long lines = loggedLineCount();
    const uint32_t handle = audioStreamCreateFile(path.c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(handle, 0u);
    audioStart();
    audioChannelPlay(handle, false);
    float bins[SPECTRUM_BIN_COUNT];
    for (int frame = 0; frame < 60 * 5; ++frame) {  // five seconds, far past the sound
        fakeNs += NS_PER_SECOND / 60;
        audioChannelGetData(handle, bins, AUDIO_DATA_FFT1024);
        if (frame == 60) {  // one second in: the tone
            EXPECT_NEAR(bins[20], 0.5f, 0.05f);
        }
    }
    for (float bin : bins)
        ASSERT_EQ(bin, 0.0f) << "silence after the break";
    // Moving back into the sound and out again finds the same break.
    for (uint64_t target : {TEST_RATE / 2u, 4u * TEST_RATE, 1u * TEST_RATE, 3u * TEST_RATE}) {
        audioChannelSetPosition(handle, target);
        audioChannelGetData(handle, bins, AUDIO_DATA_FFT1024);
    }
    EXPECT_EQ(loggedLineCount(), lines + 1) << "one line, however often it is read";
}

TEST_F(StreamingTest, StreamCutShortOrClaimingMorePlaysWhatIsThereAndSaysSoOnce)
{
    const std::vector<uint8_t>& good = busyMp3();
    ASSERT_GT(good.size(), 4096u);
    // Cut at a third: the LAME header still gives twelve seconds.
    const std::vector<uint8_t> cut(good.begin(), good.begin() + good.size() / 3);
    const std::string path = scratch.write("cut.mp3", cut);
    const unsigned long lines = loggedLineCount();
    const uint32_t handle = audioStreamCreateFile(path.c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(loggedLineCount(), lines) << "nothing is known wrong at load";
    audioStart();
    audioChannelPlay(handle, false);
    float bins[SPECTRUM_BIN_COUNT];
    for (int frame = 0; frame < 60 * 8; ++frame) {
        fakeNs += NS_PER_SECOND / 60;
        audioChannelGetData(handle, bins, AUDIO_DATA_FFT1024);
    }
    EXPECT_EQ(loggedLineCount(), lines + 1) << "one line when the end comes early";
    // Past the end there is silence.
    for (float bin : bins)
        ASSERT_EQ(bin, 0.0f);
    audioChannelSetPosition(handle, 0);
    for (int frame = 0; frame < 60 * 8; ++frame) {
        fakeNs += NS_PER_SECOND / 60;
        audioChannelGetData(handle, bins, AUDIO_DATA_FFT1024);
    }
    EXPECT_EQ(loggedLineCount(), lines + 1) << "and only once";
}

TEST_F(StreamingTest, WhatIsNotAnOrdinaryFileIsRefusedAtOnce)
{
    const std::string fifo = scratch.path() + "/music.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    const unsigned long lines = loggedLineCount();
    EXPECT_EQ(audioStreamCreateFile(fifo.c_str(), AUDIO_STREAM_PRESCAN), 0u);  // no writer: would block
    EXPECT_EQ(audioMusicLoad(scratch.path().c_str(), AUDIO_MUSIC_RAMP), 0u);   // a folder
    EXPECT_EQ(loggedLineCount(), lines + 2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(StreamingModule, ModuleLongerThanTheCapStopsThereAndSaysSoOnceAtLoad)
{
    // The minimal module at speed 31 over 128 orders: about 85 minutes.
    std::vector<uint8_t> mod = makeMinimalModule();
    constexpr size_t HEADER = 1084;
    mod[20 + 31 * 30] = 128;   // song length: 128 orders, all pattern 0
    mod[HEADER + 4 + 2] = 0x0f;  // row 0, channel 2: set speed...
    mod[HEADER + 4 + 3] = 31;    // ...to 31 ticks a row
    ScratchFolder scratch;
    const std::string path = scratch.write("long.mod", mod);

    setenv("SDL_AUDIODRIVER", "dummy", 1);
    constexpr uint32_t rate = 8000;  // renders quickly
    ASSERT_TRUE(audioInit(0, rate));
    const unsigned long lines = loggedLineCount();
    const uint32_t handle = audioMusicLoad(path.c_str(), AUDIO_MUSIC_RAMP);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(loggedLineCount(), lines + 1) << "one line at load";
    float bins[SPECTRUM_BIN_COUNT];
    const auto loudest = [&] {
        audioChannelGetData(handle, bins, AUDIO_DATA_FFT1024);
        return *std::max_element(bins, bins + SPECTRUM_BIN_COUNT);
    };
    const uint64_t cap = static_cast<uint64_t>(MODULE_MAX_SECONDS) * rate;
    audioChannelSetPosition(handle, cap - rate);
    EXPECT_GT(loudest(), 0.05f) << "still sounding a second before the cap";
    audioChannelSetPosition(handle, cap + rate);
    EXPECT_EQ(loudest(), 0.0f) << "silent after it";
    audioChannelSetPosition(handle, rate);
    EXPECT_GT(loudest(), 0.05f);
    EXPECT_EQ(loggedLineCount(), lines + 1) << "and nothing more";
    audioFree();
}
