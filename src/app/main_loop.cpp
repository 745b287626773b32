#include "app/main_loop.h"

#include "app/demo.h"
#include "gl/gl_window.h"
#include "platform/window.h"

void dispatchMessage(Demo& demo, const Message& message)
{
    if (message.kind == Message::Close) {
        PlatformEvent close;
        close.kind = PlatformEvent::CloseRequest;
        windowProc(demo, close);
    }
}

uint64_t runMainLoop(Demo& demo, FrameIo& io)
{
    uint64_t presented = 0;
    for (;;) {
        io.readFrameTime();

        bool quit = false;
        Message message;
        while (io.peekMessage(message)) {
            if (message.kind == Message::Quit) {
                quit = true;
                break;
            }
            if (message.kind == Message::KeyDown && message.wParam < 256)
                demo.keyStates[message.wParam] = 1;
            dispatchMessage(demo, message);
        }

        uint32_t t = demo.timeMs;
        io.renderFrame();
        io.drawFades();
        io.bindWindowFramebuffer();
        if (t >= SHOW_END_MS || demo.keyStates[VK_ESCAPE_CODE])
            break;
        io.present();
        ++presented;
        if (quit)
            break;
    }
    return presented;
}
