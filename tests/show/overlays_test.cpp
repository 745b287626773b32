// The text plates: fade windows, the group plate's approach, the greetings
// slide-show's stepping, and each plate drawn on a headless context with a
// patterned picture.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "app/demo.h"
#include "show/overlays.h"
#include "show/scene.h"
#include "support/gl_test_context.h"

namespace {

// ---- state, without drawing ----

class PlateState : public ::testing::Test {
protected:
    Demo demo;
    Scene scene{demo};
    OverlayState& o = scene.overlays;
    std::array<float, 512> spectrum{};

    void SetUp() override
    {
        scene.drawing = false;
        scene.spectrum = spectrum.data();
    }
};

// One call of a plate's draw function, and what it leaves in OverlayState.
struct PlateCheck {
    float OverlayState::*field;
    float expected;
    bool exact;  // to the bit; otherwise within a few units in the last place
};
struct PlateStep {
    uint32_t timeMs;
    float frameStep;
    std::vector<PlateCheck> checks;
};
using PlateDraw = void (*)(Scene&, uint32_t, float);

constexpr float OverlayState::*GROUPS_ALPHA = &OverlayState::groupsAlpha;
constexpr float OverlayState::*GROUPS_DEPTH = &OverlayState::groupsDepth;
constexpr float OverlayState::*TITLE_ALPHA = &OverlayState::titleAlpha;
constexpr float OverlayState::*CREDITS_FIRST = &OverlayState::creditsFirstAlpha;
constexpr float OverlayState::*CREDITS_SECOND = &OverlayState::creditsSecondAlpha;
constexpr bool EXACT = true;
constexpr bool NEAR = false;

void runPlateSteps(Scene& scene, PlateDraw draw, const std::vector<PlateStep>& steps)
{
    for (const PlateStep& step : steps) {
        draw(scene, step.timeMs, step.frameStep);
        for (const PlateCheck& check : step.checks) {
            if (check.exact)
                EXPECT_EQ(scene.overlays.*check.field, check.expected) << "at " << step.timeMs << " ms";
            else
                EXPECT_FLOAT_EQ(scene.overlays.*check.field, check.expected) << "at " << step.timeMs << " ms";
        }
    }
}

TEST_F(PlateState, GroupsPlateFadesInItsWindowsAndDriftsCloser)
{
    runPlateSteps(scene, drawGroupsPlate,
                  {
                      {3999, 0.1f, {{GROUPS_ALPHA, 0.0f, EXACT}, {GROUPS_DEPTH, -10.0f, EXACT}}},
                      // Drawn from 4 000, but the fade starts at 4 001.
                      {4000, 0.1f, {{GROUPS_ALPHA, 0.0f, EXACT}, {GROUPS_DEPTH, -9.8f, NEAR}}},
                      {4001, 0.1f, {{GROUPS_ALPHA, 0.1f, NEAR}, {GROUPS_DEPTH, -9.6f, NEAR}}},
                      {5000, 2.0f, {{GROUPS_ALPHA, 0.75f, EXACT}}},
                      {9100, 0.1f, {{GROUPS_DEPTH, -9.6f + 4.0f + 0.2f, NEAR}}},
                      {9101, 0.1f, {{GROUPS_DEPTH, 0.25f, EXACT}}},
                      // Holds between the windows, then falls and stops at 0.
                      {11000, 0.1f, {{GROUPS_ALPHA, 0.75f, EXACT}}},
                      {11001, 0.5f, {{GROUPS_ALPHA, 0.25f, NEAR}}},
                      {12000, 2.0f, {{GROUPS_ALPHA, 0.0f, EXACT}}},
                  });

    // After the window nothing moves.
    o.groupsAlpha = 0.5f;
    runPlateSteps(scene, drawGroupsPlate, {{14001, 0.1f, {{GROUPS_ALPHA, 0.5f, EXACT}, {GROUPS_DEPTH, 0.25f, EXACT}}}});
}

TEST_F(PlateState, TitleAndCreditsFadeOnTheirOwnWindows)
{
    runPlateSteps(scene, drawTitlePlate,
                  {
                      {54000, 0.1f, {{TITLE_ALPHA, 0.0f, EXACT}}},
                      {54001, 0.3f, {{TITLE_ALPHA, 0.3f, NEAR}}},
                      {58000, 0.3f, {{TITLE_ALPHA, 0.3f, NEAR}}},
                      {57999, 0.6f, {{TITLE_ALPHA, 0.75f, EXACT}}},
                      {63999, 0.5f, {{TITLE_ALPHA, 0.25f, NEAR}}},
                      {64001, 0.5f, {{TITLE_ALPHA, 0.25f, NEAR}}},
                  });
    runPlateSteps(scene, drawCreditsPlates,
                  {
                      {124999, 0.5f, {{CREDITS_FIRST, 0.0f, EXACT}}},
                      {125001, 0.5f, {{CREDITS_FIRST, 0.5f, NEAR}, {CREDITS_SECOND, 0.0f, EXACT}}},
                      {134000, 0.5f, {{CREDITS_FIRST, 0.5f, NEAR}}},  // between the halves: both hold
                      {135001, 0.5f, {{CREDITS_FIRST, 0.5f, NEAR}, {CREDITS_SECOND, 0.5f, NEAR}}},
                      {141999, 2.0f, {{CREDITS_SECOND, 0.0f, EXACT}}},
                  });
}

TEST_F(PlateState, GreetsStepOnlyOnABassHitAfterTheCooldown)
{
    spectrum[0] = 1.0f;
    ASSERT_EQ(bassEnergy(spectrum.data()), 0.1f);
    drawGreets(scene, 95000, 0.01f);
    EXPECT_EQ(o.greetIndex, 0);
    EXPECT_EQ(o.greetCooldown, 1.0f);

    // Energy above the threshold but the cooldown at exactly 0.95.
    spectrum[0] = 2.0f;
    o.greetCooldown = 0.95f;
    drawGreets(scene, 95000, 0.01f);
    EXPECT_EQ(o.greetIndex, 0);
    EXPECT_FLOAT_EQ(o.greetCooldown, 0.96f);

    // Now it steps, at a place drawn from the generator (first draws after
    // the seed: 25663, 13536, 11263).
    scene.random.seed(SHOW_RANDOM_SEED);
    drawGreets(scene, 100000, 0.01f);
    EXPECT_EQ(o.greetIndex, 1);
    EXPECT_FLOAT_EQ(o.greetCooldown, 0.01f);
    EXPECT_NEAR(o.greetOffset[0], (25663 / 32768.0 - 0.5) * 3.0, 1e-6);
    EXPECT_NEAR(o.greetOffset[1], (13536 / 32768.0 - 0.5) * 3.0, 1e-6);
    EXPECT_NEAR(o.greetOffset[2], 11263 / 32768.0 - 0.5, 1e-6);

    // Not again until the cooldown has climbed back.
    drawGreets(scene, 100001, 0.01f);
    EXPECT_EQ(o.greetIndex, 1);

    // Outside the window nothing happens at all.
    o.greetCooldown = 1.0f;
    drawGreets(scene, 94999, 0.01f);
    EXPECT_EQ(o.greetIndex, 1);
}

TEST_F(PlateState, StepAfterTheLastStripEndsTheSlideShow)
{
    spectrum[0] = 2.0f;
    o.greetIndex = 8;
    const uint32_t randomBefore = scene.random.state;
    drawGreets(scene, 120000, 0.01f);
    EXPECT_EQ(o.greetIndex, 9);
    EXPECT_EQ(scene.random.state, randomBefore);

    o.greetCooldown = 1.0f;
    drawGreets(scene, 120001, 0.01f);
    drawGreets(scene, 150000, 0.01f);
    EXPECT_EQ(o.greetIndex, 9);
    EXPECT_EQ(o.greetCooldown, 1.0f);
    EXPECT_EQ(scene.random.state, randomBefore);
}

// ---- pixels ----

constexpr int WIDTH = 128;
constexpr int HEIGHT = 72;
constexpr double VIEW_ANGLE = 93.1;
const double TAN_HALF_VIEW = std::tan(VIEW_ANGLE * 0.5 * 3.14159265358979 / 180.0);

// A picture lit (white) where s < 0.5 and t < 0.5 agree, black elsewhere.
std::vector<uint8_t> checkerPicture(int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const bool lit = (column < width / 2) == (row < height / 2);
            for (int c = 0; c < 4; ++c) {
                pixels[(static_cast<size_t>(row) * width + column) * 4 + c] = lit ? 255 : 0;
            }
        }
    }
    return pixels;
}

class PlatePixels : public ::testing::Test {
protected:
    GlTestContext gl{WIDTH, HEIGHT};
    std::unique_ptr<Scene> scene;

    void SetUp() override
    {
        REQUIRE_GL(gl);
        scene = std::make_unique<Scene>(gl.demo());
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(VIEW_ANGLE, double(WIDTH) / HEIGHT, 0.01, 10000.0);
        glMatrixMode(GL_MODELVIEW);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    void addPicture(const char* name, int width, int height)
    {
        const std::vector<uint8_t> pixels = checkerPicture(width, height);
        gl.demo().textures.add(name, width, height, pixels.data());
        glDisable(GL_TEXTURE_2D);
    }

    // Grey level of the pixel showing eye-space point (x, y, z).
    int levelAt(double x, double y, double z) const
    {
        const double aspect = double(WIDTH) / HEIGHT;
        const double nx = x / (-z * TAN_HALF_VIEW * aspect);
        const double ny = y / (-z * TAN_HALF_VIEW);
        const int px = static_cast<int>((nx * 0.5 + 0.5) * WIDTH);
        const int py = static_cast<int>((ny * 0.5 + 0.5) * HEIGHT);
        EXPECT_TRUE(px >= 0 && px < WIDTH && py >= 0 && py < HEIGHT) << x << ", " << y;
        return gl.pixel(px, py).r;
    }

    // Level at (s, t) of a plate quad translated by (dx, dy, dz), t running top..bottom.
    int plateLevel(double s, double v, double dx, double dy, double dz) const
    {
        return levelAt(dx - 2.0 + 4.0 * s, dy + 1.0 - 2.0 * v, dz - 3.0);
    }

    bool frameIsBlack() const
    {
        for (uint8_t value : gl.readPixels()) {
            if (value != 0) {
                return false;
            }
        }
        return true;
    }
};

constexpr int FULL = 191;  // 0.75 x 255

TEST_F(PlatePixels, GroupsPlateShowsItsPictureAtItsLevel)
{
    addPicture("GROUPS", 512, 256);
    scene->overlays.groupsAlpha = 0.75f;
    drawGroupsPlate(*scene, 10000, 0.01f);  // between the fades, close to the viewer

    const double z = 0.25;
    EXPECT_NEAR(plateLevel(0.25, 0.25, 0, 0, z), FULL, 2);
    EXPECT_NEAR(plateLevel(0.75, 0.75, 0, 0, z), FULL, 2);
    EXPECT_LE(plateLevel(0.75, 0.25, 0, 0, z), 2);
    EXPECT_LE(plateLevel(0.25, 0.75, 0, 0, z), 2);
    EXPECT_EQ(gl.pixel(1, 1).r, 0);  // outside the quad
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(PlatePixels, TitlePlateSitsLowerRight)
{
    addPicture("TITLE", 512, 256);
    scene->overlays.titleAlpha = 0.5f;
    drawTitlePlate(*scene, 60000, 0.01f);

    EXPECT_NEAR(plateLevel(0.25, 0.25, 2.5, -2.0, 0.0), 128, 2);
    EXPECT_LE(plateLevel(0.75, 0.25, 2.5, -2.0, 0.0), 2);
    EXPECT_NEAR(plateLevel(0.75, 0.75, 2.5, -2.0, 0.0), 128, 2);
    EXPECT_EQ(levelAt(-2.0, 1.0, -3.0), 0);
}

TEST_F(PlatePixels, CreditsDrawEachHalfInItsOwnTime)
{
    addPicture("CREDITS", 512, 512);
    scene->overlays.creditsFirstAlpha = 0.75f;
    scene->overlays.creditsSecondAlpha = 0.75f;

    // Upper half (t 0..0.5): lit on the left only.
    drawCreditsPlates(*scene, 129500, 0.01f);
    EXPECT_NEAR(plateLevel(0.25, 0.5, 4.25, -2.0, 0.0), FULL, 2);
    EXPECT_LE(plateLevel(0.75, 0.5, 4.25, -2.0, 0.0), 2);
    EXPECT_EQ(plateLevel(0.75, 0.5, -2.75, -2.0, 0.0), 0);

    // Lower half (t 0.5..1): lit on the right only.
    glClear(GL_COLOR_BUFFER_BIT);
    drawCreditsPlates(*scene, 139000, 0.01f);
    EXPECT_NEAR(plateLevel(0.75, 0.5, -2.75, -2.0, 0.0), FULL, 2);
    EXPECT_LE(plateLevel(0.25, 0.5, -2.75, -2.0, 0.0), 2);
    EXPECT_EQ(plateLevel(0.25, 0.5, 4.25, -2.0, 0.0), 0);

    // Between the halves it sets up and draws nothing.
    glClear(GL_COLOR_BUFFER_BIT);
    drawCreditsPlates(*scene, 134000, 0.01f);
    EXPECT_TRUE(frameIsBlack());
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(PlatePixels, GreetsShowTheStripOnShow)
{
    addPicture("GREETS", 512, 512);
    // Strip 0 lies in the picture's lit-left top quarter, strip 6 in its
    // lit-right bottom half.
    scene->overlays.greetOffset[0] = 0.0f;
    scene->overlays.greetOffset[1] = 0.0f;
    scene->overlays.greetOffset[2] = 0.0f;
    drawGreets(*scene, 96000, 0.01f);
    // Scaled by 3 in x and y, 2 units further away: x spans -6..6 at z = -5.
    EXPECT_NEAR(levelAt(-3.0, 0.0, -5.0), FULL, 2);
    EXPECT_LE(levelAt(3.0, 0.0, -5.0), 2);
    EXPECT_EQ(levelAt(0.0, 0.8, -5.0), 0);  // above the strip's half-height of 0.55
    EXPECT_NEAR(levelAt(-5.7, 0.0, -5.0), FULL, 2);  // just inside its left end
    EXPECT_EQ(levelAt(-6.3, 0.0, -5.0), 0);          // just outside

    glClear(GL_COLOR_BUFFER_BIT);
    scene->overlays.greetIndex = 6;
    drawGreets(*scene, 96001, 0.01f);
    EXPECT_LE(levelAt(-3.0, 0.0, -5.0), 2);
    EXPECT_NEAR(levelAt(3.0, 0.0, -5.0), FULL, 2);

    // The step past strip 8 draws nothing, then or later.
    glClear(GL_COLOR_BUFFER_BIT);
    std::array<float, 512> loud{};
    loud[0] = 2.0f;
    scene->spectrum = loud.data();
    scene->overlays.greetIndex = 8;
    scene->overlays.greetCooldown = 1.0f;
    drawGreets(*scene, 97000, 0.01f);
    drawGreets(*scene, 99000, 0.01f);
    EXPECT_TRUE(frameIsBlack());
}

TEST_F(PlatePixels, MissingPictureStillDrawsTheQuadInItsLevel)
{
    glDisable(GL_TEXTURE_2D);
    scene->overlays.groupsAlpha = 0.75f;
    drawGroupsPlate(*scene, 10000, 0.01f);
    EXPECT_NEAR(plateLevel(0.25, 0.25, 0, 0, 0.25), FULL, 2);
    EXPECT_NEAR(plateLevel(0.75, 0.25, 0, 0, 0.25), FULL, 2);
}

TEST_F(PlatePixels, NotDrawingAdvancesStateOnly)
{
    addPicture("GROUPS", 512, 256);
    scene->drawing = false;
    drawGroupsPlate(*scene, 5000, 0.5f);
    EXPECT_FLOAT_EQ(scene->overlays.groupsAlpha, 0.5f);
    EXPECT_TRUE(frameIsBlack());
}

}  // namespace
