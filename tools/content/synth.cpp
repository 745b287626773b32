#include "synth.h"

#include <algorithm>
#include <cmath>
#include <deque>

float noteFrequency(int midiNote)
{
    return float(440.0 * std::pow(2.0, (midiNote - 69) / 12.0));
}

namespace {

// Correction around a step of height 2 at phase 0 (and 1), t in 0..1.
float polyBlep(float t, float dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
        t = (t - 1.0f) / dt;
        return t * t + t + t + 1.0f;
    }
    return 0.0f;
}

}  // namespace

float BlepOscillator::next(float frequency, bool square)
{
    const float dt = frequency / float(SAMPLE_RATE);
    float value;
    if (square) {
        value = phase < 0.5f ? 1.0f : -1.0f;
        value += polyBlep(phase, dt);
        float shifted = phase + 0.5f;
        if (shifted >= 1.0f) {
            shifted -= 1.0f;
        }
        value -= polyBlep(shifted, dt);
    } else {
        value = 2.0f * phase - 1.0f - polyBlep(phase, dt);
    }
    phase += dt;
    if (phase >= 1.0f) {
        phase -= 1.0f;
    }
    return value;
}

void StateVariableFilter::set(float cutoffHz, float resonance)
{
    cutoffHz = std::clamp(cutoffHz, 10.0f, 0.45f * float(SAMPLE_RATE));
    const float g = float(std::tan(double(PI_F) * cutoffHz / SAMPLE_RATE));
    k = 2.0f - 2.0f * std::clamp(resonance, 0.0f, 0.98f);
    a1 = 1.0f / (1.0f + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
}

void StateVariableFilter::process(float in, float& low, float& band, float& high)
{
    const float v3 = in - ic2;
    const float v1 = a1 * ic1 + a2 * v3;
    const float v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0f * v1 - ic1;
    ic2 = 2.0f * v2 - ic2;
    low = v2;
    band = v1;
    high = in - k * v1 - v2;
}

float StateVariableFilter::lowPass(float in)
{
    float low, band, high;
    process(in, low, band, high);
    return low;
}

float StateVariableFilter::highPass(float in)
{
    float low, band, high;
    process(in, low, band, high);
    return high;
}

void OnePole::set(float cutoffHz)
{
    coefficient = 1.0f - float(std::exp(-2.0 * double(PI_F) * cutoffHz / SAMPLE_RATE));
}

void pingPongDelay(const std::vector<float>& send, std::vector<float>& left,
                   std::vector<float>& right, int delayFrames, float feedback, float wet)
{
    std::vector<float> lineL(size_t(delayFrames), 0.0f), lineR(size_t(delayFrames), 0.0f);
    OnePole tone;
    tone.set(3500.0f);
    size_t at = 0;
    for (size_t i = 0; i < send.size(); ++i) {
        const float outL = lineL[at];
        const float outR = lineR[at];
        // The left line feeds the right one and back: echoes alternate sides.
        lineL[at] = send[i] + tone.lowPass(outR) * feedback;
        lineR[at] = outL;
        left[i] += wet * outL;
        right[i] += wet * outR;
        at = at + 1 == lineL.size() ? 0 : at + 1;
    }
}

namespace {

struct Comb {
    std::vector<float> line;
    size_t at = 0;
    float store = 0.0f;
    float process(float in, float feedback, float damping)
    {
        const float out = line[at];
        store = out * (1.0f - damping) + store * damping;
        line[at] = in + store * feedback;
        at = at + 1 == line.size() ? 0 : at + 1;
        return out;
    }
};

struct AllPass {
    std::vector<float> line;
    size_t at = 0;
    float process(float in)
    {
        const float delayed = line[at];
        const float out = delayed - in;
        line[at] = in + delayed * 0.5f;
        at = at + 1 == line.size() ? 0 : at + 1;
        return out;
    }
};

void reverbSide(const std::vector<float>& send, std::vector<float>& out, int spread,
                float roomSize, float damping, float wet)
{
    static const int COMB_LENGTHS[6] = {1116, 1188, 1277, 1356, 1422, 1491};
    static const int ALLPASS_LENGTHS[3] = {556, 441, 341};
    Comb combs[6];
    AllPass allPasses[3];
    for (int i = 0; i < 6; ++i) {
        combs[i].line.assign(size_t(COMB_LENGTHS[i] + spread), 0.0f);
    }
    for (int i = 0; i < 3; ++i) {
        allPasses[i].line.assign(size_t(ALLPASS_LENGTHS[i] + spread), 0.0f);
    }
    const float feedback = 0.7f + 0.28f * roomSize;
    for (size_t i = 0; i < send.size(); ++i) {
        const float in = send[i] * 0.15f;
        float sum = 0.0f;
        for (Comb& comb : combs) {
            sum += comb.process(in, feedback, damping);
        }
        for (AllPass& allPass : allPasses) {
            sum = allPass.process(sum);
        }
        out[i] += wet * sum;
    }
}

}  // namespace

void reverb(const std::vector<float>& send, std::vector<float>& left,
            std::vector<float>& right, float roomSize, float damping, float wet)
{
    reverbSide(send, left, 0, roomSize, damping, wet);
    reverbSide(send, right, 23, roomSize, damping, wet);
}

void limit(std::vector<float>& left, std::vector<float>& right, float ceiling,
           float lookAheadSeconds, float releaseSeconds)
{
    const size_t n = left.size();
    const size_t lookAhead = size_t(lookAheadSeconds * SAMPLE_RATE);
    // Gain each sample needs on its own.
    std::vector<float> needed(n);
    for (size_t i = 0; i < n; ++i) {
        const float peak = std::max(std::fabs(left[i]), std::fabs(right[i]));
        needed[i] = peak > ceiling ? ceiling / peak : 1.0f;
    }
    // Minimum over the look-ahead window ahead of each sample (monotonic deque).
    std::vector<float> held(n);
    std::deque<size_t> window;
    for (size_t j = 0; j < n + lookAhead; ++j) {
        if (j < n) {
            while (!window.empty() && needed[window.back()] >= needed[j]) {
                window.pop_back();
            }
            window.push_back(j);
        }
        if (j >= lookAhead) {
            const size_t i = j - lookAhead;
            while (window.front() < i) {
                window.pop_front();
            }
            held[i] = needed[window.front()];
        }
    }
    // Slow recovery, never above what the window needs.
    const float release = 1.0f - float(std::exp(-1.0 / (releaseSeconds * SAMPLE_RATE)));
    float gain = 1.0f;
    for (size_t i = 0; i < n; ++i) {
        gain = std::min(held[i], gain + (1.0f - gain) * release);
        held[i] = gain;
    }
    // A moving average over the look-ahead ramps the gain in smoothly; every
    // value it averages already covers the sample, so peaks stay below.
    double sum = 0.0;
    std::vector<float> history(lookAhead + 1, 1.0f);
    size_t at = 0;
    sum = double(lookAhead + 1);
    for (size_t i = 0; i < n; ++i) {
        sum += double(held[i]) - double(history[at]);
        history[at] = held[i];
        at = at + 1 == history.size() ? 0 : at + 1;
        const float g = std::min(float(sum / double(lookAhead + 1)), held[i]);
        left[i] *= g;
        right[i] *= g;
    }
}
