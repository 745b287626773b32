#include "resources/pcx_image.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/files.h"

namespace {

constexpr size_t HEADER_BYTES = 128;
constexpr size_t PALETTE_BYTES = 768;
constexpr uint8_t RUN_MARK = 0xC0;   // both top bits set: a run byte
constexpr uint8_t RUN_COUNT = 0x3F;  // the run length in a run byte

uint16_t readU16(const uint8_t* at)
{
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

// Decodes the run-length data of `height` rows of `width` pixels into RGBA
// words. The output position runs on across rows (a run may pass the end of
// a row); writes beyond the last pixel are dropped. False when the data ends
// before the last row is complete.
bool decodeRows(const uint8_t* data, size_t size, const uint32_t* colours,
                int32_t width, int32_t height, uint8_t* pixels)
{
    const size_t pixelCount = static_cast<size_t>(width) * static_cast<size_t>(height);
    size_t in = 0;
    size_t out = 0;  // pixels
    for (int32_t row = 0; row < height; ++row) {
        int32_t rowCount = 0;
        while (rowCount < width) {
            if (in >= size)
                return false;
            uint8_t b = data[in++];
            uint32_t count = 1;
            uint8_t colour = b;
            if ((b & RUN_MARK) == RUN_MARK) {
                if (in >= size)
                    return false;
                colour = data[in++];
                count = b & RUN_COUNT;
            }
            size_t room = out < pixelCount ? pixelCount - out : 0;
            size_t written = count < room ? count : room;
            for (size_t i = 0; i < written; ++i)
                std::memcpy(pixels + (out + i) * 4, &colours[colour], 4);
            out += count;
            rowCount += static_cast<int32_t>(count);
        }
    }
    return true;
}

}  // namespace

bool PcxImage::readHeader(const uint8_t* bytes, size_t size)
{
    failure = nullptr;
    if (!bytes || size < HEADER_BYTES) {
        failure = "too short for a PCX header";
        return false;
    }
    if (bytes[64] != 0) {
        failure = "header byte 64 is not 0";
        return false;
    }
    const int32_t yMin = readU16(bytes + 6);
    const int32_t yMax = readU16(bytes + 10);
    const int32_t planes = bytes[65];
    const int32_t bytesPerLine = readU16(bytes + 66);
    const int32_t headerWidth = bytesPerLine * planes;  // at most 65535 * 255
    const int32_t headerHeight = yMax - yMin + 1;       // -65534 .. 65536
    if (headerWidth <= 0) {
        failure = "zero width (no bytes per scanline or no planes)";
        return false;
    }
    if (headerHeight <= 0) {
        failure = "zero or negative height (bottom row above top row)";
        return false;
    }
    if (headerWidth > MAX_SIDE || headerHeight > MAX_SIDE) {
        failure = "picture side larger than 16384 pixels";
        return false;
    }
    width = headerWidth;
    height = headerHeight;
    return true;
}

bool PcxImage::decode(const uint8_t* bytes, size_t size)
{
    pixels.reset();
    palette.reset();
    width = 0;
    height = 0;
    if (!readHeader(bytes, size))
        return false;
    // The size is the picture's only once it has decoded.
    const int32_t decodedWidth = width;
    const int32_t decodedHeight = height;
    width = 0;
    height = 0;
    if (size < HEADER_BYTES + PALETTE_BYTES) {
        failure = "too short for a 256-colour palette";
        return false;
    }

    // The palette is the last 768 bytes; the picture data lies between the
    // header and the palette (the palette's marker byte, if any, is never
    // reached by a well-formed file's data).
    const uint8_t* paletteBytes = bytes + size - PALETTE_BYTES;
    uint32_t colours[256];
    for (int c = 0; c < 256; ++c) {
        uint8_t rgba[4] = {paletteBytes[3 * c], paletteBytes[3 * c + 1], paletteBytes[3 * c + 2], 255};
        std::memcpy(&colours[c], rgba, 4);
    }

    // Every two data bytes move the output on by at most 63 pixels: data too
    // short to cover the picture is turned away before anything is allocated.
    const size_t dataBytes = size - HEADER_BYTES - PALETTE_BYTES;
    const size_t pixelCount = static_cast<size_t>(decodedWidth) * static_cast<size_t>(decodedHeight);
    if ((dataBytes / 2) * RUN_COUNT + dataBytes % 2 < pixelCount) {
        failure = "picture data ends before the last row";
        return false;
    }

    std::unique_ptr<uint8_t[]> newPalette(new (std::nothrow) uint8_t[PALETTE_BYTES]);
    std::unique_ptr<uint8_t[]> newPixels(new (std::nothrow) uint8_t[pixelCount * 4]);
    if (!newPalette || !newPixels) {
        failure = "out of memory for the picture";
        return false;
    }
    std::memcpy(newPalette.get(), paletteBytes, PALETTE_BYTES);

    if (!decodeRows(bytes + HEADER_BYTES, dataBytes, colours, decodedWidth, decodedHeight, newPixels.get())) {
        failure = "picture data ends before the last row";
        return false;
    }

    pixels = std::move(newPixels);
    palette = std::move(newPalette);
    width = decodedWidth;
    height = decodedHeight;
    return true;
}

bool PcxImage::read(std::FILE* file)
{
    static_assert(MAX_FILE_BYTES == 33554432, "the failure text below names the ceiling");
    pixels.reset();
    palette.reset();
    width = 0;
    height = 0;
    if (!file) {
        failure = "no file";
        return false;
    }
    // Read to the end rather than seeking, so a pipe serves as well as a file.
    std::vector<uint8_t> bytes;
    std::string reason;
    const bool readOk = readOpenFile(file, MAX_FILE_BYTES, bytes, reason);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (!readOk) {
        failure = readError ? "read error" : "more than the 33554432 bytes a picture may have";
        return false;
    }
    return decode(bytes.data(), bytes.size());
}
