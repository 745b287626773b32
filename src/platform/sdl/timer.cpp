#include "platform/timer.h"

#include <time.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

constexpr uint64_t NS_PER_MS = 1000000;

struct PeriodicTimer {
    std::thread thread;
    std::atomic<bool> running{true};
};

std::mutex timersLock;
std::unordered_map<uint32_t, PeriodicTimer*> timers;
uint32_t nextTimerId = 1;

timespec toTimespec(uint64_t ns)
{
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / 1000000000u);
    ts.tv_nsec = static_cast<long>(ns % 1000000000u);
    return ts;
}

// Sleeps to absolute deadlines one period apart; after a late wake-up it
// calls back once for every deadline that passed, so no millisecond is lost.
void runTimer(PeriodicTimer* timer, uint32_t delayMs, uint32_t resolutionMs,
              TimerCallback callback, void* user)
{
    uint64_t period = uint64_t(resolutionMs ? resolutionMs : 1) * NS_PER_MS;
    uint64_t step = uint64_t(delayMs ? delayMs : 1) * NS_PER_MS;
    uint64_t deadline = platformMonotonicNs() + step;
    while (timer->running.load(std::memory_order_acquire)) {
        timespec until = toTimespec(deadline);
        int rc;
        do {
            rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
        } while (rc == EINTR && timer->running.load(std::memory_order_acquire));
        uint64_t now = platformMonotonicNs();
        while (deadline <= now && timer->running.load(std::memory_order_acquire)) {
            // One callback per elapsed millisecond of the period.
            for (uint64_t ms = 0; ms < period / NS_PER_MS; ++ms)
                callback(user);
            deadline += period;
        }
    }
}

}  // namespace

uint64_t platformMonotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

uint32_t platformTimerCaps(TimerCaps& caps)
{
    timespec resolution;
    if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0)
        return 1;
    uint64_t ns = uint64_t(resolution.tv_sec) * 1000000000u + uint64_t(resolution.tv_nsec);
    caps.periodMin = static_cast<uint32_t>(ns / NS_PER_MS);  // 0: finer than a millisecond
    caps.periodMax = 1000000;
    return 0;
}

uint32_t platformTimerBeginPeriod(uint32_t periodMs)
{
    return periodMs == 0 ? 1 : 0;
}

uint32_t platformTimerEndPeriod(uint32_t periodMs)
{
    return periodMs == 0 ? 1 : 0;
}

uint32_t platformTimerStart(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback, void* user)
{
    if (!callback)
        return 0;
    auto* timer = new PeriodicTimer;
    try {
        timer->thread = std::thread(runTimer, timer, delayMs, resolutionMs, callback, user);
    } catch (...) {
        delete timer;
        return 0;
    }
    std::lock_guard<std::mutex> guard(timersLock);
    uint32_t id = nextTimerId++;
    timers[id] = timer;
    return id;
}

void platformTimerKill(uint32_t id)
{
    PeriodicTimer* timer = nullptr;
    {
        std::lock_guard<std::mutex> guard(timersLock);
        auto it = timers.find(id);
        if (it == timers.end())
            return;
        timer = it->second;
        timers.erase(it);
    }
    timer->running.store(false, std::memory_order_release);
    timer->thread.join();
    delete timer;
}
