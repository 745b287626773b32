// The periodic timers that are running, by identifier, for the desktop
// backends (a thread of ours on Linux, the multimedia timer on Windows):
// what platformTimerStart made and platformTimerKill stops, kept under one
// lock, so that start and kill may come from different threads. A backend
// supplies only its primitive, a RunningTimer that starts and stops one
// timer. A browser has no threads; its backend keeps its own few timers
// (web/timer.cpp).
// Any thread; the registry's lock is never held while a timer's callback
// runs.
#pragma once

#include <cstdint>
#include <memory>

// One periodic timer as a backend runs it.
class RunningTimer {
public:
    virtual ~RunningTimer() = default;
    // Starts calling back; returns the timer's identifier (the system's own,
    // or `suggestedId`), 0 when it could not start.
    virtual uint32_t start(uint32_t suggestedId) = 0;
    // Stops calling back: once this returns, no callback of it runs.
    virtual void stop() = 0;
};

// Starts `timer` and keeps it under its identifier; the lock is held across
// the start, so that a kill of that identifier on another thread finds it.
// 0 (and the timer freed) when it could not start.
uint32_t startRegisteredTimer(std::unique_ptr<RunningTimer> timer);
// Takes the timer off the registry, then stops and frees it. An identifier
// that names no running timer (0 among them) is ignored.
void killRegisteredTimer(uint32_t id);
