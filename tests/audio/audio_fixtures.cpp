#include "audio_fixtures.h"

#include <lame/lame.h>

#include <cmath>
#include <cstdlib>

#include "audio/spectrum.h"

double binCentreHz(int bin, uint32_t rate)
{
    return static_cast<double>(bin) * rate / SPECTRUM_FFT_SIZE;
}

std::vector<float> stereoSine(size_t frames, double hz, float amplitude, bool oppositeChannels, uint32_t rate)
{
    std::vector<float> pcm(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const float x = amplitude * static_cast<float>(std::sin(2.0 * M_PI * hz * i / rate));
        pcm[2 * i] = x;
        pcm[2 * i + 1] = oppositeChannels ? -x : x;
    }
    return pcm;
}

std::vector<uint8_t> encodeMp3(const std::vector<float>& stereo, uint32_t rate)
{
    lame_global_flags* lame = lame_init();
    if (!lame)
        return {};
    lame_set_in_samplerate(lame, static_cast<int>(rate));
    lame_set_out_samplerate(lame, static_cast<int>(rate));
    lame_set_num_channels(lame, 2);
    lame_set_brate(lame, 128);
    lame_set_quality(lame, 5);
    lame_set_bWriteVbrTag(lame, 1);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return {};
    }
    const int frames = static_cast<int>(stereo.size() / 2);
    std::vector<uint8_t> mp3(static_cast<size_t>(1.25 * frames + 7200) + 16384);
    int size = lame_encode_buffer_interleaved_ieee_float(lame, stereo.data(), frames, mp3.data(),
                                                         static_cast<int>(mp3.size()));
    if (size >= 0) {
        int tail = lame_encode_flush(lame, mp3.data() + size, static_cast<int>(mp3.size()) - size);
        size = tail >= 0 ? size + tail : -1;
    }
    if (size < 0) {
        lame_close(lame);
        return {};
    }
    mp3.resize(static_cast<size_t>(size));
    // The first frame was a placeholder for the LAME header; fill it in now
    // that the length is known.
    uint8_t tag[4096];
    size_t tagSize = lame_get_lametag_frame(lame, tag, sizeof tag);
    if (tagSize > 0 && tagSize <= mp3.size())
        std::copy(tag, tag + tagSize, mp3.begin());
    lame_close(lame);
    return mp3;
}

namespace {

void putBigEndian16(std::vector<uint8_t>& bytes, size_t at, unsigned value)
{
    bytes[at] = static_cast<uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<uint8_t>(value & 0xff);
}

}  // namespace

std::vector<uint8_t> makeMinimalModule()
{
    constexpr size_t HEADER = 20 + 31 * 30 + 2 + 128 + 4;  // 1084
    constexpr size_t PATTERN = 64 * 4 * 4;
    constexpr unsigned SAMPLE_BYTES = 2048;
    constexpr unsigned PERIOD_C3 = 428;
    std::vector<uint8_t> mod(HEADER + PATTERN + SAMPLE_BYTES, 0);

    const char title[] = "test tone";
    std::copy(title, title + sizeof title - 1, mod.begin());
    const size_t sample1 = 20;
    putBigEndian16(mod, sample1 + 22, SAMPLE_BYTES / 2);  // length in words
    mod[sample1 + 25] = 64;                               // volume
    putBigEndian16(mod, sample1 + 26, 0);                 // loop start
    putBigEndian16(mod, sample1 + 28, SAMPLE_BYTES / 2);  // loop length in words
    mod[20 + 31 * 30] = 1;                                // song length: one order
    mod[20 + 31 * 30 + 1] = 127;
    mod[HEADER - 4] = 'M';
    mod[HEADER - 3] = '.';
    mod[HEADER - 2] = 'K';
    mod[HEADER - 1] = '.';

    // Row 0, channel 1: sample 1 at C-3, no effect.
    const size_t note = HEADER;
    mod[note] = static_cast<uint8_t>((1 & 0xf0) | (PERIOD_C3 >> 8));
    mod[note + 1] = static_cast<uint8_t>(PERIOD_C3 & 0xff);
    mod[note + 2] = static_cast<uint8_t>((1 & 0x0f) << 4);

    // The sample: a sine, 32 bytes per cycle, signed 8-bit.
    for (unsigned i = 0; i < SAMPLE_BYTES; ++i)
        mod[HEADER + PATTERN + i] =
            static_cast<uint8_t>(static_cast<int8_t>(std::lround(120.0 * std::sin(2.0 * M_PI * i / 32.0))));
    return mod;
}

