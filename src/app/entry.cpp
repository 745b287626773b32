#include "app/entry.h"

#include "app/demo.h"
#include "app/fixed_step.h"
#include "app/main_loop.h"
#include "app/options.h"
#include "audio/audio_engine.h"
#include "gl/gl_window.h"
#include "platform/frame_loop.h"
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

// Puts the music's play cursor at show time `timeMs`, so the spectrum read
// next is the soundtrack's at that moment.
void placeMusicAt(Demo& demo, uint32_t timeMs)
{
    const uint32_t channel = demo.music.activeHandle();
    const uint32_t rate = audioChannelRate(channel);
    if (rate == 0)
        return;
    audioChannelSetPosition(channel, static_cast<uint64_t>(timeMs) * rate / 1000);
}

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
}

namespace {

// A live show between its start and its teardown, stepped by the
// platform's frame loop.
struct LiveRun {
    std::unique_ptr<Demo> ownedDemo;  // null when the caller owns the Demo
    Demo& demo;
    std::unique_ptr<Scene> scene;
    LiveFrameIo io;

    LiveRun(Demo& demo, std::unique_ptr<Scene> started)
        : demo(demo), scene(std::move(started)), io(demo, *scene) {}

    static bool frame(void* run)
    {
        auto* self = static_cast<LiveRun*>(run);
        return runFrame(self->demo, self->io).goOn;
    }

    // The teardown, then the Demo (when owned) and the run itself.
    static void done(void* run)
    {
        auto* self = static_cast<LiveRun*>(run);
        endShow(self->demo, std::move(self->scene));
        std::unique_ptr<Demo> demo = std::move(self->ownedDemo);
        delete self;
    }
};

// Settings and start-up; null when the show cannot start. Without a window,
// a context or the required extensions there is nothing to draw with: say
// why (openWindow did), tear down, fail.
LiveRun* startLiveRun(Demo& demo, const ShowOptions& options)
{
    storeLaunchSettings(demo, options);
    std::unique_ptr<Scene> scene = beginShow(demo);
    if (!scene) {
        endShow(demo, nullptr);
        return nullptr;
    }
    return new LiveRun(demo, std::move(scene));
}

}  // namespace

int demoMain(Demo& demo, const ShowOptions& options)
{
    LiveRun* run = startLiveRun(demo, options);
    if (!run)
        return 1;
    while (LiveRun::frame(run)) {
    }
    LiveRun::done(run);
    return 0;
}

int playShow(std::unique_ptr<Demo> demo, const ShowOptions& options)
{
    LiveRun* run = startLiveRun(*demo, options);
    if (!run)
        return 1;
    run->ownedDemo = std::move(demo);
    platformRunFrames(LiveRun::frame, LiveRun::done, run);
    return 0;
}
