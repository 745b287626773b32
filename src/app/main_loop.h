// The main loop: one pass per frame, never sleeping. Reads the clock, drains
// the window messages (a key-down goes through the viewer's key table,
// every other message to the window procedure, and a quit posted by it is
// delivered once the queue is otherwise empty), lets playback wrap a looping
// show or bring back a paused frame, renders the frame and its fades, binds
// the window's framebuffer, ends the show before presenting at 153 000 ms or
// on Escape, presents, and ends after a quit.
// The outside world comes in through FrameIo so tests can drive it.
// Main thread only.
#pragma once

#include <cstdint>

#include "app/controls.h"

struct Demo;

// A message of the pump, as the window system delivered it.
struct Message {
    enum Kind { None, KeyDown, Close, Resize, Quit, Seek } kind = None;
    uint32_t wParam = 0;  // virtual-key code for KeyDown; show time for Seek, ms
    bool alt = false;     // an Alt key was held, KeyDown only
    int32_t width = 0;    // new drawable size, pixels, Resize only
    int32_t height = 0;
};

// What one pass of the loop needs from outside.
struct FrameIo {
    virtual ~FrameIo() = default;
    virtual void readFrameTime() = 0;            // sets demo.timeMs and demo.frameStep
    virtual bool peekMessage(Message& message) = 0;  // next window message, removed; false when none
    virtual void renderFrame() = 0;              // the show's frame
    virtual void drawFades() = 0;                // the timed fades
    virtual void bindWindowFramebuffer() = 0;    // framebuffer 0
    virtual void present() = 0;                  // swap buffers
};

// What one pass of the loop did.
struct FrameOutcome {
    bool presented = false;  // the frame was shown
    bool goOn = false;       // the show continues with another pass
};

// One pass of the loop: the step a desktop loop repeats, and the one a
// browser calls once per animation frame. Passes go on until 153 000 ms
// (never, when looping), Escape or a quit message.
FrameOutcome runFrame(Demo& demo, FrameIo& io);

// Hands one drained message to the window procedure, as dispatching would.
void dispatchMessage(Demo& demo, const Message& message);
