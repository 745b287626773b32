// Pictures written by ImageMagick's convert and netpbm's ppmtopcx decode to
// the RGB those tools decode them to themselves.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "resources/pcx_image.h"
#include "support/scratch_folder.h"

namespace {

class PcxFromTools : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.made()); }

    std::string path(const std::string& leaf) const { return scratch.file(leaf); }

    // A width x height picture with a two-way gradient of at most 168 colours.
    std::vector<uint8_t> writeGradient(const std::string& leaf, int width, int height) const
    {
        std::vector<uint8_t> rgb;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint8_t r = static_cast<uint8_t>((x / 3) * 18);
                uint8_t g = static_cast<uint8_t>((y / 2) * 20);
                rgb.insert(rgb.end(), {r, g, static_cast<uint8_t>(255 - r / 2)});
            }
        std::ofstream out(path(leaf), std::ios::binary);
        out << "P6\n" << width << " " << height << "\n255\n";
        out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
        return rgb;
    }

    static std::vector<uint8_t> slurp(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    // The pixels of a binary PPM (P6, maxval 255).
    static std::vector<uint8_t> readPpm(const std::string& file, int& width, int& height)
    {
        std::vector<uint8_t> bytes = slurp(file);
        std::string text(bytes.begin(), bytes.end());
        std::istringstream header(text);
        std::string magic;
        int maxval = 0;
        header >> magic >> width >> height >> maxval;
        if (magic != "P6" || maxval != 255)
            return {};
        size_t start = static_cast<size_t>(header.tellg()) + 1;
        return std::vector<uint8_t>(bytes.begin() + static_cast<long>(start), bytes.end());
    }

    // Decodes with our reader; RGB of the first `columns` columns of each row.
    static bool decodeRgb(const std::string& file, int columns, PcxImage& image, std::vector<uint8_t>& rgb)
    {
        std::FILE* f = std::fopen(file.c_str(), "rb");
        if (!f || !image.read(f))
            return false;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < columns && x < image.width; ++x) {
                const uint8_t* p = image.pixels.get() + 4 * (static_cast<size_t>(y) * image.width + x);
                EXPECT_EQ(255, p[3]);
                rgb.insert(rgb.end(), p, p + 3);
            }
        return true;
    }

    int run(const std::string& command) const { return std::system(command.c_str()); }

    ScratchFolder scratch{"quillmoor_pcx"};
};

}  // namespace

TEST_F(PcxFromTools, ImageMagickPalettePicturesMatchItsOwnDecoding)
{
    for (int width : {40, 41}) {
        SCOPED_TRACE("width " + std::to_string(width));
        const int height = 24;
        std::vector<uint8_t> original = writeGradient("g.ppm", width, height);
        ASSERT_EQ(0, run("convert '" + path("g.ppm") + "' -type Palette 'PCX:" + path("g.pcx") + "'"));
        ASSERT_EQ(0, run("convert 'PCX:" + path("g.pcx") + "' 'rgb:" + path("g.rgb") + "'"));
        std::vector<uint8_t> theirs = slurp(path("g.rgb"));

        PcxImage image;
        std::vector<uint8_t> ours;
        ASSERT_TRUE(decodeRgb(path("g.pcx"), width, image, ours)) << image.failure;
        EXPECT_EQ(width, image.width);
        EXPECT_EQ(height, image.height);
        EXPECT_EQ(theirs, ours);
        EXPECT_EQ(original, ours);
    }
}

TEST_F(PcxFromTools, NetpbmEightBitPicturesMatchItsOwnDecoding)
{
    for (int width : {48, 33}) {
        SCOPED_TRACE("width " + std::to_string(width));
        const int height = 20;
        std::vector<uint8_t> original = writeGradient("g.ppm", width, height);
        ASSERT_EQ(0, run("ppmtopcx -8bit '" + path("g.ppm") + "' > '" + path("g.pcx") + "' 2>/dev/null"));
        ASSERT_EQ(0, run("pcxtoppm '" + path("g.pcx") + "' > '" + path("back.ppm") + "' 2>/dev/null"));
        int theirWidth = 0, theirHeight = 0;
        std::vector<uint8_t> theirs = readPpm(path("back.ppm"), theirWidth, theirHeight);
        ASSERT_EQ(width, theirWidth);
        ASSERT_EQ(height, theirHeight);

        PcxImage image;
        std::vector<uint8_t> ours;
        ASSERT_TRUE(decodeRgb(path("g.pcx"), width, image, ours)) << image.failure;
        EXPECT_EQ(width, image.width);
        EXPECT_EQ(height, image.height);
        EXPECT_EQ(theirs, ours);
        EXPECT_EQ(original, ours);
    }
}
