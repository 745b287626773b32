#include "app/show_window.h"

#include "gl/gl_api.h"

#include <string>

#include "app/demo.h"
#include "app/main_loop.h"
#include "gl/gl_extensions.h"
#include "gl/gl_window.h"
#include "gl/viewport.h"
#include "platform/log.h"
#include "platform/window.h"

namespace {
constexpr const char* WINDOW_CLASS = "demo_zel";
constexpr const char* WINDOW_TITLE = "quillmoor2o15";
constexpr int FULLSCREEN_REFRESH_HZ = 120;

bool desktopFallback = false;  // the last window took the desktop's own mode

// The monitor asked for, or the primary one (said why) when there is no such monitor.
int chooseDisplay(int asked)
{
    if (asked <= 0)
        return 0;
    const int count = platformDisplayCount();
    if (asked < count)
        return asked;
    logMessage("window", "no display %d (this system has %d); using the primary display", asked, count);
    return 0;
}
}  // namespace

bool openDisplay()
{
    std::string reason;
    if (platformInitVideo(reason, WINDOW_CLASS))
        return true;
    logMessage("window", "no display: %s", reason.c_str());
    return false;
}

bool createGlWindow(Demo& demo, int width, int height, bool fullscreen, int bits)
{
    demo.settings.colourBits = bits;
    demo.settings.fullscreen = fullscreen;

    if (!openDisplay())
        return false;
    demo.classRegistered = true;

    WindowRequest request;
    request.title = WINDOW_TITLE;
    request.width = width;
    request.height = height;
    request.fullscreen = fullscreen;
    request.refreshHz = FULLSCREEN_REFRESH_HZ;
    request.display = chooseDisplay(demo.settings.display);
    request.resizable = !fullscreen;
    request.visible = false;  // shown once everything is in place
    request.pixelFormat.colourBits = bits;
#ifdef QUILLMOOR_GL_COMPAT
    request.context = GlContextKind::Es3;  // drawn through the compatibility layer
#endif
    WindowResult result = platformCreateWindow(request);
    if (!result.window) {
        logMessage("window", "cannot open a %dx%d OpenGL window: %s", width, height, result.failure.c_str());
        return false;
    }
    demo.window = result.window;
    demo.pixelFormat = result.pixelFormatIndex;
    if (result.fit == FullscreenFit::DesktopRate) {
        if (result.refreshHz > 0)
            logMessage("window", "no %dx%d mode at %d Hz; using %d Hz", width, height,
                       FULLSCREEN_REFRESH_HZ, result.refreshHz);
        else
            logMessage("window", "no %dx%d mode at %d Hz; using the display's rate", width, height,
                       FULLSCREEN_REFRESH_HZ);
    }
    demo.settings.width = result.drawableWidth;
    demo.settings.height = result.drawableHeight;
    desktopFallback = result.fit == FullscreenFit::DesktopSize;

    return startGlDrawing(demo.glVersion, demo.extensions);
}

bool openWindow(Demo& demo)
{
    DemoSettings& settings = demo.settings;
    const int askedWidth = settings.width;
    const int askedHeight = settings.height;
    if (!createGlWindow(demo, settings.width, settings.height, settings.fullscreen, settings.colourBits))
        return false;
    platformShowWindow(demo.window);
    if (settings.fullscreen)
        platformShowCursor(false);
    nearPlane = 0.01f;
    farPlane = 10000.0f;
    // The size the window manager gave us, whatever was asked; later changes
    // come to the window procedure.
    int width = 0, height = 0;
    platformDrawableSize(demo.window, width, height);
    if (width > 0 && height > 0) {
        settings.width = width;
        settings.height = height;
    }
    if (desktopFallback)
        logMessage("window", "no %dx%d mode; fullscreen at the desktop's %dx%d", askedWidth, askedHeight,
                   settings.width, settings.height);
    setViewport(settings.width, settings.height);
    if (glExt.swapInterval)
        glExt.swapInterval(settings.vsync ? 1 : 0);
    return true;
}

bool destroyGlWindow(Demo& demo)
{
    if (demo.classRegistered)
        platformShowCursor(true);
    // Destroying the window leaves fullscreen and puts the desktop mode back.
    if (demo.window)
        glApiStop();
    platformDestroyWindow(demo.window);
    demo.window = nullptr;
    bool wasRegistered = demo.classRegistered;
    if (wasRegistered)
        platformQuitVideo();
    demo.classRegistered = false;
    return wasRegistered;
}

void toggleFullscreen(Demo& demo)
{
    const bool fullscreen = !demo.settings.fullscreen;
    if (!platformSetFullscreen(demo.window, fullscreen))
        return;
    demo.settings.fullscreen = fullscreen;
    platformShowCursor(!fullscreen);
    // The size change that follows comes to the window procedure.
}

void windowProc(Demo& demo, const Message& message)
{
    switch (message.kind) {
    case Message::Close:
        demo.quitPosted = true;
        break;
    case Message::Resize:
        if (message.width > 0 && message.height > 0) {
            demo.settings.width = message.width;
            demo.settings.height = message.height;
            setViewport(message.width, message.height);
        }
        break;
    case Message::KeyDown:  // the viewer's key table has them
    case Message::Seek:     // a jump, which the main loop makes
    case Message::None:
    case Message::Quit:
        break;
    }
}
