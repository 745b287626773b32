#include "platform/frame_loop.h"

#include "platform/web/backend.h"

#include <emscripten/emscripten.h>

namespace {

struct FrameLoop {
    FrameFunction frame = nullptr;
    FramesDone done = nullptr;
    void* user = nullptr;
};
FrameLoop loop;

void animationFrame()
{
    webTimersCatchUp();
    webAudioFeed();
    if (loop.frame(loop.user))
        return;
    emscripten_cancel_main_loop();
    const FrameLoop ended = loop;
    loop = FrameLoop{};
    ended.done(ended.user);
    webTellPage("onShowEnded");
}

}  // namespace

void platformRunFrames(FrameFunction frame, FramesDone done, void* user)
{
    loop.frame = frame;
    loop.done = done;
    loop.user = user;
    // Once per animation frame, from the browser's loop; this returns at once.
    emscripten_set_main_loop(animationFrame, 0, 0);
}

void webTellPage(const char* handler)
{
    EM_ASM({
        var handler = Module[UTF8ToString($0)];
        if (typeof handler === "function")
            handler();
    }, handler);
}
