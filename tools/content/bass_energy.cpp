#include "bass_energy.h"

#include "synth.h"

#include "audio/spectrum.h"
#include "show/scene.h"

#include <algorithm>
#include <cmath>

std::vector<float> bassEnergyPerFrame(const std::vector<float>& left,
                                      const std::vector<float>& right,
                                      double framesPerSecond)
{
    const size_t frameCount = std::min(left.size(), right.size());
    std::vector<float> interleaved(frameCount * 2);
    for (size_t i = 0; i < frameCount; ++i) {
        interleaved[2 * i] = left[i];
        interleaved[2 * i + 1] = right[i];
    }
    std::vector<float> energy;
    float spectrum[SPECTRUM_BIN_COUNT];
    for (long frame = 0;; ++frame) {
        const double cursor = std::round(double(frame) / framesPerSecond * SAMPLE_RATE);
        if (cursor > double(frameCount)) {
            break;
        }
        computeSpectrum(interleaved.data(), frameCount, 2, size_t(cursor), spectrum);
        energy.push_back(bassEnergy(spectrum));
    }
    return energy;
}
