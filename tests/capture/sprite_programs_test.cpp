// The cheaper sprite program changes no pixel: stills every 4 s of the show
// at 640 x 360, and three at 1920 x 1080, are drawn once with every sprite
// through the full program and once with the wholly blurred sprites through
// the blurred-only one, and compared byte for byte. Each still is drawn on
// its own (ctest runs every case in a process of its own, so a case that drew
// all of its size's stills would draw them again for each).
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "capture_session.h"
#include "gl/gl_window.h"
#include "show/scene.h"
#include "show/sprites.h"

namespace {

struct StillCase {
    int width, height;
    uint32_t timeMs;
};

void PrintTo(const StillCase& c, std::ostream* os)
{
    *os << c.width << "x" << c.height << " at " << c.timeMs << " ms";
}

std::vector<StillCase> stillCases()
{
    std::vector<StillCase> cases;
    for (uint32_t t = 0; t <= 152000; t += 4000)
        cases.push_back({640, 360, t});
    for (uint32_t t : {20000u, 56000u, 100000u})
        cases.push_back({1920, 1080, t});
    return cases;
}

// How the two ways of drawing compare at one still.
struct Comparison {
    size_t differingBytes = 0;
    size_t firstDifference = 0;  // byte offset, top row first
    int blurredSprites = 0;      // sprites the cheaper program drew
    int sprites = 0;
};

// Draws one still both ways and compares them.
Comparison compareAt(const StillCase& still)
{
    std::vector<uint8_t> single;
    Comparison c;
    for (bool split : {false, true}) {
        CaptureSession session;
        std::string failure;
        if (!session.open(still.width, still.height, 60, failure)) {
            ADD_FAILURE() << failure;
            return c;
        }
        session.scene().singleSpriteProgram = !split;
        std::vector<uint8_t> frame;
        session.skipTo(still.timeMs);
        session.runFrame(true);
        session.readFrame(frame);
        if (!split) {
            single = frame;
            continue;
        }
        for (size_t i = 0; i < frame.size(); ++i) {
            if (frame[i] != single[i] && c.differingBytes++ == 0)
                c.firstDifference = i;
        }
        // The scene as the frame's sprite pass saw it.
        const Scene& scene = session.scene();
        const SpriteFocus focus = spriteFocus(scene, nearPlane, farPlane);
        c.sprites = static_cast<int>(still.timeMs) > static_cast<int>(SHOW_MOTION_START_MS) ? scene.particleCount : 0;
        for (int i = 0; i < c.sprites; ++i) {
            const float p[3] = {scene.particles[i].x, scene.particles[i].y, scene.particles[i].z};
            c.blurredSprites += spriteWhollyBlurred(focus, p) ? 1 : 0;
        }
    }
    return c;
}

class SpritePrograms : public ::testing::TestWithParam<StillCase> {};

TEST_P(SpritePrograms, CheaperPathDrawsTheSameStill)
{
    const StillCase& still = GetParam();
    const Comparison c = compareAt(still);
    EXPECT_EQ(c.differingBytes, 0u) << "first at pixel " << c.firstDifference / 4 % still.width << ", "
                                    << c.firstDifference / 4 / still.width << " (top row 0), "
                                    << c.blurredSprites << " of " << c.sprites << " sprites blurred-only";
}

INSTANTIATE_TEST_SUITE_P(Stills, SpritePrograms, ::testing::ValuesIn(stillCases()), [](const auto& info) {
    return std::to_string(info.param.width) + "x" + std::to_string(info.param.height) + "_" +
           std::to_string(info.param.timeMs / 1000) + "s";
});

// The comparison means something only where the cheaper program draws:
// in the busy stretch most of the cloud is out of focus.
TEST(SpritePrograms, BusyStretchTakesTheCheaperProgram)
{
    for (const StillCase& still : {StillCase{640, 360, 20000}, StillCase{1920, 1080, 20000}}) {
        const Comparison c = compareAt(still);
        EXPECT_GT(c.blurredSprites, c.sprites / 4) << still.width << "x" << still.height;
        EXPECT_LT(c.blurredSprites, c.sprites) << "every sprite wholly blurred: the full program is untried";
    }
}

}  // namespace
