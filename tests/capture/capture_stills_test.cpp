// What a viewer sees in frames rendered by a capture session, checked
// against expectations worked out from the show's timetable, the plates'
// geometry and projection, and the content pictures themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/demo.h"
#include "audio/audio_decode.h"
#include "audio/audio_engine.h"
#include "audio/spectrum.h"
#include "capture_session.h"
#include "gl/viewport.h"
#include "platform/files.h"
#include "resources/texture_registry.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/overlays.h"
#include "show/scene.h"

namespace {

constexpr int FOG_RED = 105, FOG_GREEN = 221, FOG_BLUE = 255;

// Where the greetings picture is cut into its nine strips, as texture t
// coordinates: strip k runs from entry k (top) to entry k + 1 (bottom).
constexpr double GREET_STRIP_CUTS[10] = {0.0,    0.0958, 0.1955, 0.293,  0.389,
                                         0.4884, 0.5842, 0.682,  0.7813, 0.8793};

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;  // top row first
    const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive pixels
    bool empty() const { return right < left; }
    void add(int x, int y)
    {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
};

// An eye-space rectangle at depth z (negative) on screen: pixel coordinates
// with y down, as fractions, under the show's projection and viewport.
struct ScreenRect {
    double left, top, right, bottom;
};

ScreenRect projectEyeRect(int width, int height, double x0, double y0, double x1, double y1, double z)
{
    const ViewportRect view = fitShowViewport(width, height);
    const double f = 1.0 / std::tan(93.1 * M_PI / 360.0);
    const double aspect = static_cast<double>(view.width) / view.height;
    auto column = [&](double x) { return view.x + (x * f / aspect / -z + 1.0) * 0.5 * view.width; };
    auto row = [&](double y) { return height - (view.y + (y * f / -z + 1.0) * 0.5 * view.height); };
    return {column(x0), row(y1), column(x1), row(y0)};
}

// Where the non-black texels of rows [rowFrom, rowTo) of a picture land when
// the picture's top-left corner is drawn at the rectangle's top-left.
Box expectedLitBox(const Texture& picture, double rowFrom, double rowTo, const ScreenRect& rect)
{
    Box texels;
    for (int y = static_cast<int>(rowFrom); y < static_cast<int>(rowTo); ++y)
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* p = &picture.pixels[(static_cast<size_t>(y) * picture.width + x) * 4];
            if (std::max({p[0], p[1], p[2]}) > 64)
                texels.add(x, y);
        }
    Box box;
    if (texels.empty())
        return box;
    const double sx = (rect.right - rect.left) / picture.width;
    const double sy = (rect.bottom - rect.top) / (rowTo - rowFrom);
    box.left = static_cast<int>(std::floor(rect.left + texels.left * sx));
    box.right = static_cast<int>(std::floor(rect.left + (texels.right + 1) * sx));
    box.top = static_cast<int>(std::floor(rect.top + (texels.top - rowFrom) * sy));
    box.bottom = static_cast<int>(std::floor(rect.top + (texels.bottom + 1 - rowFrom) * sy));
    return box;
}

// Pixels where `with` is brighter than `without`, and whether any pixel got darker.
Box litDifference(const Image& with, const Image& without, int threshold, bool& darker)
{
    Box box;
    darker = false;
    for (int y = 0; y < with.height; ++y)
        for (int x = 0; x < with.width; ++x) {
            int most = 0;
            for (int c = 0; c < 3; ++c) {
                const int d = with.at(x, y)[c] - without.at(x, y)[c];
                darker = darker || d < 0;
                most = std::max(most, d);
            }
            if (most > threshold)
                box.add(x, y);
        }
    return box;
}

// Pixels that differ at all outside `rect` grown by `margin`.
int changedOutside(const Image& a, const Image& b, const ScreenRect& rect, int margin)
{
    int changed = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const bool inside = x >= rect.left - margin && x <= rect.right + margin &&
                                y >= rect.top - margin && y <= rect.bottom + margin;
            if (!inside && std::memcmp(a.at(x, y), b.at(x, y), 3) != 0)
                ++changed;
        }
    return changed;
}

void expectBoxNear(const Box& seen, const Box& expected, int tolerance)
{
    ASSERT_FALSE(seen.empty()) << "nothing lit";
    ASSERT_FALSE(expected.empty());
    EXPECT_NEAR(seen.left, expected.left, tolerance);
    EXPECT_NEAR(seen.right, expected.right, tolerance);
    EXPECT_NEAR(seen.top, expected.top, tolerance);
    EXPECT_NEAR(seen.bottom, expected.bottom, tolerance);
}

class CaptureStills : public ::testing::Test {
protected:
    // Opens a session; with `blankTexture`, that picture is made all black
    // (so an additive plate drawn with it adds nothing).
    void open(int width, int height, int fps, const char* blankTexture = nullptr)
    {
        std::string failure;
        session_ = std::make_unique<CaptureSession>();
        ASSERT_TRUE(session_->open(width, height, fps, failure)) << failure;
        if (blankTexture) {
            Texture* texture = session_->demo().textures.find(blankTexture);
            ASSERT_NE(texture, nullptr);
            std::memset(texture->pixels, 0, static_cast<size_t>(texture->width) * texture->height * 4);
            texture->upload();
        }
    }

    // The frame at or after `timeMs`, reached by simulating every frame before it.
    Image stillAt(uint32_t timeMs)
    {
        session_->skipTo(timeMs);
        session_->runFrame(true);
        return read();
    }

    Image read()
    {
        Image image;
        image.width = session_->width();
        image.height = session_->height();
        session_->readFrame(image.rgba);
        return image;
    }

    // The still at `timeMs` twice: as drawn, and with `texture` blanked in a fresh session.
    void stillWithAndWithout(int width, int height, uint32_t timeMs, const char* texture, Image& with,
                             Image& without)
    {
        open(width, height, 30);
        with = stillAt(timeMs);
        session_.reset();
        open(width, height, 30, texture);
        without = stillAt(timeMs);
    }

    std::unique_ptr<CaptureSession> session_;
};

}  // namespace

TEST_F(CaptureStills, OpeningIsBlackThenRisesThroughTheFogColour)
{
    open(160, 90, 30);
    const Image first = stillAt(0);
    for (size_t i = 0; i < first.rgba.size(); i += 4)
        ASSERT_EQ(first.rgba[i] | first.rgba[i + 1] | first.rgba[i + 2], 0) << "pixel " << i / 4;

    // Half-way through the fade from black: at most half the fog's colour.
    const Image second = stillAt(1000);
    int brightestBlue = 0;
    for (size_t i = 0; i < second.rgba.size(); i += 4) {
        ASSERT_LE(second.rgba[i], FOG_RED / 2 + 1);
        ASSERT_LE(second.rgba[i + 1], FOG_GREEN / 2 + 1);
        ASSERT_LE(second.rgba[i + 2], FOG_BLUE / 2 + 1);
        brightestBlue = std::max<int>(brightestBlue, second.rgba[i + 2]);
    }
    EXPECT_GT(brightestBlue, FOG_BLUE / 4) << "the scene should be showing through";

    // Fade over, no particles or plates yet: nothing brighter than the fog.
    const Image third = stillAt(3000);
    brightestBlue = 0;
    for (size_t i = 0; i < third.rgba.size(); i += 4) {
        ASSERT_LE(third.rgba[i], FOG_RED);
        ASSERT_LE(third.rgba[i + 1], FOG_GREEN);
        brightestBlue = std::max<int>(brightestBlue, third.rgba[i + 2]);
    }
    EXPECT_GT(brightestBlue, FOG_BLUE / 2);
}

TEST_F(CaptureStills, GroupPlateTextIsLitInsideItsRectangleOnly)
{
    const int width = 640, height = 360;
    Image with, without;
    stillWithAndWithout(width, height, 7000, "GROUPS", with, without);

    // The plate flies in from -10 by 2 x step per frame (step = elapsed / 2000)
    // over every frame from 4 000 ms on, counted from the frame before.
    const uint32_t frameBefore = frameTimeMs(firstFrameAtOrAfter(4000, 30) - 1, 30);
    const double depth = -10.0 + (7000 - frameBefore) / 1000.0;
    const ScreenRect rect = projectEyeRect(width, height, -2.0, -1.0, 2.0, 1.0, depth - 3.0);

    bool darker = false;
    const Box lit = litDifference(with, without, 8, darker);
    EXPECT_FALSE(darker) << "an additive plate only brightens";
    EXPECT_EQ(changedOutside(with, without, rect, 1), 0);
    open(width, height, 30);
    const Box expected = expectedLitBox(*session_->demo().textures.find("GROUPS"), 0.0, 256.0, rect);
    expectBoxNear(lit, expected, 2);
}

TEST_F(CaptureStills, TitlePlateTextIsLitBottomRight)
{
    const int width = 640, height = 360;
    Image with, without;
    stillWithAndWithout(width, height, 58000, "TITLE", with, without);
    // Translated to (2.5, -2, 0): the quad spans x 0.5..4.5, y -3..-1 at z = -3.
    const ScreenRect rect = projectEyeRect(width, height, 0.5, -3.0, 4.5, -1.0, -3.0);
    bool darker = false;
    const Box lit = litDifference(with, without, 8, darker);
    EXPECT_FALSE(darker);
    EXPECT_EQ(changedOutside(with, without, rect, 1), 0);
    open(width, height, 30);
    expectBoxNear(lit, expectedLitBox(*session_->demo().textures.find("TITLE"), 0.0, 256.0, rect), 2);
    EXPECT_GT(lit.left, width / 2);
    EXPECT_GT(lit.top, height / 2);
}

TEST_F(CaptureStills, GreetingsStripShowsOneStripWhereItWasThrown)
{
    const int width = 640, height = 360;
    open(width, height, 30);
    const Image with = stillAt(96000);
    const OverlayState state = session_->scene().overlays;
    const Texture greets = *session_->demo().textures.find("GREETS");
    std::vector<uint8_t> greetsPixels(greets.pixels, greets.pixels + greets.width * greets.height * 4);
    session_.reset();
    open(width, height, 30, "GREETS");
    const Image without = stillAt(96000);

    ASSERT_GE(state.greetIndex, 0);
    ASSERT_LE(state.greetIndex, 8);
    // Translated by the thrown offset less 2 in z, scaled 3 x 3, quad at z = -3.
    const double halfHeight = 0.18359375 * 3.0;
    const double x = state.greetOffset[0], y = state.greetOffset[1], z = state.greetOffset[2] - 5.0;
    const ScreenRect rect = projectEyeRect(width, height, x - 6.0, y - halfHeight, x + 6.0, y + halfHeight, z);

    bool darker = false;
    const Box lit = litDifference(with, without, 8, darker);
    EXPECT_FALSE(darker);
    EXPECT_EQ(changedOutside(with, without, rect, 1), 0);
    Texture picture;
    picture.width = greets.width;
    picture.height = greets.height;
    picture.pixels = greetsPixels.data();
    const Box expected = expectedLitBox(picture, GREET_STRIP_CUTS[state.greetIndex] * greets.height,
                                        GREET_STRIP_CUTS[state.greetIndex + 1] * greets.height, rect);
    picture.pixels = nullptr;
    expectBoxNear(lit, expected, 3);
}

TEST_F(CaptureStills, WarmSpritesFillTheDropAt20Seconds)
{
    auto warmPixels = [](const Image& image) {
        int warm = 0;
        for (size_t i = 0; i < image.rgba.size(); i += 4)
            warm += image.rgba[i] > image.rgba[i + 2] + 40 ? 1 : 0;
        return warm;
    };
    open(160, 90, 30);
    // Before the particles start the fog and terrain are bluer than red everywhere.
    EXPECT_EQ(warmPixels(stillAt(10000)), 0);
    EXPECT_GT(warmPixels(stillAt(20000)), 160 * 90 / 100);
}

TEST_F(CaptureStills, ClosingFadeHalvesThePictureAt149Seconds)
{
    open(160, 90, 30);
    session_->skipTo(149000);
    session_->beginFrame(true);
    ASSERT_EQ(session_->demo().timeMs, 149000u);
    renderFrame(session_->scene());
    const Image unfaded = read();
    drawFades(session_->demo(), true);
    const Image faded = read();
    session_->endFrame();
    long total = 0;
    for (size_t i = 0; i < faded.rgba.size(); i += 4)
        for (int c = 0; c < 3; ++c) {
            ASSERT_NEAR(faded.rgba[i + c], unfaded.rgba[i + c] * 0.5, 1.0) << "pixel " << i / 4;
            total += unfaded.rgba[i + c];
        }
    EXPECT_GT(total, 0) << "a black frame proves nothing";
}

TEST_F(CaptureStills, SpectrumIsTheSoundtracksAtEachFramesShowTime)
{
    open(160, 90, 24);
    const MusicTrack& music = session_->demo().music;
    DecodedAudio whole;
    std::string reason;
    ASSERT_TRUE(decodeAudioFile(resolveContentPath("Data\\music.mp3").c_str(), AudioKind::Stream, whole, reason))
        << reason;
    const DecodedAudio* pcm = &whole;
    ASSERT_GT(pcm->frames(), 0u);
    for (uint32_t t : {500u, 12000u, 96000u, 140000u}) {
        session_->skipTo(t);
        session_->runFrame(false);
        const uint32_t now = session_->demo().timeMs;
        const size_t cursor = static_cast<size_t>(static_cast<uint64_t>(now) * pcm->rate / 1000);
        float expected[SPECTRUM_BIN_COUNT];
        computeSpectrum(pcm->samples.data(), pcm->frames(), pcm->channels, cursor, expected);
        for (int bin = 0; bin < SPECTRUM_BIN_COUNT; ++bin)
            ASSERT_FLOAT_EQ(music.spectrum[bin], expected[bin]) << now << " ms, bin " << bin;
    }
}
