// Sounds made on the spot for the audio tests: PCM signals, MP3 files
// encoded with LAME, a minimal four-channel tracker module, and a scratch
// folder that is removed when the test ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::string& path() const { return path_; }
    // Writes `bytes` to `name` inside the folder (creating subfolders);
    // returns the file's absolute path.
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;

private:
    std::string path_;
};
