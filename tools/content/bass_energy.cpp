#include "bass_energy.h"

#include "synth.h"

#include <cmath>

std::vector<float> bassEnergyPerFrame(const std::vector<float>& left,
                                      const std::vector<float>& right,
                                      double framesPerSecond)
{
    constexpr int N = 1024;
    constexpr int BINS = 10;
    static float window[N], cosine[BINS][N], sine[BINS][N];
    for (int n = 0; n < N; ++n) {
        window[n] = float(0.5 - 0.5 * std::cos(2.0 * 3.141592653589793 * n / N));
        for (int k = 0; k < BINS; ++k) {
            cosine[k][n] = float(std::cos(2.0 * 3.141592653589793 * k * n / N));
            sine[k][n] = float(std::sin(2.0 * 3.141592653589793 * k * n / N));
        }
    }
    const double total = double(left.size());
    std::vector<float> energy;
    float block[N];
    for (long frame = 0;; ++frame) {
        const double cursor = std::round(double(frame) / framesPerSecond * SAMPLE_RATE);
        if (cursor > total) {
            break;
        }
        const long end = long(cursor);
        for (int n = 0; n < N; ++n) {
            const long at = end - N + n;
            block[n] = at >= 0 ? 0.5f * (left[size_t(at)] + right[size_t(at)]) * window[n] : 0.0f;
        }
        float sum = 0.0f;
        for (int k = 0; k < BINS; ++k) {
            float re = 0.0f, im = 0.0f;
            for (int n = 0; n < N; ++n) {
                re += block[n] * cosine[k][n];
                im -= block[n] * sine[k][n];
            }
            sum += std::sqrt(re * re + im * im) * (2.0f / (N * 0.5f));
        }
        energy.push_back(sum / float(BINS));
    }
    return energy;
}
