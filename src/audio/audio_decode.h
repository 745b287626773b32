// Whole-file decoders, for tools and tests (the bass-energy plot, the
// soundtrack checks, the proof that streaming changes no sample): an MP3 in
// memory becomes float PCM at the file's own rate (libmpg123, fed from
// memory, decoded whole), and a tracker module becomes stereo float PCM at a
// chosen rate (libopenmpt, its default interpolation and volume ramping,
// played once to its end). The engine itself never decodes a file whole; it
// streams (audio_stream.h) and gives the same samples.
//
// Pure functions of their input, apart from decodeAudioFile reading its
// file; any thread. Each failure comes back as a short reason for the caller
// to log with the file's name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The longest module we render, in seconds: a module that never ends stops
// here. Ten minutes is four times the show.
constexpr double MODULE_MAX_SECONDS = 600.0;
// The rate modules are rendered at unless told otherwise (Hz).
constexpr uint32_t MODULE_DEFAULT_RATE = 44100;

// Decoded PCM, interleaved float.
struct DecodedAudio {
    std::vector<float> samples;  // interleaved, -1..1
    uint32_t rate = 0;           // frames per second
    int channels = 0;
    size_t frames() const { return channels ? samples.size() / channels : 0; }
};

enum class AudioKind { Stream, Module };

bool decodeMp3(const std::vector<uint8_t>& bytes, DecodedAudio& out, std::string& reason);
bool renderModule(const std::vector<uint8_t>& bytes, uint32_t rate, DecodedAudio& out, std::string& reason);
// Reads `path` whole and decodes it as `kind` (modules at `moduleRate`).
// False with a reason on failure; logs nothing.
bool decodeAudioFile(const char* path, AudioKind kind, DecodedAudio& out, std::string& reason,
                     uint32_t moduleRate = MODULE_DEFAULT_RATE);
