// Fuzz entry point for the PCX reader: any byte string goes through read()
// (over an in-memory FILE), and a picture it accepts must have a sane size,
// fully readable buffers, and the size that readHeader() alone gives.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "resources/pcx_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PcxImage header;
    const bool headerOk = header.readHeader(data, size);
    if (header.pixels || header.palette || headerOk == (header.failure != nullptr))
        std::abort();
    PcxImage image;
    // fmemopen refuses an empty buffer; a one-byte stand-in is as short.
    static const uint8_t empty = 0;
    std::FILE* file = fmemopen(const_cast<uint8_t*>(size ? data : &empty), size ? size : 1, "rb");
    if (!file)
        return 0;
    if (image.read(file)) {
        if (!headerOk || header.width != image.width || header.height != image.height)
            std::abort();
        if (!image.pixels || !image.palette || image.width <= 0 || image.height <= 0 ||
            image.width > PcxImage::MAX_SIDE || image.height > PcxImage::MAX_SIDE)
            std::abort();
        // Every pixel was written, opaque; reading them all also lets the
        // sanitizer check that the block is as large as the size says.
        const size_t bytes = static_cast<size_t>(image.width) * image.height * 4;
        for (size_t i = 3; i < bytes; i += 4)
            if (image.pixels[i] != 255)
                std::abort();
        volatile uint8_t lastPaletteByte = image.palette[767];
        (void)lastPaletteByte;
    } else if (image.pixels || image.palette || !image.failure) {
        std::abort();
    }
    return 0;
}
