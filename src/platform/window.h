// The show's window, display mode and OpenGL context, over SDL2.
// Stands in for the window class, display-mode change, pixel format, WGL
// context, cursor, message pump and buffer swap of the original platform.
// Owns the SDL video subsystem while a window exists. Main thread only.
// Headless runs use SDL's "offscreen" driver (EGL pbuffers, Mesa llvmpipe).
#pragma once

#include <cstdint>
#include <string>

struct PlatformWindow;  // opaque: SDL window plus its GL context

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

struct WindowRequest {
    const char* title = "";
    int width = 0;                 // client area, pixels
    int height = 0;
    bool fullscreen = false;
    int refreshHz = 0;             // fullscreen only
    bool visible = true;           // headless tests keep it hidden
    PixelFormatRequest pixelFormat;
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
enum class WindowSystem { NoContext, Glx, Egl };

// Brings up the video subsystem; `windowClass` names the X11 WM_CLASS of the
// windows made afterwards. False with a reason when there is no display.
bool platformInitVideo(std::string& reason, const char* windowClass = nullptr);
// Shuts the video subsystem down again (safe when not initialised).
void platformQuitVideo();

// The desktop's current mode on the primary display; false when unknown.
bool platformDesktopMode(DisplayMode& mode);

// Makes the window (with the fullscreen fallbacks) and a compatibility GL
// context, current on this thread.
WindowResult platformCreateWindow(const WindowRequest& request);
// Destroys context and window; restores the desktop mode. Null is ignored.
void platformDestroyWindow(PlatformWindow* window);

void platformShowWindow(PlatformWindow* window);  // show, raise, focus
void platformSwapWindow(PlatformWindow* window);  // present the back buffer
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
    enum Kind { KeyDown, CloseRequest, Other } kind = Other;
    uint32_t virtualKey = 0;  // Windows virtual-key code, KeyDown only
};
// Takes the next pending event; false when there is none.
bool platformPollEvent(PlatformEvent& event);

// Windows virtual-key code for an SDL key code (0 when it has none).
uint32_t virtualKeyFromSdlKey(int32_t sdlKey);
