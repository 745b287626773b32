// The show's time base, FrameClock: a periodic 1 ms timer whose callback only
// increments a tick counter, and the per-frame reading that turns the counter
// into the show time `timeMs` and the frame step `frameStep` (elapsed ms /
// 500, never below 1e-8). The timer thread writes the counter; the main
// thread reads it once per frame; both are single atomic 32-bit operations.
// A viewer can hold the show time (pause) and put it elsewhere (seek): the
// counter runs on regardless, and the reading subtracts an offset from it.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/timer.h"

// What the clock asks of the timer service (the platform's, or a test's).
struct TimerService {
    uint32_t (*caps)(TimerCaps& caps) = platformTimerCaps;
    uint32_t (*beginPeriod)(uint32_t periodMs) = platformTimerBeginPeriod;
    uint32_t (*endPeriod)(uint32_t periodMs) = platformTimerEndPeriod;
    uint32_t (*start)(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback, void* user) = platformTimerStart;
    void (*kill)(uint32_t id) = platformTimerKill;
};

struct FrameClock {
    std::atomic<uint32_t> tickCount{0};  // start time plus callbacks since startClock, ms
    uint32_t previousReading = 0;        // tickCount at the previous frame
    TimerCaps caps;                      // as the timer service reported
    uint32_t period = 0;                 // ms, passed to beginPeriod
    uint32_t timerId = 0;                // 0 when no timer runs
    uint32_t offset = 0;                 // tickCount minus show time, ms (wraps)
    bool held = false;                   // the show time stands still
    uint32_t heldMs = 0;                 // the show time while held, ms
    TimerService service;
    const char* failure = nullptr;       // why startClock failed, or null

    // Sets the timer resolution and starts the 1 ms periodic timer, with the
    // show time reading `startMs` until the first tick. False, with the
    // reason in `failure`, when no timer runs: the show time would stand still.
    bool startClock(uint32_t startMs = 0);
    // Kills the timer and ends the period, whether or not it started.
    void stopClock();
    // The timer callback: one more millisecond.
    static void onTick(void* clock);
    // Per-frame reading: show time in ms and the frame step (elapsed / 500).
    void readFrameTime(uint32_t& timeMs, float& frameStep);
    // The show time now (what the next reading would give), ms.
    uint32_t showTime() const;
    // Holds the show time at `timeMs` (a pause), or lets it run on from
    // there (a resume); while held every reading gives `timeMs`.
    void hold(bool holding, uint32_t timeMs);
    // Puts the show time at `timeMs`; the next reading counts its elapsed
    // time from there. A held clock stays held, at `timeMs`.
    void setShowTime(uint32_t timeMs);
};

// frameStep for `elapsedMs` milliseconds: elapsed / 500 as a float, at least 1e-8.
float frameStepFor(uint32_t elapsedMs);
