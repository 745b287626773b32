#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>

#include "app/main_loop.h"
#include "gl/gl_window.h"
#include "gl/viewport.h"
#include "support/gl_test_context.h"

namespace {

struct Expected {
    int width, height;
    ViewportRect rect;
};

void readProjection(float m[16]) { glGetFloatv(GL_PROJECTION_MATRIX, m); }

}  // namespace

TEST(Viewport, LargestCentredSixteenByNine)
{
    const Expected cases[] = {
        {1920, 1080, {0, 0, 1920, 1080}},
        {1920, 1200, {0, 60, 1920, 1080}},
        {1280, 1024, {0, 152, 1280, 720}},
        {2560, 1080, {320, 0, 1920, 1080}},
        {1366, 768, {0, 0, 1365, 768}},
        {800, 600, {0, 75, 800, 450}},
        {4096, 300, {1781, 0, 533, 300}},
        {300, 4096, {0, 1964, 300, 168}},
        {1, 1, {0, 0, 1, 0}},
    };
    for (const Expected& c : cases) {
        ViewportRect r = fitShowViewport(c.width, c.height);
        EXPECT_EQ(r.x, c.rect.x) << c.width << "x" << c.height;
        EXPECT_EQ(r.y, c.rect.y) << c.width << "x" << c.height;
        EXPECT_EQ(r.width, c.rect.width) << c.width << "x" << c.height;
        EXPECT_EQ(r.height, c.rect.height) << c.width << "x" << c.height;
    }
}

namespace {

// Checks that the context holds the viewport of fitShowViewport(width,
// height) and a perspective of that rectangle's shape.
void expectViewFor(int width, int height)
{
    const ViewportRect rect = fitShowViewport(width, height);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], rect.x) << width << "x" << height;
    EXPECT_EQ(viewport[1], rect.y) << width << "x" << height;
    EXPECT_EQ(viewport[2], rect.width) << width << "x" << height;
    EXPECT_EQ(viewport[3], rect.height) << width << "x" << height;

    float m[16];
    readProjection(m);
    const double f = 1.0 / std::tan(93.1 * 3.14159265358979323846 / 360.0);
    const double ratio = rect.height > 0 ? static_cast<double>(rect.width) / rect.height : 16.0 / 9.0;
    EXPECT_NEAR(m[5], f, 1e-5) << width << "x" << height;
    EXPECT_NEAR(m[0], f / ratio, 1e-4) << width << "x" << height;
    EXPECT_FLOAT_EQ(m[11], -1.0f) << width << "x" << height;
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(std::isfinite(m[i])) << width << "x" << height << " m[" << i << "]";
}

void resetView()
{
    glViewport(1, 2, 3, 4);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace

TEST(Viewport, SetsViewportAndPerspectiveOnTheContext)
{
    GlTestContext gl(32, 32);
    REQUIRE_GL(gl);
    nearPlane = 0.01f;
    farPlane = 10000.0f;

    ASSERT_TRUE(setViewport(1920, 1200));
    expectViewFor(1920, 1200);
    float m[16];
    readProjection(m);
    EXPECT_NEAR(m[10], -(10000.0 + 0.01) / (10000.0 - 0.01), 1e-5);

    GLint mode;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST(Viewport, EveryShapeOfDrawableGetsTheView)
{
    GlTestContext gl(32, 32);
    REQUIRE_GL(gl);
    // Desktops outside the four named aspect classes included (1366 x 768,
    // ultrawide), and shapes no desktop has.
    const int sizes[][2] = {{1366, 768}, {2560, 1080}, {3440, 1440}, {1280, 1024},
                            {4096, 300}, {300, 4096}, {1, 1}, {17, 3}};
    for (const auto& size : sizes) {
        resetView();
        ASSERT_TRUE(setViewport(size[0], size[1])) << size[0] << "x" << size[1];
        expectViewFor(size[0], size[1]);
    }
}

TEST(Viewport, NoSizeSetsNothing)
{
    GlTestContext gl(32, 32);
    REQUIRE_GL(gl);
    resetView();

    EXPECT_FALSE(setViewport(1920, 0));
    EXPECT_FALSE(setViewport(0, 1080));
    EXPECT_FALSE(setViewport(-5, 100));

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 1);
    EXPECT_EQ(viewport[3], 4);
    float m[16];
    readProjection(m);
    EXPECT_EQ(m[0], 1.0f);
    EXPECT_EQ(m[11], 0.0f);
}

TEST(Viewport, EverySizeChangeResetsTheView)
{
    GlTestContext gl(32, 32);
    REQUIRE_GL(gl);
    Demo& demo = gl.demo();
    const int sizes[][2] = {{960, 540}, {800, 600}, {2560, 1080}, {1, 1}, {1366, 768}, {800, 600}};
    for (const auto& size : sizes) {
        resetView();
        Message resize;
        resize.kind = Message::Resize;
        resize.width = size[0];
        resize.height = size[1];
        dispatchMessage(demo, resize);
        expectViewFor(size[0], size[1]);
        EXPECT_EQ(demo.settings.width, size[0]);
        EXPECT_EQ(demo.settings.height, size[1]);
    }
    // A minimised window reports no size: the view stays as it was.
    Message empty;
    empty.kind = Message::Resize;
    dispatchMessage(demo, empty);
    expectViewFor(800, 600);
    EXPECT_EQ(demo.settings.width, 800);
    EXPECT_FALSE(demo.quitPosted);
}
