// The show's one music track: loads the soundtrack through the audio engine,
// remembers which kind of channel it became, and once per frame fetches the
// 512-bin magnitude spectrum of what is playing. The show reads `spectrum`
// (bass energy = mean of bins 0..9); its timing never comes from here.
// Main thread only. Needs the audio engine initialised (audio_engine.h).
#pragma once

#include <cstdint>

struct MusicTrack {
    static constexpr int SPECTRUM_BINS = 512;

    uint8_t kind = 0;            // 0 = stream (MP3), 1 = tracker module
    uint32_t moduleHandle = 0;   // engine channel of a module, 0 until loaded
    uint32_t streamHandle = 0;   // engine channel of a stream, 0 until loaded
    float spectrum[SPECTRUM_BINS] = {};  // latest amplitude spectrum, 0..~1

    // Loads `path`: a stream when "MP3" appears anywhere in it (any case),
    // a module otherwise; no second attempt. 0 on success, -1 on failure.
    int load(const char* path);
    // The module handle for a module track, the stream handle otherwise.
    uint32_t activeHandle() const;
    // Fills `spectrum` from the active channel at its play cursor.
    void updateSpectrum();
};

// True when `path` names a stream by the track's rule ("MP3" anywhere, any case).
bool pathNamesStream(const char* path);
