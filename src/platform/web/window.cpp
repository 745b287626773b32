// The browser backend's window: the page's canvas (#canvas) and a WebGL 2
// context on it. The window is the canvas's parent, the page's stage, whose
// style makes it fill the page or the screen: its size is the stage's CSS
// size times devicePixelRatio. The canvas fills the stage, its drawing
// buffer that size, or, for a frame drawn smaller, covers just the
// picture's place with a buffer the size of the smaller picture, which the
// browser stretches as it composes the page (the stage's black is the
// bars). Keys arrive as DOM key events, whose keyCode is the Windows
// virtual-key code the show reads.
// Fullscreen is the browser's: the Fullscreen API on the canvas's parent,
// asked for from inside the key or double-click event, where the browser
// allows it; the browser itself takes the first Escape out of fullscreen.
// The page's player controls send the show the keys a keyboard would
// (quillmoorViewerKey) and jumps to a show time (quillmoorViewerSeek), and
// read where the show stands after each frame (quillmoorShowPlace*).
#include "platform/window.h"

#include "platform/web/backend.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdlib>

struct PlatformWindow {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
};

namespace {

constexpr const char* CANVAS = "#canvas";
constexpr const char* STAGE = "#stage";
constexpr uint32_t VK_RETURN_CODE = 13;
constexpr uint32_t VK_F11_CODE = 0x7A;
constexpr int EVENT_QUEUE_SIZE = 64;

bool videoUp = false;
bool headless = false;
PlatformWindow* current = nullptr;
// A canvas has one WebGL context for its life (asking again gives the same
// one), so it outlives the window: the show releases its programs and
// textures after the window has gone, and on a context that is still
// current those calls stay harmless, as on the desktop.
EMSCRIPTEN_WEBGL_CONTEXT_HANDLE canvasContext = 0;
char* webglExtensions = nullptr;  // the context's list, asked once

// Events wait here between the browser's callbacks and the next frame.
PlatformEvent queue[EVENT_QUEUE_SIZE];
int queueHead = 0;
int queueCount = 0;

void push(const PlatformEvent& event)
{
    if (queueCount == EVENT_QUEUE_SIZE)
        return;  // nobody drains it (no show running): the oldest stay
    queue[(queueHead + queueCount) % EVENT_QUEUE_SIZE] = event;
    ++queueCount;
}

// Where the show stood after its last frame.
uint32_t placeTimeMs = 0;
bool placePaused = false;
bool placeMuted = false;

// The window's size (pixels) as last fitted, and how the show last asked
// for its drawable.
int windowWidth = 0;
int windowHeight = 0;
StretchedDrawable stretched;

bool plain(const StretchedDrawable& s)
{
    return s.width <= 0 || s.height <= 0 || s.drawableWidth <= 0 || s.drawableHeight <= 0;
}

bool same(const StretchedDrawable& a, const StretchedDrawable& b)
{
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height &&
           a.drawableWidth == b.drawableWidth && a.drawableHeight == b.drawableHeight;
}

// The stage's CSS size times devicePixelRatio, in whole pixels.
void stagePixelSize(int& width, int& height)
{
    double cssWidth = 0.0, cssHeight = 0.0;
    emscripten_get_element_css_size(STAGE, &cssWidth, &cssHeight);
    const double ratio = emscripten_get_device_pixel_ratio();
    width = static_cast<int>(std::lround(cssWidth * ratio));
    height = static_cast<int>(std::lround(cssHeight * ratio));
}

// Lays the canvas out as last asked: over the whole stage with a drawing
// buffer of the window's size, or over the stretched picture's place (in
// CSS pixels, from the top) with one of the smaller picture's.
void layOutCanvas()
{
    const bool whole = plain(stretched);
    const int width = whole ? windowWidth : stretched.drawableWidth;
    const int height = whole ? windowHeight : stretched.drawableHeight;
    if (width <= 0 || height <= 0)
        return;
    int oldWidth = 0, oldHeight = 0;
    emscripten_get_canvas_element_size(CANVAS, &oldWidth, &oldHeight);
    if (width != oldWidth || height != oldHeight)
        emscripten_set_canvas_element_size(CANVAS, width, height);
    const double ratio = emscripten_get_device_pixel_ratio();
    EM_ASM({
        var style = Module.canvas.style;
        if ($4) {
            style.position = style.left = style.top = style.width = style.height = "";
            return;
        }
        style.position = "absolute";
        style.left = $0 + "px";
        style.top = $1 + "px";
        style.width = $2 + "px";
        style.height = $3 + "px";
    }, stretched.x / ratio, (windowHeight - stretched.y - stretched.height) / ratio, stretched.width / ratio,
       stretched.height / ratio, whole);
}

// Takes the window's size from the stage's displayed size; true when it
// changed (in width x height). The plain canvas follows at once, a
// stretched one with the show's next frame, which places it anew.
bool fitCanvas(int& width, int& height)
{
    stagePixelSize(width, height);
    if (width <= 0 || height <= 0)
        return false;
    const bool resized = width != windowWidth || height != windowHeight;
    windowWidth = width;
    windowHeight = height;
    if (plain(stretched))
        layOutCanvas();
    return resized;
}

EM_BOOL onResize(int, const EmscriptenUiEvent*, void*)
{
    PlatformEvent event;
    if (!fitCanvas(event.width, event.height))
        return EM_FALSE;
    event.kind = PlatformEvent::Resize;
    push(event);
    return EM_FALSE;
}

EM_BOOL onFullscreenChange(int, const EmscriptenFullscreenChangeEvent*, void*)
{
    return onResize(0, nullptr, nullptr);
}

// Fullscreen for the canvas's parent (the page's stage, which its style
// makes fill the screen), or out of it; inside an event handler only.
void switchFullscreen()
{
    EM_ASM({
        var stage = Module.canvas.parentElement;
        if (document.fullscreenElement)
            document.exitFullscreen();
        else if (stage.requestFullscreen)
            stage.requestFullscreen().catch(function() {});
    });
}

EM_BOOL onKeyDown(int, const EmscriptenKeyboardEvent* key, void*)
{
    const uint32_t virtualKey = key->keyCode < 256 ? key->keyCode : 0;
    if (virtualKey == VK_F11_CODE || (virtualKey == VK_RETURN_CODE && key->altKey)) {
        // Asked for here, in the key's own event, where the browser allows it.
        switchFullscreen();
        return EM_TRUE;
    }
    if (key->repeat || virtualKey == 0)
        return EM_FALSE;
    PlatformEvent event;
    event.kind = PlatformEvent::KeyDown;
    event.virtualKey = virtualKey;
    event.alt = key->altKey;
    push(event);
    // The keys the show answers to would otherwise scroll the page.
    const bool showKey = virtualKey == 27 || virtualKey == 32 || (virtualKey >= 0x21 && virtualKey <= 0x28);
    return showKey && !key->ctrlKey && !key->metaKey ? EM_TRUE : EM_FALSE;
}

EM_BOOL onDoubleClick(int, const EmscriptenMouseEvent*, void*)
{
    switchFullscreen();
    return EM_TRUE;
}

// A lost context draws nothing again: the show ends, and the page says why.
EM_BOOL onContextLost(int, const void*, void*)
{
    PlatformEvent event;
    event.kind = PlatformEvent::CloseRequest;
    push(event);
    webTellPage("onContextLost");
    return EM_TRUE;
}

void listen(bool on)
{
    auto* resize = on ? onResize : nullptr;
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, resize);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE,
                                             on ? onFullscreenChange : nullptr);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, on ? onKeyDown : nullptr);
    // On the picture and on the bars around it; the page's controls keep
    // their double clicks to themselves.
    emscripten_set_dblclick_callback(STAGE, nullptr, EM_FALSE, on ? onDoubleClick : nullptr);
    emscripten_set_webglcontextlost_callback(CANVAS, nullptr, EM_FALSE,
                                             on ? reinterpret_cast<em_webgl_context_callback>(onContextLost)
                                                : nullptr);
}

}  // namespace

void platformUseHeadless()
{
    headless = true;
}

bool webHeadless()
{
    return headless;
}

bool platformInitVideo(std::string& reason, const char*)
{
    if (videoUp)
        return true;
    double width = 0.0, height = 0.0;
    if (emscripten_get_element_css_size(CANVAS, &width, &height) != EMSCRIPTEN_RESULT_SUCCESS) {
        reason = "the page has no canvas with the id \"canvas\"";
        return false;
    }
    queueHead = queueCount = 0;
    listen(true);
    videoUp = true;
    return true;
}

void platformQuitVideo()
{
    if (!videoUp)
        return;
    listen(false);
    videoUp = false;
}

bool platformDesktopMode(DisplayMode& mode, int)
{
    const double ratio = emscripten_get_device_pixel_ratio();
    mode.width = static_cast<int>(std::lround(EM_ASM_DOUBLE({ return screen.width; }) * ratio));
    mode.height = static_cast<int>(std::lround(EM_ASM_DOUBLE({ return screen.height; }) * ratio));
    mode.refreshHz = 0;
    return mode.width > 0 && mode.height > 0;
}

int platformDisplayCount()
{
    return 1;
}

WindowResult platformCreateWindow(const WindowRequest& request)
{
    WindowResult result;
    if (!videoUp) {
        result.failure = "video subsystem not initialised";
        return result;
    }
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;  // the page never shows through the picture
    attributes.depth = request.pixelFormat.depthBits > 0;
    attributes.stencil = request.pixelFormat.stencilBits > 0;
    attributes.antialias = EM_FALSE;
    attributes.premultipliedAlpha = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    // A software renderer is what many machines have; the show runs on it.
    attributes.failIfMajorPerformanceCaveat = EM_FALSE;
    attributes.enableExtensionsByDefault = EM_TRUE;

    // A new window starts plain (a still drawn by the test page's hooks
    // reads it whole).
    stretched = StretchedDrawable{};
    windowWidth = windowHeight = 0;
    int width = 0, height = 0;
    if (!fitCanvas(width, height))  // a stage not laid out yet: the canvas keeps its size
        emscripten_get_canvas_element_size(CANVAS, &windowWidth, &windowHeight);
    layOutCanvas();
    if (canvasContext <= 0)
        canvasContext = emscripten_webgl_create_context(CANVAS, &attributes);
    if (canvasContext <= 0) {
        result.failure = "this browser offers no WebGL 2";
        return result;
    }
    if (emscripten_is_webgl_context_lost(canvasContext)) {
        result.failure = "the browser has taken the WebGL context away";
        return result;
    }
    emscripten_webgl_make_context_current(canvasContext);
    current = new PlatformWindow;
    current->context = canvasContext;
    result.window = current;
    // WebGL picks the buffers' bits itself; what it gives is the format.
    result.pixelFormatIndex = 1;
    result.fit = FullscreenFit::Windowed;
    result.drawableWidth = windowWidth;
    result.drawableHeight = windowHeight;
    return result;
}

void platformDestroyWindow(PlatformWindow* window)
{
    if (!window)
        return;
    if (window == current)
        current = nullptr;
    free(webglExtensions);
    webglExtensions = nullptr;
    delete window;
}

void platformShowWindow(PlatformWindow*)
{
}

void platformDrawableSize(PlatformWindow* window, int& width, int& height)
{
    width = window ? windowWidth : 0;
    height = window ? windowHeight : 0;
}

bool platformSetFullscreen(PlatformWindow* window, bool fullscreen)
{
    if (!window)
        return false;
    // Outside a user's event the browser refuses; the page's own controls
    // (F11, a double click, its button) ask from inside one.
    const bool now = EM_ASM_INT({ return document.fullscreenElement ? 1 : 0; }) != 0;
    if (now != fullscreen)
        switchFullscreen();
    return false;
}

bool platformIsFullscreen(PlatformWindow* window)
{
    return window && EM_ASM_INT({ return document.fullscreenElement ? 1 : 0; }) != 0;
}

bool platformStretchDrawable(PlatformWindow* window, const StretchedDrawable& stretch)
{
    if (!window)
        return false;
    const StretchedDrawable wanted = plain(stretch) ? StretchedDrawable{} : stretch;
    if (!same(wanted, stretched)) {
        stretched = wanted;
        layOutCanvas();
    }
    return true;
}

void platformSwapWindow(PlatformWindow*)
{
    // The browser presents the canvas when the animation frame returns.
}

void platformShowCursor(bool visible)
{
    // On the stage, whose bars the canvas may leave uncovered.
    EM_ASM({ Module.canvas.parentElement.style.cursor = $0 ? "" : "none"; }, visible);
}

void* platformGetProcAddress(const char* name)
{
    return emscripten_webgl_get_proc_address(name);
}

WindowSystem platformWindowSystem()
{
    return emscripten_webgl_get_current_context() > 0 ? WindowSystem::WebGl : WindowSystem::NoContext;
}

const char* platformWindowSystemExtensions()
{
    if (platformWindowSystem() == WindowSystem::NoContext)
        return nullptr;
    if (!webglExtensions)
        webglExtensions = emscripten_webgl_get_supported_extensions();
    return webglExtensions;
}

bool platformSetSwapInterval(int)
{
    // Frames come once per display refresh, from requestAnimationFrame.
    return true;
}

bool platformPollEvent(PlatformEvent& event)
{
    if (queueCount == 0)
        return false;
    event = queue[queueHead];
    queueHead = (queueHead + 1) % EVENT_QUEUE_SIZE;
    --queueCount;
    return true;
}

void platformShowPlace(uint32_t timeMs, bool paused, bool muted)
{
    placeTimeMs = timeMs;
    placePaused = paused;
    placeMuted = muted;
}

// A key from the page's controls, as if pressed (Space, Left, Right, M ...).
extern "C" EMSCRIPTEN_KEEPALIVE void quillmoorViewerKey(uint32_t virtualKey)
{
    PlatformEvent event;
    event.kind = PlatformEvent::KeyDown;
    event.virtualKey = virtualKey;
    push(event);
}

// A jump to show time `timeMs` from the page's timeline.
extern "C" EMSCRIPTEN_KEEPALIVE void quillmoorViewerSeek(uint32_t timeMs)
{
    PlatformEvent event;
    event.kind = PlatformEvent::Seek;
    event.timeMs = timeMs;
    push(event);
}

extern "C" EMSCRIPTEN_KEEPALIVE uint32_t quillmoorShowPlaceMs()
{
    return placeTimeMs;
}

// Bit 0: paused; bit 1: muted.
extern "C" EMSCRIPTEN_KEEPALIVE int quillmoorShowPlaceFlags()
{
    return (placePaused ? 1 : 0) | (placeMuted ? 2 : 0);
}
