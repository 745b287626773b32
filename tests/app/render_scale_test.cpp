// The render-scale controller on made-up frame times: renderers whose frame
// cost grows with the pixel count are run for a stretch of simulated time
// and the scale it keeps is checked against the frame times that scale gives.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/render_scale.h"

namespace {

constexpr float BUDGET_MS = 1000.0f / 30.0f;

// Frame cost (ms) of a renderer at `scale`, `atMs` into the run.
using Renderer = std::function<float(float scale, float atMs)>;

struct ScaleHistory {
    std::vector<float> scales;  // the scale of every frame, in order
    int changes = 0;
    int stepsUp = 0;
    float lowest = 1.0f;
    float finalScale = 1.0f;
    float finalFrameMs = 0.0f;
};

ScaleHistory simulate(RenderScaleController& controller, const Renderer& renderer, float seconds)
{
    ScaleHistory run;
    float now = 0.0f;
    float previous = controller.scale();
    while (now < seconds * 1000.0f) {
        const float scale = controller.scale();
        const float frameMs = renderer(scale, now);
        run.scales.push_back(scale);
        run.changes += scale != previous ? 1 : 0;
        run.stepsUp += scale > previous ? 1 : 0;
        run.lowest = std::min(run.lowest, scale);
        previous = scale;
        run.finalFrameMs = frameMs;
        now += frameMs;
        controller.frameTook(frameMs);
    }
    run.finalScale = controller.scale();
    return run;
}

// A renderer with a fixed cost and one that grows with the pixel count.
Renderer pixelBound(float fixedMs, float fullPixelsMs)
{
    return [=](float scale, float) { return fixedMs + fullPixelsMs * scale * scale; };
}

struct Case {
    const char* name;
    Renderer renderer;
    float seconds;
    float lowestAllowed;  // the scale never goes below this
    float finalLow, finalHigh;
    int maxChanges;
};

class ControllerOnRenderer : public ::testing::TestWithParam<Case> {};

TEST_P(ControllerOnRenderer, SettlesWhereTheFramesFitAndStays)
{
    const Case& c = GetParam();
    RenderScaleController controller;
    controller.start(0.0f, BUDGET_MS);
    ASSERT_EQ(controller.scale(), 1.0f) << "auto starts at full size";
    const ScaleHistory run = simulate(controller, c.renderer, c.seconds);
    EXPECT_GE(run.lowest, c.lowestAllowed);
    EXPECT_GE(run.finalScale, c.finalLow);
    EXPECT_LE(run.finalScale, c.finalHigh);
    EXPECT_LE(run.changes, c.maxChanges);
    // The last tenth of the run holds one size.
    const size_t tail = run.scales.size() - run.scales.size() / 10;
    for (size_t i = tail; i < run.scales.size(); ++i)
        ASSERT_EQ(run.scales[i], run.finalScale) << "frame " << i;
}

const Case CASES[] = {
    // Keeps up: full size all along, the picture as without a scale.
    {"KeepsUp", pixelBound(4.0f, 20.0f), 30.0f, 1.0f, 1.0f, 1.0f, 0},
    // 1080p on a software renderer: down to a size whose frames fit.
    {"SoftwareAt1080p", pixelBound(25.0f, 250.0f), 60.0f, 0.25f, 0.25f, 0.36f, 3},
    // A renderer past help: the floor, and no further.
    {"Hopeless", pixelBound(400.0f, 400.0f), 60.0f, 0.25f, 0.25f, 0.25f, 2},
    // Heavy for 20 s, then light: back to full size.
    {"RecoversWhenTheLoadLifts",
     [](float scale, float atMs) { return atMs < 20000.0f ? 10.0f + 200.0f * scale * scale : 8.0f; }, 60.0f,
     0.25f, 1.0f, 1.0f, 12},
    // Frames that just fit at 0.6 but would not at 0.71 with room: holds 0.6.
    {"HoldsBetweenSteps", pixelBound(5.0f, 70.0f), 60.0f, 0.5f, 0.6f, 0.6f, 4},
    // One two-second hitch among quick frames is no reason to step down.
    {"IgnoresOneHitch", [](float, float atMs) { return atMs > 5000.0f && atMs < 5020.0f ? 2000.0f : 10.0f; },
     20.0f, 1.0f, 1.0f, 1.0f, 0},
};

INSTANTIATE_TEST_SUITE_P(RenderScale, ControllerOnRenderer, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RenderScale, NeverFlickersAtAnEdgeTheCostModelMisses)
{
    // Cheap at 0.5 and below, far over budget from 0.6 up: every step up
    // fails. The wait before trying again doubles (2, 4, ... 32 s), so
    // after the climb from 0.35 the tries thin out.
    RenderScaleController controller;
    controller.start(0.0f, BUDGET_MS);
    const Renderer cliff = [](float scale, float) { return scale > 0.55f ? 80.0f : 12.0f; };
    const ScaleHistory run = simulate(controller, cliff, 120.0f);
    EXPECT_LE(run.stepsUp, 8) << "steps up in 120 s";
    size_t atFit = 0;
    for (float scale : run.scales)
        atFit += scale == 0.5f ? 1 : 0;
    EXPECT_GT(atFit, run.scales.size() * 9 / 10);
}

TEST(RenderScale, FixedScaleIgnoresFrameTimesWithinItsBounds)
{
    const struct {
        float asked, kept;
    } fixed[] = {{0.5f, 0.5f}, {1.0f, 1.0f}, {0.25f, 0.25f}, {0.1f, 0.25f}, {3.0f, 1.0f}};
    for (const auto& f : fixed) {
        RenderScaleController controller;
        controller.start(f.asked, BUDGET_MS);
        EXPECT_FALSE(controller.automatic());
        const ScaleHistory run = simulate(controller, pixelBound(300.0f, 300.0f), 10.0f);
        EXPECT_EQ(run.changes, 0) << f.asked;
        EXPECT_EQ(run.finalScale, f.kept) << f.asked;
    }
}

}  // namespace
