#include "platform/window.h"

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/backend.h"
#include "platform/win32/display.h"
#include "platform/win32/text.h"
#include "platform/window_policy.h"

struct PlatformWindow {
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;
    std::string deviceName;    // the monitor's display device, "\\.\DISPLAY1"
    bool fullscreen = false;
    bool changedMode = false;  // the monitor runs `mode` now, not the desktop's
    bool modeSetAside = false; // switched away from: the desktop's mode until the viewer is back
    bool haveMode = false;     // `mode` is the one to go fullscreen with
    DEVMODEA mode{};
    int windowedWidth = 0;     // client size when windowed, pixels
    int windowedHeight = 0;
    RECT windowedFrame{};      // the frame to come back to from fullscreen
    bool haveWindowedFrame = false;
};

namespace {

constexpr DWORD WINDOWED_EX_STYLE = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
constexpr DWORD WINDOWED_STYLE = WS_CAPTION | WS_SYSMENU;  // no minimise or maximise box
constexpr DWORD FULLSCREEN_EX_STYLE = WS_EX_APPWINDOW;
constexpr DWORD FULLSCREEN_STYLE = WS_POPUP;
constexpr DWORD CHILD_CLIPPING = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

bool videoUp = false;
bool headless = false;
constexpr LONG HEADLESS_MAX_SIDE = 16384;  // pixels, the largest GL renderbuffers commonly go
std::string className = "demo_zel";
HINSTANCE instance = nullptr;
// Events taken from the system and not yet handed out: filled by the pump
// and the window procedure, drained by platformPollEvent. A fixed ring, so
// that the frame loop's pump allocates nothing; one message rarely gives
// more than one event, and when it is full the oldest gives way.
class EventRing {
public:
    bool empty() const { return count_ == 0; }
    void clear() { count_ = 0; }
    void push(const PlatformEvent& event)
    {
        if (count_ == CAPACITY) {
            first_ = (first_ + 1) % CAPACITY;
            --count_;
        }
        events_[(first_ + count_) % CAPACITY] = event;
        ++count_;
    }
    PlatformEvent pop()
    {
        const PlatformEvent event = events_[first_];
        first_ = (first_ + 1) % CAPACITY;
        --count_;
        return event;
    }

private:
    static constexpr int CAPACITY = 64;
    PlatformEvent events_[CAPACITY];
    int first_ = 0;
    int count_ = 0;
};
EventRing pending;
bool fullscreenNow = false;         // the window procedure keeps the screen saver away then

std::string lastErrorText()
{
    const DWORD error = GetLastError();
    return error == 0 ? "the system gives no reason" : systemMessage(error);
}

void switchedAway(PlatformWindow& window, bool away);

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        // The close box and Alt+F4 end the show through the pump's WM_QUIT.
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) {
            PlatformEvent event;
            event.kind = PlatformEvent::Resize;
            event.width = LOWORD(lParam);
            event.height = HIWORD(lParam);
            pending.push(event);
        }
        return 0;
    case WM_GETMINMAXINFO:
        if (headless) {
            // A picture rendered offscreen may be larger than the desktop.
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMaxSize = POINT{HEADLESS_MAX_SIDE, HEADLESS_MAX_SIDE};
            limits->ptMaxTrackSize = POINT{HEADLESS_MAX_SIDE, HEADLESS_MAX_SIDE};
            return 0;
        }
        break;
    case WM_ACTIVATEAPP:
        if (auto* owner = reinterpret_cast<PlatformWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA)))
            switchedAway(*owner, wParam == FALSE);
        break;
    case WM_SYSCOMMAND:
        // A fullscreen show is watched, not idle.
        if (fullscreenNow && ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER))
            return 0;
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Alt+Enter would make the system beep, having no menu to open.
bool isAltEnter(const MSG& message)
{
    return message.message == WM_SYSKEYDOWN && message.wParam == VK_RETURN;
}

// What a message from the queue means to the show, if anything. A key held
// down repeats its WM_KEYDOWN (bit 30: it was down already); only the first
// counts, or a held F11 would switch the display mode back and forth.
void readMessage(const MSG& message)
{
    PlatformEvent event;
    const bool repeat = (message.lParam & (1 << 30)) != 0;
    if (message.message == WM_QUIT) {
        event.kind = PlatformEvent::CloseRequest;
    } else if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) && !repeat) {
        event.kind = PlatformEvent::KeyDown;
        event.virtualKey = static_cast<uint32_t>(message.wParam);
        event.alt = (message.lParam & (1 << 29)) != 0;  // the context code: Alt held
    } else {
        return;
    }
    pending.push(event);
}

// The frame size for a client area of width x height in these styles.
void frameSize(int width, int height, DWORD style, DWORD exStyle, int& frameWidth, int& frameHeight)
{
    RECT rect = {0, 0, width, height};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    frameWidth = rect.right - rect.left;
    frameHeight = rect.bottom - rect.top;
}

// The top-left corner that centres a frame on the monitor's work area,
// keeping the title bar on it.
POINT centredOn(const MonitorInfo& monitor, int frameWidth, int frameHeight)
{
    const RECT& area = monitor.workArea;
    POINT corner;
    corner.x = area.left + ((area.right - area.left) - frameWidth) / 2;
    corner.y = area.top + ((area.bottom - area.top) - frameHeight) / 2;
    if (corner.x < area.left)
        corner.x = area.left;
    if (corner.y < area.top)
        corner.y = area.top;
    return corner;
}

// Fullscreen at the requested size, at the rates fullscreenAttempts names in
// its order. A mode the display lists but then refuses counts as missing.
FullscreenFit enterFullscreenMode(const WindowRequest& request, const MonitorInfo& monitor, PlatformWindow& window)
{
    const int bits = request.pixelFormat.colourBits;
    DisplayMode desktop;
    const int desktopHz = platformDesktopMode(desktop, request.display) ? desktop.refreshHz : 0;
    for (const FullscreenAttempt& attempt : fullscreenAttempts(request.refreshHz, desktopHz)) {
        DEVMODEA mode;
        if (!findDisplayMode(monitor.deviceName, request.width, request.height, bits, attempt.refreshHz, mode))
            continue;
        if (changeDisplayMode(monitor.deviceName, &mode)) {
            window.mode = mode;
            window.haveMode = true;
            window.changedMode = true;
            return attempt.fit;
        }
    }
    return FullscreenFit::DesktopSize;
}

void describeRequest(const PixelFormatRequest& format, PIXELFORMATDESCRIPTOR& descriptor)
{
    descriptor = PIXELFORMATDESCRIPTOR{};
    descriptor.nSize = sizeof descriptor;
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = static_cast<BYTE>(format.colourBits);
    descriptor.cAlphaBits = static_cast<BYTE>(format.alphaBits);
    descriptor.cDepthBits = static_cast<BYTE>(format.depthBits);
    descriptor.cStencilBits = static_cast<BYTE>(format.stencilBits);
    descriptor.iLayerType = PFD_MAIN_PLANE;
}

// The closest format the driver has; with `atLeast`, only one that has at
// least what was asked for.
bool setPixelFormat(HDC dc, const PixelFormatRequest& format, bool atLeast, std::string& failure)
{
    PIXELFORMATDESCRIPTOR wanted;
    describeRequest(format, wanted);
    const int index = ChoosePixelFormat(dc, &wanted);
    if (index == 0) {
        failure = "no pixel format: " + lastErrorText();
        return false;
    }
    PIXELFORMATDESCRIPTOR found{};
    if (!DescribePixelFormat(dc, index, sizeof found, &found)) {
        failure = "pixel format " + std::to_string(index) + ": " + lastErrorText();
        return false;
    }
    const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    if ((found.dwFlags & needed) != needed || found.iPixelType != PFD_TYPE_RGBA) {
        failure = "no double-buffered RGBA OpenGL pixel format";
        return false;
    }
    if (atLeast && !pixelFormatMeets(format, found.cAlphaBits, found.cDepthBits, found.cStencilBits)) {
        failure = "no pixel format with alpha " + std::to_string(format.alphaBits) + ", depth " +
                  std::to_string(format.depthBits) + " and stencil " + std::to_string(format.stencilBits);
        return false;
    }
    if (!SetPixelFormat(dc, index, &found)) {
        failure = "cannot set pixel format " + std::to_string(index) + ": " + lastErrorText();
        return false;
    }
    return true;
}

void destroy(PlatformWindow* window)
{
    if (window->context) {
        if (wglGetCurrentContext() == window->context)
            wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(window->context);
    }
    if (window->dc)
        ReleaseDC(window->window, window->dc);
    if (window->window)
        DestroyWindow(window->window);
    if (window->changedMode)
        restoreDisplayMode(window->deviceName);
    delete window;
}

PlatformWindow* tryCreate(const WindowRequest& request, const MonitorInfo& monitor, const PixelFormatAttempt& format,
                          FullscreenFit& fit, std::string& failure)
{
    auto* window = new PlatformWindow;
    window->deviceName = monitor.deviceName;
    window->windowedWidth = request.width;
    window->windowedHeight = request.height;

    // A headless run never changes the display mode: nobody sees it.
    const bool fullscreen = request.fullscreen && !headless;
    fit = fullscreen ? enterFullscreenMode(request, monitor, *window) : FullscreenFit::Windowed;
    DWORD style, exStyle;
    int x, y, width, height;
    if (fullscreen) {
        // The monitor as the mode change left it, covered by a frameless window.
        const MonitorInfo now = monitorInfo(request.display);
        style = FULLSCREEN_STYLE;
        exStyle = FULLSCREEN_EX_STYLE;
        x = now.bounds.left;
        y = now.bounds.top;
        width = now.bounds.right - now.bounds.left;
        height = now.bounds.bottom - now.bounds.top;
    } else if (headless) {
        // Never shown, so no frame: the client area is the whole window, at
        // the size asked for even where that exceeds the desktop (the window
        // procedure lifts the system's limit of the desktop's size).
        style = WS_POPUP;
        exStyle = 0;
        x = 0;
        y = 0;
        width = request.width;
        height = request.height;
    } else {
        style = WINDOWED_STYLE | (request.resizable ? WS_THICKFRAME : 0);
        exStyle = WINDOWED_EX_STYLE;
        frameSize(request.width, request.height, style, exStyle, width, height);
        const POINT corner = centredOn(monitor, width, height);
        x = corner.x;
        y = corner.y;
    }
    window->fullscreen = fullscreen;
    window->window = CreateWindowExA(exStyle, className.c_str(), request.title, style | CHILD_CLIPPING, x, y, width,
                                     height, nullptr, nullptr, instance, nullptr);
    if (!window->window) {
        failure = "cannot create the window: " + lastErrorText();
        destroy(window);
        return nullptr;
    }
    SetWindowLongPtrA(window->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    window->dc = GetDC(window->window);
    if (!window->dc) {
        failure = "the window has no device context";
        destroy(window);
        return nullptr;
    }
    if (!setPixelFormat(window->dc, format.format, format.atLeast, failure)) {
        destroy(window);
        return nullptr;
    }
    window->context = wglCreateContext(window->dc);
    if (!window->context) {
        failure = "cannot create an OpenGL context: " + lastErrorText();
        destroy(window);
        return nullptr;
    }
    if (!wglMakeCurrent(window->dc, window->context)) {
        failure = "cannot make the OpenGL context current: " + lastErrorText();
        destroy(window);
        return nullptr;
    }
    return window;
}

// The styles and frame of a window going fullscreen or coming back.
void placeWindow(PlatformWindow* window, bool fullscreen, const MonitorInfo& monitor)
{
    DWORD style, exStyle;
    RECT frame;
    if (fullscreen) {
        style = FULLSCREEN_STYLE;
        exStyle = FULLSCREEN_EX_STYLE;
        frame = monitor.bounds;
    } else {
        style = WINDOWED_STYLE | WS_THICKFRAME;
        exStyle = WINDOWED_EX_STYLE;
        if (window->haveWindowedFrame) {
            frame = window->windowedFrame;
        } else {
            int width, height;
            frameSize(window->windowedWidth, window->windowedHeight, style, exStyle, width, height);
            const POINT corner = centredOn(monitor, width, height);
            frame = {corner.x, corner.y, corner.x + width, corner.y + height};
        }
    }
    const bool visible = IsWindowVisible(window->window) != FALSE;
    SetWindowLongPtrA(window->window, GWL_STYLE, static_cast<LONG_PTR>(style | CHILD_CLIPPING | (visible ? WS_VISIBLE : 0)));
    SetWindowLongPtrA(window->window, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
    SetWindowPos(window->window, fullscreen ? HWND_TOP : HWND_NOTOPMOST, frame.left, frame.top,
                 frame.right - frame.left, frame.bottom - frame.top, SWP_FRAMECHANGED | SWP_NOACTIVATE);
}

// A viewer who switches to another program while the show runs fullscreen
// in a mode of its own gets their desktop back: its mode undone and the show
// minimised. Coming back puts the show's mode and window back as they were.
void switchedAway(PlatformWindow& window, bool away)
{
    if (away && window.fullscreen && window.changedMode) {
        restoreDisplayMode(window.deviceName);
        window.changedMode = false;
        window.modeSetAside = true;
        ShowWindow(window.window, SW_MINIMIZE);
    } else if (!away && window.modeSetAside) {
        window.modeSetAside = false;
        window.changedMode = changeDisplayMode(window.deviceName, &window.mode);
        ShowWindow(window.window, SW_RESTORE);
        const int index = monitorIndexOf(window.deviceName);
        placeWindow(&window, true, monitorInfo(index < 0 ? 0 : index));
    }
}

}  // namespace

void platformUseHeadless()
{
    headless = true;
    win32SetSilentOutput(true);
}

bool platformInitVideo(std::string& reason, const char* windowClass)
{
    if (videoUp)
        return true;
    if (monitorCount() == 0) {
        reason = "no display is attached to this desktop";
        return false;
    }
    instance = GetModuleHandleA(nullptr);
    className = windowClass && *windowClass ? windowClass : "demo_zel";
    WNDCLASSA windowClassRecord = {};
    windowClassRecord.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClassRecord.lpfnWndProc = windowProc;
    windowClassRecord.hInstance = instance;
    windowClassRecord.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_WINLOGO));
    windowClassRecord.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClassRecord.lpszClassName = className.c_str();
    if (!RegisterClassA(&windowClassRecord)) {
        reason = "cannot register the window class " + className + ": " + lastErrorText();
        return false;
    }
    // Whether windows can be made at all (a desktop without a display
    // driver has monitors, but no windows): a hidden one, made and gone.
    HWND probe = CreateWindowExA(0, className.c_str(), "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    if (!probe) {
        reason = "no window can be made on this desktop (" + lastErrorText() + ")";
        UnregisterClassA(className.c_str(), instance);
        return false;
    }
    DestroyWindow(probe);
    pending.clear();
    videoUp = true;
    return true;
}

void platformQuitVideo()
{
    if (!videoUp)
        return;
    UnregisterClassA(className.c_str(), instance);
    pending.clear();
    videoUp = false;
}

bool platformDesktopMode(DisplayMode& mode, int display)
{
    DEVMODEA current;
    if (!currentDisplayMode(monitorInfo(display).deviceName, current))
        return false;
    mode.width = static_cast<int>(current.dmPelsWidth);
    mode.height = static_cast<int>(current.dmPelsHeight);
    // 0 and 1 stand for "the hardware's default".
    mode.refreshHz = current.dmDisplayFrequency > 1 ? static_cast<int>(current.dmDisplayFrequency) : 0;
    return true;
}

int platformDisplayCount()
{
    return videoUp ? monitorCount() : 0;
}

WindowResult platformCreateWindow(const WindowRequest& request)
{
    const MonitorInfo monitor = videoUp ? monitorInfo(request.display) : MonitorInfo{};
    WindowResult result = createWindowInTurn(
        request, videoUp,
        [&request, &monitor](const PixelFormatAttempt& format, WindowResult& made, std::string& failure) {
            return tryCreate(request, monitor, format, made.fit, failure);
        });
    if (!result.window)
        return result;
    PlatformWindow* window = result.window;
    fullscreenNow = window->fullscreen;
    if (window->haveMode && window->mode.dmDisplayFrequency > 1)
        result.refreshHz = static_cast<int>(window->mode.dmDisplayFrequency);
    else if (window->fullscreen)
        result.refreshHz = 0;
    if (request.visible && !headless)
        ShowWindow(window->window, SW_SHOW);
    platformDrawableSize(window, result.drawableWidth, result.drawableHeight);
    return result;
}

void platformDestroyWindow(PlatformWindow* window)
{
    if (!window)
        return;
    fullscreenNow = false;
    destroy(window);
    // Sizes and keys of a window that is gone mean nothing to the next one.
    pending.clear();
}

void platformShowWindow(PlatformWindow* window)
{
    if (!window || headless)
        return;
    ShowWindow(window->window, SW_SHOW);
    SetForegroundWindow(window->window);
    SetFocus(window->window);
}

void platformDrawableSize(PlatformWindow* window, int& width, int& height)
{
    width = 0;
    height = 0;
    RECT client;
    if (!window || !GetClientRect(window->window, &client))
        return;
    width = client.right - client.left;
    height = client.bottom - client.top;
}

bool platformSetFullscreen(PlatformWindow* window, bool fullscreen)
{
    if (!window || headless)
        return false;
    if (fullscreen == window->fullscreen)
        return true;
    if (fullscreen) {
        RECT frame;
        window->haveWindowedFrame = GetWindowRect(window->window, &frame) != FALSE;
        window->windowedFrame = frame;
        if (window->haveMode && !changeDisplayMode(window->deviceName, &window->mode))
            return false;
        window->changedMode = window->haveMode;
    } else if (window->changedMode) {
        restoreDisplayMode(window->deviceName);
        window->changedMode = false;
    }
    window->fullscreen = fullscreen;
    fullscreenNow = fullscreen;
    // The monitor as it is after the mode change.
    int index = monitorIndexOf(window->deviceName);
    placeWindow(window, fullscreen, monitorInfo(index < 0 ? 0 : index));
    return true;
}

bool platformIsFullscreen(PlatformWindow* window)
{
    return window && window->fullscreen;
}

bool platformStretchDrawable(PlatformWindow*, const StretchedDrawable&)
{
    return false;  // a window's drawable is its own size
}

void platformSwapWindow(PlatformWindow* window)
{
    if (window)
        SwapBuffers(window->dc);
}

void platformShowCursor(bool visible)
{
    // The system counts shows and hides; bring the count to one side of 0,
    // so that repeated calls do not pile up.
    for (int i = 0; i < 64; ++i) {
        const int count = ShowCursor(visible ? TRUE : FALSE);
        if (visible ? count >= 0 : count < 0)
            break;
    }
}

void* platformGetProcAddress(const char* name)
{
    PROC proc = wglGetProcAddress(name);
    // Some drivers answer small numbers instead of null for a name they lack.
    const intptr_t value = reinterpret_cast<intptr_t>(proc);
    if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1) {
        // OpenGL 1.1 functions come from opengl32.dll itself, not the driver.
        HMODULE library = GetModuleHandleA("opengl32.dll");
        proc = library ? GetProcAddress(library, name) : nullptr;
    }
    return reinterpret_cast<void*>(proc);
}

WindowSystem platformWindowSystem()
{
    return wglGetCurrentContext() ? WindowSystem::Wgl : WindowSystem::NoContext;
}

const char* platformWindowSystemExtensions()
{
    using ExtensionsArb = const char*(WINAPI*)(HDC);
    using ExtensionsExt = const char*(WINAPI*)();
    if (!wglGetCurrentContext())
        return nullptr;
    if (auto arb = reinterpret_cast<ExtensionsArb>(platformGetProcAddress("wglGetExtensionsStringARB")))
        return arb(wglGetCurrentDC());
    if (auto ext = reinterpret_cast<ExtensionsExt>(platformGetProcAddress("wglGetExtensionsStringEXT")))
        return ext();
    return nullptr;
}

bool platformSetSwapInterval(int interval)
{
    using SwapIntervalExt = BOOL(WINAPI*)(int);
    auto swapInterval = reinterpret_cast<SwapIntervalExt>(platformGetProcAddress("wglSwapIntervalEXT"));
    return swapInterval && swapInterval(interval);
}

void platformShowPlace(uint32_t, bool, bool) {}

bool platformPollEvent(PlatformEvent& event)
{
    if (!videoUp)
        return false;
    MSG message;
    while (pending.empty() && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        readMessage(message);
        if (message.message != WM_QUIT && !isAltEnter(message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    if (pending.empty())
        return false;
    event = pending.pop();
    return true;
}
