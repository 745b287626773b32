// The periodic timers behind the show's clock as the desktop backends keep
// them: each started timer has an identifier of its own, a kill stops only
// the timer it names and no callback of it comes afterwards, and a kill of
// an identifier that names nothing is ignored.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/timer.h"

namespace {

void countTick(void* user)
{
    static_cast<std::atomic<uint32_t>*>(user)->fetch_add(1);
}

void waitForTicks(const std::atomic<uint32_t>& ticks, uint32_t atLeast)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ticks.load() < atLeast && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(PeriodicTimers, KillStopsOnlyTheTimerItNamesAndUnknownIdentifiersAreIgnored)
{
    std::atomic<uint32_t> first{0}, second{0};
    const uint32_t firstId = platformTimerStart(1, 1, countTick, &first);
    const uint32_t secondId = platformTimerStart(1, 1, countTick, &second);
    ASSERT_NE(firstId, 0u);
    ASSERT_NE(secondId, 0u);
    EXPECT_NE(firstId, secondId);
    EXPECT_EQ(platformTimerStart(1, 1, nullptr, nullptr), 0u) << "a timer with nothing to call";

    waitForTicks(first, 5);
    platformTimerKill(firstId);
    platformTimerKill(firstId);  // twice
    platformTimerKill(0);
    platformTimerKill(firstId + secondId + 1000);
    const uint32_t stopped = first.load();
    EXPECT_GE(stopped, 5u);

    const uint32_t secondBefore = second.load();
    waitForTicks(second, secondBefore + 5);
    EXPECT_GE(second.load(), secondBefore + 5) << "the other timer stopped too";
    EXPECT_EQ(first.load(), stopped) << "a tick arrived after its timer was killed";
    platformTimerKill(secondId);
}

}  // namespace
