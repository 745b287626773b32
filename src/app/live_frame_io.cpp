#include "app/live_frame_io.h"

#include "app/demo.h"
#include "app/playback.h"
#include "platform/window.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/scene.h"

LiveFrameIo::LiveFrameIo(Demo& demo, Scene& scene, float renderScale) : demo_(demo), scene_(scene)
{
    DisplayMode desktop;
    const int refreshHz = platformDesktopMode(desktop, demo.settings.display) ? desktop.refreshHz : 0;
    scale_.start(renderScale, frameBudgetMs(refreshHz));
}

void LiveFrameIo::readFrameTime()
{
    const uint32_t before = demo_.timeMs;
    demo_.clock.readFrameTime(demo_.timeMs, demo_.frameStep);
    if (timed_)
        scale_.frameTook(static_cast<float>(demo_.timeMs - before));
    timed_ = true;
}

bool LiveFrameIo::peekMessage(Message& message)
{
    PlatformEvent event;
    if (!platformPollEvent(event))
        return false;
    message = Message{};
    switch (event.kind) {
    case PlatformEvent::KeyDown:
        message.kind = Message::KeyDown;
        message.wParam = event.virtualKey;
        message.alt = event.alt;
        break;
    case PlatformEvent::CloseRequest:
        message.kind = Message::Close;
        break;
    case PlatformEvent::Seek:
        message.kind = Message::Seek;
        message.wParam = event.timeMs;
        break;
    case PlatformEvent::Resize:
        message.kind = Message::Resize;
        message.width = event.width;
        message.height = event.height;
        break;
    case PlatformEvent::Other:
        break;
    }
    return true;
}

void LiveFrameIo::renderFrame()
{
    scaled_.begin(scale_.scale(), demo_.settings.width, demo_.settings.height, demo_.window);
    ::renderFrame(scene_);
}

void LiveFrameIo::drawFades()
{
    ::drawFades(demo_);
}

void LiveFrameIo::bindWindowFramebuffer()
{
    scaled_.finish();
}

void LiveFrameIo::present()
{
    platformSwapWindow(demo_.window);
    platformShowPlace(demo_.timeMs, demo_.playback.paused, demo_.playback.muted);
}
