#include "show_harness.h"

#include <cmath>

#include "app/demo.h"
#include "app/entry.h"
#include "audio/audio_engine.h"
#include "gl/gl_extensions.h"
#include "platform/window.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/scene.h"

namespace {

// The harness whose clock the timer service below stands for.
ShowHarness* activeHarness = nullptr;
bool timerMayStart = true;
void* startedTimerUser = nullptr;
int killedTimers = 0;

uint32_t testTimerCaps(TimerCaps& caps)
{
    caps.periodMin = 1;
    caps.periodMax = 1000000;
    return timerMayStart ? 0 : 1;
}
uint32_t testBeginPeriod(uint32_t) { return 0; }
uint32_t testEndPeriod(uint32_t) { return 0; }
uint32_t testTimerStart(uint32_t, uint32_t, TimerCallback, void* user)
{
    startedTimerUser = user;
    return 7;
}
void testTimerKill(uint32_t) { ++killedTimers; }

constexpr uint64_t NS_PER_MS = 1000000ull;

}  // namespace

ShowHarness::ShowHarness() = default;

ShowHarness::~ShowHarness()
{
    close();
}

uint64_t ShowHarness::showTimeNs(void* harness)
{
    ShowHarness* self = static_cast<ShowHarness*>(harness);
    return self->demo_ ? static_cast<uint64_t>(self->demo_->timeMs) * NS_PER_MS : 0;
}

bool ShowHarness::open(int width, int height, bool clockStarts, std::string& failure)
{
    close();
    activeHarness = this;
    timerMayStart = clockStarts;
    startedTimerUser = nullptr;
    killedTimers = 0;
    audioSetClock(&ShowHarness::showTimeNs, this);

    demo_ = std::make_unique<Demo>();
    Demo& demo = *demo_;
    demo.clock.service.caps = testTimerCaps;
    demo.clock.service.beginPeriod = testBeginPeriod;
    demo.clock.service.endPeriod = testEndPeriod;
    demo.clock.service.start = testTimerStart;
    demo.clock.service.kill = testTimerKill;

    // The entry point's start-up, at a size a software renderer keeps up with.
    storeWindowlessSettings(demo, width, height);
    scene_ = beginShow(demo);
    if (!scene_) {
        failure = "openWindow failed (see stderr)";
        close();
        return false;
    }
    timerUser_ = startedTimerUser;
    return true;
}

void ShowHarness::close()
{
    if (demo_) {
        // The show's own teardown, as the entry point runs it.
        endShow(*demo_, std::move(scene_));
        timerKills_ = killedTimers;
        demo_.reset();
    }
    if (activeHarness == this) {
        audioSetClock(nullptr, nullptr);
        activeHarness = nullptr;
    }
    timerUser_ = nullptr;
}

void ShowHarness::advance(uint32_t ms)
{
    if (!timerUser_)
        return;  // no timer runs: the counter stays where it is
    for (uint32_t i = 0; i < ms; ++i)
        FrameClock::onTick(timerUser_);
}

ScriptedShowIo::ScriptedShowIo(ShowHarness& harness, std::vector<ScriptedFrame> script)
    : harness_(harness), script_(std::move(script))
{
}

void ScriptedShowIo::readFrameTime()
{
    ScriptedFrame frame;
    frame.gapMs = 1;
    if (frame_ < script_.size())
        frame = script_[frame_];
    ++frame_;
    harness_.advance(frame.gapMs);
    Demo& demo = harness_.demo();
    demo.clock.readFrameTime(demo.timeMs, demo.frameStep);
    lastTimeMs_ = demo.timeMs;
    pending_ = frame.messages;
    draw_ = frame.draw;
}

bool ScriptedShowIo::peekMessage(Message& message)
{
    if (!pending_.empty()) {
        message = pending_.front();
        pending_.erase(pending_.begin());
        return true;
    }
    return false;
}

void ScriptedShowIo::renderFrame()
{
    harness_.scene().drawing = draw_;
    ::renderFrame(harness_.scene());
}

void ScriptedShowIo::drawFades()
{
    ::drawFades(harness_.demo(), draw_);
    if (afterPasses)
        afterPasses(harness_);
}

void ScriptedShowIo::bindWindowFramebuffer()
{
    if (draw_)
        glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

void ScriptedShowIo::present()
{
    if (draw_)
        platformSwapWindow(harness_.demo().window);
}

namespace {

void checkFloat(std::vector<std::string>& faults, const char* name, size_t index, float value)
{
    if (!std::isfinite(value))
        faults.push_back(std::string(name) + "[" + std::to_string(index) + "]");
}

void checkVec(std::vector<std::string>& faults, const char* name, size_t index, const Vec4& v)
{
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z) || !std::isfinite(v.w))
        faults.push_back(std::string(name) + "[" + std::to_string(index) + "]");
}

void checkSize(std::vector<std::string>& faults, const char* name, size_t size, size_t expected)
{
    if (size != expected)
        faults.push_back(std::string(name) + " has " + std::to_string(size) + " entries");
}

}  // namespace

std::vector<std::string> sceneFaults(const Scene& s)
{
    std::vector<std::string> faults;
    checkSize(faults, "particles", s.particles.size(), PARTICLE_CAPACITY);
    checkSize(faults, "particleSpeeds", s.particleSpeeds.size(), PARTICLE_CAPACITY);
    checkSize(faults, "attractors", s.attractors.size(), ATTRACTOR_COUNT);
    checkSize(faults, "attractorPulse", s.attractorPulse.size(), ATTRACTOR_COUNT);
    checkSize(faults, "attractorSign", s.attractorSign.size(), ATTRACTOR_COUNT);
    checkSize(faults, "terrainVertices", s.terrainVertices.size(), TERRAIN_VERTEX_COUNT);
    checkSize(faults, "terrainNormals", s.terrainNormals.size(), TERRAIN_VERTEX_COUNT);
    checkSize(faults, "terrainNormalCounts", s.terrainNormalCounts.size(), TERRAIN_VERTEX_COUNT);
    checkSize(faults, "terrainTriangles", s.terrainTriangles.size(), TERRAIN_TRIANGLE_COUNT);
    if (s.particleCount < 0 || s.particleCount > PARTICLE_CAPACITY)
        faults.push_back("particleCount " + std::to_string(s.particleCount));
    if (s.activeAttractor < 0 || s.activeAttractor >= ATTRACTOR_COUNT)
        faults.push_back("activeAttractor " + std::to_string(s.activeAttractor));
    if (s.overlays.greetIndex < 0 || s.overlays.greetIndex > 9)
        faults.push_back("greetIndex " + std::to_string(s.overlays.greetIndex));

    for (size_t i = 0; i < s.particles.size(); ++i)
        checkVec(faults, "particles", i, s.particles[i]);
    for (size_t i = 0; i < s.particleSpeeds.size(); ++i)
        checkFloat(faults, "particleSpeeds", i, s.particleSpeeds[i]);
    for (size_t i = 0; i < s.attractors.size(); ++i)
        checkVec(faults, "attractors", i, s.attractors[i]);
    for (size_t i = 0; i < s.attractorPulse.size(); ++i)
        checkFloat(faults, "attractorPulse", i, s.attractorPulse[i]);
    for (size_t i = 0; i < s.attractorSign.size(); ++i)
        checkFloat(faults, "attractorSign", i, s.attractorSign[i]);
    for (size_t i = 0; i < s.terrainVertices.size(); ++i)
        checkVec(faults, "terrainVertices", i, s.terrainVertices[i]);
    for (size_t i = 0; i < s.terrainNormals.size(); ++i)
        checkVec(faults, "terrainNormals", i, s.terrainNormals[i]);
    for (size_t i = 0; i < s.terrainNormalCounts.size(); ++i)
        checkFloat(faults, "terrainNormalCounts", i, s.terrainNormalCounts[i]);
    for (size_t i = 0; i < s.terrainTriangles.size(); ++i)
        checkVec(faults, "terrainTriangles.face", i, s.terrainTriangles[i].face);

    const float scalars[] = {s.focalDistance,         s.rollAngle,
                             s.cameraPhase,           s.attractorPhase,
                             s.sizeWavePhase,         s.sizeWaveAmplitude,
                             s.fogColor[0],           s.fogColor[1],
                             s.fogColor[2],           s.fogColor[3],
                             s.overlays.groupsAlpha,  s.overlays.groupsDepth,
                             s.overlays.titleAlpha,   s.overlays.creditsFirstAlpha,
                             s.overlays.creditsSecondAlpha, s.overlays.greetCooldown,
                             s.overlays.greetOffset[0], s.overlays.greetOffset[1],
                             s.overlays.greetOffset[2]};
    for (size_t i = 0; i < sizeof scalars / sizeof scalars[0]; ++i)
        checkFloat(faults, "scalar", i, scalars[i]);
    checkVec(faults, "cameraEye", 0, s.cameraEye);
    checkVec(faults, "cameraTarget", 0, s.cameraTarget);
    if (s.spectrum)
        for (size_t i = 0; i < 512; ++i)
            checkFloat(faults, "spectrum", i, s.spectrum[i]);
    return faults;
}
