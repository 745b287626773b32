// The whole show on odd clocks: random frame gaps with zero-length frames,
// 1 ms frames and one-second stalls, and a clock that never starts. The real
// passes run on a real context; afterwards, and after every frame, no scene
// value may be NaN or infinite and no count may leave its bounds.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "app/demo.h"
#include "app/entry.h"
#include "platform/log.h"
#include "show/scene.h"
#include "support/show_loops.h"
#include "show_harness.h"

namespace {

// Tiny frames: the passes and their GL calls run, the rasteriser has little to do.
constexpr int WIDTH = 64;
constexpr int HEIGHT = 36;
// Every n-th frame is drawn; the others advance the show without GL calls.
constexpr size_t DRAW_EVERY = 40;

struct WholeShowResult {
    uint64_t presented = 0;
    size_t frames = 0;
    uint32_t lastTimeMs = 0;
    std::string firstFault;  // "at <ms>: <what>"
    size_t stalls = 0;
};

// Plays the show to its end on frame gaps drawn by `gap`.
template <typename Gap>
WholeShowResult playWholeShow(Gap gap)
{
    WholeShowResult result;
    ShowHarness harness;
    std::string failure;
    EXPECT_TRUE(harness.open(WIDTH, HEIGHT, true, failure)) << failure;
    if (!harness.isOpen())
        return result;

    std::vector<ScriptedFrame> script;
    uint32_t time = 0;
    while (time < SHOW_END_MS) {
        ScriptedFrame frame;
        frame.gapMs = script.empty() ? 0 : gap();
        frame.draw = script.size() % DRAW_EVERY == 0;
        result.stalls += frame.gapMs >= 1000;
        time += frame.gapMs;
        script.push_back(frame);
    }
    ScriptedShowIo io(harness, script);
    io.afterPasses = [&result](ShowHarness& h) {
        if (!result.firstFault.empty())
            return;
        std::vector<std::string> faults = sceneFaults(h.scene());
        if (!faults.empty())
            result.firstFault = "at " + std::to_string(h.demo().timeMs) + " ms: " + faults[0] + " (and " +
                                std::to_string(faults.size() - 1) + " more)";
        else if (!(h.demo().frameStep >= 1e-8f))
            result.firstFault = "at " + std::to_string(h.demo().timeMs) + " ms: frameStep " +
                                std::to_string(h.demo().frameStep);
    };
    result.presented = runMainLoop(harness.demo(), io);
    result.frames = io.framesStarted();
    result.lastTimeMs = io.lastFrameTimeMs();
    EXPECT_EQ(harness.demo().fadeDone[0], 1u) << "the fade-in never finished";
    return result;
}

}  // namespace

TEST(OddTiming, RandomGapsWithZeroLengthFramesAndStalls)
{
    const uint32_t seed = 1530;
    std::mt19937 random(seed);
    WholeShowResult run = playWholeShow([&random]() -> uint32_t {
        switch (random() % 20) {
        case 0: return 0;     // two frames in one millisecond
        case 1: return 1;
        case 2: return random() % 8 == 0 ? 1000 : 16;  // now and then a stall
        default: return 1 + random() % 40;
        }
    });
    SCOPED_TRACE("seed " + std::to_string(seed));
    EXPECT_TRUE(run.firstFault.empty()) << run.firstFault;
    EXPECT_GT(run.stalls, 0u);
    // The show ends at the first frame at or past its end, without presenting it.
    EXPECT_GE(run.lastTimeMs, SHOW_END_MS);
    EXPECT_EQ(run.presented + 1, run.frames);
}

TEST(OddTiming, OnlyStallsAndFramesWithNoTimeBetweenThem)
{
    // Every other frame a one-second stall, the frames between take no time
    // at all: the largest and the smallest frame step, back to back.
    bool stall = false;
    WholeShowResult run = playWholeShow([&stall]() -> uint32_t {
        stall = !stall;
        return stall ? 1000 : 0;
    });
    EXPECT_TRUE(run.firstFault.empty()) << run.firstFault;
    EXPECT_EQ(run.stalls, 153u);
    EXPECT_EQ(run.lastTimeMs, SHOW_END_MS);
}

TEST(OddTiming, AClockThatNeverStartsHoldsTheFirstMoment)
{
    ShowHarness harness;
    std::string failure;
    ASSERT_TRUE(harness.open(WIDTH, HEIGHT, false, failure)) << failure;

    // Two thousand frames at the first moment, then Escape ends the show.
    std::vector<ScriptedFrame> script(2000);
    for (ScriptedFrame& frame : script)
        frame.gapMs = 5;  // time passes, but no timer counts it
    script.back().messages.push_back(Message{Message::KeyDown, VK_ESCAPE_CODE});
    ScriptedShowIo io(harness, script);
    std::string fault;
    bool timeMoved = false;
    io.afterPasses = [&](ShowHarness& h) {
        timeMoved = timeMoved || h.demo().timeMs != 0 || h.demo().frameStep != 1e-8f;
        std::vector<std::string> faults = sceneFaults(h.scene());
        if (fault.empty() && !faults.empty())
            fault = faults[0];
    };
    const Vec4 firstParticle = harness.scene().particles[0];
    EXPECT_EQ(runMainLoop(harness.demo(), io), 1999u);
    EXPECT_FALSE(timeMoved);
    EXPECT_TRUE(fault.empty()) << fault;
    // Before the eleventh second the cloud does not move.
    EXPECT_EQ(harness.scene().particles[0].y, firstParticle.y);
    EXPECT_EQ(harness.demo().fadeDone[0], 0u);
    harness.close();
    EXPECT_EQ(harness.timerKills(), 1) << "the clock is stopped even though it never ran";
}

// The live show on a clock that cannot start, through each of the ways it
// fails: one line that says so, status 1, and not one frame begun (a frozen
// show would instead run its loop until someone pressed Escape).
namespace {
enum ClockStep { RESOLUTION, PERIOD, TIMER };
ClockStep failingStep = RESOLUTION;
}  // namespace

class LiveShowClock : public ::testing::TestWithParam<ClockStep> {};

TEST_P(LiveShowClock, ThatCannotStartEndsTheShowBeforeItsFirstFrame)
{
    failingStep = GetParam();
    Demo demo;
    demo.clock.service.caps = [](TimerCaps& caps) {
        caps.periodMin = 1;
        return failingStep == RESOLUTION ? 1u : 0u;
    };
    demo.clock.service.beginPeriod = [](uint32_t) { return failingStep == PERIOD ? 1u : 0u; };
    demo.clock.service.start = [](uint32_t, uint32_t, TimerCallback, void*) { return failingStep == TIMER ? 0u : 7u; };
    demo.clock.service.kill = [](uint32_t) {};
    demo.clock.service.endPeriod = [](uint32_t) { return 0u; };
    ShowOptions options;
    options.window = true;
    options.width = WIDTH;
    options.height = HEIGHT;
    options.vsync = false;

    ::testing::internal::CaptureStderr();
    const int status = demoMain(demo, options);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1) << said;
    const size_t line = said.find("clock: ");
    ASSERT_NE(line, std::string::npos) << said;
    EXPECT_EQ(said.find("clock: ", line + 1), std::string::npos) << said;
    EXPECT_EQ(demo.frameStep, 0.0f) << "a frame began";
}

INSTANTIATE_TEST_SUITE_P(EachFailure, LiveShowClock, ::testing::Values(RESOLUTION, PERIOD, TIMER));
