#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

#include "app/demo.h"
#include "resources/shader_registry.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/scene.h"
#include "show/shader_sources.h"
#include "support/gl_test_context.h"

namespace {

// Frames computed without drawing: state only, no GL context needed.
class FrameDriverTest : public ::testing::Test {
protected:
    Demo demo;
    Scene scene{demo};

    void SetUp() override { scene.drawing = false; }

    void frameAt(uint32_t t, float step)
    {
        demo.timeMs = t;
        demo.frameStep = step;
        renderFrame(scene);
    }
};

void expectEye(const Scene& scene, float x, float y, float z, float tolerance)
{
    EXPECT_NEAR(scene.cameraEye.x, x, tolerance);
    EXPECT_NEAR(scene.cameraEye.y, y, tolerance);
    EXPECT_NEAR(scene.cameraEye.z, z, tolerance);
    EXPECT_EQ(scene.cameraEye.w, 1.0f);
    EXPECT_EQ(scene.cameraTarget.x, 0.0f);
    EXPECT_EQ(scene.cameraTarget.y, 0.0f);
    EXPECT_EQ(scene.cameraTarget.z, 0.0f);
    EXPECT_EQ(scene.cameraTarget.w, 1.0f);
}

}  // namespace

TEST_F(FrameDriverTest, FirstFrameEyeLooksAtTheOriginFromTheOrbitStart)
{
    frameAt(0, 1e-8f);
    expectEye(scene, 7.5f, -0.7f, 0.5f, 1e-5f);
}

TEST_F(FrameDriverTest, PhasesAdvanceWithTheFrameStep)
{
    frameAt(1000, 2.0f);  // one second
    EXPECT_FLOAT_EQ(scene.cameraPhase, 0.25f);
    EXPECT_FLOAT_EQ(scene.attractorPhase, 1.0f);
    expectEye(scene, std::cos(0.25f) * 7.0f + 0.5f, std::sin(0.25f) * 0.5f - 0.7f,
              std::sin(0.25f) * 6.5f + 0.5f, 1e-5f);
    frameAt(1500, 1.0f);
    EXPECT_FLOAT_EQ(scene.cameraPhase, 0.375f);
    EXPECT_FLOAT_EQ(scene.attractorPhase, 1.5f);
}

TEST_F(FrameDriverTest, MotionAndBeatResponseRunOnlyAfter11000)
{
    const Vec4 start = scene.particles[0];
    frameAt(11000, 0.1f);
    EXPECT_EQ(scene.particles[0].y, start.y);
    EXPECT_EQ(scene.focalDistance, 0.5f);

    // Show time is compared as a signed value.
    frameAt(0x80000000u, 0.1f);
    EXPECT_EQ(scene.particles[0].y, start.y);
    EXPECT_EQ(scene.focalDistance, 0.5f);

    frameAt(11001, 0.1f);
    EXPECT_NE(scene.particles[0].y, start.y);
    EXPECT_FLOAT_EQ(scene.focalDistance, 0.55f);
}

TEST_F(FrameDriverTest, FocalRangeOfOneFrameWidensTheOrbitOfTheNext)
{
    // From 0.5, the focal range after a frame is 0.5 + dt, beat or not.
    frameAt(12000, 0.4f);
    EXPECT_NEAR(scene.cameraEye.x, std::cos(0.05f) * 7.0f + 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(scene.focalDistance, 0.7f);

    frameAt(12200, 0.4f);
    EXPECT_NEAR(scene.cameraEye.x, std::cos(0.1f) * 7.2f + 0.5f, 1e-5f);
}

namespace {

class FrameGlTest : public ::testing::Test {
protected:
    GlTestContext gl{64, 36};

    void SetUp() override
    {
        REQUIRE_GL(gl);
        ShaderRegistry& shaders = gl.demo().shaders;
        shaders.addShader("PP_VERT", PP_VERTEX_SOURCE, GL_VERTEX_SHADER);
        shaders.addShader("PP_FRAG", PP_FRAGMENT_SOURCE, GL_FRAGMENT_SHADER);
        ASSERT_NE(shaders.createProgram("PP", "PP_VERT", "PP_FRAG"), nullptr);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(93.1, static_cast<double>(gl.width()) / gl.height(), 0.01, 10000.0);
        glMatrixMode(GL_MODELVIEW);
    }

    // One frame at t on a fresh scene, optionally with the fades on top.
    std::vector<uint8_t> frame(uint32_t t, bool fades)
    {
        Demo& demo = gl.demo();
        demo.timeMs = t;
        demo.frameStep = 0.032f;
        demo.fadeDone[0] = 0;
        demo.fadeDone[1] = 0;
        Scene scene(demo);
        renderFrame(scene);
        if (fades) {
            drawFades(demo);
        }
        return gl.readPixels();
    }
};

}  // namespace

TEST_F(FrameGlTest, RollTurnsThePictureClockwise)
{
    Scene scene(gl.demo());
    scene.cameraEye = Vec4{0.0f, 0.0f, 10.0f, 1.0f};
    scene.cameraTarget = Vec4{0.0f, 0.0f, 0.0f, 1.0f};
    for (float roll : {0.0f, 30.0f, 90.0f}) {
        scene.rollAngle = roll;
        setCameraView(scene);
        GLfloat m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        // World point (0, 1, 0), straight above the target, in eye space.
        const float x = m[4] + m[12], y = m[5] + m[13], z = m[6] + m[14];
        const float radians = roll * 3.14159265f / 180.0f;
        EXPECT_NEAR(x, std::sin(radians), 1e-5f) << roll;  // turned towards the right
        EXPECT_NEAR(y, std::cos(radians), 1e-5f) << roll;
        EXPECT_NEAR(z, -10.0f, 1e-5f) << roll;
        // The eye itself stays at the eye-space origin.
        EXPECT_NEAR(m[8] * 10.0f + m[12], 0.0f, 1e-5f) << roll;
        EXPECT_NEAR(m[9] * 10.0f + m[13], 0.0f, 1e-5f) << roll;
        EXPECT_NEAR(m[10] * 10.0f + m[14], 0.0f, 1e-5f) << roll;
    }
}

TEST_F(FrameGlTest, ShowStartsFromBlack)
{
    const std::vector<uint8_t> scene = frame(0, false);
    const std::vector<uint8_t> faded = frame(0, true);
    int visible = 0;
    for (size_t i = 0; i < faded.size(); i += 4) {
        ASSERT_LE(faded[i] + faded[i + 1] + faded[i + 2], 1) << "pixel " << i / 4;
        visible += scene[i + 1] > 100 ? 1 : 0;
    }
    EXPECT_GT(visible, 0) << "the frame under the fade is empty";
}

TEST_F(FrameGlTest, OneSecondInTheFrameIsHalfBright)
{
    const std::vector<uint8_t> full = frame(1000, false);
    const std::vector<uint8_t> faded = frame(1000, true);
    ASSERT_EQ(full.size(), faded.size());
    // Halving shows only on a lit frame: the fog fills most of it.
    size_t lit = 0;
    for (size_t i = 0; i < full.size(); i += 4)
        lit += full[i] + full[i + 1] + full[i + 2] > 300 ? 1 : 0;
    ASSERT_GT(lit, full.size() / 4 / 2) << "the frame under the fade is too dark to show a halving";
    for (size_t i = 0; i < full.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) {
            ASSERT_LE(std::abs(2 * faded[i + c] - full[i + c]), 2) << "pixel " << i / 4;
        }
    }
}

TEST_F(FrameGlTest, WithoutDrawingTheFrameIsLeftAlone)
{
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    Demo& demo = gl.demo();
    Scene scene(demo);
    scene.drawing = false;
    demo.frameStep = 0.032f;
    for (uint32_t t : {1000u, 12000u, 60000u}) {
        demo.timeMs = t;
        renderFrame(scene);
    }
    EXPECT_GT(scene.cameraPhase, 0.0f);
    const std::vector<uint8_t> pixels = gl.readPixels();
    for (size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i], 51) << "pixel " << i / 4;
        ASSERT_EQ(pixels[i + 1], 102) << "pixel " << i / 4;
        ASSERT_EQ(pixels[i + 2], 153) << "pixel " << i / 4;
    }
}
