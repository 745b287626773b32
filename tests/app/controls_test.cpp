// The viewer's controls as logic: key-downs go through the main loop, the
// show runs without drawing on a clock the test ticks, and the soundtrack
// plays on the silent output whose clock the test ticks with it. After each
// control: the clock's reading, the music's position and the show's state.
#include <gtest/gtest.h>

#include <SDL2/SDL_keycode.h>

#include <deque>
#include <memory>
#include <vector>

#include "app/demo.h"
#include "app/fixed_step.h"
#include "app/main_loop.h"
#include "audio/audio_engine.h"
#include "platform/sdl/keys.h"
#include "show/beat.h"
#include "show/scene.h"

namespace {

constexpr uint32_t FRAME_MS = 20;  // a whole number of sound frames at 44.1 kHz
uint64_t soundNowNs = 0;

class ShowRun : public FrameIo {
public:
    explicit ShowRun(uint32_t startMs, bool loop = false)
    {
        soundNowNs = 0;
        audioSetClock([](void*) { return soundNowNs; }, nullptr);
        audioInit(0, 44100);
        EXPECT_EQ(demo.music.load(QUILLMOOR_BINARY_DIR "/Data/music.mp3"), 0);
        scene = std::make_unique<Scene>(demo);
        attachPlayback(demo, scene.get());
        demo.playback.loop = loop;
        demo.clock.service.start = [](uint32_t, uint32_t, TimerCallback, void*) { return 0u; };
        demo.clock.startClock(startMs);
        placeMusicAt(demo, startMs);
        audioStart();
        audioChannelPlay(demo.music.activeHandle(), false);
        demo.musicPlaying = true;
    }
    ~ShowRun() override { attachPlayback(demo, nullptr); }

    // A frame FRAME_MS of timer and sound clock after the last, with these key-downs.
    FrameOutcome frame(std::vector<uint32_t> keys = {})
    {
        demo.clock.tickCount += FRAME_MS;
        soundNowNs += FRAME_MS * 1000000ull;
        for (uint32_t key : keys)
            pending_.push_back(Message{Message::KeyDown, key});
        return runFrame(demo, *this);
    }
    uint32_t musicMs() const
    {
        const uint32_t channel = demo.music.activeHandle();
        return static_cast<uint32_t>(audioChannelPosition(channel) * 1000 / audioChannelRate(channel));
    }
    // Enough of the show's state to tell two histories apart.
    std::vector<float> state() const
    {
        std::vector<float> values{scene->cameraPhase, scene->rollAngle, scene->focalDistance,
                                  scene->overlays.titleAlpha, static_cast<float>(scene->particleCount),
                                  static_cast<float>(demo.fadeDone[0])};
        for (const Vec4& p : scene->particles)
            values.insert(values.end(), {p.x, p.y, p.z});
        return values;
    }

    void readFrameTime() override { demo.clock.readFrameTime(demo.timeMs, demo.frameStep); }
    bool peekMessage(Message& message) override
    {
        if (pending_.empty())
            return false;
        message = pending_.front();
        pending_.pop_front();
        return true;
    }
    void renderFrame() override { runFramePasses(demo, *scene, false); }
    void drawFades() override {}
    void bindWindowFramebuffer() override {}
    void present() override {}

    Demo demo;
    std::unique_ptr<Scene> scene;

private:
    std::deque<Message> pending_;
};

// The state after the frame the offline renderer draws at `timeMs` (a
// frame start at 60 fps): the show simulated from 0, then that frame.
std::vector<float> capturedAt(uint32_t timeMs)
{
    ShowRun run(0);
    simulateShowTo(run.demo, *run.scene, timeMs, SIMULATION_FPS, placeMusicAt);
    const uint64_t frame = firstFrameAtOrAfter(timeMs, SIMULATION_FPS);
    setFrameTime(run.demo, timeMs, frame == 0 ? 0 : timeMs - frameTimeMs(frame - 1, SIMULATION_FPS));
    placeMusicAt(run.demo, timeMs);
    runFramePasses(run.demo, *run.scene, false);
    return run.state();
}

// 21 frames from 12 s on, with a second's pause after `pauseAfter` frames
// or none; the state at the end.
std::vector<float> playWithPause(int pauseAfter, bool pause)
{
    ShowRun run(12000);
    for (int i = 0; i <= pauseAfter; ++i)
        run.frame(pause && i == pauseAfter ? std::vector<uint32_t>{VK_SPACE_CODE} : std::vector<uint32_t>{});
    const uint32_t heldMs = run.demo.timeMs;
    const std::vector<float> held = run.state();
    for (int i = 0; pause && i < 50; ++i) {
        const FrameOutcome outcome = run.frame();
        EXPECT_TRUE(outcome.presented && outcome.goOn) << "a paused show still draws";
        EXPECT_EQ(run.demo.timeMs, heldMs);
        EXPECT_EQ(run.musicMs(), heldMs);
        EXPECT_EQ(run.state(), held) << "the picture stands still";
    }
    if (pause)
        run.frame({VK_SPACE_CODE});  // the held frame once more, then on
    for (int i = 0; i < 20; ++i) {
        run.frame();
        EXPECT_EQ(run.musicMs(), run.demo.timeMs) << "music and clock run together";
    }
    EXPECT_EQ(run.demo.timeMs, heldMs + 20 * FRAME_MS);
    return run.state();
}

}  // namespace

TEST(Controls, EveryKeyOfTheTableReachesItsAction)
{
    const std::pair<uint32_t, ViewerAction> keys[] = {
        {virtualKeyFromSdlKey(SDLK_ESCAPE), ViewerAction::EndShow},
        {virtualKeyFromSdlKey(SDLK_F11), ViewerAction::ToggleFullscreen},
        {virtualKeyFromSdlKey(SDLK_SPACE), ViewerAction::TogglePause},
        {virtualKeyFromSdlKey(SDLK_LEFT), ViewerAction::SeekBack},
        {virtualKeyFromSdlKey(SDLK_RIGHT), ViewerAction::SeekForward},
        {virtualKeyFromSdlKey(SDLK_HOME), ViewerAction::SeekStart},
        {virtualKeyFromSdlKey(SDLK_m), ViewerAction::ToggleMute},
        {virtualKeyFromSdlKey(SDLK_a), ViewerAction::None},
    };
    for (const auto& [key, action] : keys)
        EXPECT_EQ(actionForKey(key, false), action) << key;
    EXPECT_EQ(actionForKey(virtualKeyFromSdlKey(SDLK_RETURN), true), ViewerAction::ToggleFullscreen);
    EXPECT_EQ(actionForKey(virtualKeyFromSdlKey(SDLK_RETURN), false), ViewerAction::None);
}

TEST(Controls, PauseHoldsClockMusicAndPictureAndResumesAsIfNeverPaused)
{
    // Paused on a frame with a beat, which changes the show each time it runs.
    int beatFrame = 0;
    for (ShowRun run(12000); beatFrame < 500 && bassEnergy(run.demo.music.spectrum) <= BEAT_THRESHOLD; ++beatFrame)
        run.frame();
    ASSERT_LT(beatFrame, 500) << "no beat in ten seconds of the soundtrack";
    EXPECT_EQ(playWithPause(beatFrame - 1, true), playWithPause(beatFrame - 1, false));
}

struct JumpCase {
    uint32_t fromMs;
    uint32_t key;
    uint32_t landsMs;  // a frame start at 60 fps
    bool paused;
};

void PrintTo(const JumpCase& c, std::ostream* out)
{
    *out << "key " << c.key << " at " << c.fromMs << " ms" << (c.paused ? ", paused" : "");
}

class ControlsJump : public ::testing::TestWithParam<JumpCase> {};

TEST_P(ControlsJump, LandsOnTheFrameTheCaptureToolDrawsThere)
{
    const JumpCase c = GetParam();
    const std::vector<float> captured = capturedAt(c.landsMs);
    ShowRun run(c.fromMs - FRAME_MS);
    run.scene->particles[0].x = 1e6f;  // a state no show has: a jump starts from 0
    run.frame(c.paused ? std::vector<uint32_t>{VK_SPACE_CODE, c.key} : std::vector<uint32_t>{c.key});
    EXPECT_EQ(run.demo.timeMs, c.landsMs);
    EXPECT_NEAR(run.musicMs(), c.landsMs, 1);
    EXPECT_EQ(run.state(), captured);

    run.frame();
    const uint32_t nextMs = c.landsMs + (c.paused ? 0 : FRAME_MS);
    EXPECT_EQ(run.demo.timeMs, nextMs);
    EXPECT_NEAR(run.musicMs(), nextMs, 1);
}

INSTANTIATE_TEST_SUITE_P(Keys, ControlsJump,
                         ::testing::Values(JumpCase{20000, VK_RIGHT_CODE, 25000, false},
                                           JumpCase{20000, VK_LEFT_CODE, 15000, false},
                                           JumpCase{20000, VK_LEFT_CODE, 15000, true},
                                           JumpCase{7010, VK_LEFT_CODE, 2017, false},
                                           JumpCase{3000, VK_LEFT_CODE, 0, false},
                                           JumpCase{9990, VK_HOME_CODE, 0, false}));

TEST(Controls, PastTheEndEndsTheShowOrLoopsToTheStart)
{
    const std::vector<float> start = capturedAt(0);
    for (bool loop : {false, true}) {
        for (bool byKey : {false, true}) {
            SCOPED_TRACE(std::string(loop ? "loop" : "once") + (byKey ? ", Right" : ", the end"));
            ShowRun run(byKey ? 149000 : SHOW_END_MS - FRAME_MS / 2, loop);
            const Vec4* arrays = run.scene->particles.data();
            const FrameOutcome outcome = run.frame(byKey ? std::vector<uint32_t>{VK_RIGHT_CODE} : std::vector<uint32_t>{});
            EXPECT_EQ(outcome.presented && outcome.goOn, loop);
            if (!loop)
                continue;
            EXPECT_EQ(run.state(), start);
            EXPECT_EQ(run.scene->particles.data(), arrays) << "the start reuses the scene's arrays";
            run.frame();
            EXPECT_EQ(run.demo.timeMs, FRAME_MS);
            EXPECT_EQ(run.musicMs(), FRAME_MS);
        }
    }
}

TEST(Controls, EscapeEndsAPausedShow)
{
    ShowRun run(30000);
    run.frame({VK_SPACE_CODE});
    EXPECT_FALSE(run.frame({VK_ESCAPE_CODE}).presented);
}
