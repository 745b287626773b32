// Synthesises the show's soundtrack and encodes it to MP3 with LAME (VBR,
// high quality, 44.1 kHz stereo), with the LAME tag in front so decoders
// trim the encoder's delay. Before encoding it prints what the show will
// see of the mix: its length and peak, when the bass first crosses the beat
// threshold, and the share of beat frames while the kick plays.
//
// Usage: quillmoor_make_music <output.mp3>
#include "bass_energy.h"
#include "soundtrack.h"
#include "synth.h"

#include "show/beat.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double SHOW_FPS = 60.0;
constexpr int ENCODE_CHUNK = 8192;  // frames per call into the encoder

void report(const StereoBuffer& mix)
{
    float peak = 0.0f;
    for (size_t i = 0; i < mix.left.size(); ++i) {
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    }
    const std::vector<float> energy = bassEnergyPerFrame(mix.left, mix.right, SHOW_FPS);
    double firstBeat = -1.0;
    int beats = 0, counted = 0;
    float strongest = 0.0f;
    for (size_t i = 0; i < energy.size(); ++i) {
        const double t = double(i) / SHOW_FPS;
        if (firstBeat < 0.0 && energy[i] > BEAT_THRESHOLD) {
            firstBeat = t;
        }
        if (t >= 11.5 && t < 145.0) {
            ++counted;
            beats += energy[i] > BEAT_THRESHOLD ? 1 : 0;
            strongest = std::max(strongest, energy[i]);
        }
    }
    std::printf("soundtrack: %.2f s, peak %.2f dBFS, first beat frame at %.3f s, "
                "beat frames 11.5-145 s: %.1f%%, strongest %.3f\n",
                double(mix.left.size()) / SAMPLE_RATE, 20.0 * std::log10(double(peak)),
                firstBeat, 100.0 * beats / std::max(counted, 1), double(strongest));
}

bool encode(const StereoBuffer& mix, std::vector<unsigned char>& mp3, std::string& reason)
{
    lame_global_flags* lame = lame_init();
    if (!lame) {
        reason = "encoder could not start";
        return false;
    }
    lame_set_in_samplerate(lame, SAMPLE_RATE);
    lame_set_out_samplerate(lame, SAMPLE_RATE);
    lame_set_num_channels(lame, 2);
    lame_set_mode(lame, JOINT_STEREO);
    lame_set_VBR(lame, vbr_default);
    lame_set_VBR_quality(lame, 2.0f);
    lame_set_quality(lame, 2);
    lame_set_bWriteVbrTag(lame, 1);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        reason = "encoder refused its settings";
        return false;
    }
    const size_t frames = mix.left.size();
    std::vector<unsigned char> chunk(size_t(1.25 * ENCODE_CHUNK) + 7200);
    bool ok = true;
    for (size_t at = 0; at < frames && ok; at += ENCODE_CHUNK) {
        const int count = int(std::min<size_t>(ENCODE_CHUNK, frames - at));
        const int bytes = lame_encode_buffer_ieee_float(lame, &mix.left[at], &mix.right[at], count,
                                                        chunk.data(), int(chunk.size()));
        ok = bytes >= 0;
        if (ok) mp3.insert(mp3.end(), chunk.begin(), chunk.begin() + bytes);
    }
    if (ok) {
        const int bytes = lame_encode_flush(lame, chunk.data(), int(chunk.size()));
        ok = bytes >= 0;
        if (ok) mp3.insert(mp3.end(), chunk.begin(), chunk.begin() + bytes);
    }
    if (ok) {
        // The encoder kept the first frame free for this tag (length, delay, padding).
        const size_t tagBytes = lame_get_lametag_frame(lame, chunk.data(), chunk.size());
        ok = tagBytes > 0 && tagBytes <= mp3.size();
        if (ok) std::copy(chunk.begin(), chunk.begin() + long(tagBytes), mp3.begin());
    }
    lame_close(lame);
    if (!ok) reason = "encoding failed";
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.mp3>\n", argv[0]);
        return 2;
    }
    const StereoBuffer mix = renderSoundtrack();
    report(mix);
    std::vector<unsigned char> mp3;
    std::string reason;
    if (!encode(mix, mp3, reason)) {
        std::fprintf(stderr, "content: %s: %s\n", argv[1], reason.c_str());
        return 1;
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file) {
        std::fprintf(stderr, "content: %s: cannot open for writing\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(mp3.data(), 1, mp3.size(), file) == mp3.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "content: %s: write failed\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
