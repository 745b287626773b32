#include "platform/timer_registry.h"

#include <mutex>
#include <unordered_map>

namespace {

using Timers = std::unordered_map<uint32_t, std::unique_ptr<RunningTimer>>;

std::mutex timersLock;
// Never destroyed: a timer still running when the program exits goes on
// calling back until the process is gone, and must not be freed under it.
Timers& timers = *new Timers;
uint32_t nextTimerId = 1;  // for backends whose system gives no identifier

}  // namespace

uint32_t platformTimerStart(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback, void* user)
{
    if (!callback)
        return 0;
    std::unique_ptr<RunningTimer> timer = makeRunningTimer(delayMs, resolutionMs, callback, user);
    std::lock_guard<std::mutex> guard(timersLock);
    const uint32_t id = timer->start(nextTimerId);
    if (id == 0)
        return 0;
    if (id == nextTimerId)
        ++nextTimerId;
    timers[id] = std::move(timer);
    return id;
}

void platformTimerKill(uint32_t id)
{
    std::unique_ptr<RunningTimer> timer;
    {
        std::lock_guard<std::mutex> guard(timersLock);
        auto it = timers.find(id);
        if (it == timers.end())
            return;
        timer = std::move(it->second);
        timers.erase(it);
    }
    timer->stop();
}
