// The multimedia timer behind the show's clock: the period it picks from the
// system's own capabilities, ticks that arrive about once a millisecond, a
// held-up timer thread made up for so that the count keeps to real time,
// and no tick after the clock stops.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "app/clock.h"
#include "platform/timer.h"

namespace {

TEST(WinmmTimer, ClockTakesItsPeriodFromTheSystemsCapabilities)
{
    TimerCaps caps;
    ASSERT_EQ(0u, platformTimerCaps(caps));
    EXPECT_LE(caps.periodMin, caps.periodMax);
    EXPECT_GE(caps.periodMax, 1u);

    FrameClock clock;
    ASSERT_TRUE(clock.startClock());
    EXPECT_EQ(caps.periodMin < 1 ? 1u : caps.periodMin, clock.period);
    EXPECT_NE(0u, clock.timerId);
    clock.stopClock();
}

TEST(WinmmTimer, TicksArriveAboutOncePerMillisecondAndStopWithTheClock)
{
    FrameClock clock;
    ASSERT_TRUE(clock.startClock());
    const uint64_t startNs = platformMonotonicNs();
    Sleep(200);
    const uint32_t ticks = clock.tickCount.load();
    const uint64_t elapsedMs = (platformMonotonicNs() - startNs) / 1000000;
    clock.stopClock();
    // Broad bounds: a busy machine delays callbacks, it does not invent them.
    EXPECT_GE(ticks, elapsedMs / 2) << "over " << elapsedMs << " ms";
    EXPECT_LE(ticks, elapsedMs * 2 + 20) << "over " << elapsedMs << " ms";

    const uint32_t stopped = clock.tickCount.load();
    Sleep(50);
    EXPECT_EQ(stopped, clock.tickCount.load()) << "a tick arrived after the timer was killed";
}

TEST(WinmmTimer, AHeldUpTimerThreadIsMadeUpForSoTheCountKeepsToRealTime)
{
    std::atomic<uint32_t> ticks{0};
    const uint64_t startNs = platformMonotonicNs();
    auto msSinceStart = [&] { return static_cast<int64_t>((platformMonotonicNs() - startNs) / 1000000); };
    // The tenth callback holds the timer thread up for 150 ms, as a busy
    // system would: the events due meanwhile come late or not at all.
    const uint32_t id = platformTimerStart(
        1, 1,
        [](void* user) {
            if (static_cast<std::atomic<uint32_t>*>(user)->fetch_add(1) == 10)
                Sleep(150);
        },
        &ticks);
    ASSERT_NE(0u, id);
    Sleep(400);

    const int64_t target = msSinceStart() - 3;
    bool caughtUp = false;
    for (int i = 0; i < 100 && !caughtUp; ++i) {
        const int64_t now = static_cast<int64_t>(ticks.load());
        EXPECT_LE(now, msSinceStart()) << "the count ran ahead of real time";
        caughtUp = now >= target;
        if (!caughtUp)
            Sleep(5);
    }
    EXPECT_TRUE(caughtUp) << ticks.load() << " ticks after " << msSinceStart() << " ms";
    platformTimerKill(id);
}

TEST(WinmmTimer, MonotonicClockFollowsTheSystemsSleep)
{
    const uint64_t before = platformMonotonicNs();
    Sleep(60);
    const uint64_t after = platformMonotonicNs();
    EXPECT_GE(after - before, 50u * 1000000);
    EXPECT_LT(after - before, 2000u * 1000000);
}

}  // namespace
