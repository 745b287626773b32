// Reader for the one PCX flavour the show's pictures use: 8 bits per pixel,
// one plane, run-length encoded, 256-colour palette in the last 768 bytes.
// Decodes to an opaque RGBA8 block (alpha 255). It never reads past the end
// of the file and never writes outside `pixels`; it rejects header byte 64
// not 0 and sizes that cannot be a picture, giving the reason.
// Pure file decoding; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct PcxImage {
    static constexpr int32_t MAX_SIDE = 16384;  // pixels; larger is rejected

    uint8_t* pixels = nullptr;   // owned by the caller (delete[]): width * height * 4, RGBA8
    uint8_t* palette = nullptr;  // owned by the caller (delete[]): 768 bytes, RGB
    int32_t width = 0;           // bytes per scanline * planes
    int32_t height = 0;          // Ymax - Ymin + 1
    const char* failure = nullptr;  // why read() returned false (static text)

    // Decodes the open file and closes it, whatever the outcome. On false
    // `pixels` and `palette` are null and `failure` says why.
    bool read(std::FILE* file);
    // Decodes a whole file already in memory; same results as read().
    bool decode(const uint8_t* bytes, size_t size);
};
