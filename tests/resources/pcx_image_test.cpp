#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pcx_file.h"
#include "resources/pcx_image.h"

namespace {

// The decoded picture and whether it decoded.
struct Decoded {
    PcxImage image;
    bool ok = false;
    // RGBA of pixel i (in decode order).
    std::vector<int> pixel(size_t i) const
    {
        const uint8_t* p = image.pixels.get() + 4 * i;
        return {p[0], p[1], p[2], p[3]};
    }
};

void decodeInto(Decoded& out, const std::vector<uint8_t>& bytes)
{
    out.ok = out.image.decode(bytes.data(), bytes.size());
}

std::vector<int> colourOf(int index)
{
    return {index, 255 - index, (7 * index) & 255, 255};
}

// A read end of a pipe that holds `bytes`, as a FILE*; `fd` gets its descriptor.
std::FILE* pipeWith(const std::vector<uint8_t>& bytes, int& fd)
{
    int ends[2];
    if (pipe(ends) != 0)
        return nullptr;
    EXPECT_EQ(static_cast<ssize_t>(bytes.size()), write(ends[1], bytes.data(), bytes.size()));
    close(ends[1]);
    fd = ends[0];
    return fdopen(ends[0], "rb");
}

bool descriptorClosed(int fd)
{
    return fcntl(fd, F_GETFD) == -1 && errno == EBADF;
}

void expectRejected(const std::vector<uint8_t>& bytes, const char* reasonWord)
{
    Decoded d;
    decodeInto(d, bytes);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(nullptr, d.image.pixels);
    EXPECT_EQ(nullptr, d.image.palette);
    ASSERT_NE(nullptr, d.image.failure);
    EXPECT_NE(nullptr, std::strstr(d.image.failure, reasonWord))
        << "reason was: " << d.image.failure;
}

}  // namespace

TEST(PcxReader, RunBytesRepeatTheirColourByTheLowSixBits)
{
    PcxFile f;
    f.bytesPerLine = 65;
    // 193 -> 1 pixel, 192 -> none, 255 -> 63 pixels, then one literal.
    f.data = {193, 7, 192, 9, 255, 8, 5};
    Decoded d;
    decodeInto(d, f.bytes());
    ASSERT_TRUE(d.ok) << d.image.failure;
    EXPECT_EQ(65, d.image.width);
    EXPECT_EQ(1, d.image.height);
    EXPECT_EQ(colourOf(7), d.pixel(0));
    for (size_t i = 1; i <= 63; ++i)
        ASSERT_EQ(colourOf(8), d.pixel(i)) << "pixel " << i;
    EXPECT_EQ(colourOf(5), d.pixel(64));
}

TEST(PcxReader, LiteralBytesIndexThePaletteWithOpaqueAlpha)
{
    PcxFile f;
    f.bytesPerLine = 3;
    f.data = {191, 0, 1};
    f.palette = PcxFile::distinctPalette();
    f.palette[0] = 10;
    f.palette[1] = 20;
    f.palette[2] = 30;
    Decoded d;
    decodeInto(d, f.bytes());
    ASSERT_TRUE(d.ok) << d.image.failure;
    EXPECT_EQ(colourOf(191), d.pixel(0));
    EXPECT_EQ((std::vector<int>{10, 20, 30, 255}), d.pixel(1));
    EXPECT_EQ(colourOf(1), d.pixel(2));
    // The palette is handed back as stored.
    ASSERT_NE(nullptr, d.image.palette);
    EXPECT_EQ(0, std::memcmp(f.palette.data(), d.image.palette.get(), 768));
}

TEST(PcxReader, SizeComesFromScanlineBytesPlanesAndRowNumbers)
{
    PcxFile f;
    f.bytesPerLine = 512;
    f.yMin = 0;
    f.yMax = 255;
    for (int row = 0; row < 256; ++row) {
        for (int run = 0; run < 8; ++run)
            f.data.insert(f.data.end(), {255, static_cast<uint8_t>(row % 191)});
        for (int i = 0; i < 8; ++i)
            f.data.push_back(static_cast<uint8_t>(row % 191));
    }
    Decoded big;
    decodeInto(big, f.bytes());
    ASSERT_TRUE(big.ok) << big.image.failure;
    EXPECT_EQ(512, big.image.width);
    EXPECT_EQ(256, big.image.height);
    // Rows land in file order, each exactly one scanline long.
    EXPECT_EQ(colourOf(0), big.pixel(511));
    EXPECT_EQ(colourOf(1), big.pixel(512));
    EXPECT_EQ(colourOf(255 % 191), big.pixel(512 * 256 - 1));

    // Two planes of three bytes make six pixels; Ymin need not be 0.
    PcxFile planes;
    planes.bytesPerLine = 3;
    planes.planes = 2;
    planes.yMin = 10;
    planes.yMax = 11;
    planes.data = {198, 4, 198, 6};
    Decoded d;
    decodeInto(d, planes.bytes());
    ASSERT_TRUE(d.ok) << d.image.failure;
    EXPECT_EQ(6, d.image.width);
    EXPECT_EQ(2, d.image.height);
    EXPECT_EQ(colourOf(4), d.pixel(5));
    EXPECT_EQ(colourOf(6), d.pixel(6));
}

TEST(PcxReader, RunPastRowEndContinuesOnNextRowAndStopsAtTheLastPixel)
{
    PcxFile f;
    f.bytesPerLine = 4;
    f.yMax = 1;
    // Row 0: a run of 6 spills two pixels into row 1. Row 1 is still decoded
    // for a full 4 pixels, of which only 2 fit in the picture.
    f.data = {198, 1, 2, 3, 4, 5};
    Decoded d;
    decodeInto(d, f.bytes());
    ASSERT_TRUE(d.ok) << d.image.failure;
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(colourOf(1), d.pixel(i)) << "pixel " << i;
    EXPECT_EQ(colourOf(2), d.pixel(6));
    EXPECT_EQ(colourOf(3), d.pixel(7));

    // A last run far longer than the picture is cut at its end.
    PcxFile over;
    over.bytesPerLine = 1;
    over.data = {255, 9};
    Decoded one;
    decodeInto(one, over.bytes());
    ASSERT_TRUE(one.ok) << one.image.failure;
    EXPECT_EQ(colourOf(9), one.pixel(0));
}

TEST(PcxReader, ImpossibleHeadersAreRejectedWithAReason)
{
    PcxFile base;
    base.bytesPerLine = 2;
    base.data = {1, 2};

    PcxFile flagged = base;
    flagged.byte64 = 1;
    expectRejected(flagged.bytes(), "64");

    PcxFile noBytes = base;
    noBytes.bytesPerLine = 0;
    expectRejected(noBytes.bytes(), "width");

    PcxFile noPlanes = base;
    noPlanes.planes = 0;
    expectRejected(noPlanes.bytes(), "width");

    PcxFile upsideDown = base;
    upsideDown.yMin = 5;
    upsideDown.yMax = 3;
    expectRejected(upsideDown.bytes(), "height");

    PcxFile zeroHeight = base;  // Ymax = Ymin - 1
    zeroHeight.yMin = 1;
    zeroHeight.yMax = 0;
    expectRejected(zeroHeight.bytes(), "height");

    PcxFile wide = base;
    wide.bytesPerLine = PcxImage::MAX_SIDE + 1;
    expectRejected(wide.bytes(), "16384");

    PcxFile widePlanes = base;  // 8193 bytes x 2 planes
    widePlanes.bytesPerLine = 8193;
    widePlanes.planes = 2;
    expectRejected(widePlanes.bytes(), "16384");

    PcxFile tall = base;
    tall.yMax = PcxImage::MAX_SIDE;
    expectRejected(tall.bytes(), "16384");

    std::vector<uint8_t> header = base.bytes();
    expectRejected(std::vector<uint8_t>(header.begin(), header.begin() + 127), "header");
    expectRejected(std::vector<uint8_t>(header.begin(), header.begin() + 128 + 767), "palette");
    expectRejected(std::vector<uint8_t>(), "header");
}

TEST(PcxReader, LargestSideIsAccepted)
{
    PcxFile f;
    f.bytesPerLine = PcxImage::MAX_SIDE;
    for (int run = 0; run < PcxImage::MAX_SIDE / 63; ++run)
        f.data.insert(f.data.end(), {255, 3});
    for (int i = 0; i < PcxImage::MAX_SIDE % 63; ++i)
        f.data.push_back(4);
    Decoded d;
    decodeInto(d, f.bytes());
    ASSERT_TRUE(d.ok) << d.image.failure;
    EXPECT_EQ(PcxImage::MAX_SIDE, d.image.width);
    EXPECT_EQ(colourOf(3), d.pixel(0));
    EXPECT_EQ(colourOf(4), d.pixel(PcxImage::MAX_SIDE - 1));
}

TEST(PcxReader, DataEndingEarlyIsRejectedAtEveryCut)
{
    PcxFile f;
    f.bytesPerLine = 5;
    f.yMax = 2;
    // Row 0: a run of 8 (three pixels spill into row 1). Row 1: 2, 3, a run
    // of 3. Row 2: 6, 7, a run of 3 of which one pixel fits.
    f.data = {200, 1, 2, 3, 195, 4, 6, 7, 195, 8};
    std::vector<uint8_t> full = f.bytes();
    {
        Decoded d;
        decodeInto(d, full);
        ASSERT_TRUE(d.ok) << d.image.failure;
        EXPECT_EQ(colourOf(1), d.pixel(7));
        EXPECT_EQ(colourOf(2), d.pixel(8));
        EXPECT_EQ(colourOf(4), d.pixel(12));
        EXPECT_EQ(colourOf(7), d.pixel(14));
    }
    // Every shorter file lacks data (the palette is always the last 768
    // bytes, so a cut eats into the data); one byte less only loses the
    // palette marker.
    for (size_t cut = 0; cut + 1 < full.size(); ++cut) {
        std::vector<uint8_t> shorter(full.begin(), full.begin() + cut);
        Decoded d;
        decodeInto(d, shorter);
        EXPECT_FALSE(d.ok) << "cut at " << cut;
        EXPECT_EQ(nullptr, d.image.pixels);
    }

    // A run byte as the last data byte has no colour to repeat.
    PcxFile dangling;
    dangling.bytesPerLine = 4;
    dangling.data = {1, 1, 1, 193};
    std::vector<uint8_t> bytes = dangling.bytes();
    bytes.erase(bytes.begin() + 128 + dangling.data.size());  // no marker byte
    expectRejected(bytes, "ends");
}

TEST(PcxReader, AbsurdSizeWithLittleDataIsRejectedWithoutCrashing)
{
    PcxFile f;
    f.bytesPerLine = PcxImage::MAX_SIDE;
    f.yMax = PcxImage::MAX_SIDE - 1;
    f.data = {255, 1, 255, 2};
    expectRejected(f.bytes(), "ends");
}

TEST(PcxReader, ReadClosesTheFileWhetherOrNotItDecodes)
{
    PcxFile good;
    good.bytesPerLine = 2;
    good.data = {7, 194, 9};  // the run passes the row end: cut at the last pixel
    int fd = -1;
    std::FILE* file = pipeWith(good.bytes(), fd);
    ASSERT_NE(nullptr, file);
    Decoded d;
    d.ok = d.image.read(file);
    EXPECT_TRUE(d.ok) << d.image.failure;
    EXPECT_TRUE(descriptorClosed(fd));
    EXPECT_EQ(colourOf(7), d.pixel(0));
    EXPECT_EQ(colourOf(9), d.pixel(1));

    PcxFile flagged = good;
    flagged.byte64 = 1;
    file = pipeWith(flagged.bytes(), fd);
    ASSERT_NE(nullptr, file);
    Decoded rejected;
    EXPECT_FALSE(rejected.image.read(file));
    EXPECT_TRUE(descriptorClosed(fd));
    EXPECT_EQ(nullptr, rejected.image.pixels);
    EXPECT_EQ(nullptr, rejected.image.palette);

    Decoded none;
    EXPECT_FALSE(none.image.read(nullptr));
    EXPECT_NE(nullptr, none.image.failure);
}

TEST(PcxReader, HeaderAloneGivesTheSizeWithTheDecodersChecks)
{
    // A header claiming the largest picture, with data for only two runs:
    // readHeader() reports the claimed size and allocates nothing, so a
    // caller can turn it away before the data is looked at.
    PcxFile huge;
    huge.bytesPerLine = PcxImage::MAX_SIDE;
    huge.yMin = 1;
    huge.yMax = PcxImage::MAX_SIDE;
    huge.data = {255, 1, 255, 2};
    std::vector<uint8_t> bytes = huge.bytes();
    PcxImage image;
    ASSERT_TRUE(image.readHeader(bytes.data(), 128)) << image.failure;
    EXPECT_EQ(PcxImage::MAX_SIDE, image.width);
    EXPECT_EQ(PcxImage::MAX_SIDE, image.height);
    EXPECT_EQ(nullptr, image.pixels);
    EXPECT_EQ(nullptr, image.palette);

    // Whatever the header check refuses, decoding refuses for the same reason.
    PcxFile planes;
    planes.bytesPerLine = 8193;
    planes.planes = 2;
    PcxFile flagged;
    flagged.bytesPerLine = 4;
    flagged.byte64 = 1;
    PcxFile upsideDown;
    upsideDown.bytesPerLine = 4;
    upsideDown.yMin = 2;
    for (const PcxFile& f : {planes, flagged, upsideDown}) {
        std::vector<uint8_t> b = f.bytes();
        PcxImage header;
        EXPECT_FALSE(header.readHeader(b.data(), b.size()));
        ASSERT_NE(nullptr, header.failure);
        Decoded d;
        decodeInto(d, b);
        EXPECT_FALSE(d.ok);
        EXPECT_STREQ(header.failure, d.image.failure);
    }
    EXPECT_FALSE(image.readHeader(bytes.data(), 127));
    EXPECT_NE(nullptr, std::strstr(image.failure, "header"));
}

TEST(PcxReader, ReadStopsAtItsFileCeiling)
{
    // A one-pixel picture followed by run data up to the ceiling decodes;
    // one byte more and it is refused without being decoded.
    PcxFile f;
    f.bytesPerLine = 1;
    f.data.assign(PcxImage::MAX_FILE_BYTES - 128 - 1 - 768, 5);
    std::vector<uint8_t> bytes = f.bytes();
    ASSERT_EQ(PcxImage::MAX_FILE_BYTES, bytes.size());
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    ASSERT_NE(nullptr, file);
    Decoded d;
    d.ok = d.image.read(file);
    ASSERT_TRUE(d.ok) << d.image.failure;
    EXPECT_EQ(colourOf(5), d.pixel(0));

    bytes.insert(bytes.begin() + 128, 5);
    file = fmemopen(bytes.data(), bytes.size(), "rb");
    ASSERT_NE(nullptr, file);
    Decoded over;
    EXPECT_FALSE(over.image.read(file));
    EXPECT_EQ(nullptr, over.image.pixels);
    ASSERT_NE(nullptr, over.image.failure);
    EXPECT_NE(nullptr, std::strstr(over.image.failure, "33554432")) << over.image.failure;
}
