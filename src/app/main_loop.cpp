#include "app/main_loop.h"

#include "app/controls.h"
#include "app/demo.h"
#include "app/playback.h"
#include "app/show_window.h"

void dispatchMessage(Demo& demo, const Message& message)
{
    if (message.kind != Message::Quit)
        windowProc(demo, message);
}

namespace {

// The next message: the window's own first, then a quit the window
// procedure posted. False when there is neither.
bool nextMessage(Demo& demo, FrameIo& io, Message& message)
{
    if (io.peekMessage(message))
        return true;
    if (!demo.quitPosted)
        return false;
    demo.quitPosted = false;
    message = Message{};
    message.kind = Message::Quit;
    return true;
}

}  // namespace

FrameOutcome runFrame(Demo& demo, FrameIo& io)
{
    io.readFrameTime();

    bool quit = false;
    Message message;
    while (nextMessage(demo, io, message)) {
        if (message.kind == Message::Quit) {
            quit = true;
            break;
        }
        if (message.kind == Message::KeyDown)
            applyViewerAction(demo, actionForKey(message.wParam, message.alt));
        else if (message.kind == Message::Seek)
            jumpShow(demo, message.wParam);
        dispatchMessage(demo, message);
    }
    prepareFrame(demo);

    FrameOutcome outcome;
    uint32_t t = demo.timeMs;
    io.renderFrame();
    io.drawFades();
    io.bindWindowFramebuffer();
    if (t >= SHOW_END_MS || demo.endRequested)
        return outcome;
    io.present();
    outcome.presented = true;
    outcome.goOn = !quit;
    return outcome;
}
