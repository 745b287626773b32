// The Windows backend's sample-rate converter: tones keep their frequency
// and amplitude, what the target rate cannot carry does not fold back into
// what it can, and the stream neither gains nor loses time.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/audio_out.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int ENGINE_BLOCK = 512;  // frames the engine puts at a time

struct Tone {
    double hz = 0.0;
    double amplitude = 0.0;
};

// Converts `seconds` of a tone on each channel from `fromRate` to `toRate`,
// put in the engine's block size and taken as it comes; the stereo output.
std::vector<float> convert(uint32_t fromRate, uint32_t toRate, Tone left, Tone right, double seconds)
{
    AudioOutConverter* converter = audioOutConverterCreate(fromRate, toRate);
    EXPECT_NE(nullptr, converter);
    std::vector<float> output;
    if (!converter)
        return output;
    const int total = static_cast<int>(seconds * fromRate);
    std::vector<float> block(ENGINE_BLOCK * 2);
    std::vector<float> taken(ENGINE_BLOCK * 4);
    for (int start = 0; start < total; start += ENGINE_BLOCK) {
        for (int i = 0; i < ENGINE_BLOCK; ++i) {
            const double t = double(start + i) / fromRate;
            block[2 * i] = static_cast<float>(left.amplitude * std::sin(2.0 * PI * left.hz * t));
            block[2 * i + 1] = static_cast<float>(right.amplitude * std::sin(2.0 * PI * right.hz * t));
        }
        EXPECT_TRUE(audioOutConverterPut(converter, block.data(), ENGINE_BLOCK));
        while (audioOutConverterAvailable(converter) > 0) {
            const int got = audioOutConverterGet(converter, taken.data(), ENGINE_BLOCK * 2);
            EXPECT_GT(got, 0);
            output.insert(output.end(), taken.begin(), taken.begin() + got * 2);
        }
    }
    audioOutConverterFree(converter);
    return output;
}

struct Fit {
    double amplitude = 0.0;  // of the best-fitting sine at the frequency asked
    double phase = 0.0;      // radians at frame 0
    double residual = 0.0;   // RMS of what the sine leaves unexplained
};

// Least-squares sine at `hz` through channel `channel` of `frames`, over
// frames [from, to) at `rate`.
Fit fitSine(const std::vector<float>& frames, int channel, double hz, uint32_t rate, size_t from, size_t to)
{
    double sinSum = 0.0, cosSum = 0.0;
    for (size_t n = from; n < to; ++n) {
        const double angle = 2.0 * PI * hz * double(n) / rate;
        sinSum += frames[2 * n + channel] * std::sin(angle);
        cosSum += frames[2 * n + channel] * std::cos(angle);
    }
    const double count = double(to - from);
    const double a = 2.0 * sinSum / count, b = 2.0 * cosSum / count;
    Fit fit;
    fit.amplitude = std::hypot(a, b);
    fit.phase = std::atan2(b, a);
    double error = 0.0;
    for (size_t n = from; n < to; ++n) {
        const double angle = 2.0 * PI * hz * double(n) / rate;
        const double d = frames[2 * n + channel] - (a * std::sin(angle) + b * std::cos(angle));
        error += d * d;
    }
    fit.residual = std::sqrt(error / count);
    return fit;
}

double rms(const std::vector<float>& frames, int channel, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t n = from; n < to; ++n)
        sum += double(frames[2 * n + channel]) * frames[2 * n + channel];
    return std::sqrt(sum / double(to - from));
}

TEST(SampleRateConverter, SineKeepsItsFrequencyAndAmplitudeFrom48000To44100)
{
    const std::vector<float> out = convert(48000, 44100, {1000.0, 0.5}, {6000.0, 0.25}, 1.0);
    const size_t frames = out.size() / 2;
    ASSERT_GT(frames, 40000u);
    // Skip the start, where the filter meets the silence before the tone.
    const size_t from = 1000, to = frames - 1000;
    const Fit left = fitSine(out, 0, 1000.0, 44100, from, to);
    EXPECT_NEAR(0.5, left.amplitude, 0.005);
    EXPECT_LT(left.residual, 0.002) << "not a clean 1 kHz sine at 44100 Hz";
    const Fit right = fitSine(out, 1, 6000.0, 44100, from, to);
    EXPECT_NEAR(0.25, right.amplitude, 0.0025);
    EXPECT_LT(right.residual, 0.002) << "not a clean 6 kHz sine at 44100 Hz";
    // The output's frame 0 is the input's time 0: no shift in time.
    EXPECT_NEAR(0.0, left.phase, 0.01);
}

TEST(SampleRateConverter, UpsamplingKeepsTheToneAndTime)
{
    const std::vector<float> out = convert(22050, 44100, {440.0, 0.8}, {5000.0, 0.3}, 1.0);
    const size_t frames = out.size() / 2;
    ASSERT_GT(frames, 43000u);
    const Fit left = fitSine(out, 0, 440.0, 44100, 1000, frames - 1000);
    EXPECT_NEAR(0.8, left.amplitude, 0.008);
    EXPECT_LT(left.residual, 0.002);
    EXPECT_NEAR(0.0, left.phase, 0.01);
    const Fit right = fitSine(out, 1, 5000.0, 44100, 1000, frames - 1000);
    EXPECT_NEAR(0.3, right.amplitude, 0.003);
}

TEST(SampleRateConverter, WhatTheTargetRateCannotCarryDoesNotFoldBack)
{
    // 23 kHz lies above 44100 Hz's Nyquist frequency; kept, it would sound
    // at 21.1 kHz.
    const std::vector<float> out = convert(48000, 44100, {23000.0, 0.5}, {1000.0, 0.5}, 0.5);
    const size_t frames = out.size() / 2;
    ASSERT_GT(frames, 20000u);
    EXPECT_LT(rms(out, 0, 1000, frames - 1000), 0.005);
    EXPECT_NEAR(0.5 / std::sqrt(2.0), rms(out, 1, 1000, frames - 1000), 0.005);
}

TEST(SampleRateConverter, OutputCountFollowsTheRateRatioAndClearDropsEverything)
{
    AudioOutConverter* converter = audioOutConverterCreate(48000, 44100);
    ASSERT_NE(nullptr, converter);
    EXPECT_EQ(0, audioOutConverterAvailable(converter));
    std::vector<float> silence(48000 * 2, 0.25f);
    std::vector<float> taken(48000 * 2);
    long long total = 0;
    for (int second = 0; second < 10; ++second) {
        ASSERT_TRUE(audioOutConverterPut(converter, silence.data(), 48000));
        total += audioOutConverterGet(converter, taken.data(), 48000);
    }
    // 441000 frames in ten seconds, less what waits for the filter's look-ahead.
    EXPECT_LE(total, 441000);
    EXPECT_GE(total, 441000 - 200);
    // A constant goes through unchanged.
    EXPECT_NEAR(0.25f, taken[2 * 1000], 1e-5f);

    audioOutConverterClear(converter);
    EXPECT_EQ(0, audioOutConverterAvailable(converter));
    audioOutConverterFree(converter);
}

TEST(SampleRateConverter, RefusesAZeroRate)
{
    EXPECT_EQ(nullptr, audioOutConverterCreate(0, 44100));
    EXPECT_EQ(nullptr, audioOutConverterCreate(44100, 0));
}

}  // namespace
