// The show's bass energy of a stereo mix, as the show measures it from its
// spectrum: channels averaged, the 1024 frames before the cursor Hann-
// windowed, bins 0..9 of a 1024-point transform scaled so a sine of
// amplitude A at a bin centre reads A, and their mean. Only the ten bins are
// evaluated (directly), which is all the soundtrack generator needs to
// check its own mix before encoding.
// Pure; single-threaded tool code.
#pragma once

#include <vector>

// One value per frame of `framesPerSecond`, frame i at cursor
// round(i / framesPerSecond * sample rate), up to the end of the buffers.
std::vector<float> bassEnergyPerFrame(const std::vector<float>& left,
                                      const std::vector<float>& right,
                                      double framesPerSecond);
