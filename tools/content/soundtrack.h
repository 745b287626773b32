// The show's soundtrack, composed in code: 125 BPM in A minor (Am F C G),
// with kick, bass, hats, clap, pads, an arpeggio and a lead, a ping-pong
// delay and a reverb, mixed and peak-limited to a float stereo buffer.
// Its sections follow the show's timeline: an intro without kick rising into
// the drop at 11 s, a main part, a breakdown around 36-40 s, the full part,
// a driving part from about 95 s, a lighter part under the credits and an
// outro that fades out with the picture over 145-153 s.
// Single-threaded; the same call always gives the same samples.
#pragma once

#include <vector>

constexpr double SOUNDTRACK_SECONDS = 156.0;
constexpr double DROP_SECONDS = 11.0;      // first downbeat of the kick
constexpr int STEP_FRAMES = 5292;          // a sixteenth note at 125 BPM: 120 ms
constexpr int STEPS_PER_BAR = 16;
constexpr float LIMITER_CEILING = 0.86f;   // about -1.3 dBFS, room for the encoder

struct StereoBuffer {
    std::vector<float> left;   // -1..1
    std::vector<float> right;
};

StereoBuffer renderSoundtrack();
