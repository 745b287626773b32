// Decoders behind the audio engine: an MP3 held in memory becomes float PCM
// at the file's own rate (libmpg123, fed from memory, decoded whole), and a
// tracker module becomes stereo float PCM at a chosen rate (libopenmpt, its
// default interpolation and volume ramping, played once to its end).
//
// Pure functions of their input; any thread. Each failure comes back as a
// short reason for the caller to log with the file's name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio_engine.h"

// The longest module we render, in seconds: a module that never ends stops
// here. Ten minutes is four times the show and about 200 MB of PCM at
// 44.1 kHz; an hour would let a small hostile file take over a gigabyte.
constexpr double MODULE_MAX_SECONDS = 600.0;

bool decodeMp3(const std::vector<uint8_t>& bytes, DecodedAudio& out, std::string& reason);
bool renderModule(const std::vector<uint8_t>& bytes, uint32_t rate, DecodedAudio& out, std::string& reason);
