// The content generators' PCX writer: what it writes must decode with the
// show's reader to the same picture, and each scanline must stand alone.
#include "pcx_writer.h"
#include "resources/pcx_image.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct Decoded {
    PcxImage image;
    bool ok = false;
    explicit Decoded(const std::vector<uint8_t>& bytes) { ok = image.decode(bytes.data(), bytes.size()); }
};

// Walks the run-length data row by row the way the format lays it out,
// returning false if any run crosses the end of a scanline.
bool scanlinesStandAlone(const std::vector<uint8_t>& bytes, int bytesPerLine, int height,
                         size_t& dataEnd)
{
    size_t at = PCX_HEADER_SIZE;
    for (int row = 0; row < height; ++row) {
        int filled = 0;
        while (filled < bytesPerLine) {
            if (at >= bytes.size()) return false;
            const uint8_t b = bytes[at++];
            int count = 1;
            if (b >= 0xC0) {
                count = b & 0x3F;
                ++at;
                if (count == 0) return false;  // a writer has no reason for empty runs
            }
            filled += count;
        }
        if (filled != bytesPerLine) return false;
    }
    dataEnd = at;
    return true;
}

IndexedPicture testPicture(int width, int height)
{
    IndexedPicture picture(width, height);
    for (int i = 0; i < 256; ++i) {
        picture.palette[3 * i] = uint8_t(i);
        picture.palette[3 * i + 1] = uint8_t(255 - i);
        picture.palette[3 * i + 2] = uint8_t(i * 7);
    }
    uint32_t state = 12345;
    for (size_t i = 0; i < picture.indices.size(); ++i) {
        state = state * 1103515245u + 12345u;
        // Rows 0, 3, ... are one colour and the next row starts with it, so a
        // run could run on over the row end; runs are longer than one run byte
        // holds; every third row is scattered values, with lone bytes of 192
        // and above that only a run byte can carry.
        const int y = int(i) / width;
        const int x = int(i) % width;
        if (y % 3 == 0) {
            picture.indices[i] = 210;
        } else if (y % 3 == 1) {
            picture.indices[i] = x < width / 2 ? 210 : uint8_t(200 + x / 70);
        } else {
            picture.indices[i] = uint8_t((state >> 16) & 0xff);
        }
    }
    const size_t scattered = size_t(width) * 2;
    picture.indices[scattered + 1] = 192;
    picture.indices[scattered + 2] = 255;
    picture.indices[scattered + 3] = 191;
    return picture;
}

TEST(PcxWriter, RoundTripsThroughTheShowReader)
{
    const IndexedPicture picture = testPicture(300, 7);
    const std::vector<uint8_t> bytes = encodePcx(picture);
    Decoded decoded(bytes);
    ASSERT_TRUE(decoded.ok) << decoded.image.failure;
    ASSERT_EQ(decoded.image.width, 300);
    ASSERT_EQ(decoded.image.height, 7);
    for (size_t i = 0; i < picture.indices.size(); ++i) {
        const uint8_t index = picture.indices[i];
        ASSERT_EQ(decoded.image.pixels[4 * i], picture.palette[3 * index]) << "pixel " << i;
        ASSERT_EQ(decoded.image.pixels[4 * i + 1], picture.palette[3 * index + 1]) << "pixel " << i;
        ASSERT_EQ(decoded.image.pixels[4 * i + 2], picture.palette[3 * index + 2]) << "pixel " << i;
    }
}

TEST(PcxWriter, HeaderScanlinesAndPaletteFollowTheFormat)
{
    const IndexedPicture picture = testPicture(301, 5);  // odd width: padded to 302
    const std::vector<uint8_t> bytes = encodePcx(picture);
    ASSERT_GT(bytes.size(), size_t(PCX_HEADER_SIZE + 769));
    EXPECT_EQ(bytes[0], 10);
    EXPECT_EQ(bytes[2], 1);  // run-length encoded
    EXPECT_EQ(bytes[3], 8);  // bits per pixel
    EXPECT_EQ(bytes[64], 0);
    EXPECT_EQ(bytes[65], 1);  // one plane
    const int bytesPerLine = bytes[66] | (bytes[67] << 8);
    EXPECT_EQ(bytesPerLine, 302);
    EXPECT_EQ((bytes[8] | (bytes[9] << 8)), 300);  // Xmax
    EXPECT_EQ((bytes[10] | (bytes[11] << 8)), 4);  // Ymax

    size_t dataEnd = 0;
    ASSERT_TRUE(scanlinesStandAlone(bytes, bytesPerLine, picture.height, dataEnd));
    ASSERT_EQ(dataEnd + 769, bytes.size()) << "data must end right at the palette marker";
    EXPECT_EQ(bytes[dataEnd], PCX_PALETTE_MARKER);
    EXPECT_EQ(0, std::memcmp(&bytes[dataEnd + 1], picture.palette, 768));

    // The padding column decodes as index 0, the real ones as written.
    Decoded decoded(bytes);
    ASSERT_TRUE(decoded.ok) << decoded.image.failure;
    ASSERT_EQ(decoded.image.width, 302);
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* pad = decoded.image.pixels.get() + (size_t(y) * 302 + 301) * 4;
        EXPECT_EQ(pad[0], picture.palette[0]);
        const uint8_t* last = decoded.image.pixels.get() + (size_t(y) * 302 + 300) * 4;
        EXPECT_EQ(last[0], picture.palette[3 * picture.indices[size_t(y) * 301 + 300]]);
    }
}

}  // namespace
