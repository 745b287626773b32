#include "support/sound_match.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "support/x_session.h"

namespace {

// Normalised correlation of `count` stereo frames of a and b.
double correlation(const float* a, const float* b, size_t count)
{
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < 2 * count; ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The stereo frame of `recording` where reference frames [from, from + n)
// fit best, by the left channel over a short stretch; -1 when none fits.
long findInRecording(const std::vector<float>& recording, const std::vector<float>& reference, size_t from,
                     size_t n)
{
    const size_t frames = recording.size() / 2;
    if (reference.size() / 2 < from + n || frames < n)
        return -1;
    long best = -1;
    double bestScore = 0.5;
    for (size_t at = 0; at + n <= frames; ++at) {
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 0; i < n; ++i) {
            const double a = recording[2 * (at + i)];
            const double b = reference[2 * (from + i)];
            ab += a * b;
            aa += a * a;
            bb += b * b;
        }
        const double score = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
        if (score > bestScore) {
            bestScore = score;
            best = static_cast<long>(at);
        }
    }
    return best;
}

// The loudest stretch of n reference frames in [from, to): one to look for.
size_t loudestStretch(const std::vector<float>& reference, size_t from, size_t to, size_t n)
{
    size_t best = from;
    double bestEnergy = -1;
    for (size_t at = from; at + n <= to && 2 * (at + n) <= reference.size(); at += n / 2) {
        double energy = 0;
        for (size_t i = 0; i < 2 * n; ++i)
            energy += double(reference[2 * at + i]) * reference[2 * at + i];
        if (energy > bestEnergy) {
            bestEnergy = energy;
            best = at;
        }
    }
    return best;
}

}  // namespace

std::vector<float> readFloatFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::copy(bytes.begin(), bytes.begin() + samples.size() * sizeof(float), reinterpret_cast<char*>(samples.data()));
    return samples;
}

std::vector<float> decodeWithFfmpeg(const std::string& music, const std::string& scratchFile, int rate,
                                    std::string& errors)
{
    int status = 0;
    errors = runCommand({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", music, "-f", "f32le", "-ac", "2", "-ar",
                         std::to_string(rate), scratchFile},
                        {}, std::chrono::seconds(120), status);
    std::vector<float> pcm = readFloatFile(scratchFile);
    std::remove(scratchFile.c_str());
    if (status != 0 && errors.empty())
        errors = "ffmpeg failed (status " + std::to_string(status) + ")";
    return status == 0 ? pcm : std::vector<float>();
}

SoundMatch findSoundtrack(const std::vector<float>& recording, const std::vector<float>& reference, double seconds,
                          int rate, const char* what)
{
    const size_t stretch = rate / 50;
    const size_t length = rate / 2;
    SoundMatch best;
    for (int place = 0; place < 4; ++place) {
        const double start = seconds + place / 3.0;
        const size_t from = loudestStretch(reference, size_t(start * rate), size_t((start + 0.3) * rate), stretch);
        const long at = findInRecording(recording, reference, from, stretch);
        if (at < 0 || size_t(at) + length > recording.size() / 2 || 2 * (from + length) > reference.size())
            continue;
        const double r = correlation(recording.data() + 2 * at, reference.data() + 2 * from, length);
        std::printf("%s: soundtrack frame %zu found at recording frame %ld, correlation over 0.5 s %.6f\n", what,
                    from, at, r);
        if (r > best.correlation) {
            best.offset = at - static_cast<long>(from);
            best.correlation = r;
        }
    }
    return best;
}

StretchCheck checkStretch(const std::vector<float>& recording, const std::vector<float>& reference, long offset,
                          size_t from, size_t to, int rate)
{
    const size_t window = static_cast<size_t>(rate) / 100;
    // Below this root mean square a window is silence (the soundtrack's
    // quietest audible stretches lie far above it).
    constexpr double SILENT_RMS = 1e-3;
    StretchCheck check;
    for (size_t at = from; at + window <= to; at += window) {
        ++check.windows;
        const long heardAt = static_cast<long>(at) + offset;
        bool broken = heardAt < 0 || 2 * (size_t(heardAt) + window) > recording.size() ||
                      2 * (at + window) > reference.size();
        if (!broken) {
            const float* heard = recording.data() + 2 * heardAt;
            const float* expected = reference.data() + 2 * at;
            double energy = 0, heardEnergy = 0;
            for (size_t i = 0; i < 2 * window; ++i) {
                energy += double(expected[i]) * expected[i];
                heardEnergy += double(heard[i]) * heard[i];
            }
            if (std::sqrt(energy / (2 * window)) < SILENT_RMS) {
                broken = std::sqrt(heardEnergy / (2 * window)) > 2 * SILENT_RMS;
            } else {
                const double r = correlation(heard, expected, window);
                check.worst = std::min(check.worst, r);
                broken = r < 0.99;
            }
        }
        if (broken && check.broken++ == 0)
            check.firstBroken = static_cast<long>(at);
    }
    return check;
}

Spread spreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values[values.size() / 10], values[values.size() * 9 / 10], values.size()};
}
