// The show's millisecond clock source: a periodic timer that calls back
// once per elapsed millisecond, and a monotonic clock.
//   sdl/   a thread of its own sleeping to absolute CLOCK_MONOTONIC deadlines
//          one millisecond apart; after a late wake-up it calls back once
//          for every millisecond that passed, so a count of callbacks tracks
//          real time instead of drifting behind it.
//   win32/ the multimedia timer itself (timeGetDevCaps, timeBeginPeriod,
//          timeSetEvent with TIME_PERIODIC), making up on each event the
//          callbacks that late or dropped events owe; QueryPerformanceCounter.
//   web/   no thread: before each animation frame the page's timers call
//          back once for every millisecond that passed on performance.now()
//          (a hidden tab's count jumps to the present when it comes back).
// The callback runs on the timer's thread; the rest on the main thread.
#pragma once

#include <cstdint>

struct TimerCaps {
    uint32_t periodMin = 0;  // ms, finest resolution the system offers
    uint32_t periodMax = 0;  // ms
};

using TimerCallback = void (*)(void* user);

// 0 on success, as the multimedia timer answers.
uint32_t platformTimerCaps(TimerCaps& caps);
uint32_t platformTimerBeginPeriod(uint32_t periodMs);
uint32_t platformTimerEndPeriod(uint32_t periodMs);
// Starts the periodic timer; returns its identifier, 0 on failure.
uint32_t platformTimerStart(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback, void* user);
// Stops the timer with that identifier; no callback of it runs once this
// returns (0 is ignored).
void platformTimerKill(uint32_t id);

// Nanoseconds of a monotonic clock (CLOCK_MONOTONIC, QueryPerformanceCounter,
// performance.now()).
uint64_t platformMonotonicNs();
