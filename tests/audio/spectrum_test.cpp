#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "audio/spectrum.h"
#include "audio_fixtures.h"

namespace {

struct Spectrum {
    float bins[SPECTRUM_BIN_COUNT];
    int peak() const { return static_cast<int>(std::max_element(bins, bins + SPECTRUM_BIN_COUNT) - bins); }
    float largest() const { return *std::max_element(bins, bins + SPECTRUM_BIN_COUNT); }
};

Spectrum spectrumOf(const std::vector<float>& pcm, int channels, size_t cursor)
{
    Spectrum s;
    std::fill(s.bins, s.bins + SPECTRUM_BIN_COUNT, -1.0f);
    computeSpectrum(pcm.data(), pcm.size() / channels, channels, cursor, s.bins);
    return s;
}

}  // namespace

TEST(Spectrum, SineAtBinCentreReadsItsAmplitude)
{
    for (int bin : {3, 37, 200}) {
        auto pcm = stereoSine(4096, binCentreHz(bin), 0.8f);
        Spectrum s = spectrumOf(pcm, 2, 3000);
        EXPECT_NEAR(s.bins[bin], 0.8f, 0.008f) << "bin " << bin;
        EXPECT_EQ(s.peak(), bin);
        // The Hann window keeps a bin-centre tone to its bin and the two beside it.
        for (int k = 0; k < SPECTRUM_BIN_COUNT; ++k) {
            if (std::abs(k - bin) > 1) {
                ASSERT_LT(s.bins[k], 1e-3f) << "tone " << bin << " leaks into bin " << k;
            }
        }
    }
}

TEST(Spectrum, SilenceAndCancellingChannelsGiveZeros)
{
    std::vector<float> silence(2 * 4096, 0.0f);
    EXPECT_EQ(spectrumOf(silence, 2, 2048).largest(), 0.0f);

    auto opposite = stereoSine(4096, binCentreHz(37), 0.8f, true);
    EXPECT_LT(spectrumOf(opposite, 2, 2048).largest(), 1e-6f);
}

TEST(Spectrum, MonoMatchesTheSameSignalOnBothChannels)
{
    auto stereo = stereoSine(2048, binCentreHz(11), 0.5f);
    std::vector<float> mono(stereo.size() / 2);
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = stereo[2 * i];
    Spectrum a = spectrumOf(stereo, 2, 1500);
    Spectrum b = spectrumOf(mono, 1, 1500);
    for (int k = 0; k < SPECTRUM_BIN_COUNT; ++k)
        ASSERT_FLOAT_EQ(a.bins[k], b.bins[k]) << k;
}

TEST(Spectrum, AnalysesTheFramesJustBeforeTheCursor)
{
    // One tone for the first 4096 frames, another after.
    auto first = stereoSine(4096, binCentreHz(20), 0.5f);
    auto second = stereoSine(4096, binCentreHz(90), 0.5f);
    std::vector<float> pcm = first;
    pcm.insert(pcm.end(), second.begin(), second.end());

    EXPECT_EQ(spectrumOf(pcm, 2, 4096).peak(), 20);
    EXPECT_EQ(spectrumOf(pcm, 2, 4096 + 1024).peak(), 90);
    // Straddling the change: both tones, each with about half the window.
    Spectrum both = spectrumOf(pcm, 2, 4096 + 512);
    EXPECT_GT(both.bins[20], 0.1f);
    EXPECT_GT(both.bins[90], 0.1f);
}

TEST(Spectrum, FramesOutsideTheSignalCountAsSilence)
{
    auto pcm = stereoSine(4096, binCentreHz(37), 0.8f);
    EXPECT_EQ(spectrumOf(pcm, 2, 0).largest(), 0.0f);
    EXPECT_EQ(spectrumOf(pcm, 2, 4096 + 1024).largest(), 0.0f);
    EXPECT_EQ(spectrumOf(pcm, 2, 1u << 30).largest(), 0.0f);
    // Half a window of signal still shows the tone, weaker.
    Spectrum half = spectrumOf(pcm, 2, 512);
    EXPECT_EQ(half.peak(), 37);
    EXPECT_LT(half.bins[37], 0.6f);
    EXPECT_GT(half.bins[37], 0.2f);
    // No samples at all: zeros, not a crash.
    float out[SPECTRUM_BIN_COUNT];
    computeSpectrum(nullptr, 0, 2, 5000, out);
    EXPECT_EQ(*std::max_element(out, out + SPECTRUM_BIN_COUNT), 0.0f);
}
