// Writer for the one PCX flavour the show reads: 8 bits per pixel, one
// plane, run-length encoded scanlines, an even number of bytes per
// scanline, and the 256-colour palette after a 0x0C marker at the end.
// Runs never cross a scanline, as the format prescribes, and every byte of
// the output depends only on the picture, so the same picture always gives
// the same file.
// Pure encoding; the caller writes the bytes where it likes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct IndexedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indices;  // width * height palette indices, first row first
    uint8_t palette[768] = {};     // 256 entries of red, green, blue

    IndexedPicture(int w, int h) : width(w), height(h), indices(size_t(w) * h, 0) {}
};

constexpr int PCX_HEADER_SIZE = 128;
constexpr uint8_t PCX_PALETTE_MARKER = 0x0C;
constexpr int PCX_MAX_RUN = 63;

// The whole file: header, encoded scanlines, marker and palette.
std::vector<uint8_t> encodePcx(const IndexedPicture& picture);

// A grey ramp: index i is (i, i, i).
void setGreyPalette(IndexedPicture& picture);
