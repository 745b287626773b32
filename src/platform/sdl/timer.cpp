#include "platform/timer.h"

#include <time.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/timer_registry.h"

namespace {

constexpr uint64_t NS_PER_MS = 1000000;

timespec toTimespec(uint64_t ns)
{
    timespec ts;
    ts.tv_sec = static_cast<time_t>(ns / 1000000000u);
    ts.tv_nsec = static_cast<long>(ns % 1000000000u);
    return ts;
}

// A thread of its own that sleeps to absolute deadlines one period apart;
// after a late wake-up it calls back once for every deadline that passed,
// so no millisecond is lost.
class PeriodicTimer : public RunningTimer {
public:
    PeriodicTimer(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback, void* user)
        : delayMs(delayMs), resolutionMs(resolutionMs), callback(callback), user(user) {}

    uint32_t start(uint32_t suggestedId) override
    {
        try {
            thread = std::thread(&PeriodicTimer::run, this);
        } catch (...) {
            return 0;
        }
        return suggestedId;
    }

    void stop() override
    {
        running.store(false, std::memory_order_release);
        thread.join();
    }

private:
    void run()
    {
        uint64_t period = uint64_t(resolutionMs ? resolutionMs : 1) * NS_PER_MS;
        uint64_t step = uint64_t(delayMs ? delayMs : 1) * NS_PER_MS;
        uint64_t deadline = platformMonotonicNs() + step;
        while (running.load(std::memory_order_acquire)) {
            timespec until = toTimespec(deadline);
            int rc;
            do {
                rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
            } while (rc == EINTR && running.load(std::memory_order_acquire));
            uint64_t now = platformMonotonicNs();
            while (deadline <= now && running.load(std::memory_order_acquire)) {
                // One callback per elapsed millisecond of the period.
                for (uint64_t ms = 0; ms < period / NS_PER_MS; ++ms)
                    callback(user);
                deadline += period;
            }
        }
    }

    const uint32_t delayMs;
    const uint32_t resolutionMs;
    const TimerCallback callback;
    void* const user;
    std::thread thread;
    std::atomic<bool> running{true};
};

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

std::unique_ptr<RunningTimer> makeRunningTimer(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback,
                                               void* user)
{
    return std::make_unique<PeriodicTimer>(delayMs, resolutionMs, callback, user);
}
