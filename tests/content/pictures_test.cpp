// The six pictures the build draws into Data/: each decodes with the show's
// reader and with ImageMagick to the size its texture expects, keeps black
// edges, and puts its text where the plates cut the picture.
#include "resources/pcx_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

namespace {

const std::string DATA = QUILLMOOR_CONTENT_DATA;

struct Grey {
    int width = 0, height = 0;
    std::vector<uint8_t> level;  // red channel; the pictures are grey
    int at(int x, int y) const { return level[size_t(y) * width + x]; }
    bool rowLit(int y) const
    {
        for (int x = 0; x < width; ++x)
            if (at(x, y) > 0) return true;
        return false;
    }
};

std::vector<uint8_t> fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Decodes with the show's reader; fails the test on any refusal.
Grey loadPicture(const std::string& name)
{
    Grey grey;
    const std::string path = DATA + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    EXPECT_NE(file, nullptr) << path;
    if (!file) return grey;
    PcxImage image;
    const bool ok = image.read(file);
    EXPECT_TRUE(ok) << path << ": " << (image.failure ? image.failure : "");
    if (ok) {
        grey.width = image.width;
        grey.height = image.height;
        grey.level.resize(size_t(image.width) * image.height);
        for (size_t i = 0; i < grey.level.size(); ++i) grey.level[i] = image.pixels[4 * i];
    }
    return grey;
}

struct Expected {
    const char* name;
    int width, height;
};
const Expected PICTURES[] = {
    {"dot_sharp.pcx", 256, 256}, {"dot_blurred.pcx", 256, 256}, {"groups.pcx", 512, 256},
    {"title.pcx", 512, 256},     {"greets.pcx", 512, 512},      {"credits.pcx", 512, 512},
};

// Texture t coordinates of the greeting strips, as the show cuts them.
constexpr float STRIP_EDGES[10] = {0.0f, 0.0958f, 0.1955f, 0.293f, 0.389f,
                                   0.4884f, 0.5842f, 0.682f, 0.7813f, 0.8793f};

TEST(ContentPictures, DecodeToTheirTextureSizesWithBlackEdges)
{
    for (const Expected& e : PICTURES) {
        SCOPED_TRACE(e.name);
        const Grey grey = loadPicture(e.name);
        ASSERT_EQ(grey.width, e.width);
        ASSERT_EQ(grey.height, e.height);
        // Textures repeat and plates are added onto the frame: the outer
        // two pixels all round stay black.
        for (int y = 0; y < grey.height; ++y) {
            for (int x = 0; x < grey.width; ++x) {
                if (x < 2 || y < 2 || x >= grey.width - 2 || y >= grey.height - 2) {
                    ASSERT_EQ(grey.at(x, y), 0) << "at " << x << "," << y;
                }
            }
        }
        int lit = 0;
        for (uint8_t v : grey.level) lit += v > 128 ? 1 : 0;
        EXPECT_GT(lit, 500) << "a picture with hardly anything drawn";
    }
}

TEST(ContentPictures, ImageMagickReadsThemAsPcx)
{
    for (const Expected& e : PICTURES) {
        const std::string command = "identify -format '%m %w %h' '" + DATA + "/" + e.name + "' 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char line[256] = {};
        const size_t n = std::fread(line, 1, sizeof line - 1, pipe);
        const int status = pclose(pipe);
        EXPECT_EQ(status, 0) << e.name << ": " << std::string(line, n);
        EXPECT_EQ(std::string(line, n), "PCX " + std::to_string(e.width) + " " + std::to_string(e.height));
    }
}

TEST(ContentPictures, GreetingLinesStayInsideTheirStrips)
{
    const Grey greets = loadPicture("greets.pcx");
    ASSERT_EQ(greets.height, 512);
    for (int k = 0; k < 10; ++k) {
        const float edgeRow = STRIP_EDGES[k] * 512.0f;
        for (int y = int(std::floor(edgeRow - 2.0f)); y <= int(std::ceil(edgeRow + 2.0f)); ++y) {
            if (y >= 0 && y < 512) {
                EXPECT_FALSE(greets.rowLit(y)) << "row " << y << " near edge " << k;
            }
        }
    }
    for (int k = 0; k < 9; ++k) {
        int litRows = 0;
        for (int y = int(STRIP_EDGES[k] * 512.0f); y < int(STRIP_EDGES[k + 1] * 512.0f); ++y) {
            litRows += greets.rowLit(y) ? 1 : 0;
        }
        EXPECT_GE(litRows, 15) << "strip " << k << " holds no readable line";
    }
    for (int y = int(std::ceil(STRIP_EDGES[9] * 512.0f)); y < 512; ++y) {
        ASSERT_FALSE(greets.rowLit(y)) << "row " << y << " is below the last strip";
    }
}

TEST(ContentPictures, CreditsHalvesAreSeparate)
{
    const Grey credits = loadPicture("credits.pcx");
    ASSERT_EQ(credits.height, 512);
    int upper = 0, lower = 0;
    for (int y = 0; y < 512; ++y) {
        if (y >= 248 && y < 264) {
            EXPECT_FALSE(credits.rowLit(y)) << "row " << y << " would show in both halves";
        }
        if (credits.rowLit(y)) (y < 256 ? upper : lower) += 1;
    }
    EXPECT_GT(upper, 60);
    EXPECT_GT(lower, 60);
}

// Pixels strictly between black and white: the width of a disc's edge.
int edgePixels(const Grey& grey)
{
    int n = 0;
    for (uint8_t v : grey.level) n += v > 0 && v < 255 ? 1 : 0;
    return n;
}

TEST(ContentPictures, DotsAreCentredDiscsOneCrispOneBlurred)
{
    const Grey sharp = loadPicture("dot_sharp.pcx");
    const Grey blurred = loadPicture("dot_blurred.pcx");
    ASSERT_EQ(sharp.width, 256);
    ASSERT_EQ(blurred.width, 256);
    for (const Grey* dot : {&sharp, &blurred}) {
        double sum = 0.0, sx = 0.0, sy = 0.0;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                sum += dot->at(x, y);
                sx += dot->at(x, y) * (x + 0.5);
                sy += dot->at(x, y) * (y + 0.5);
            }
        ASSERT_GT(sum, 0.0);
        EXPECT_NEAR(sx / sum, 128.0, 0.5);
        EXPECT_NEAR(sy / sum, 128.0, 0.5);
        EXPECT_EQ(dot->at(128, 128), 255);
    }
    // An anti-aliased edge is a ring about one pixel wide; blurring spreads
    // it over dozens of pixels.
    const int ring = int(2.0 * M_PI * 72.0);
    EXPECT_GT(edgePixels(sharp), ring / 2);
    EXPECT_LT(edgePixels(sharp), ring * 2);
    EXPECT_GT(edgePixels(blurred), ring * 30);
}

TEST(ContentPictures, GenerationIsRepeatable)
{
    const ScratchFolder folder("quillmoor_pictures");
    ASSERT_TRUE(folder.made());
    const std::string command = std::string("'") + QUILLMOOR_MAKE_PICTURES + "' " + folder.path() + " '" +
                                QUILLMOOR_FONT_REGULAR + "' '" + QUILLMOOR_FONT_BOLD + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const Expected& e : PICTURES)
        EXPECT_EQ(fileBytes(folder.file(e.name)), fileBytes(DATA + "/" + e.name)) << e.name;
}

}  // namespace

namespace {

// Where the show puts a plate: the picture rows it shows, the quad's
// half-height and scale, and the range of its eye-space translation (the
// quad is 4 wide and lies at depth 3 before the translation).
struct PlatePlacement {
    const char* picture;
    const char* what;
    float topT, bottomT;
    float halfHeight;
    float scale;
    float xMin, xMax, yMin, yMax, zMin, zMax;
};

// Whether the plate's texel at (u, t), with the plate translated by (tx, ty,
// tz), lands inside the view: the 93.1-degree vertical field of view and a
// 16:9 viewport (narrowed a little for the viewport's rounding to whole pixels).
bool texelVisible(const PlatePlacement& p, float u, float t, float tx, float ty, float tz)
{
    const double tanHalf = std::tan(93.1 * 3.14159265358979323846 / 360.0);
    const double aspect = 16.0 / 9.0 * 0.999;
    const double xLocal = -2.0 + 4.0 * u;
    const double yLocal = p.halfHeight - (t - p.topT) / (p.bottomT - p.topT) * 2.0 * p.halfHeight;
    const double x = tx + p.scale * xLocal;
    const double y = ty + p.scale * yLocal;
    const double depth = 3.0 - tz;
    return depth > 0.0 && std::fabs(x) <= depth * tanHalf * aspect && std::fabs(y) <= depth * tanHalf;
}

}  // namespace

TEST(ContentPictures, EveryPlateShowsAllItsTextOnScreen)
{
    const float edges[10] = {0.0f, 0.0958f, 0.1955f, 0.293f, 0.389f, 0.4884f, 0.5842f, 0.682f, 0.7813f, 0.8793f};
    std::vector<PlatePlacement> plates = {
        // The group plate, where it rests after flying in.
        {"groups.pcx", "groups", 0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.25f, 0.25f},
        {"title.pcx", "title", 0.0f, 1.0f, 1.0f, 1.0f, 2.5f, 2.5f, -2.0f, -2.0f, 0.0f, 0.0f},
        {"credits.pcx", "credits upper half", 0.0f, 0.5f, 1.0f, 1.0f, 4.25f, 4.25f, -2.0f, -2.0f, 0.0f, 0.0f},
        {"credits.pcx", "credits lower half", 0.5f, 1.0f, 1.0f, 1.0f, -2.75f, -2.75f, -2.0f, -2.0f, 0.0f, 0.0f},
    };
    // Each greeting strip anywhere its random offset can put it:
    // x and y within +-1.5, and 1.5 to 2.5 further than the other plates.
    for (int k = 0; k < 9; ++k)
        plates.push_back({"greets.pcx", "greeting strip", edges[k], edges[k + 1], 0.18359375f, 3.0f, -1.5f, 1.5f,
                          -1.5f, 1.5f, -2.5f, -1.5f});

    for (const PlatePlacement& p : plates) {
        const Grey picture = loadPicture(p.picture);
        ASSERT_GT(picture.width, 0) << p.picture;
        int lit = 0, hidden = 0, lastHiddenColumn = -1;
        const int firstRow = int(std::ceil(p.topT * picture.height));
        const int endRow = int(p.bottomT * picture.height);
        for (int row = firstRow; row < endRow; ++row)
            for (int column = 0; column < picture.width; ++column) {
                if (picture.at(column, row) < 26)  // below a tenth of full light
                    continue;
                ++lit;
                const float u = (column + 0.5f) / picture.width;
                const float t = (row + 0.5f) / picture.height;
                bool everywhere = true;
                for (float tx : {p.xMin, p.xMax})
                    for (float ty : {p.yMin, p.yMax})
                        for (float tz : {p.zMin, p.zMax})
                            everywhere = everywhere && texelVisible(p, u, t, tx, ty, tz);
                if (!everywhere) {
                    ++hidden;
                    lastHiddenColumn = std::max(lastHiddenColumn, column);
                }
            }
        EXPECT_GT(lit, 0) << p.what << ": nothing drawn";
        EXPECT_EQ(hidden, 0) << p.what << " (" << p.picture << "): " << hidden << " lit texels off screen, up to column "
                             << lastHiddenColumn;
    }
}

TEST(ContentPictures, UpperCreditsTextEndsBeforeColumn430)
{
    const Grey credits = loadPicture("credits.pcx");
    ASSERT_EQ(credits.width, 512);
    int rightmost = -1;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x)
            if (credits.at(x, y) > 0)
                rightmost = std::max(rightmost, x);
    EXPECT_GT(rightmost, 256) << "the text should still reach right of the middle";
    EXPECT_LE(rightmost, 430);
}
