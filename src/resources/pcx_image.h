// Reader for the one PCX flavour the show's pictures use: 8 bits per pixel,
// one plane, run-length encoded, 256-colour palette in the last 768 bytes.
// Decodes to an opaque RGBA8 block (alpha 255) that the image owns. It never
// reads past the end of the file and never writes outside `pixels`; it
// rejects header byte 64 not 0, sizes that cannot be a picture and data too
// short to fill the size, giving the reason, before allocating anything. The
// header can be read on its own, so that a caller expecting a given size
// turns a picture away before decoding it. Pure file decoding; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

struct PcxImage {
    static constexpr int32_t MAX_SIDE = 16384;             // pixels; larger is rejected
    static constexpr uint64_t MAX_FILE_BYTES = 32ull << 20;  // read() stops past this

    std::unique_ptr<uint8_t[]> pixels;   // width * height * 4, RGBA8; null until decoded
    std::unique_ptr<uint8_t[]> palette;  // 768 bytes, RGB as stored; null until decoded
    int32_t width = 0;                   // bytes per scanline * planes
    int32_t height = 0;                  // Ymax - Ymin + 1
    const char* failure = nullptr;       // why a call returned false (static text)

    // Reads the size from the 128-byte header alone, with the checks decode()
    // makes of it: `width` and `height` are set on true, `failure` on false.
    // Nothing is allocated; `pixels` and `palette` are left alone.
    bool readHeader(const uint8_t* bytes, size_t size);
    // Decodes the open file and closes it, whatever the outcome; a file of
    // more than MAX_FILE_BYTES is rejected. On false `pixels` and `palette`
    // are null and `failure` says why.
    bool read(std::FILE* file);
    // Decodes a whole file already in memory; same results as read().
    bool decode(const uint8_t* bytes, size_t size);
};
