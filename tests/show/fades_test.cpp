#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "app/demo.h"
#include "show/fades.h"
#include "support/gl_test_context.h"

namespace {

// Runs the fades at each time in turn without drawing.
void walk(Demo& demo, std::initializer_list<uint32_t> times)
{
    for (uint32_t t : times) {
        demo.timeMs = t;
        drawFades(demo, false);
    }
}

class FadesGlTest : public ::testing::Test {
protected:
    GlTestContext gl{32, 18};

    void SetUp() override
    {
        REQUIRE_GL(gl);
        gl.demo().fadeDone[0] = 0;
        gl.demo().fadeDone[1] = 0;
    }

    // Fills the frame with an opaque colour (0..255 per channel).
    void fill(int r, int g, int b)
    {
        glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    // Every pixel is the given colour within one step.
    void expectEveryPixel(int r, int g, int b, const char* when)
    {
        const std::vector<uint8_t> pixels = gl.readPixels();
        ASSERT_EQ(pixels.size(), static_cast<size_t>(gl.width() * gl.height() * 4));
        for (size_t i = 0; i < pixels.size(); i += 4) {
            ASSERT_LE(std::abs(pixels[i] - r), 1) << when << " pixel " << i / 4;
            ASSERT_LE(std::abs(pixels[i + 1] - g), 1) << when << " pixel " << i / 4;
            ASSERT_LE(std::abs(pixels[i + 2] - b), 1) << when << " pixel " << i / 4;
        }
    }

    void fadeAt(uint32_t t)
    {
        gl.demo().timeMs = t;
        drawFades(gl.demo());
    }

    // A frame filled with (200, 100, 50), faded at `timeMs`, comes out as
    // the colour given.
    struct FadedFrame {
        uint32_t timeMs;
        int r, g, b;
    };
    void expectFaded(std::initializer_list<FadedFrame> frames)
    {
        for (const FadedFrame& frame : frames) {
            fill(200, 100, 50);
            fadeAt(frame.timeMs);
            expectEveryPixel(frame.r, frame.g, frame.b, ("t = " + std::to_string(frame.timeMs)).c_str());
        }
    }
};

}  // namespace

TEST(Fades, RowsFinishOnTheFirstFrameAfterTheirEnd)
{
    Demo demo;
    walk(demo, {0, 1000, 2000});
    EXPECT_EQ(demo.fadeDone[0], 0u);
    walk(demo, {2001});
    EXPECT_EQ(demo.fadeDone[0], 1u);
    EXPECT_EQ(demo.fadeDone[1], 0u);
    walk(demo, {144999, 145000, 153000});
    EXPECT_EQ(demo.fadeDone[1], 0u);
    walk(demo, {153001});
    EXPECT_EQ(demo.fadeDone[1], 1u);
}

TEST(Fades, AGapOverWholeRowsFinishesThemAtOnce)
{
    Demo demo;
    walk(demo, {0, 200000});
    EXPECT_EQ(demo.fadeDone[0], 1u);
    EXPECT_EQ(demo.fadeDone[1], 1u);
}

TEST_F(FadesGlTest, FadeInFromBlack)
{
    expectFaded({{0, 0, 0, 0}, {1000, 100, 50, 25}, {2000, 200, 100, 50}});
    EXPECT_EQ(gl.demo().fadeDone[0], 0u);
    expectFaded({{2016, 200, 100, 50}});
    EXPECT_EQ(gl.demo().fadeDone[0], 1u);
}

TEST_F(FadesGlTest, FadeOutToBlack)
{
    gl.demo().fadeDone[0] = 1;
    expectFaded({{144999, 200, 100, 50}, {149000, 100, 50, 25}, {153000, 0, 0, 0}});
}

TEST_F(FadesGlTest, AFinishedRowIsDrawnOnceAtItsEndAndNeverAgain)
{
    // The frame after a gap from before the fade-out to after it is black,
    // the next one untouched.
    gl.demo().fadeDone[0] = 1;
    walk(gl.demo(), {100000});
    expectFaded({{160000, 0, 0, 0}});
    EXPECT_EQ(gl.demo().fadeDone[1], 1u);
    expectFaded({{160016, 200, 100, 50}});
}

TEST_F(FadesGlTest, QuadCoversTheViewportWhateverTheMatrices)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(5.0, 6.0, 5.0, 6.0, 10.0, 20.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(3.0f, 3.0f, 3.0f);
    GLfloat before[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);

    fill(200, 100, 50);
    drawColourQuad(1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.25f);
    expectEveryPixel(191, 0, 64, "colour quad");

    GLfloat after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(after[i], before[i]) << i;
    }
}

TEST_F(FadesGlTest, StateIsSetEveryFrameEvenWithNothingToDraw)
{
    gl.demo().fadeDone[0] = 1;
    for (uint32_t t : {50000u, 50016u}) {
        glDisable(GL_CULL_FACE);
        glEnable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
        glEnable(GL_TEXTURE_2D);
        fill(10, 20, 30);
        fadeAt(t);
        expectEveryPixel(10, 20, 30, "between the fades");
        EXPECT_TRUE(glIsEnabled(GL_CULL_FACE)) << t;
        EXPECT_FALSE(glIsEnabled(GL_BLEND)) << t;
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << t;
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING)) << t;
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << t;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(FadesGlTest, WithoutDrawingNothingReachesTheFrame)
{
    glEnable(GL_LIGHTING);
    fill(200, 100, 50);
    gl.demo().timeMs = 1000;
    drawFades(gl.demo(), false);
    expectEveryPixel(200, 100, 50, "not drawing");
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    glDisable(GL_LIGHTING);
}
