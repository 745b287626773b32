#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>

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
    };
    for (const Expected& c : cases) {
        ViewportRect r = fitShowViewport(c.width, c.height);
        EXPECT_EQ(r.x, c.rect.x) << c.width << "x" << c.height;
        EXPECT_EQ(r.y, c.rect.y) << c.width << "x" << c.height;
        EXPECT_EQ(r.width, c.rect.width) << c.width << "x" << c.height;
        EXPECT_EQ(r.height, c.rect.height) << c.width << "x" << c.height;
    }
}

TEST(Viewport, SetsViewportAndPerspectiveOnTheContext)
{
    GlTestContext gl(32, 32);
    REQUIRE_GL(gl);
    nearPlane = 0.01f;
    farPlane = 10000.0f;

    ASSERT_TRUE(setViewport(1920, 1200, Aspect16x10));
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 60);
    EXPECT_EQ(viewport[2], 1920);
    EXPECT_EQ(viewport[3], 1080);

    float m[16];
    readProjection(m);
    // gluPerspective: m[5] = cot(fov / 2), m[0] = m[5] / aspect.
    double f = 1.0 / std::tan(93.1 * 3.14159265358979323846 / 360.0);
    EXPECT_NEAR(m[5], f, 1e-5);
    EXPECT_NEAR(m[0], f / (1920.0 / 1080.0), 1e-5);
    EXPECT_NEAR(m[10], -(10000.0 + 0.01) / (10000.0 - 0.01), 1e-5);
    EXPECT_FLOAT_EQ(m[11], -1.0f);

    GLint mode;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}

TEST(Viewport, UnknownClassOrZeroHeightSetsNothing)
{
    GlTestContext gl(32, 32);
    REQUIRE_GL(gl);
    glViewport(1, 2, 3, 4);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);

    EXPECT_FALSE(setViewport(1366, 768, AspectOther));
    EXPECT_FALSE(setViewport(1920, 0, Aspect16x9));

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 1);
    EXPECT_EQ(viewport[3], 4);
    float m[16];
    readProjection(m);
    EXPECT_EQ(m[0], 1.0f);
    EXPECT_EQ(m[11], 0.0f);
}
