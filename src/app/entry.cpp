#include "app/entry.h"

#include "app/demo.h"
#include "app/fixed_step.h"
#include "app/live_frame_io.h"
#include "app/main_loop.h"
#include "app/options.h"
#include "app/playback.h"
#include "app/show_window.h"
#include "audio/audio_engine.h"
#include "platform/frame_loop.h"
#include "platform/log.h"
#include "platform/window.h"
#include "show/scene.h"

namespace {

constexpr int WINDOW_DEFAULT_WIDTH = 1280;   // pixels, --window without --size
constexpr int WINDOW_DEFAULT_HEIGHT = 720;
constexpr int FULLSCREEN_WIDTH = 1920;       // pixels, the mode asked for
constexpr int FULLSCREEN_HEIGHT = 1080;

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

std::unique_ptr<Scene> beginShow(Demo& demo, bool clockMustRun)
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
    // A clock that does not run would hold the show at its first moment
    // for ever: the live show ends before its first frame instead.
    if (!demo.clock.startClock(demo.settings.startMs) && clockMustRun) {
        logMessage("clock", "cannot keep the show's time: %s", demo.clock.failure);
        return nullptr;
    }
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

// A live show between its start and its teardown, stepped by the
// platform's frame loop.
struct LiveRun {
    std::unique_ptr<Demo> ownedDemo;  // null when the caller owns the Demo
    Demo& demo;
    std::unique_ptr<Scene> scene;
    // Released before the teardown: its scaled frame lives in the context.
    std::unique_ptr<LiveFrameIo> io;

    LiveRun(Demo& demo, std::unique_ptr<Scene> started, float renderScale)
        : demo(demo), scene(std::move(started)), io(std::make_unique<LiveFrameIo>(demo, *scene, renderScale)) {}
};

LiveRun* startLiveRun(Demo& demo, const ShowOptions& options)
{
    storeLaunchSettings(demo, options);
    std::unique_ptr<Scene> scene = beginShow(demo, true);
    if (!scene) {
        endShow(demo, nullptr);
        return nullptr;
    }
    return new LiveRun(demo, std::move(scene), options.renderScale);
}

bool stepLiveRun(LiveRun* run)
{
    return runFrame(run->demo, *run->io).goOn;
}

void finishLiveRun(LiveRun* run)
{
    run->io.reset();
    endShow(run->demo, std::move(run->scene));
    std::unique_ptr<Demo> demo = std::move(run->ownedDemo);
    delete run;
}

namespace {

bool stepRun(void* run)
{
    return stepLiveRun(static_cast<LiveRun*>(run));
}

void finishRun(void* run)
{
    finishLiveRun(static_cast<LiveRun*>(run));
}

}  // namespace

int playShow(std::unique_ptr<Demo> demo, const ShowOptions& options)
{
    LiveRun* run = startLiveRun(*demo, options);
    if (!run)
        return 1;
    run->ownedDemo = std::move(demo);
    platformRunFrames(stepRun, finishRun, run);
    return 0;
}
