// The built soundtrack, decoded by the audio engine and measured through the
// engine's own spectrum at 60 frames per second, against what the show needs
// of it: a quiet intro, a drop at 11 s, bass hits that keep the attractors
// and the focal range moving, greetings that step within their time, a full
// particle cloud early on, and a clean, loud-enough master.
#include "audio/audio_decode.h"
#include "audio/spectrum.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

constexpr int FPS = 60;
constexpr float BEAT = 0.1f;        // beat response, greetings
constexpr float ATTRACTOR = 0.15f;  // attractor trigger

const std::string MUSIC = std::string(QUILLMOOR_CONTENT_DATA) + "/music.mp3";

struct Frame {
    uint32_t timeMs;  // show time of the frame, as the 1 ms clock gives it
    float energy;     // mean of spectrum bins 0..9
};

class Soundtrack : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string reason;
        decoded_ = decodeAudioFile(MUSIC.c_str(), AudioKind::Stream, audio_, reason);
        failure_ = reason;
        if (!decoded_) return;
        float spectrum[SPECTRUM_BIN_COUNT];
        for (long i = 0;; ++i) {
            const uint32_t ms = uint32_t(i * 1000 / FPS);
            const size_t cursor = size_t(uint64_t(ms) * audio_.rate / 1000);
            if (cursor > audio_.frames()) break;
            computeSpectrum(audio_.samples.data(), audio_.frames(), audio_.channels, cursor, spectrum);
            float sum = 0.0f;
            for (int k = 0; k < 10; ++k) sum += spectrum[k];
            frames_.push_back({ms, sum / 10.0f});
        }
    }
    static void TearDownTestSuite()
    {
        audio_ = DecodedAudio();
        frames_.clear();
    }
    void SetUp() override { ASSERT_TRUE(decoded_) << MUSIC << ": " << failure_; }

    static bool decoded_;
    static std::string failure_;
    static DecodedAudio audio_;
    static std::vector<Frame> frames_;
};

bool Soundtrack::decoded_ = false;
std::string Soundtrack::failure_;
DecodedAudio Soundtrack::audio_;
std::vector<Frame> Soundtrack::frames_;

TEST_F(Soundtrack, IsLongEnoughStereoAt44100)
{
    EXPECT_EQ(audio_.rate, 44100u);
    EXPECT_EQ(audio_.channels, 2);
    const double seconds = double(audio_.frames()) / audio_.rate;
    std::printf("duration %.2f s\n", seconds);
    EXPECT_GE(seconds, 155.0);
}

TEST_F(Soundtrack, PeakAndLoudnessAreMastered)
{
    float peak = 0.0f;
    for (float s : audio_.samples) peak = std::max(peak, std::fabs(s));
    const double peakDb = 20.0 * std::log10(double(peak));
    ebur128_state* meter = ebur128_init(unsigned(audio_.channels), audio_.rate, EBUR128_MODE_I);
    ASSERT_NE(meter, nullptr);
    ASSERT_EQ(ebur128_add_frames_float(meter, audio_.samples.data(), audio_.frames()), EBUR128_SUCCESS);
    double lufs = 0.0;
    ASSERT_EQ(ebur128_loudness_global(meter, &lufs), EBUR128_SUCCESS);
    ebur128_destroy(&meter);
    std::printf("peak %.2f dBFS, integrated loudness %.2f LUFS\n", peakDb, lufs);
    EXPECT_LE(peakDb, -0.3);
    EXPECT_GT(peakDb, -6.0) << "mastered far below full scale";
    EXPECT_GE(lufs, -14.0);
    EXPECT_LE(lufs, -8.0);
}

TEST_F(Soundtrack, IntroStaysCalmUntilTheDrop)
{
    double first = -1.0;
    for (const Frame& f : frames_) {
        if (f.energy > BEAT) {
            first = f.timeMs / 1000.0;
            break;
        }
    }
    std::printf("first beat frame at %.3f s\n", first);
    EXPECT_GE(first, 10.5);
    EXPECT_LE(first, 11.5);
}

TEST_F(Soundtrack, BassKeepsTheShowMovingOutsideOneBreakdown)
{
    constexpr uint32_t FROM = 11500, TO = 145000, WINDOW = 2000;
    // Every 2-second window needs an attractor trigger and two beat frames;
    // the windows that fail must all fall within one stretch of 8 s.
    uint32_t failFrom = UINT32_MAX, failTo = 0;
    for (size_t i = 0; i < frames_.size() && frames_[i].timeMs + WINDOW <= TO; ++i) {
        if (frames_[i].timeMs < FROM) continue;
        int strong = 0, beats = 0;
        for (size_t j = i; j < frames_.size() && frames_[j].timeMs < frames_[i].timeMs + WINDOW; ++j) {
            strong += frames_[j].energy > ATTRACTOR ? 1 : 0;
            beats += frames_[j].energy > BEAT ? 1 : 0;
        }
        if (strong < 1 || beats < 2) {
            failFrom = std::min(failFrom, frames_[i].timeMs);
            failTo = std::max(failTo, frames_[i].timeMs + WINDOW);
        }
    }
    if (failTo > 0) {
        std::printf("breakdown %.2f - %.2f s\n", failFrom / 1000.0, failTo / 1000.0);
        EXPECT_LE(failTo - failFrom, 8000u) << "quiet windows from " << failFrom << " to " << failTo << " ms";
    }
    // The focal range must breathe: beat frames neither rare nor constant.
    int counted = 0, beats = 0;
    for (const Frame& f : frames_) {
        if (f.timeMs < FROM || f.timeMs >= TO) continue;
        if (failTo > 0 && f.timeMs >= failFrom && f.timeMs < failTo) continue;
        ++counted;
        beats += f.energy > BEAT ? 1 : 0;
    }
    ASSERT_GT(counted, 0);
    const double share = double(beats) / counted;
    std::printf("beat frames %.1f%% of %d\n", 100.0 * share, counted);
    EXPECT_GE(share, 0.08);
    EXPECT_LE(share, 0.40);
}

TEST_F(Soundtrack, GreetingsStepThroughAllStripsInTime)
{
    // The greetings slide-show, frame by frame: a change needs a beat frame
    // and a cooldown above 0.95; the cooldown refills by the plate step.
    int index = 0;
    float cooldown = 1.0f;
    std::vector<uint32_t> changes;
    for (size_t i = 1; i < frames_.size() && index <= 8; ++i) {
        const uint32_t t = frames_[i].timeMs;
        const float frameStep = float(t - frames_[i - 1].timeMs) / 500.0f;
        const float step = frameStep / 4.0f;
        if (t < 95000 || t > 200000) continue;
        if (frames_[i].energy > BEAT && cooldown > 0.95f) {
            ++index;
            cooldown = 0.0f;
            changes.push_back(t);
            if (index > 8) break;
        }
        cooldown += step;
        if (std::fabs(cooldown) >= 1.0f) cooldown = 1.0f;
    }
    ASSERT_EQ(changes.size(), 9u);
    std::printf("greetings change from %.2f s to %.2f s\n", changes.front() / 1000.0, changes.back() / 1000.0);
    EXPECT_GE(changes.front(), 95000u);
    EXPECT_LE(changes.back(), 125000u);
}

TEST_F(Soundtrack, ParticleCloudFillsUpEarly)
{
    // The beat response from 11 001 ms: ten particles a beat frame, from 600.
    int particles = 600;
    uint32_t full = 0;
    for (const Frame& f : frames_) {
        if (f.timeMs < 11001) continue;
        if (f.energy > BEAT) particles = std::min(particles + 10, 900);
        if (particles == 900) {
            full = f.timeMs;
            break;
        }
    }
    std::printf("900 particles at %.2f s\n", full / 1000.0);
    ASSERT_GT(full, 0u);
    EXPECT_LT(full, 25000u);
}

std::vector<uint8_t> fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(SoundtrackGenerator, IsRepeatable)
{
    const std::string fresh = "/tmp/quillmoor_music_" + std::to_string(getpid()) + ".mp3";
    const std::string command = std::string("'") + QUILLMOOR_MAKE_MUSIC + "' '" + fresh + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::vector<uint8_t> again = fileBytes(fresh);
    std::remove(fresh.c_str());
    ASSERT_GT(again.size(), 100000u);
    EXPECT_TRUE(again == fileBytes(MUSIC)) << "two runs gave different files";
}

}  // namespace
