#include "app/playback.h"

#include "app/demo.h"
#include "app/fixed_step.h"
#include "audio/audio_engine.h"
#include "show/scene.h"

static_assert(FADE_ROW_COUNT == 2, "Playback::heldFadeDone has one flag per fade row");

Playback::Playback() = default;
Playback::~Playback() = default;

namespace {

// Saves the frame now beginning: its time, its step, the scene and the fades.
void holdFrame(Demo& demo)
{
    Playback& playback = demo.playback;
    playback.heldTimeMs = demo.timeMs;
    playback.heldFrameStep = demo.frameStep;
    for (int i = 0; i < FADE_ROW_COUNT; ++i)
        playback.heldFadeDone[i] = demo.fadeDone[i];
    if (playback.scene && playback.held)
        *playback.held = *playback.scene;  // same sizes: the arrays are reused
}

// Puts the saved frame back, to be run again.
void restoreFrame(Demo& demo)
{
    Playback& playback = demo.playback;
    demo.timeMs = playback.heldTimeMs;
    demo.frameStep = playback.heldFrameStep;
    for (int i = 0; i < FADE_ROW_COUNT; ++i)
        demo.fadeDone[i] = playback.heldFadeDone[i];
    if (playback.scene && playback.held)
        *playback.scene = *playback.held;
}

// Simulates the show from 0 up to `toMs` (a frame start of the simulation's
// rate) and returns the show time of the last frame simulated, or of `toMs`
// when there was none.
uint32_t simulateFromStart(Demo& demo, uint32_t toMs)
{
    for (uint32_t& done : demo.fadeDone)
        done = 0;
    Scene* scene = demo.playback.scene;
    if (!scene)
        return toMs;
    scene->restart();
    simulateShowTo(demo, *scene, toMs, SIMULATION_FPS, placeMusicAt);
    scene->drawing = true;
    const uint64_t frame = firstFrameAtOrAfter(toMs, SIMULATION_FPS);
    return frame == 0 ? toMs : frameTimeMs(frame - 1, SIMULATION_FPS);
}

}  // namespace

void attachPlayback(Demo& demo, Scene* scene)
{
    Playback& playback = demo.playback;
    playback.scene = scene;
    playback.paused = false;
    if (scene)
        playback.held = std::make_unique<Scene>(*scene);
    else
        playback.held.reset();
}

void placeMusicAt(Demo& demo, uint32_t timeMs)
{
    const uint32_t channel = demo.music.activeHandle();
    const uint32_t rate = audioChannelRate(channel);
    if (rate == 0)
        return;
    audioChannelSetPosition(channel, static_cast<uint64_t>(timeMs) * rate / 1000);
}

void pauseShow(Demo& demo, bool paused)
{
    Playback& playback = demo.playback;
    if (playback.paused == paused)
        return;
    playback.paused = paused;
    const uint32_t channel = demo.music.activeHandle();
    if (paused) {
        // The frame this pause falls in is the one it keeps; the music
        // stands at its time, where the clock stands.
        holdFrame(demo);
        demo.clock.hold(true, demo.timeMs);
        audioChannelPause(channel);
        placeMusicAt(demo, demo.timeMs);
        return;
    }
    restoreFrame(demo);
    demo.clock.hold(false, playback.heldTimeMs);
    if (demo.musicPlaying)
        audioChannelPlay(channel, false);
}

void muteShow(Demo& demo, bool muted)
{
    demo.playback.muted = muted;
    const bool audible = demo.musicOn && !muted;
    audioChannelSetAttribute(demo.music.activeHandle(), AUDIO_ATTRIB_VOL, audible ? 1.0f : 0.0f);
}

void jumpShow(Demo& demo, uint32_t timeMs)
{
    Playback& playback = demo.playback;
    if (timeMs >= SHOW_END_MS && !playback.loop) {
        // The end test of this very frame ends the show.
        demo.timeMs = SHOW_END_MS;
        return;
    }
    if (timeMs >= SHOW_END_MS)
        timeMs = 0;
    const uint32_t landMs = frameTimeMs(firstFrameAtOrAfter(timeMs, SIMULATION_FPS), SIMULATION_FPS);

    // Silent while the show is simulated, each step hearing its own moment.
    const uint32_t channel = demo.music.activeHandle();
    audioChannelPause(channel);
    const uint32_t lastSimulatedMs = simulateFromStart(demo, landMs);
    demo.timeMs = landMs;
    demo.frameStep = frameStepFor(landMs - lastSimulatedMs);
    placeMusicAt(demo, landMs);
    if (playback.paused) {
        holdFrame(demo);
        demo.clock.hold(true, landMs);
        return;
    }
    demo.clock.setShowTime(landMs);
    if (demo.musicPlaying)
        audioChannelPlay(channel, false);
}

void prepareFrame(Demo& demo)
{
    if (demo.timeMs >= SHOW_END_MS && demo.playback.loop)
        jumpShow(demo, 0);
    if (demo.playback.paused)
        restoreFrame(demo);
}
