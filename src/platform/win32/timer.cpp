#include "platform/timer.h"

#include <windows.h>
#include <mmsystem.h>

#include <mutex>
#include <unordered_map>

namespace {

// What a running timer calls; handed to the system as the user value.
struct TimerTarget {
    TimerCallback callback = nullptr;
    void* user = nullptr;
    uint64_t startNs = 0;    // when the timer was set
    uint32_t delayMs = 0;    // the first callback is due this long after
    uint64_t delivered = 0;  // callbacks made so far (timer thread only)
};

std::mutex timersLock;
std::unordered_map<uint32_t, TimerTarget*> timers;  // by identifier, for timeKillEvent

// The system's periodic event comes about once a millisecond, but a busy
// system delivers some late and drops others. Each one makes up the
// callbacks due by now (one per millisecond since the first was due), so
// that a count of callbacks keeps to real time, as on the other backend.
void CALLBACK onTimer(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto* target = reinterpret_cast<TimerTarget*>(user);
    const uint64_t elapsedMs = (platformMonotonicNs() - target->startNs) / 1000000u;
    const uint64_t due = elapsedMs >= target->delayMs ? elapsedMs - target->delayMs + 1 : 0;
    for (; target->delivered < due; ++target->delivered)
        target->callback(target->user);
}

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

uint32_t platformTimerStart(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback, void* user)
{
    if (!callback)
        return 0;
    auto* target = new TimerTarget{callback, user, platformMonotonicNs(), delayMs, 0};
    // Held across the start, so that a kill of this identifier on another
    // thread finds it in the table.
    std::lock_guard<std::mutex> guard(timersLock);
    // TIME_KILL_SYNCHRONOUS: once timeKillEvent returns, no callback runs
    // any more, and the target can go.
    const MMRESULT id = timeSetEvent(delayMs, resolutionMs, onTimer, reinterpret_cast<DWORD_PTR>(target),
                                     TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (id == 0) {
        delete target;
        return 0;
    }
    timers[id] = target;
    return id;
}

void platformTimerKill(uint32_t id)
{
    TimerTarget* target = nullptr;
    {
        std::lock_guard<std::mutex> guard(timersLock);
        auto it = timers.find(id);
        if (it == timers.end())
            return;
        target = it->second;
        timers.erase(it);
    }
    timeKillEvent(id);
    delete target;
}
