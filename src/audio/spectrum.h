// The spectrum of "what is playing": the 1024 most recent frames before a
// play cursor, channels averaged to mono, Hann-windowed, transformed with
// FFTW, 512 magnitudes.
//
// Scaling: an amplitude spectrum. Bin k = |X[k]| * 2 / (N * 0.5) with N =
// 1024: the 2 folds the negative frequencies in, the 0.5 undoes the Hann
// window's coherent gain. So a sine of amplitude A at a bin centre reads A
// (a full-scale sine reads 1.0) and a full-scale kick drum lifts the mean of
// bins 0..9 to about 0.2. Bin 0 (DC) is scaled the same way.
// Frames before the start of the signal count as silence.
//
// Pure function; any thread. Needs no audio device.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int SPECTRUM_FFT_SIZE = 1024;
constexpr int SPECTRUM_BIN_COUNT = 512;

// `samples`: interleaved PCM, `frameCount` frames of `channels` channels.
// `cursor`: the frame index just after the newest frame to analyse.
void computeSpectrum(const float* samples, size_t frameCount, int channels,
                     size_t cursor, float out[SPECTRUM_BIN_COUNT]);
