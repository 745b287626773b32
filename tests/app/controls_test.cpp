// The viewer's controls as logic: keys come in as key-down messages through
// the main loop, the show runs without drawing on a clock the test ticks and
// the real soundtrack on the silent output, whose clock the test ticks with
// it. After each control the clock's reading, the music's position and the
// show's state are checked against what they must be.
#include <gtest/gtest.h>

#include <SDL2/SDL_keycode.h>

#include <deque>
#include <memory>
#include <vector>

#include "app/demo.h"
#include "app/fixed_step.h"
#include "app/main_loop.h"
#include "app/playback.h"
#include "audio/audio_engine.h"
#include "platform/sdl/keys.h"
#include "show/beat.h"
#include "show/scene.h"

namespace {

constexpr uint32_t FRAME_MS = 20;  // a whole number of sound frames at 44.1 kHz
constexpr uint64_t NS_PER_MS = 1000000;

uint64_t audioNowNs = 0;
uint64_t audioNow(void*) { return audioNowNs; }

// A show without a window: the test's clock, the soundtrack on the silent
// output, and frames that run every pass without drawing.
class ShowRun : public FrameIo {
public:
    explicit ShowRun(uint32_t startMs, bool loop = false)
    {
        audioNowNs = 0;
        audioSetClock(audioNow, nullptr);
        EXPECT_TRUE(audioInit(0, 44100));
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
    ~ShowRun() override
    {
        attachPlayback(demo, nullptr);
        audioSetClock(nullptr, nullptr);
    }

    // `ms` of real time: the timer's ticks and the sound output's clock.
    void pass(uint32_t ms)
    {
        demo.clock.tickCount += ms;
        audioNowNs += ms * NS_PER_MS;
    }
    // One frame FRAME_MS after the last, with these key-downs.
    FrameOutcome frame(std::vector<uint32_t> keys = {})
    {
        pass(FRAME_MS);
        for (uint32_t key : keys)
            pending_.push_back(Message{Message::KeyDown, key});
        return runFrame(demo, *this);
    }
    // The music's position as show time, ms.
    uint32_t musicMs() const
    {
        const uint32_t channel = demo.music.activeHandle();
        return static_cast<uint32_t>(audioChannelPosition(channel) * 1000 / audioChannelRate(channel));
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

// The state a frame leaves behind, enough to tell two histories apart.
struct ShowState {
    std::vector<Vec4> particles;
    int32_t particleCount;
    float cameraPhase, rollAngle, focalDistance, titleAlpha;
    uint32_t fadeDone0;

    explicit ShowState(const ShowRun& run)
        : particles(run.scene->particles), particleCount(run.scene->particleCount),
          cameraPhase(run.scene->cameraPhase), rollAngle(run.scene->rollAngle),
          focalDistance(run.scene->focalDistance), titleAlpha(run.scene->overlays.titleAlpha),
          fadeDone0(run.demo.fadeDone[0])
    {
    }
    bool operator==(const ShowState& o) const
    {
        bool same = particleCount == o.particleCount && cameraPhase == o.cameraPhase && rollAngle == o.rollAngle &&
                    focalDistance == o.focalDistance && titleAlpha == o.titleAlpha && fadeDone0 == o.fadeDone0;
        for (size_t i = 0; same && i < particles.size(); ++i)
            same = particles[i].x == o.particles[i].x && particles[i].y == o.particles[i].y &&
                   particles[i].z == o.particles[i].z;
        return same;
    }
};

// What the offline renderer has drawn at `timeMs`, a frame start at 60 fps:
// the show simulated from 0 up to it, then that frame.
ShowState capturedAt(uint32_t timeMs)
{
    ShowRun run(0);
    run.scene->restart();
    simulateShowTo(run.demo, *run.scene, timeMs, SIMULATION_FPS, placeMusicAt);
    const uint64_t frame = firstFrameAtOrAfter(timeMs, SIMULATION_FPS);
    setFrameTime(run.demo, timeMs, frame == 0 ? 0 : timeMs - frameTimeMs(frame - 1, SIMULATION_FPS));
    placeMusicAt(run.demo, timeMs);
    runFramePasses(run.demo, *run.scene, false);
    return ShowState(run);
}

}  // namespace

TEST(Controls, EveryBackendKeyReachesItsAction)
{
    struct Case {
        int32_t sdlKey;
        bool alt;
        ViewerAction action;
    };
    const Case cases[] = {
        {SDLK_ESCAPE, false, ViewerAction::EndShow},      {SDLK_F11, false, ViewerAction::ToggleFullscreen},
        {SDLK_RETURN, true, ViewerAction::ToggleFullscreen}, {SDLK_RETURN, false, ViewerAction::None},
        {SDLK_SPACE, false, ViewerAction::TogglePause},    {SDLK_LEFT, false, ViewerAction::SeekBack},
        {SDLK_RIGHT, false, ViewerAction::SeekForward},    {SDLK_HOME, false, ViewerAction::SeekStart},
        {SDLK_a, false, ViewerAction::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(actionForKey(virtualKeyFromSdlKey(c.sdlKey), c.alt), c.action) << "SDL key " << c.sdlKey;
}

// Frames from 12 s on, with a pause of one second after frame `pauseAfter`
// (a frame on a beat, which changes the show every time it runs) or without;
// the state after the same frames once the show runs again.
ShowState playWithPause(int pauseAfter, bool pause)
{
    ShowRun run(12000);
    for (int i = 0; i < pauseAfter; ++i)
        run.frame();
    if (pause) {
        run.frame({VK_SPACE_CODE});
        const uint32_t heldMs = run.demo.timeMs;
        const ShowState heldState(run);
        EXPECT_EQ(run.musicMs(), heldMs);
        for (int i = 0; i < 50; ++i) {
            const FrameOutcome outcome = run.frame();
            EXPECT_TRUE(outcome.presented && outcome.goOn) << "a paused show still draws";
        }
        EXPECT_EQ(run.demo.timeMs, heldMs);
        EXPECT_EQ(run.musicMs(), heldMs);
        EXPECT_TRUE(ShowState(run) == heldState) << "the picture stands still";
        // Resumed: the frame with the key is the held one again.
        run.frame({VK_SPACE_CODE});
        EXPECT_EQ(run.demo.timeMs, heldMs);
    } else {
        run.frame();
    }
    for (int i = 0; i < 20; ++i) {
        run.frame();
        EXPECT_EQ(run.musicMs(), run.demo.timeMs) << "music and clock run together";
    }
    EXPECT_EQ(run.demo.timeMs, 12000 + (pauseAfter + 21) * FRAME_MS);
    return ShowState(run);
}

// Frames from 12 s before the first whose bass is over the beat threshold.
int framesBeforeABeat()
{
    ShowRun run(12000);
    for (int i = 0; i < 500; ++i) {
        run.frame();
        if (bassEnergy(run.demo.music.spectrum) > BEAT_THRESHOLD)
            return i;
    }
    ADD_FAILURE() << "no beat in ten seconds of the soundtrack";
    return 0;
}

TEST(Controls, PauseHoldsClockMusicAndPictureAndResumesAsIfNeverPaused)
{
    const int pauseAfter = framesBeforeABeat();
    const ShowState straight = playWithPause(pauseAfter, false);
    EXPECT_TRUE(playWithPause(pauseAfter, true) == straight);
}

struct JumpCase {
    uint32_t fromMs;
    uint32_t key;
    uint32_t landsMs;  // a frame start at 60 fps
};

void PrintTo(const JumpCase& c, std::ostream* out)
{
    *out << "key " << c.key << " at " << c.fromMs << " ms";
}

class ControlsJump : public ::testing::TestWithParam<JumpCase> {};

TEST_P(ControlsJump, LandsOnTheFrameTheCaptureToolDrawsThere)
{
    const JumpCase c = GetParam();
    const ShowState captured = capturedAt(c.landsMs);
    ShowRun run(c.fromMs - FRAME_MS);
    run.scene->particles[0].x = 1e6f;  // a state no show has: a jump must start from 0
    run.scene->rollAngle = 45.0f;
    run.frame({c.key});
    EXPECT_EQ(run.demo.timeMs, c.landsMs);
    EXPECT_NEAR(run.musicMs(), c.landsMs, 1);
    EXPECT_TRUE(ShowState(run) == captured);

    run.frame();
    EXPECT_EQ(run.demo.timeMs, c.landsMs + FRAME_MS) << "the clock runs on from the landing";
    EXPECT_NEAR(run.musicMs(), c.landsMs + FRAME_MS, 1);
}

INSTANTIATE_TEST_SUITE_P(Keys, ControlsJump,
                         ::testing::Values(JumpCase{20000, VK_RIGHT_CODE, 25000}, JumpCase{20000, VK_LEFT_CODE, 15000},
                                           JumpCase{3000, VK_LEFT_CODE, 0}, JumpCase{9990, VK_HOME_CODE, 0},
                                           JumpCase{7010, VK_LEFT_CODE, 2017}));

TEST(Controls, JumpWhilePausedStaysPausedThere)
{
    ShowRun run(20000 - FRAME_MS);
    run.frame({VK_SPACE_CODE, VK_LEFT_CODE});
    EXPECT_EQ(run.demo.timeMs, 15000u);
    const ShowState landed(run);
    for (int i = 0; i < 10; ++i)
        run.frame();
    EXPECT_EQ(run.demo.timeMs, 15000u);
    EXPECT_EQ(run.musicMs(), 15000u);
    EXPECT_TRUE(ShowState(run) == landed);
}

TEST(Controls, PastTheEndEndsTheShowOrLoopsToTheStart)
{
    const ShowState start = capturedAt(0);
    for (bool loop : {false, true}) {
        for (bool byKey : {false, true}) {
            SCOPED_TRACE(std::string(loop ? "loop" : "once") + (byKey ? ", Right" : ", end reached"));
            ShowRun run(byKey ? 149000 : SHOW_END_MS - FRAME_MS / 2, loop);
            run.scene->particles[0].x = 1e6f;  // a state the start cannot have
            const Vec4* arrays = run.scene->particles.data();
            const FrameOutcome outcome = byKey ? run.frame({VK_RIGHT_CODE}) : run.frame();
            EXPECT_EQ(outcome.presented, loop);
            EXPECT_EQ(outcome.goOn, loop);
            if (!loop)
                continue;
            EXPECT_EQ(run.demo.timeMs, 0u);
            EXPECT_EQ(run.musicMs(), 0u);
            EXPECT_TRUE(ShowState(run) == start);
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
    const FrameOutcome outcome = run.frame({VK_ESCAPE_CODE});
    EXPECT_FALSE(outcome.presented || outcome.goOn);
}
