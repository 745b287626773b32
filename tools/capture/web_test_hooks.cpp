// Hooks the browser build's tests call from the page (built only into the
// program of the test page, quillmoor-web-test/, never into the shipped
// one; main thread):
// - the capture tool's still: the show at a fixed time, simulated at the
//   capture tool's fixed step and drawn once on the page's canvas, its pixels
//   read back to hold against quillmoor-capture's still at that time;
// - the music's play position, to hold against a recording of the page's
//   audio graph.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio_engine.h"
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

// The play position of the show's music (the first channel the engine
// opened: the show opens no other) in its own frames, at
// quillmoorTestMusicRate() frames a second; -1 before the music is loaded.
extern "C" EMSCRIPTEN_KEEPALIVE double quillmoorTestMusicPosition()
{
    return audioChannelRate(1) ? static_cast<double>(audioChannelPosition(1)) : -1.0;
}

extern "C" EMSCRIPTEN_KEEPALIVE int quillmoorTestMusicRate()
{
    return static_cast<int>(audioChannelRate(1));
}
