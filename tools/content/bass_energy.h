// The show's bass energy of a stereo mix, frame by frame, measured exactly
// as the show measures it while it plays: the spectrum of "what is playing"
// (audio/spectrum.h) at the frame's play cursor, reduced to the mean of its
// bass bins (show/scene.h). The soundtrack generator checks its own mix with
// it before encoding.
// Pure; single-threaded tool code.
#pragma once

#include <vector>

// One value per frame of `framesPerSecond`, frame i at cursor
// round(i / framesPerSecond * sample rate), up to the end of the buffers.
std::vector<float> bassEnergyPerFrame(const std::vector<float>& left,
                                      const std::vector<float>& right,
                                      double framesPerSecond);
