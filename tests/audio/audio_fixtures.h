// Sounds made on the spot for the audio tests: PCM signals, MP3 files
// encoded with LAME and a minimal four-channel tracker module, to be written
// into a scratch folder (support/scratch_folder.h) that is removed when the
// test ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

constexpr uint32_t TEST_RATE = 44100;  // Hz

// Frequency (Hz) at the centre of spectrum bin `bin` for `rate`.
double binCentreHz(int bin, uint32_t rate = TEST_RATE);

// Interleaved stereo sine: `frames` frames, same signal on both channels
// unless `oppositeChannels`, which puts -x on the right.
std::vector<float> stereoSine(size_t frames, double hz, float amplitude, bool oppositeChannels = false,
                              uint32_t rate = TEST_RATE);

// Encodes interleaved stereo float PCM as a CBR MP3 with a LAME header (so a
// gapless decoder gives back exactly `frames` frames). Empty on failure.
std::vector<uint8_t> encodeMp3(const std::vector<float>& stereo, uint32_t rate);

// A ProTracker "M.K." module: one looped sine sample, one pattern whose first
// row starts it on channel 1; about 7.7 s long.
std::vector<uint8_t> makeMinimalModule();
