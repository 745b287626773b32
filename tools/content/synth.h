// Building blocks of the soundtrack's synthesiser: a fixed-seed noise
// source, band-limited oscillators (polyBLEP), a state-variable filter,
// one-pole filters, a stereo feedback delay, a small Schroeder reverb and an
// offline look-ahead peak limiter. Everything works on float samples at
// SAMPLE_RATE; nothing here draws on time or chance beyond its own state, so
// the same calls give the same samples.
// Single-threaded tool code.
#pragma once

#include <cstdint>
#include <vector>

constexpr int SAMPLE_RATE = 44100;       // frames per second
constexpr float PI_F = 3.14159265358979f;

float noteFrequency(int midiNote);  // Hz, A4 = note 69 = 440 Hz

// xorshift32 white noise in -1..1 from a fixed seed.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    float next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return float(state >> 8) * (2.0f / 16777216.0f) - 1.0f;
    }
};

// Band-limited sawtooth or square, polyBLEP-corrected at each discontinuity.
struct BlepOscillator {
    float phase = 0.0f;  // 0..1
    float next(float frequency, bool square);
};

// Topology-preserving state-variable filter (trapezoidal integration).
struct StateVariableFilter {
    float ic1 = 0.0f, ic2 = 0.0f;
    float a1 = 0.0f, a2 = 0.0f, a3 = 0.0f, k = 1.0f;
    void set(float cutoffHz, float resonance);  // resonance 0..~0.95
    // One sample in; low, band and high outputs.
    void process(float in, float& low, float& band, float& high);
    float lowPass(float in);
    float highPass(float in);
};

// One-pole low-pass; its high-pass is the input minus the low-pass.
struct OnePole {
    float state = 0.0f;
    float coefficient = 0.0f;
    void set(float cutoffHz);
    float lowPass(float in) { return state += coefficient * (in - state); }
    float highPass(float in) { return in - lowPass(in); }
};

// Stereo ping-pong delay with a darkened feedback path, over whole buffers:
// reads `send` (mono) and adds the echoes to `left` and `right`.
void pingPongDelay(const std::vector<float>& send, std::vector<float>& left,
                   std::vector<float>& right, int delayFrames, float feedback, float wet);

// Schroeder-style reverb (parallel combs, then all-passes; the right side's
// lines are a little longer for width), over whole buffers.
void reverb(const std::vector<float>& send, std::vector<float>& left,
            std::vector<float>& right, float roomSize, float damping, float wet);

// Look-ahead peak limiter over a whole stereo buffer: no sample ends above
// `ceiling`; gain falls over the look-ahead and recovers with `releaseSeconds`.
void limit(std::vector<float>& left, std::vector<float>& right, float ceiling,
           float lookAheadSeconds, float releaseSeconds);
