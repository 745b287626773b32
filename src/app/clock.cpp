#include "app/clock.h"

float frameStepFor(uint32_t elapsedMs)
{
    float step = static_cast<float>(elapsedMs) / 500.0f;
    return step < 1e-8f ? 1e-8f : step;
}

bool FrameClock::startClock(uint32_t startMs)
{
    tickCount.store(startMs, std::memory_order_relaxed);
    previousReading = startMs;
    offset = 0;
    held = false;
    failure = nullptr;
    if (service.caps(caps) != 0) {
        failure = "the timer's resolution cannot be read";
        return false;
    }
    period = caps.periodMin < 1 ? 1 : caps.periodMin;
    if (service.beginPeriod(period) != 0) {
        failure = "the timer's period was refused";
        return false;
    }
    // The identifier is kept as it comes back; 0 means no callbacks.
    timerId = service.start(1, period, &FrameClock::onTick, this);
    if (timerId == 0) {
        failure = "the periodic timer cannot start";
        return false;
    }
    return true;
}

void FrameClock::stopClock()
{
    service.kill(timerId);
    timerId = 0;
    service.endPeriod(period);
}

void FrameClock::onTick(void* clock)
{
    static_cast<FrameClock*>(clock)->tickCount.fetch_add(1, std::memory_order_relaxed);
}

uint32_t FrameClock::showTime() const
{
    return held ? heldMs : tickCount.load(std::memory_order_relaxed) - offset;
}

void FrameClock::hold(bool holding, uint32_t timeMs)
{
    held = false;
    setShowTime(timeMs);
    held = holding;
    heldMs = timeMs;
}

void FrameClock::setShowTime(uint32_t timeMs)
{
    offset = tickCount.load(std::memory_order_relaxed) - timeMs;
    heldMs = timeMs;
    previousReading = timeMs;
}

void FrameClock::readFrameTime(uint32_t& timeMs, float& frameStep)
{
    uint32_t now = showTime();
    uint32_t elapsed = now - previousReading;
    timeMs = now;
    previousReading = now;
    frameStep = frameStepFor(elapsed);
}
