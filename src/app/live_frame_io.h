// The main loop's outside world for a live show: the show's clock (the 1 ms
// timer), the window's messages, the frame drawn at the render scale and
// scaled up into the window, and the window's own swap. Owns the render
// scale controller and the scaled frame, which lives in the window's GL
// context: destroy this before the window goes. Main thread only.
#pragma once

#include "app/main_loop.h"
#include "app/render_scale.h"
#include "gl/scaled_frame.h"

struct Demo;
struct Scene;

class LiveFrameIo : public FrameIo {
public:
    // `renderScale` as RenderScaleController::start takes it (0: automatic),
    // aiming at the period of the desktop the show plays on.
    LiveFrameIo(Demo& demo, Scene& scene, float renderScale);

    void readFrameTime() override;
    bool peekMessage(Message& message) override;
    void renderFrame() override;
    void drawFades() override;
    // Framebuffer 0, with a frame drawn smaller scaled up into it.
    void bindWindowFramebuffer() override;
    void present() override;

    // The scale the next frame is drawn at, 0.25..1.
    float renderScale() const { return scale_.scale(); }

private:
    Demo& demo_;
    Scene& scene_;
    RenderScaleController scale_;
    ScaledFrame scaled_;
    bool timed_ = false;  // a frame time was read before
};
