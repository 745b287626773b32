// Finding the soundtrack in a recording of what was played: ffmpeg's decode
// of it as the independent reference, where a stretch of it lies in the
// recording, how closely the recording follows it from there, and the spread
// of a set of time differences. For the suites that record the show's sound
// (through a sound server, or inside a browser page).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Interleaved stereo float samples from a raw f32le file (empty when unreadable).
std::vector<float> readFloatFile(const std::string& path);

// ffmpeg's decode of `music` to stereo float at `rate` Hz, written through
// `scratchFile`; empty with `errors` set when it fails.
std::vector<float> decodeWithFfmpeg(const std::string& music, const std::string& scratchFile, int rate,
                                    std::string& errors);

struct SoundMatch {
    long offset = 0;         // recording frame minus soundtrack frame
    double correlation = 0;  // normalised, over half a second from there
};
// Looks for soundtrack frames from `seconds` on in the recording, at a few
// places a third of a second apart (a gap from an underrun spoils one place,
// not all), and compares half a second from each sample for sample; the
// best match, printed with `what`. Correlation 0 when nothing fits.
SoundMatch findSoundtrack(const std::vector<float>& recording, const std::vector<float>& reference, double seconds,
                          int rate, const char* what);

// Every 10 ms window of soundtrack frames [from, to) against the recording
// `offset` frames later: a window is broken where the recording is not the
// soundtrack there (correlation under 0.99 where the soundtrack is audible,
// sound where it is silent, or no recording at all).
struct StretchCheck {
    size_t windows = 0;
    size_t broken = 0;
    long firstBroken = -1;  // soundtrack frame of the first broken window
    double worst = 1.0;     // lowest correlation of an audible window
};
StretchCheck checkStretch(const std::vector<float>& recording, const std::vector<float>& reference, long offset,
                          size_t from, size_t to, int rate);

// Median and 10th and 90th percentiles of a set of values (all 0 when empty).
struct Spread {
    double median = 0, low = 0, high = 0;
    size_t count = 0;
};
Spread spreadOf(std::vector<double> values);
