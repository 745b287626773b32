// The periodic timers that are running, by identifier, for the desktop
// backends (a thread of ours on Linux, the multimedia timer on Windows):
// platformTimerStart and platformTimerKill (timer.h) are written once, in
// native/timer_registry.cpp, over one lock, so that start and kill may come
// from different threads. A backend supplies only its primitive, a
// RunningTimer that starts and stops one timer. A browser has no threads;
// its backend keeps its own few timers (web/timer.cpp).
// Any thread; a timer's callback never waits on the registry's lock.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/timer.h"

// One periodic timer as a backend runs it.
class RunningTimer {
public:
    virtual ~RunningTimer() = default;
    // Starts calling back; returns the timer's identifier (the system's own,
    // or `suggestedId`), 0 when it could not start. Called with the
    // registry's lock held, so that a kill of that identifier on another
    // thread finds it.
    virtual uint32_t start(uint32_t suggestedId) = 0;
    // Stops calling back: once this returns, no callback of it runs.
    virtual void stop() = 0;
};

// The backend's timer that calls `callback` once per elapsed millisecond,
// the first after `delayMs`, at `resolutionMs`; not started yet.
std::unique_ptr<RunningTimer> makeRunningTimer(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback,
                                               void* user);
