// Builds PCX files byte by byte for the reader's tests: a 128-byte header
// with the fields the reader uses, the run-length data as given, and a
// 768-byte palette at the end.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

struct PcxFile {
    uint16_t yMin = 0;
    uint16_t yMax = 0;
    uint16_t bytesPerLine = 0;
    uint8_t planes = 1;
    uint8_t byte64 = 0;
    std::vector<uint8_t> data;     // run-length encoded rows
    std::vector<uint8_t> palette;  // 768 bytes; empty gives distinctPalette()

    // Entry i is (i, 255 - i, 7 * i mod 256): every index has its own colour.
    static std::vector<uint8_t> distinctPalette()
    {
        std::vector<uint8_t> p(768);
        for (int i = 0; i < 256; ++i) {
            p[3 * i] = static_cast<uint8_t>(i);
            p[3 * i + 1] = static_cast<uint8_t>(255 - i);
            p[3 * i + 2] = static_cast<uint8_t>(7 * i);
        }
        return p;
    }

    std::vector<uint8_t> bytes() const
    {
        std::vector<uint8_t> p = palette.empty() ? distinctPalette() : palette;
        std::vector<uint8_t> out(128 + data.size() + 1 + p.size(), 0);
        out[0] = 10;  // manufacturer
        out[1] = 5;   // version
        out[2] = 1;   // run-length encoding
        out[3] = 8;   // bits per pixel
        out[6] = static_cast<uint8_t>(yMin);
        out[7] = static_cast<uint8_t>(yMin >> 8);
        out[10] = static_cast<uint8_t>(yMax);
        out[11] = static_cast<uint8_t>(yMax >> 8);
        out[64] = byte64;
        out[65] = planes;
        out[66] = static_cast<uint8_t>(bytesPerLine);
        out[67] = static_cast<uint8_t>(bytesPerLine >> 8);
        std::copy(data.begin(), data.end(), out.begin() + 128);
        out[128 + data.size()] = 12;  // palette marker
        std::copy(p.begin(), p.end(), out.end() - static_cast<long>(p.size()));
        return out;
    }
};
