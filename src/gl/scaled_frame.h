// The frame drawn smaller and scaled up: at a render scale below 1 the
// show's passes and fades draw into an offscreen framebuffer (a colour
// texture and a depth buffer) the size of the viewport times the scale,
// which is then laid over the window's viewport with linear filtering, the
// bars around it cleared to black. The projection is the viewport's, so the
// picture is the same shape at every scale. At scale 1 none of this runs:
// the frame goes straight to the window, exactly as without a scale.
// The framebuffer is made on first use and remade only when its size
// changes (a step of the scale or a new window size), never per frame.
// Where the window system stretches a smaller drawable over the picture's
// place itself (the browser's canvas), the frame goes straight into that
// drawable instead, with no framebuffer and no pass of its own.
// Main thread, GL context current; release() before the context goes.
#pragma once

#include <cstdint>

#include "gl/viewport.h"

struct PlatformWindow;

class ScaledFrame {
public:
    ScaledFrame() = default;
    ~ScaledFrame() { release(); }
    ScaledFrame(const ScaledFrame&) = delete;
    ScaledFrame& operator=(const ScaledFrame&) = delete;

    // Before the frame's passes. Below scale 1, binds the framebuffer sized
    // for the viewport of a width x height drawable and points the viewport
    // at it; true when the frame is drawn offscreen. At scale 1, or when the
    // framebuffer cannot be made, false: the frame goes to the window.
    // With `window` given, where its window system stretches a drawable
    // itself, the frame goes to the window's drawable made the size of the
    // smaller picture (false), and at scale 1 the plain window comes back.
    bool begin(float scale, int drawableWidth, int drawableHeight, PlatformWindow* window = nullptr);
    // After the passes and fades: binds the window's framebuffer and, when
    // begin drew offscreen, clears the window's colour and lays the picture
    // over its viewport, leaving the viewport and the GL state as they were.
    void finish();
    // Deletes the framebuffer and its attachments.
    void release();

    int width() const { return width_; }    // pixels of the offscreen picture
    int height() const { return height_; }

private:
    bool make(int width, int height);
    bool stretch(PlatformWindow* window, float scale);
    void drawUpscaled() const;

    uint32_t framebuffer_ = 0;
    uint32_t colour_ = 0;   // texture
    uint32_t depth_ = 0;    // renderbuffer
    int width_ = 0;         // pixels
    int height_ = 0;
    bool drawing_ = false;  // this frame went offscreen
    ViewportRect view_;     // the window's viewport
};
