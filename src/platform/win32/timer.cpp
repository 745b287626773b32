#include "platform/timer.h"

#include <windows.h>
#include <mmsystem.h>

#include "platform/timer_registry.h"

namespace {

// The multimedia timer. Its periodic event comes about once a millisecond,
// but a busy system delivers some late and drops others. Each one makes up
// the callbacks due by now (one per millisecond since the first was due),
// so that a count of callbacks keeps to real time, as on the other backends.
class MultimediaTimer : public RunningTimer {
public:
    MultimediaTimer(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback, void* user)
        : callback(callback), user(user), startNs(platformMonotonicNs()), delayMs(delayMs),
          resolutionMs(resolutionMs) {}

    uint32_t start(uint32_t) override
    {
        // TIME_KILL_SYNCHRONOUS: once timeKillEvent returns, no callback runs
        // any more, and the timer can go.
        id = timeSetEvent(delayMs, resolutionMs, onTimer, reinterpret_cast<DWORD_PTR>(this),
                          TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
        return id;
    }

    void stop() override { timeKillEvent(id); }

private:
    static void CALLBACK onTimer(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
    {
        auto* timer = reinterpret_cast<MultimediaTimer*>(user);
        const uint64_t elapsedMs = (platformMonotonicNs() - timer->startNs) / 1000000u;
        const uint64_t due = elapsedMs >= timer->delayMs ? elapsedMs - timer->delayMs + 1 : 0;
        for (; timer->delivered < due; ++timer->delivered)
            timer->callback(timer->user);
    }

    const TimerCallback callback;
    void* const user;
    const uint64_t startNs;       // when the timer was set
    const uint32_t delayMs;       // the first callback is due this long after
    const uint32_t resolutionMs;
    MMRESULT id = 0;
    uint64_t delivered = 0;       // callbacks made so far (timer thread only)
};

}  // namespace

uint64_t platformMonotonicNs()
{
    static const uint64_t frequency = [] {
        LARGE_INTEGER hz;
        QueryPerformanceFrequency(&hz);  // never fails from Windows XP on
        return static_cast<uint64_t>(hz.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const uint64_t ticks = static_cast<uint64_t>(counter.QuadPart);
    // Whole seconds and the rest apart, so that nothing overflows.
    return ticks / frequency * 1000000000u + ticks % frequency * 1000000000u / frequency;
}

uint32_t platformTimerCaps(TimerCaps& caps)
{
    TIMECAPS system;
    const MMRESULT result = timeGetDevCaps(&system, sizeof system);
    if (result != MMSYSERR_NOERROR)
        return result;
    caps.periodMin = system.wPeriodMin;
    caps.periodMax = system.wPeriodMax;
    return 0;
}

uint32_t platformTimerBeginPeriod(uint32_t periodMs)
{
    return timeBeginPeriod(periodMs);
}

uint32_t platformTimerEndPeriod(uint32_t periodMs)
{
    return timeEndPeriod(periodMs);
}

std::unique_ptr<RunningTimer> makeRunningTimer(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback,
                                               void* user)
{
    return std::make_unique<MultimediaTimer>(delayMs, resolutionMs, callback, user);
}
