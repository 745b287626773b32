// A live start part-way through (--from) reaches its first drawn frame in
// the state the offline renderer is in at the same moment: the same frames
// simulated at the same fixed step, each seeing the soundtrack's spectrum
// at its own time.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/demo.h"
#include "app/entry.h"
#include "capture_session.h"
#include "platform/window.h"
#include "show/scene.h"

namespace {

// What the show has become by a given time.
struct SceneState {
    uint32_t timeMs = 0;
    int32_t particleCount = 0;
    float focalDistance = 0.0f, rollAngle = 0.0f, cameraPhase = 0.0f, sizeWaveAmplitude = 0.0f;
    int32_t activeAttractor = 0, greetIndex = 0;
    float groupsAlpha = 0.0f, titleAlpha = 0.0f;
    std::vector<Vec4> particles;
    uint32_t fadeDone[FADE_ROW_COUNT] = {};
};

SceneState stateOf(const Demo& demo, const Scene& scene)
{
    SceneState s;
    s.timeMs = demo.timeMs;
    s.particleCount = scene.particleCount;
    s.focalDistance = scene.focalDistance;
    s.rollAngle = scene.rollAngle;
    s.cameraPhase = scene.cameraPhase;
    s.sizeWaveAmplitude = scene.sizeWaveAmplitude;
    s.activeAttractor = scene.activeAttractor;
    s.greetIndex = scene.overlays.greetIndex;
    s.groupsAlpha = scene.overlays.groupsAlpha;
    s.titleAlpha = scene.overlays.titleAlpha;
    s.particles = scene.particles;
    for (int i = 0; i < FADE_ROW_COUNT; ++i)
        s.fadeDone[i] = demo.fadeDone[i];
    return s;
}

// The live start-up with a start time, on a small hidden window and no timer.
SceneState liveStartState(uint32_t startMs)
{
    platformUseHeadless();
    Demo demo;
    storeWindowlessSettings(demo, 64, 36);
    demo.settings.startMs = startMs;
    demo.clock.service.start = [](uint32_t, uint32_t, TimerCallback, void*) { return 0u; };
    std::unique_ptr<Scene> scene = beginShow(demo);
    EXPECT_NE(scene, nullptr);
    SceneState state;
    if (scene) {
        state = stateOf(demo, *scene);
        EXPECT_TRUE(scene->drawing) << "the first live frame is drawn";
        uint32_t clockTime = 0;
        float step = 0.0f;
        demo.clock.readFrameTime(clockTime, step);
        EXPECT_EQ(clockTime, startMs) << "the clock reads the start time at the first drawn frame";
    }
    endShow(demo, std::move(scene));
    return state;
}

}  // namespace

TEST(LiveStart, ReachesTheStateTheCaptureToolHasAtThatTime)
{
    for (uint32_t startMs : {12000u, 56000u}) {
        const SceneState live = liveStartState(startMs);

        CaptureSession session;
        std::string failure;
        ASSERT_TRUE(session.open(64, 36, SIMULATION_FPS, failure)) << failure;
        session.skipTo(startMs);
        const SceneState offline = stateOf(session.demo(), session.scene());

        EXPECT_EQ(live.timeMs, offline.timeMs) << startMs;
        EXPECT_EQ(live.particleCount, offline.particleCount) << startMs;
        EXPECT_EQ(live.focalDistance, offline.focalDistance) << startMs;
        EXPECT_EQ(live.rollAngle, offline.rollAngle) << startMs;
        EXPECT_EQ(live.cameraPhase, offline.cameraPhase) << startMs;
        EXPECT_EQ(live.sizeWaveAmplitude, offline.sizeWaveAmplitude) << startMs;
        EXPECT_EQ(live.activeAttractor, offline.activeAttractor) << startMs;
        EXPECT_EQ(live.greetIndex, offline.greetIndex) << startMs;
        EXPECT_EQ(live.groupsAlpha, offline.groupsAlpha) << startMs;
        EXPECT_EQ(live.titleAlpha, offline.titleAlpha) << startMs;
        EXPECT_EQ(live.fadeDone[0], offline.fadeDone[0]) << startMs;
        ASSERT_EQ(live.particles.size(), offline.particles.size());
        size_t differing = 0;
        for (size_t i = 0; i < live.particles.size(); ++i)
            differing += live.particles[i].x != offline.particles[i].x || live.particles[i].y != offline.particles[i].y ||
                         live.particles[i].z != offline.particles[i].z;
        EXPECT_EQ(differing, 0u) << startMs;
    }
}
