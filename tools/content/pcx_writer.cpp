#include "pcx_writer.h"

namespace {

void putLe16(std::vector<uint8_t>& out, size_t at, int value)
{
    out[at] = uint8_t(value & 0xff);
    out[at + 1] = uint8_t((value >> 8) & 0xff);
}

// One scanline, padded with index 0 to `bytesPerLine`; runs stop at its end.
void encodeScanline(const uint8_t* row, int width, int bytesPerLine,
                    std::vector<uint8_t>& out)
{
    int x = 0;
    while (x < bytesPerLine) {
        const uint8_t value = x < width ? row[x] : 0;
        int run = 1;
        while (x + run < bytesPerLine && run < PCX_MAX_RUN) {
            const uint8_t next = x + run < width ? row[x + run] : 0;
            if (next != value) {
                break;
            }
            ++run;
        }
        // A lone byte below 192 stands for itself; anything else needs a run
        // byte, or the reader would take it for a count.
        if (run == 1 && value < 0xC0) {
            out.push_back(value);
        } else {
            out.push_back(uint8_t(0xC0 | run));
            out.push_back(value);
        }
        x += run;
    }
}

}  // namespace

std::vector<uint8_t> encodePcx(const IndexedPicture& picture)
{
    const int bytesPerLine = (picture.width + 1) & ~1;
    std::vector<uint8_t> out(PCX_HEADER_SIZE, 0);
    out[0] = 10;  // manufacturer
    out[1] = 5;   // version: 256-colour palette at the end
    out[2] = 1;   // run-length encoding
    out[3] = 8;   // bits per pixel and plane
    putLe16(out, 4, 0);                       // Xmin
    putLe16(out, 6, 0);                       // Ymin
    putLe16(out, 8, picture.width - 1);       // Xmax
    putLe16(out, 10, picture.height - 1);     // Ymax
    putLe16(out, 12, 72);                     // horizontal dpi
    putLe16(out, 14, 72);                     // vertical dpi
    out[64] = 0;                              // reserved, must stay 0
    out[65] = 1;                              // planes
    putLe16(out, 66, bytesPerLine);
    putLe16(out, 68, 1);                      // palette info: colour
    putLe16(out, 70, picture.width);          // screen size
    putLe16(out, 72, picture.height);

    out.reserve(out.size() + picture.indices.size() / 4 + 769);
    for (int y = 0; y < picture.height; ++y) {
        encodeScanline(&picture.indices[size_t(y) * picture.width], picture.width,
                       bytesPerLine, out);
    }
    out.push_back(PCX_PALETTE_MARKER);
    out.insert(out.end(), picture.palette, picture.palette + 768);
    return out;
}

void setGreyPalette(IndexedPicture& picture)
{
    for (int i = 0; i < 256; ++i) {
        picture.palette[3 * i] = uint8_t(i);
        picture.palette[3 * i + 1] = uint8_t(i);
        picture.palette[3 * i + 2] = uint8_t(i);
    }
}
