// The sample-rate converter of the backends whose output has none of its
// own (Windows, the browser): a windowed-sinc
// resampler on stereo float frames. Output frame n sits at input time
// n * from / to, kept as an exact fraction (an input index and a remainder
// counted in 1/to), so that a long stream never drifts. Each output frame is
// the sum of 2 * halfTaps input frames around that time weighted by a
// Kaiser-windowed sinc whose cut-off lies just below the lower of the two
// Nyquist frequencies; the weights come from a table of phases made once.
#include "platform/audio_out.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

constexpr int BASE_HALF_TAPS = 48;    // input frames on each side when not narrowing the band
constexpr int MAX_HALF_TAPS = 256;
constexpr uint32_t MAX_PHASES = 4096;  // finer than this the time is rounded
constexpr double PASSBAND = 0.95;     // cut-off, as a share of the lower Nyquist frequency
constexpr double KAISER_BETA = 8.0;   // about 80 dB of stop-band attenuation
constexpr double PI = 3.14159265358979323846;

// The zeroth-order modified Bessel function of the first kind, by its series.
double besselI0(double x)
{
    double sum = 1.0, term = 1.0;
    const double quarterSquare = x * x / 4.0;
    for (int k = 1; k < 64 && term > sum * 1e-17; ++k) {
        term *= quarterSquare / (double(k) * double(k));
        sum += term;
    }
    return sum;
}

}  // namespace

struct AudioOutConverter {
    uint32_t from = 0;         // reduced source rate: input frames per `to` output frames
    uint32_t to = 0;           // reduced target rate
    int halfTaps = 0;          // input frames on each side of an output frame's time
    uint32_t phases = 0;       // rows of the weight table
    std::vector<float> weights;  // phases x (2 * halfTaps)
    std::vector<float> input;    // interleaved stereo frames not yet used up
    size_t centre = 0;           // input frame at or just before the next output's time
    uint64_t remainder = 0;      // the next output's time past `centre`, in 1/to of a frame

    void reset()
    {
        // Silence before the first frame, so that the first output frame
        // lies on the first input frame.
        input.assign(static_cast<size_t>(halfTaps) * AUDIO_OUT_CHANNELS, 0.0f);
        centre = static_cast<size_t>(halfTaps);
        remainder = 0;
    }
    size_t frames() const { return input.size() / AUDIO_OUT_CHANNELS; }
};

namespace {

void buildWeights(AudioOutConverter& converter)
{
    const double cutoff = PASSBAND * std::min(1.0, double(converter.to) / double(converter.from));
    converter.halfTaps = std::min(MAX_HALF_TAPS, static_cast<int>(std::ceil(BASE_HALF_TAPS / cutoff)));
    converter.phases = std::min(converter.to, MAX_PHASES);
    const int taps = 2 * converter.halfTaps;
    const double windowNorm = besselI0(KAISER_BETA);
    converter.weights.resize(size_t(converter.phases) * taps);
    for (uint32_t phase = 0; phase < converter.phases; ++phase) {
        const double offset = double(phase) / converter.phases;
        float* row = &converter.weights[size_t(phase) * taps];
        double sum = 0.0;
        for (int j = 0; j < taps; ++j) {
            const double x = (j - converter.halfTaps + 1) - offset;  // input frames from the output's time
            const double u = x / converter.halfTaps;
            const double window = std::fabs(u) >= 1.0 ? 0.0
                                                      : besselI0(KAISER_BETA * std::sqrt(1.0 - u * u)) / windowNorm;
            const double arg = PI * cutoff * x;
            const double sinc = x == 0.0 ? 1.0 : std::sin(arg) / arg;
            const double weight = cutoff * sinc * window;
            row[j] = static_cast<float>(weight);
            sum += weight;
        }
        // Each row passes a constant through unchanged.
        for (int j = 0; j < taps; ++j)
            row[j] = static_cast<float>(row[j] / sum);
    }
}

// Drops the input frames no output needs any more.
void dropUsedInput(AudioOutConverter& converter)
{
    const size_t firstNeeded = converter.centre + 1 - static_cast<size_t>(converter.halfTaps);
    if (firstNeeded == 0)
        return;
    converter.input.erase(converter.input.begin(),
                          converter.input.begin() + static_cast<ptrdiff_t>(firstNeeded * AUDIO_OUT_CHANNELS));
    converter.centre -= firstNeeded;
}

}  // namespace

AudioOutConverter* audioOutConverterCreate(uint32_t fromRate, uint32_t toRate)
{
    if (fromRate == 0 || toRate == 0)
        return nullptr;
    const uint32_t common = std::gcd(fromRate, toRate);
    auto* converter = new AudioOutConverter;
    converter->from = fromRate / common;
    converter->to = toRate / common;
    buildWeights(*converter);
    // Room for a few of the engine's blocks without growing on the audio thread.
    converter->input.reserve(size_t(16384 + 2 * converter->halfTaps) * AUDIO_OUT_CHANNELS);
    converter->reset();
    return converter;
}

void audioOutConverterFree(AudioOutConverter* converter)
{
    delete converter;
}

bool audioOutConverterPut(AudioOutConverter* converter, const float* frames, int frameCount)
{
    if (frameCount < 0)
        return false;
    dropUsedInput(*converter);
    converter->input.insert(converter->input.end(), frames, frames + size_t(frameCount) * AUDIO_OUT_CHANNELS);
    return true;
}

int audioOutConverterAvailable(AudioOutConverter* converter)
{
    // Output n needs input up to centre(n) + halfTaps, where centre(n) is
    // centre + (remainder + n * from) / to.
    const int64_t lastCentre = int64_t(converter->frames()) - converter->halfTaps - 1;
    const int64_t ahead = lastCentre - int64_t(converter->centre);
    if (ahead < 0)
        return 0;
    const uint64_t span = uint64_t(ahead + 1) * converter->to - 1 - converter->remainder;
    const uint64_t count = span / converter->from + 1;
    return static_cast<int>(std::min<uint64_t>(count, 1u << 30));
}

int audioOutConverterGet(AudioOutConverter* converter, float* frames, int frameCount)
{
    const int count = std::min(frameCount, audioOutConverterAvailable(converter));
    const int taps = 2 * converter->halfTaps;
    for (int n = 0; n < count; ++n) {
        const uint32_t phase = static_cast<uint32_t>(converter->remainder * converter->phases / converter->to);
        const float* row = &converter->weights[size_t(phase) * taps];
        const float* first = &converter->input[(converter->centre + 1 - converter->halfTaps) * AUDIO_OUT_CHANNELS];
        float left = 0.0f, right = 0.0f;
        for (int j = 0; j < taps; ++j) {
            left += row[j] * first[2 * j];
            right += row[j] * first[2 * j + 1];
        }
        frames[2 * n] = left;
        frames[2 * n + 1] = right;
        converter->remainder += converter->from;
        converter->centre += converter->remainder / converter->to;
        converter->remainder %= converter->to;
    }
    return count;
}

void audioOutConverterClear(AudioOutConverter* converter)
{
    converter->reset();
}
