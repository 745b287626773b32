// The browser backend's timer. A page has no threads to wake every
// millisecond, so a timer keeps its start on performance.now() and, before
// each frame (webTimersCatchUp), calls back once for every millisecond that
// passed since it last did: the count is the desktop timer's, elapsed real
// milliseconds, however late the frame comes. A tab the browser hid gets no
// frames; when it comes back the count jumps to the present, where the
// music went on playing.
#include "platform/timer.h"

#include "platform/web/backend.h"

#include <emscripten/emscripten.h>

namespace {

constexpr int MAX_TIMERS = 4;
constexpr double NS_PER_MS = 1e6;

struct WebTimer {
    bool running = false;
    uint64_t nextDeadlineNs = 0;  // on platformMonotonicNs
    uint64_t periodNs = 0;
    uint32_t periodMs = 0;
    TimerCallback callback = nullptr;
    void* user = nullptr;
};

WebTimer timers[MAX_TIMERS];  // identifier = index + 1

}  // namespace

uint64_t platformMonotonicNs()
{
    return static_cast<uint64_t>(emscripten_get_now() * NS_PER_MS);
}

uint32_t platformTimerCaps(TimerCaps& caps)
{
    caps.periodMin = 1;
    caps.periodMax = 1000000;
    return 0;
}

uint32_t platformTimerStart(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback, void* user)
{
    if (!callback)
        return 0;
    for (int i = 0; i < MAX_TIMERS; ++i) {
        WebTimer& timer = timers[i];
        if (timer.running)
            continue;
        timer.periodMs = resolutionMs ? resolutionMs : 1;
        timer.periodNs = static_cast<uint64_t>(timer.periodMs * NS_PER_MS);
        timer.nextDeadlineNs = platformMonotonicNs() + static_cast<uint64_t>((delayMs ? delayMs : 1) * NS_PER_MS);
        timer.callback = callback;
        timer.user = user;
        timer.running = true;
        return static_cast<uint32_t>(i + 1);
    }
    return 0;
}

void platformTimerKill(uint32_t id)
{
    if (id >= 1 && id <= MAX_TIMERS)
        timers[id - 1].running = false;
}

void webTimersCatchUp()
{
    const uint64_t now = platformMonotonicNs();
    for (WebTimer& timer : timers) {
        while (timer.running && timer.nextDeadlineNs <= now) {
            // One callback per elapsed millisecond of the period.
            for (uint32_t ms = 0; ms < timer.periodMs; ++ms)
                timer.callback(timer.user);
            timer.nextDeadlineNs += timer.periodNs;
        }
    }
}
