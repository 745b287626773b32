#include "app/entry.h"

#include "app/demo.h"
#include "app/fixed_step.h"
#include "app/main_loop.h"
#include "app/options.h"
#include "app/playback.h"
#include "audio/audio_engine.h"
#include "gl/gl_window.h"
#include "platform/window.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/scene.h"

namespace {

constexpr int WINDOW_DEFAULT_WIDTH = 1280;   // pixels, --window without --size
constexpr int WINDOW_DEFAULT_HEIGHT = 720;
constexpr int FULLSCREEN_WIDTH = 1920;       // pixels, the mode asked for
constexpr int FULLSCREEN_HEIGHT = 1080;

// The main loop's outside world on a real window and the 1 ms clock.
class LiveFrameIo : public FrameIo {
public:
    LiveFrameIo(Demo& demo, Scene& scene) : demo_(demo), scene_(scene) {}

    void readFrameTime() override { demo_.clock.readFrameTime(demo_.timeMs, demo_.frameStep); }

    bool peekMessage(Message& message) override
    {
        PlatformEvent event;
        if (!platformPollEvent(event))
            return false;
        message = Message{};
        switch (event.kind) {
        case PlatformEvent::KeyDown:
            message.kind = Message::KeyDown;
            message.wParam = event.virtualKey;
            message.alt = event.alt;
            break;
        case PlatformEvent::CloseRequest:
            message.kind = Message::Close;
            break;
        case PlatformEvent::Resize:
            message.kind = Message::Resize;
            message.width = event.width;
            message.height = event.height;
            break;
        case PlatformEvent::Other:
            break;
        }
        return true;
    }

    void renderFrame() override { ::renderFrame(scene_); }
    void drawFades() override { ::drawFades(demo_); }
    void bindWindowFramebuffer() override { glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0); }
    void present() override { platformSwapWindow(demo_.window); }

private:
    Demo& demo_;
    Scene& scene_;
};

// Starts the music channel (volume 0 when musicOn is off) at the show's
// start time and marks it playing.
void startMusic(Demo& demo)
{
    uint32_t channel = demo.music.activeHandle();
    if (!demo.musicOn)
        audioChannelSetAttribute(channel, AUDIO_ATTRIB_VOL, 0.0f);
    if (demo.settings.startMs > 0)
        placeMusicAt(demo, demo.settings.startMs);
    audioStart();
    audioChannelPlay(channel, false);
    demo.musicPlaying = true;
}

}  // namespace

std::unique_ptr<Scene> beginShow(Demo& demo)
{
    if (!openWindow(demo))
        return nullptr;
    if (!demo.configurator)
        demo.configurator = std::make_unique<KestruneConfigurator>(&demo);
    demo.configurator->configure();
    auto scene = std::make_unique<Scene>(demo);
    for (uint32_t& done : demo.fadeDone)
        done = 0;
    demo.endRequested = false;
    attachPlayback(demo, scene.get());
    // A start part-way through: the show up to then is simulated at a fixed
    // step, each step seeing the spectrum of its own moment.
    if (demo.settings.startMs > 0) {
        simulateShowTo(demo, *scene, demo.settings.startMs, SIMULATION_FPS, placeMusicAt);
        scene->drawing = true;
    }
    demo.clock.startClock(demo.settings.startMs);
    startMusic(demo);
    return scene;
}

void endShow(Demo& demo, std::unique_ptr<Scene> scene)
{
    attachPlayback(demo, nullptr);
    demo.clock.stopClock();
    demo.configurator.reset();
    if (demo.musicPlaying)
        audioStop();
    demo.musicPlaying = false;
    destroyGlWindow(demo);
    if (scene)
        scene->release();
}

void storeLaunchSettings(Demo& demo, const ShowOptions& options)
{
    DemoSettings& settings = demo.settings;
    settings.fullscreen = !options.window;
    if (options.width > 0 && options.height > 0) {
        settings.width = options.width;
        settings.height = options.height;
    } else {
        settings.width = options.window ? WINDOW_DEFAULT_WIDTH : FULLSCREEN_WIDTH;
        settings.height = options.window ? WINDOW_DEFAULT_HEIGHT : FULLSCREEN_HEIGHT;
    }
    settings.vsync = options.vsync;
    settings.colourBits = 32;
    settings.display = options.display;
    settings.startMs = options.fromMs;
    demo.playback.loop = options.loop;
    demo.musicOn = true;
    settings.aspect = demo.desktopAspect;
}

void storeWindowlessSettings(Demo& demo, int width, int height)
{
    ShowOptions options;
    options.window = true;
    options.width = width;
    options.height = height;
    options.vsync = false;
    storeLaunchSettings(demo, options);
    demo.settings.silent = true;
}

int demoMain(Demo& demo, const ShowOptions& options)
{
    storeLaunchSettings(demo, options);

    // Without a window, a context or the required extensions there is
    // nothing to draw with: say why (openWindow did), tear down, fail.
    std::unique_ptr<Scene> scene = beginShow(demo);
    if (!scene) {
        endShow(demo, nullptr);
        return 1;
    }

    LiveFrameIo io(demo, *scene);
    runMainLoop(demo, io);

    endShow(demo, std::move(scene));
    return 0;
}
