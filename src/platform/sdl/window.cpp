#include "platform/window.h"
#include "platform/log.h"
#include "platform/mode_guard.h"
#include "platform/window_policy.h"
#include "platform/sdl/keys.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glx.h>
#include <SDL.h>
#include <SDL_syswm.h>
#include <signal.h>

#include <cstdlib>
#include <cstring>

struct PlatformWindow {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool changedMode = false;
    Uint32 fullscreenFlag = SDL_WINDOW_FULLSCREEN_DESKTOP;  // how to go fullscreen
    SDL_DisplayMode mode{};  // the mode for SDL_WINDOW_FULLSCREEN
    bool offscreen = false;  // drawn into a pbuffer, which a swap does not flush
    bool fillAlpha = false;  // the drawable has alpha that a compositor would show through
};

namespace {

bool videoUp = false;
bool headless = false;

// SDL turns SIGINT and SIGTERM into a quit request; a closed terminal
// (SIGHUP) and Ctrl+\ (SIGQUIT) end the show the same way, through the
// event queue, so the desktop's mode is put back by the usual teardown.
constexpr int ENDING_SIGNALS[] = {SIGHUP, SIGQUIT};
struct sigaction previousActions[2];
bool signalsCaught = false;
volatile sig_atomic_t endRequested = 0;

void onEndingSignal(int)
{
    endRequested = 1;
}

void catchEndingSignals()
{
    struct sigaction action = {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 2; ++i)
        sigaction(ENDING_SIGNALS[i], &action, &previousActions[i]);
    signalsCaught = true;
}

void releaseEndingSignals()
{
    if (!signalsCaught)
        return;
    signalsCaught = false;
    endRequested = 0;
    for (int i = 0; i < 2; ++i)
        sigaction(ENDING_SIGNALS[i], &previousActions[i], nullptr);
}

bool named(const char* variable)
{
    const char* value = std::getenv(variable);
    return value && *value;
}

// Starts the video subsystem on the named driver only. Called when
// SDL_VIDEODRIVER is unset (SDL would let it win over the hint).
bool startDriver(const char* driver)
{
    SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
    const bool ok = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    return ok;
}

// Starts the video subsystem, on the named driver unless null, trying an
// X server that turns it away again for a moment (see
// DISPLAY_RETRY_PAUSES_MS); SDL says "x11 not available" both for a server
// in its reset and for none at all.
bool startVideoOn(const char* driver)
{
    auto start = [driver] { return driver ? startDriver(driver) : SDL_InitSubSystem(SDL_INIT_VIDEO) == 0; };
    const char* driverName = driver ? driver : std::getenv("SDL_VIDEODRIVER");
    if (start())
        return true;
    if (!driverName || std::strcmp(driverName, "x11") != 0)
        return false;
    for (int pauseMs : DISPLAY_RETRY_PAUSES_MS) {
        SDL_Delay(static_cast<Uint32>(pauseMs));
        if (start())
            return true;
    }
    return false;
}

// Brings SDL's video up on a driver a viewer can see; SDL on its own would
// fall through to the offscreen driver and play to nobody. A failure keeps
// SDL's own reason for each display tried.
bool startVideo(std::string& reason)
{
    if (named("SDL_VIDEODRIVER")) {
        if (startVideoOn(nullptr))
            return true;
        reason = std::string("SDL_VIDEODRIVER=") + std::getenv("SDL_VIDEODRIVER") + ": " + SDL_GetError();
        return false;
    }
    if (headless) {
        if (startDriver("offscreen"))
            return true;
        reason = std::string("no offscreen OpenGL driver: ") + SDL_GetError();
        return false;
    }
    // Wayland's library complains on stderr when it has no display to try.
    if (named("WAYLAND_DISPLAY")) {
        if (startDriver("wayland"))
            return true;
        reason = std::string("cannot reach the Wayland display ") + std::getenv("WAYLAND_DISPLAY") + ": " +
                 SDL_GetError();
    }
    if (named("DISPLAY")) {
        if (startVideoOn("x11"))
            return true;
        reason += (reason.empty() ? "" : "; ") + std::string("cannot reach the X server at DISPLAY=") +
                  std::getenv("DISPLAY") + ": " + SDL_GetError();
    }
    if (reason.empty())
        reason = "neither DISPLAY nor WAYLAND_DISPLAY is set "
                 "(SDL_VIDEODRIVER=offscreen runs the show without one)";
    return false;
}

void setPixelFormatAttributes(const PixelFormatRequest& format, GlContextKind kind)
{
    int channel = format.colourBits >= 24 ? 8 : 5;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, format.alphaBits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, format.depthBits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, format.stencilBits);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    if (kind == GlContextKind::Es3) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    } else {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    }
}

// A mode of the requested size at `refreshHz` (0: any rate), if the display has one.
bool findDisplayMode(int display, int width, int height, int refreshHz, SDL_DisplayMode& found)
{
    int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) != 0)
            continue;
        if (mode.w == width && mode.h == height && (refreshHz == 0 || mode.refresh_rate == refreshHz)) {
            found = mode;
            return true;
        }
    }
    return false;
}

// SDL's Wayland driver has no display modes of its own: it only pretends to
// set one, drawing at the mode's size and having the compositor scale that
// picture onto the output whatever the output's shape. When the output's
// mode then changes, the picture is stretched over the new shape and no
// event says so. XWayland's modes are pretended the same way, and putting
// back a mode that the output has since lost is an X protocol error that
// ends the program. On both, fullscreen is at the output's own size, which
// the show letterboxes itself, and follows every change of the output.
bool modesAreEmulated(int display)
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "wayland") == 0)
        return true;
    const char* output = SDL_GetDisplayName(display);  // the X server's name for the output
    return driver && std::strcmp(driver, "x11") == 0 && output && std::strncmp(output, "XWAYLAND", 8) == 0;
}

// Fullscreen at the requested size, at the rates fullscreenAttempts names in
// its order; failing those, or where modes are only pretended, at the
// desktop's own mode.
FullscreenFit chooseFullscreen(const WindowRequest& request, SDL_DisplayMode& mode)
{
    const int display = request.display;
    SDL_DisplayMode desktop{};
    const bool haveDesktop = SDL_GetDesktopDisplayMode(display, &desktop) == 0;
    if (modesAreEmulated(display)) {
        if (!haveDesktop)
            return FullscreenFit::DesktopSize;
        mode = desktop;
        return desktopModeFit(request, DisplayMode{desktop.w, desktop.h, desktop.refresh_rate});
    }
    const int desktopHz = haveDesktop ? desktop.refresh_rate : 0;
    for (const FullscreenAttempt& attempt : fullscreenAttempts(request.refreshHz, desktopHz))
        if (findDisplayMode(display, request.width, request.height, attempt.refreshHz, mode))
            return attempt.fit;
    // The window is made at the desktop's size: the window manager would
    // make it that size anyway, and without one it must not overhang.
    if (haveDesktop)
        mode = desktop;
    return FullscreenFit::DesktopSize;
}

// A real mode change on X11 first gets its guard, which gives the desktop
// its mode back if the show dies in it. Without a guard the show keeps the
// desktop's mode rather than risk leaving the desktop in its own (false).
bool guardDesktopMode(int display, const SDL_DisplayMode& chosen)
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0)
        return true;
    SDL_DisplayMode desktop{};
    SDL_GetDesktopDisplayMode(display, &desktop);
    const DisplayMode shown{chosen.w, chosen.h, chosen.refresh_rate};
    if (!modeChangeNeeded(DisplayMode{desktop.w, desktop.h, desktop.refresh_rate}, shown))
        return true;
    std::string failure;
    if (platformStartModeGuard(shown, failure))
        return true;
    logMessage("window", "nothing could guard the desktop's mode (%s); keeping it", failure.c_str());
    return false;
}

// Whether what lies behind the window could show through the drawable's
// alpha: on Wayland always (the compositor blends each surface by it); on
// X11 only for a visual with an alpha channel (depth 32), which a
// compositing manager blends; a depth-24 window is opaque whatever its GL
// alpha holds.
bool alphaCanShow(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return true;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes))
        return true;
    return attributes.depth == 32;
}

PlatformWindow* tryCreate(const WindowRequest& request, const PixelFormatRequest& format,
                          FullscreenFit& fit, int& refreshHz, std::string& failure)
{
    setPixelFormatAttributes(format, request.context);
    Uint32 flags = SDL_WINDOW_OPENGL | (request.visible ? 0 : SDL_WINDOW_HIDDEN);
    SDL_DisplayMode mode{};
    fit = FullscreenFit::Windowed;
    bool setMode = false;  // a real mode change, not the desktop's own
    int width = request.width;
    int height = request.height;
    int x = static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(request.display));
    int y = x;
    if (request.fullscreen) {
        fit = chooseFullscreen(request, mode);
        setMode = fit != FullscreenFit::DesktopSize && !modesAreEmulated(request.display);
        if (setMode && !guardDesktopMode(request.display, mode)) {
            fit = FullscreenFit::DesktopSize;
            SDL_GetDesktopDisplayMode(request.display, &mode);
            setMode = false;
        }
        refreshHz = mode.refresh_rate;
        flags |= setMode ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_FULLSCREEN_DESKTOP;
        if (!setMode && mode.w > 0 && mode.h > 0) {
            width = mode.w;
            height = mode.h;
        }
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(request.display, &bounds) == 0) {
            x = bounds.x;
            y = bounds.y;
        }
    } else if (request.resizable) {
        flags |= SDL_WINDOW_RESIZABLE;
    }

    SDL_Window* window = SDL_CreateWindow(request.title, x, y, width, height, flags);
    if (!window) {
        failure = SDL_GetError();
        return nullptr;
    }
    if (setMode) {
        if (SDL_SetWindowDisplayMode(window, &mode) != 0) {
            failure = SDL_GetError();
            SDL_DestroyWindow(window);
            return nullptr;
        }
    }
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        failure = SDL_GetError();
        SDL_DestroyWindow(window);
        return nullptr;
    }
    if (SDL_GL_MakeCurrent(window, context) != 0) {
        failure = SDL_GetError();
        SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        return nullptr;
    }
    auto* result = new PlatformWindow;
    result->window = window;
    const char* driver = SDL_GetCurrentVideoDriver();
    result->offscreen = driver && std::strcmp(driver, "offscreen") == 0;
    int alphaBits = 0;
    SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &alphaBits);
    result->fillAlpha = !result->offscreen && alphaBits > 0 && alphaCanShow(window);
    result->context = context;
    result->changedMode = request.fullscreen;
    if (setMode) {
        result->fullscreenFlag = SDL_WINDOW_FULLSCREEN;
        result->mode = mode;
    }
    return result;
}

}  // namespace

void platformUseHeadless()
{
    headless = true;
    // A real device would move the play cursor by its own clock.
    SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
    // SDL would turn SIGINT and SIGTERM into a quit event that no headless
    // run reads, so that they did nothing at all; they keep their meaning,
    // or the one the program gave them (catchStopRequests).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
}

bool platformInitVideo(std::string& reason, const char* windowClass)
{
    if (videoUp)
        return true;
    // The X11 driver reads its window class once, when it starts.
    if (windowClass && *windowClass)
        SDL_setenv("SDL_VIDEO_X11_WMCLASS", windowClass, 1);
    if (!startVideo(reason))
        return false;
    videoUp = true;
    // Only a show someone watches ends on them; the capture tool keeps the
    // signals' usual meaning.
    if (!headless)
        catchEndingSignals();
    return true;
}

void platformQuitVideo()
{
    if (!videoUp)
        return;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    releaseEndingSignals();
    videoUp = false;
}

bool platformDesktopMode(DisplayMode& mode, int display)
{
    SDL_DisplayMode desktop;
    bool ownVideo = !videoUp;
    std::string reason;
    if (ownVideo && !startVideo(reason))
        return false;
    bool ok = SDL_GetDesktopDisplayMode(display, &desktop) == 0;
    if (ok) {
        mode.width = desktop.w;
        mode.height = desktop.h;
        mode.refreshHz = desktop.refresh_rate;
    }
    if (ownVideo)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return ok;
}

int platformDisplayCount()
{
    const int count = videoUp ? SDL_GetNumVideoDisplays() : 0;
    return count > 0 ? count : 0;
}

WindowResult platformCreateWindow(const WindowRequest& request)
{
    // SDL takes every size as the least it accepts: both attempts are asked
    // for alike.
    WindowResult result = createWindowInTurn(
        request, videoUp, [&request](const PixelFormatAttempt& format, WindowResult& made, std::string& failure) {
            return tryCreate(request, format.format, made.fit, made.refreshHz, failure);
        });
    if (!result.window) {
        if (videoUp)
            platformEndModeGuard();  // destroying the failed window put the mode back
        return result;
    }
    SDL_GL_GetDrawableSize(result.window->window, &result.drawableWidth, &result.drawableHeight);
    return result;
}

void platformDestroyWindow(PlatformWindow* window)
{
    if (!window)
        return;
    if (window->context) {
        SDL_GL_MakeCurrent(window->window, nullptr);
        SDL_GL_DeleteContext(window->context);
    }
    if (window->window) {
        // Leaving fullscreen before destroying puts the desktop mode back.
        if (window->changedMode)
            SDL_SetWindowFullscreen(window->window, 0);
        SDL_DestroyWindow(window->window);
    }
    platformEndModeGuard();
    delete window;
}

void platformShowWindow(PlatformWindow* window)
{
    if (!window)
        return;
    SDL_ShowWindow(window->window);
    SDL_RaiseWindow(window->window);
}

void platformDrawableSize(PlatformWindow* window, int& width, int& height)
{
    width = 0;
    height = 0;
    if (!window)
        return;
    // Take in the window manager's answer to the map before reading the size.
    SDL_PumpEvents();
    SDL_GL_GetDrawableSize(window->window, &width, &height);
}

bool platformSetFullscreen(PlatformWindow* window, bool fullscreen)
{
    if (!window)
        return false;
    if (fullscreen && window->fullscreenFlag == SDL_WINDOW_FULLSCREEN &&
        SDL_SetWindowDisplayMode(window->window, &window->mode) != 0)
        return false;
    if (SDL_SetWindowFullscreen(window->window, fullscreen ? window->fullscreenFlag : 0) != 0)
        return false;
    window->changedMode = fullscreen;
    if (!fullscreen)
        SDL_SetWindowResizable(window->window, SDL_TRUE);
    return true;
}

bool platformIsFullscreen(PlatformWindow* window)
{
    return window && (SDL_GetWindowFlags(window->window) & SDL_WINDOW_FULLSCREEN) != 0;
}

namespace {

// Sets the back buffer's alpha to opaque, leaving colour and GL state as
// they were. The show's alpha is never meant to be seen, but a Wayland
// compositor (or an X11 one, for a visual with alpha) blends the window
// with what lies behind it by that alpha: the bars, cleared to alpha 0,
// would show the desktop through them.
void makeOpaque()
{
    GLboolean mask[4];
    GLfloat clear[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    if (scissor)
        glEnable(GL_SCISSOR_TEST);
}

}  // namespace

bool platformStretchDrawable(PlatformWindow*, const StretchedDrawable&)
{
    return false;  // a window's drawable is its own size
}

void platformSwapWindow(PlatformWindow* window)
{
    if (!window)
        return;
    if (window->fillAlpha)
        makeOpaque();
    SDL_GL_SwapWindow(window->window);
    // Swapping a pbuffer hands the driver nothing: without a flush each
    // frame's commands would pile up in the software renderer's queue.
    if (window->offscreen)
        glFlush();
}

void platformShowCursor(bool visible)
{
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void* platformGetProcAddress(const char* name)
{
    return SDL_GL_GetProcAddress(name);
}

WindowSystem platformWindowSystem()
{
    if (eglGetCurrentContext() != EGL_NO_CONTEXT)
        return WindowSystem::Egl;
    if (glXGetCurrentContext() != nullptr)
        return WindowSystem::Glx;
    return WindowSystem::NoContext;
}

const char* platformWindowSystemExtensions()
{
    switch (platformWindowSystem()) {
    case WindowSystem::Egl:
        return eglQueryString(eglGetCurrentDisplay(), EGL_EXTENSIONS);
    case WindowSystem::Glx: {
        Display* display = glXGetCurrentDisplay();
        return display ? glXQueryExtensionsString(display, DefaultScreen(display)) : nullptr;
    }
    case WindowSystem::Wgl:  // not on this backend
    case WindowSystem::WebGl:
    case WindowSystem::NoContext:
        break;
    }
    return nullptr;
}

bool platformSetSwapInterval(int interval)
{
    return SDL_GL_SetSwapInterval(interval) == 0;
}

uint32_t virtualKeyFromSdlKey(int32_t sdlKey)
{
    if (sdlKey >= 'a' && sdlKey <= 'z')
        return static_cast<uint32_t>(sdlKey - 'a' + 'A');
    if (sdlKey >= '0' && sdlKey <= '9')
        return static_cast<uint32_t>(sdlKey);
    if (sdlKey >= SDLK_F1 && sdlKey <= SDLK_F12)
        return 0x70 + static_cast<uint32_t>(sdlKey - SDLK_F1);
    switch (sdlKey) {
    case SDLK_ESCAPE: return 27;
    case SDLK_RETURN: return 13;
    case SDLK_SPACE: return 32;
    case SDLK_TAB: return 9;
    case SDLK_BACKSPACE: return 8;
    case SDLK_HOME: return 0x24;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return 0x10;
    case SDLK_LCTRL: case SDLK_RCTRL: return 0x11;
    case SDLK_LALT: case SDLK_RALT: return 0x12;
    default: return 0;
    }
}

void platformShowPlace(uint32_t, bool, bool) {}

bool platformPollEvent(PlatformEvent& event)
{
    if (!videoUp)
        return false;
    if (endRequested) {
        endRequested = 0;
        event = PlatformEvent{};
        event.kind = PlatformEvent::CloseRequest;
        return true;
    }
    SDL_Event e;
    if (!SDL_PollEvent(&e))
        return false;
    event = PlatformEvent{};
    // A held key repeats; only its first key-down counts, or a held F11
    // would switch the display mode back and forth.
    if (e.type == SDL_KEYDOWN && !e.key.repeat) {
        event.kind = PlatformEvent::KeyDown;
        event.virtualKey = virtualKeyFromSdlKey(e.key.keysym.sym);
        event.alt = (e.key.keysym.mod & KMOD_ALT) != 0;
    } else if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        event.kind = PlatformEvent::Resize;
        event.width = e.window.data1;
        event.height = e.window.data2;
        if (SDL_Window* window = SDL_GetWindowFromID(e.window.windowID))
            SDL_GL_GetDrawableSize(window, &event.width, &event.height);
    } else if (e.type == SDL_QUIT ||
               (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE)) {
        event.kind = PlatformEvent::CloseRequest;
    }
    return true;
}
