#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/clock.h"

namespace {

// A timer service whose answers and calls the test controls. A started
// timer keeps its callback, and fire() delivers ticks through it, as the
// platform's timer thread would, until it is killed.
struct FakeTimer {
    static inline uint32_t capsResult = 0;
    static inline uint32_t periodMin = 0;
    static inline uint32_t beginResult = 0;
    static inline uint32_t startResult = 7;
    static inline uint32_t begunPeriod = 0, endedPeriod = 0, startDelay = 0, startResolution = 0;
    static inline int starts = 0, kills = 0, ends = 0;
    static inline uint32_t killedId = 99;
    static inline TimerCallback callback = nullptr;
    static inline void* user = nullptr;

    static void reset()
    {
        capsResult = 0, periodMin = 0, beginResult = 0, startResult = 7;
        begunPeriod = endedPeriod = startDelay = startResolution = 0;
        starts = kills = ends = 0;
        killedId = 99;
        callback = nullptr;
        user = nullptr;
    }
    // `ms` ticks of a running timer; nothing when none was started.
    static void fire(int ms)
    {
        for (int i = 0; i < ms && callback; ++i)
            callback(user);
    }
    static TimerService service()
    {
        TimerService s;
        s.caps = [](TimerCaps& caps) {
            caps.periodMin = periodMin;
            return capsResult;
        };
        s.beginPeriod = [](uint32_t p) {
            begunPeriod = p;
            return beginResult;
        };
        s.endPeriod = [](uint32_t p) {
            endedPeriod = p;
            ++ends;
            return 0u;
        };
        s.start = [](uint32_t delay, uint32_t resolution, TimerCallback tick, void* tickUser) {
            startDelay = delay;
            startResolution = resolution;
            ++starts;
            callback = startResult ? tick : nullptr;  // identifier 0: no callbacks
            user = tickUser;
            return startResult;
        };
        s.kill = [](uint32_t id) {
            killedId = id;
            ++kills;
            callback = nullptr;
        };
        return s;
    }
};

class FrameClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeTimer::reset();
        clock.service = FakeTimer::service();
    }
    void advance(uint32_t ms) { clock.tickCount += ms; }

    FrameClock clock;
    uint32_t timeMs = 0;
    float frameStep = 0.0f;
};

}  // namespace

TEST_F(FrameClockTest, FrameStepIsElapsedOverFiveHundredWithAFloor)
{
    ASSERT_TRUE(clock.startClock());
    clock.readFrameTime(timeMs, frameStep);
    EXPECT_EQ(timeMs, 0u);
    EXPECT_EQ(frameStep, 1e-8f);  // no time passed: the tiny positive step

    advance(16);
    clock.readFrameTime(timeMs, frameStep);
    EXPECT_EQ(timeMs, 16u);
    EXPECT_FLOAT_EQ(frameStep, 0.032f);

    clock.readFrameTime(timeMs, frameStep);  // same millisecond
    EXPECT_EQ(frameStep, 1e-8f);

    advance(1000);  // a stall has no upper clamp
    clock.readFrameTime(timeMs, frameStep);
    EXPECT_EQ(timeMs, 1016u);
    EXPECT_FLOAT_EQ(frameStep, 2.0f);
}

TEST_F(FrameClockTest, ElapsedTimeSurvivesCounterWrap)
{
    clock.tickCount = 0xFFFFFFF0u;
    clock.previousReading = 0xFFFFFFF0u;
    advance(32);
    clock.readFrameTime(timeMs, frameStep);
    EXPECT_EQ(timeMs, 16u);
    EXPECT_FLOAT_EQ(frameStep, 32.0f / 500.0f);
}

TEST_F(FrameClockTest, PeriodIsTheFinestResolutionButAtLeastOne)
{
    for (uint32_t min : {0u, 1u}) {
        FakeTimer::periodMin = min;
        ASSERT_TRUE(clock.startClock());
        EXPECT_EQ(FakeTimer::begunPeriod, 1u);
        EXPECT_EQ(FakeTimer::startResolution, 1u);
    }
    FakeTimer::periodMin = 5;
    ASSERT_TRUE(clock.startClock());
    EXPECT_EQ(FakeTimer::begunPeriod, 5u);
    EXPECT_EQ(FakeTimer::startResolution, 5u);
    EXPECT_EQ(FakeTimer::startDelay, 1u);  // the event still comes every millisecond
    EXPECT_EQ(clock.timerId, 7u);
}

TEST_F(FrameClockTest, RunningTimerTicksTheCounterUntilStopped)
{
    ASSERT_TRUE(clock.startClock());
    FakeTimer::fire(40);
    clock.readFrameTime(timeMs, frameStep);
    EXPECT_EQ(timeMs, 40u);
    EXPECT_FLOAT_EQ(frameStep, 0.08f);

    clock.stopClock();
    FakeTimer::fire(40);
    EXPECT_EQ(clock.tickCount.load(), 40u);
}

TEST_F(FrameClockTest, FailuresLeaveTheCounterStill)
{
    // No timer may be requested when the caps query or the period fails:
    // the ticks the fake would then deliver would move the show. A timer
    // that does not start is a failure as well, not a clock that stands still.
    for (int failing : {0, 1, 2}) {
        FakeTimer::reset();
        clock.service = FakeTimer::service();
        if (failing == 2)
            FakeTimer::startResult = 0;
        else
            (failing == 0 ? FakeTimer::capsResult : FakeTimer::beginResult) = 1;
        EXPECT_FALSE(clock.startClock()) << failing;
        EXPECT_NE(clock.failure, nullptr) << failing;
        EXPECT_EQ(FakeTimer::starts, failing == 2 ? 1 : 0) << failing;
        EXPECT_EQ(clock.timerId, 0u) << failing;
        FakeTimer::fire(250);
        for (int frame = 0; frame < 3; ++frame) {
            clock.readFrameTime(timeMs, frameStep);
            EXPECT_EQ(timeMs, 0u) << failing;
            EXPECT_EQ(frameStep, 1e-8f) << failing;
        }
    }
}

TEST_F(FrameClockTest, StopWithoutStartKillsAndEndsOnce)
{
    clock.stopClock();
    EXPECT_EQ(FakeTimer::kills, 1);
    EXPECT_EQ(FakeTimer::killedId, 0u);
    EXPECT_EQ(FakeTimer::ends, 1);
}

TEST(FrameClockLive, CountsMillisecondsOfRealTime)
{
    using Clock = std::chrono::steady_clock;
    FrameClock clock;  // the platform's timer thread
    auto start = Clock::now();
    ASSERT_TRUE(clock.startClock());
    ASSERT_NE(clock.timerId, 0u);
    auto msSinceStart = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // The count never runs ahead of real time, and after a late wake-up (a
    // loaded machine) it catches up with every millisecond that passed.
    long target = msSinceStart() - 2;
    bool caughtUp = false;
    for (int i = 0; i < 200 && !caughtUp; ++i) {
        uint32_t ticks = clock.tickCount.load();
        EXPECT_LE(static_cast<long>(ticks), msSinceStart());
        caughtUp = static_cast<long>(ticks) >= target;
        if (!caughtUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(caughtUp) << "ticks " << clock.tickCount.load() << " after " << msSinceStart() << " ms";
    clock.stopClock();

    uint32_t after = clock.tickCount.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(clock.tickCount.load(), after);  // stopped means stopped
}
