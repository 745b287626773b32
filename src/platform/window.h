// The show's window, display mode and OpenGL context: window class,
// display-mode change and restore, pixel format, GL context (desktop
// compatibility or OpenGL ES 3.0), cursor, fullscreen switch, message pump
// and buffer swap. Main thread only. Three backends, picked by the build:
//   sdl/   SDL2 over X11 or Wayland (GLX or EGL); a headless run (see
//          platformUseHeadless) uses SDL's "offscreen" driver, EGL pbuffers
//          on Mesa's llvmpipe. SDL_VIDEODRIVER, when named, wins.
//   win32/ USER32/GDI32 window class and message pump, ChangeDisplaySettings
//          for the mode change, a WGL pixel format and context; a headless
//          run keeps the window hidden.
//   web/   the page's canvas and a WebGL 2 context on it (Emscripten's
//          html5.h); the drawable follows the canvas's CSS size.
// Which fullscreen modes and pixel formats are tried, and in which order, is
// window_policy.h's; the backends carry the attempts out. Owns the video
// subsystem (SDL's, or the registered window class) while it is initialised.
#pragma once

#include <cstdint>
#include <string>

struct PlatformWindow;  // opaque: the backend's window plus its GL context

struct DisplayMode {
    int width = 0;      // pixels
    int height = 0;     // pixels
    int refreshHz = 0;  // 0 when unknown
};

// How the fullscreen request was met.
enum class FullscreenFit {
    Windowed,     // not fullscreen
    Exact,        // the requested size and refresh rate
    DesktopRate,  // the requested size at the desktop's refresh rate
    DesktopSize,  // the desktop's own mode (the caller letterboxes)
};

// The pixel format asked for; the platform retries with the nearest that
// exists (stencil 8, alpha 8) when the exact request is refused.
struct PixelFormatRequest {
    int colourBits = 32;
    int alphaBits = 1;
    int depthBits = 24;
    int stencilBits = 16;
};

// The kind of GL context asked for.
enum class GlContextKind {
    Compatibility,  // desktop OpenGL with the fixed-function pipeline
    Es3,            // OpenGL ES 3.0 (WebGL 2 in a browser), for the compatibility layer
};

struct WindowRequest {
    const char* title = "";
    int width = 0;                 // client area, pixels
    int height = 0;
    bool fullscreen = false;
    int refreshHz = 0;             // fullscreen only
    int display = 0;               // monitor index, 0 = primary
    bool resizable = false;        // windowed only
    bool visible = true;           // headless tests keep it hidden
    PixelFormatRequest pixelFormat;
    GlContextKind context = GlContextKind::Compatibility;
};

struct WindowResult {
    PlatformWindow* window = nullptr;
    FullscreenFit fit = FullscreenFit::Windowed;
    int drawableWidth = 0;   // pixels actually available
    int drawableHeight = 0;
    int refreshHz = 0;         // of the fullscreen mode, 0 when unknown
    int pixelFormatIndex = 0;  // 1 = exact request, 2 = nearest match
    std::string failure;       // why, when window is null
};

// Which window system the current context came from.
enum class WindowSystem { NoContext, Glx, Egl, Wgl, WebGl };

// Windows from now on are made for nobody to see (SDL's offscreen driver,
// unless SDL_VIDEODRIVER names another; a hidden window on Windows) and
// sound goes to no device: for the capture tool and tests. Call before the
// first window.
void platformUseHeadless();

// Brings up the video subsystem; `windowClass` names the class of the
// windows made afterwards (X11's WM_CLASS, or the registered Windows window
// class). False with a reason when there is no display.
bool platformInitVideo(std::string& reason, const char* windowClass = nullptr);
// Shuts the video subsystem down again (safe when not initialised).
void platformQuitVideo();

// The desktop's current mode on monitor `display`; false when unknown.
// With the video subsystem down, SDL's backend brings it up for the query
// and takes it down again: on an X server that may leave it with no client,
// and one that resets then can drop the next connection, so a show that
// will open a window brings the video up first.
bool platformDesktopMode(DisplayMode& mode, int display = 0);
// Monitors the video subsystem sees (it must be up); 0 when unknown.
int platformDisplayCount();

// Makes the window (with the fullscreen fallbacks) and a GL context of the
// kind asked for, current on this thread.
WindowResult platformCreateWindow(const WindowRequest& request);
// Destroys context and window; restores the desktop mode. Null is ignored.
void platformDestroyWindow(PlatformWindow* window);

void platformShowWindow(PlatformWindow* window);  // show, raise, focus
// The size of the window's drawable as it is now (after the window manager
// placed it), pixels; 0 x 0 for null.
void platformDrawableSize(PlatformWindow* window, int& width, int& height);
// Switches between fullscreen (the mode the window was made with, or the
// desktop's own when it was made as a window) and a resizable window.
bool platformSetFullscreen(PlatformWindow* window, bool fullscreen);
bool platformIsFullscreen(PlatformWindow* window);
// A drawable smaller than the window, shown stretched over a part of it:
// that part (pixels from the window's lower left, as a GL viewport) and the
// drawable's size. All zero: the plain window, its drawable its own size.
struct StretchedDrawable {
    int x = 0, y = 0, width = 0, height = 0;
    int drawableWidth = 0, drawableHeight = 0;
};
// Where the window system itself can show the drawable stretched over a
// part of the window (the page's canvas, which the browser scales as it
// composes the page), shows it so at once and returns true: a frame drawn
// smaller then costs nothing to scale up. False where it cannot (a desktop
// window). Changes the drawable only when asked for another.
bool platformStretchDrawable(PlatformWindow* window, const StretchedDrawable& stretch);
// Presents the back buffer, its alpha made opaque first where a compositor
// would blend the window by it.
void platformSwapWindow(PlatformWindow* window);
void platformShowCursor(bool visible);

// GL entry point by name, or null.
void* platformGetProcAddress(const char* name);
// The window system of the current context and its extension string.
WindowSystem platformWindowSystem();
const char* platformWindowSystemExtensions();
// Sets the swap interval of the current context; false when refused.
bool platformSetSwapInterval(int interval);

// One event from the window system, mapped to what the show understands.
struct PlatformEvent {
    enum Kind { KeyDown, CloseRequest, Resize, Seek, Other } kind = Other;
    uint32_t virtualKey = 0;  // Windows virtual-key code, KeyDown only
    bool alt = false;         // an Alt key was held, KeyDown only
    uint32_t timeMs = 0;      // show time to jump to, ms, Seek only (a page's timeline)
    int width = 0;            // new drawable size, pixels, Resize only
    int height = 0;
};
// Takes the next pending event; false when there is none.
bool platformPollEvent(PlatformEvent& event);
// Where the show stands after each frame, for a page's player controls to
// show; the desktop backends have none and ignore it.
void platformShowPlace(uint32_t timeMs, bool paused, bool muted);
