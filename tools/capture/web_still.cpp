// The capture tool's still, drawn inside the browser build for its tests:
// the page's test hook asks for the show at a fixed time, simulated at the
// capture tool's fixed step and drawn once on the page's canvas, and reads
// the pixels back, to hold against quillmoor-capture's still at that time.
// Built into the browser program only; main thread.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture_session.h"
#include "platform/log.h"

namespace {
std::vector<uint8_t> stillPixels;  // RGBA8, top row first
int stillWidth = 0;
int stillHeight = 0;
}  // namespace

// Draws the first frame at or after `timeMs` (at 60 frames a second) on the
// canvas, whose displayed size must be width x height (a page's window is
// its canvas); returns its RGBA pixels, or null (said why).
extern "C" EMSCRIPTEN_KEEPALIVE const uint8_t* quillmoorTestStill(uint32_t timeMs, int width, int height)
{
    std::string failure;
    CaptureSession session;
    if (!session.open(width, height, SIMULATION_FPS, failure)) {
        logMessage("still", "%s", failure.c_str());
        return nullptr;
    }
    session.skipTo(timeMs);
    session.runFrame(true);
    session.readFrame(stillPixels);
    stillWidth = width;
    stillHeight = height;
    return stillPixels.data();
}

extern "C" EMSCRIPTEN_KEEPALIVE int quillmoorTestStillWidth()
{
    return stillWidth;
}

extern "C" EMSCRIPTEN_KEEPALIVE int quillmoorTestStillHeight()
{
    return stillHeight;
}
