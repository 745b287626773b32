#include "app/entry.h"

#include "app/demo.h"
#include "app/main_loop.h"
#include "audio/audio_engine.h"
#include "gl/gl_window.h"
#include "platform/window.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/scene.h"

namespace {

// The main loop's outside world on a real window and the 1 ms clock.
class LiveFrameIo : public FrameIo {
public:
    LiveFrameIo(Demo& demo, Scene& scene) : demo_(demo), scene_(scene) {}

    void readFrameTime() override { demo_.clock.readFrameTime(demo_.timeMs, demo_.frameStep); }

    bool peekMessage(Message& message) override
    {
        PlatformEvent event;
        if (platformPollEvent(event)) {
            message = Message{};
            if (event.kind == PlatformEvent::KeyDown) {
                message.kind = Message::KeyDown;
                message.wParam = event.virtualKey;
            } else if (event.kind == PlatformEvent::CloseRequest) {
                message.kind = Message::Close;
            }
            return true;
        }
        // A posted quit is delivered once the queue is otherwise empty.
        if (demo_.quitPosted) {
            demo_.quitPosted = false;
            message = Message{Message::Quit, 0};
            return true;
        }
        return false;
    }

    void renderFrame() override { ::renderFrame(scene_); }
    void drawFades() override { ::drawFades(demo_); }
    void bindWindowFramebuffer() override { glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0); }
    void present() override { platformSwapWindow(demo_.window); }

private:
    Demo& demo_;
    Scene& scene_;
};

// Starts the music channel (volume 0 when musicOn is off) and marks it playing.
void startMusic(Demo& demo)
{
    uint32_t channel = demo.music.activeHandle();
    if (!demo.musicOn)
        audioChannelSetAttribute(channel, AUDIO_ATTRIB_VOL, 0.0f);
    audioStart();
    audioChannelPlay(channel, false);
    demo.musicPlaying = true;
}

}  // namespace

Scene* beginShow(Demo& demo)
{
    if (!openWindow(demo))
        return nullptr;
    demo.configurator->configure();
    Scene* scene = new Scene(demo);
    demo.clock.startClock();
    for (uint32_t& done : demo.fadeDone)
        done = 0;
    startMusic(demo);
    return scene;
}

void endShow(Demo& demo, Scene* scene)
{
    demo.clock.stopClock();
    delete demo.configurator;
    demo.configurator = nullptr;
    if (demo.musicPlaying)
        audioStop();
    demo.musicPlaying = false;
    destroyGlWindow(demo);
    if (scene) {
        scene->release();
        delete scene;
    }
}

void storeLaunchSettings(Demo& demo)
{
    demo.settings.width = 1920;
    demo.settings.height = 1080;
    demo.settings.fullscreen = true;
    demo.settings.vsync = true;
    demo.settings.colourBits = 32;
    demo.musicOn = true;
    demo.settings.aspect = demo.desktopAspect;
}

int demoMain(Demo& demo)
{
    demo.configurator = new KestruneConfigurator(&demo);
    storeLaunchSettings(demo);

    // Without a window, a context or the required extensions there is
    // nothing to draw with: say why (openWindow did), tear down, fail.
    Scene* scene = beginShow(demo);
    if (!scene) {
        endShow(demo, nullptr);
        return 1;
    }

    LiveFrameIo io(demo, *scene);
    runMainLoop(demo, io);

    endShow(demo, scene);
    return 0;
}
