#include "audio/spectrum.h"

#include <fftw3.h>

#include <cmath>

namespace {

constexpr int N = SPECTRUM_FFT_SIZE;
// Not every C library defines M_PI (mingw-w64 does not in strict ISO mode).
constexpr double PI = 3.14159265358979323846;
// |X[k]| * 2 / (N * 0.5): negative frequencies folded in, the Hann window's
// coherent gain of one half undone.
constexpr float AMPLITUDE_SCALE = 2.0f / (static_cast<float>(N) * 0.5f);

// One plan for the process, made on first use. A function-local static is
// built exactly once even when two threads arrive together, which keeps the
// (not thread-safe) planner to one call; executing the plan on the caller's
// own arrays is thread safe. FFTW_UNALIGNED lets those arrays live on the
// stack, so a frame's spectrum allocates nothing.
struct SpectrumPlan {
    fftwf_plan plan = nullptr;
    float window[N];  // periodic Hann

    SpectrumPlan()
    {
        float* in = fftwf_alloc_real(N);
        fftwf_complex* out = fftwf_alloc_complex(N / 2 + 1);
        plan = fftwf_plan_dft_r2c_1d(N, in, out, FFTW_ESTIMATE | FFTW_UNALIGNED);
        fftwf_free(out);
        fftwf_free(in);
        for (int n = 0; n < N; ++n)
            window[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * PI * n / N));
    }
    ~SpectrumPlan() { fftwf_destroy_plan(plan); }
};

const SpectrumPlan& spectrumPlan()
{
    static const SpectrumPlan plan;
    return plan;
}

// Mono (channels averaged) frame `frame`, or silence outside the signal.
float monoFrame(const float* samples, size_t frameCount, int channels, int64_t frame)
{
    if (frame < 0 || static_cast<uint64_t>(frame) >= frameCount)
        return 0.0f;
    const float* first = samples + static_cast<size_t>(frame) * channels;
    float sum = 0.0f;
    for (int c = 0; c < channels; ++c)
        sum += first[c];
    return sum / static_cast<float>(channels);
}

}  // namespace

void computeSpectrum(const float* samples, size_t frameCount, int channels,
                     size_t cursor, float out[SPECTRUM_BIN_COUNT])
{
    const SpectrumPlan& plan = spectrumPlan();
    if (!samples || channels <= 0)
        frameCount = 0;
    if (channels <= 0)
        channels = 1;

    float windowed[N];
    const int64_t oldest = static_cast<int64_t>(cursor) - N;
    for (int n = 0; n < N; ++n)
        windowed[n] = monoFrame(samples, frameCount, channels, oldest + n) * plan.window[n];

    fftwf_complex bins[N / 2 + 1];
    fftwf_execute_dft_r2c(plan.plan, windowed, bins);

    for (int k = 0; k < SPECTRUM_BIN_COUNT; ++k) {
        const float re = bins[k][0];
        const float im = bins[k][1];
        out[k] = std::sqrt(re * re + im * im) * AMPLITUDE_SCALE;
    }
}
