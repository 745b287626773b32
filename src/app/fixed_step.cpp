#include "app/fixed_step.h"

#include "app/clock.h"
#include "app/demo.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/scene.h"

uint32_t frameTimeMs(uint64_t frame, int fps)
{
    // round(frame * 1000 / fps), halves rounded up, in integers.
    const uint64_t twice = 2 * frame * 1000 + static_cast<uint64_t>(fps);
    return static_cast<uint32_t>(twice / (2 * static_cast<uint64_t>(fps)));
}

uint64_t firstFrameAtOrAfter(uint32_t timeMs, int fps)
{
    // Start from an estimate just below and walk up: the rounding makes the
    // exact inverse fiddly, and at most a couple of steps are needed.
    uint64_t frame = static_cast<uint64_t>(timeMs) * static_cast<uint64_t>(fps) / 1000;
    frame = frame > 1 ? frame - 2 : 0;
    while (frameTimeMs(frame, fps) < timeMs)
        ++frame;
    return frame;
}

void setFrameTime(Demo& demo, uint32_t timeMs, uint32_t elapsedMs)
{
    demo.timeMs = timeMs;
    demo.frameStep = frameStepFor(elapsedMs);
}

void runFramePasses(Demo& demo, Scene& scene, bool drawing)
{
    scene.drawing = drawing;
    renderFrame(scene);
    drawFades(demo, drawing);
}

void simulateShowTo(Demo& demo, Scene& scene, uint32_t toMs, int fps,
                    void (*beforeFrame)(Demo& demo, uint32_t timeMs))
{
    uint32_t previousMs = 0;
    for (uint64_t frame = 0; frameTimeMs(frame, fps) < toMs; ++frame) {
        const uint32_t now = frameTimeMs(frame, fps);
        if (beforeFrame)
            beforeFrame(demo, now);
        setFrameTime(demo, now, frame == 0 ? 0 : now - previousMs);
        runFramePasses(demo, scene, false);
        previousMs = now;
    }
}
