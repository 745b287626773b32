#include "show/particles.h"

#include <cmath>

#include "show/scene.h"

namespace {

constexpr float PULSE_ACTIVE_BELOW = 0.9f;     // an attractor acts while its pulse is below this
constexpr float PULSE_RECOVERY_RATE = 4.0f;    // pulse units per second
constexpr float ATTRACTOR_REACH = 20.0f;       // no push at this distance and beyond
constexpr float PARTICLE_FLOOR = -24.0f;       // respawn strictly below this height
constexpr uint32_t LONG_CYCLE_FROM_MS = 40000;
constexpr uint32_t LONG_CYCLE_UNTIL_MS = 400000;
constexpr int32_t SHORT_CYCLE = 4;
constexpr int32_t LONG_CYCLE = 10;
constexpr uint32_t SIDE_WINDOW_FROM_MS = 36000;
constexpr uint32_t SIDE_WINDOW_UNTIL_MS = 40000;
constexpr int SIDE_LEFT = 10;
constexpr int SIDE_RIGHT = 11;
constexpr float SIZE_WAVE_PHASE_WRAP = 900.0f;

Vec4 point(float x, float y, float z) { return Vec4{x, y, z, 1.0f}; }

// Four corners under the cloud, five curves, the origin and two far sides.
void placeAttractors(Scene& scene, float phase)
{
    const float phase2 = 2.0f * phase;
    const float phase3 = 3.0f * phase;
    const float phase4 = 4.0f * phase;
    const float sin1 = showSin(phase);
    const float cos1 = showCos(phase);
    const float sin2 = showSin(phase2);
    const float cos2 = showCos(phase2);
    const float sin3 = showSin(phase3);
    const float cos4 = showCos(phase4);

    Vec4* a = scene.attractors.data();
    a[0] = point(-8.0f, -10.0f, -8.0f);
    a[1] = point(8.0f, -10.0f, -8.0f);
    a[2] = point(8.0f, -10.0f, 8.0f);
    a[3] = point(-8.0f, -10.0f, 8.0f);
    a[4] = point(-8.0f * sin2, 5.0f * sin2 - 5.0f, -8.0f * cos2);
    a[5] = point(2.0f * cos4, -2.0f * sin1, -2.0f * sin1);
    a[6] = point(5.0f * sin1, -15.0f * cos1, 8.0f * cos2);
    a[7] = point(-10.0f * sin1, -10.0f * sin3, 10.0f * cos1);
    a[8] = point(8.0f * sin2, -10.0f * sin2, 6.0f * sin2);
    a[9] = point(0.0f, 0.0f, 0.0f);
    a[10] = point(-30.0f, -10.0f, 0.0f);
    a[11] = point(30.0f, -10.0f, 0.0f);
}

// Every frame of strong bass arms the next attractor of the cycle and flips its sign.
void triggerOnBeat(Scene& scene, const float* spectrum, uint32_t t)
{
    if (spectrum == nullptr || !(bassEnergy(spectrum) > ATTRACTOR_THRESHOLD)) {
        return;
    }
    const int32_t cycle =
        (t >= LONG_CYCLE_FROM_MS && t <= LONG_CYCLE_UNTIL_MS) ? LONG_CYCLE : SHORT_CYCLE;
    scene.activeAttractor = scene.activeAttractor + 1;
    if (scene.activeAttractor >= cycle) {
        scene.activeAttractor = 0;
    }
    const int32_t j = scene.activeAttractor;
    scene.attractorPulse[j] = 0.0f;
    scene.attractorSign[j] = scene.attractorSign[j] > 0.0f ? -1.0f : 1.0f;
}

// Inside the window only the two side attractors pull, at half strength.
void applySideWindow(Scene& scene, uint32_t t)
{
    if (t >= SIDE_WINDOW_FROM_MS && t <= SIDE_WINDOW_UNTIL_MS) {
        scene.attractorPulse[SIDE_LEFT] = 0.5f;
        scene.attractorPulse[SIDE_RIGHT] = 0.5f;
        scene.attractorSign[SIDE_LEFT] = -1.0f;
        scene.attractorSign[SIDE_RIGHT] = -1.0f;
        scene.firstActiveAttractor = SIDE_LEFT;
    } else {
        scene.firstActiveAttractor = 0;
    }
}

void recoverPulses(Scene& scene, float step)
{
    for (int j = 0; j < ATTRACTOR_COUNT; ++j) {
        float pulse = scene.attractorPulse[j] + PULSE_RECOVERY_RATE * step;
        if (std::fabs(pulse) >= 1.0f) {
            pulse = 1.0f;
        }
        scene.attractorPulse[j] = pulse;
    }
}

// The wave that swells the sprites runs faster just after a beat.
void advanceSizeWave(Scene& scene, uint32_t t, float step)
{
    if (t <= SIZE_WAVE_START_MS) {
        return;
    }
    scene.sizeWaveAmplitude = scene.sizeWaveAmplitude + step;
    if (std::fabs(scene.sizeWaveAmplitude) >= 1.0f) {
        scene.sizeWaveAmplitude = 1.0f;
    }
    const float pulse = scene.attractorPulse[scene.activeAttractor];
    scene.sizeWavePhase = scene.sizeWavePhase + ((1.0f - pulse) * 2.0f + 0.2f) * step;
    if (std::fabs(scene.sizeWavePhase) >= SIZE_WAVE_PHASE_WRAP) {
        scene.sizeWavePhase = 0.0f;
    }
}

// Pushes (sign +1) or pulls (sign -1) particle i along its line to attractor j.
void attract(Scene& scene, int i, int j, float step)
{
    Vec4& p = scene.particles[i];
    const Vec4& a = scene.attractors[j];
    const float dx = p.x - a.x;
    const float dy = p.y - a.y;
    const float dz = p.z - a.z;
    float dist = showSqrt(dy * dy + dx * dx + dz * dz);
    if (dist > ATTRACTOR_REACH) {
        dist = ATTRACTOR_REACH;
    } else if (dist < 0.0f) {
        dist = 0.0f;
    }
    const float f = step * 50.0f * scene.attractorSign[j] * (scene.particleSpeeds[i] * 0.5f) *
                    (1.0f - scene.attractorPulse[j]) * (1.0f - dist / ATTRACTOR_REACH);
    p.x = p.x + f * dx;
    p.y = p.y + f * dy;
    p.z = p.z + f * dz;
}

}  // namespace

void updateAttractors(Scene& scene, const float* spectrum, uint32_t t, float phase, float step)
{
    placeAttractors(scene, phase);
    triggerOnBeat(scene, spectrum, t);
    applySideWindow(scene, t);
    recoverPulses(scene, step);
    advanceSizeWave(scene, t, step);
}

void stepParticles(Scene& scene, uint32_t t, float step)
{
    updateAttractors(scene, scene.spectrum, t, scene.attractorPhase, step);

    for (int i = 0; i < scene.particleCount; ++i) {
        Vec4& p = scene.particles[i];
        p.y = p.y - scene.particleSpeeds[i] * step * 4.0f;
        if (p.y < PARTICLE_FLOOR) {
            respawnParticle(scene, i);
        }
        for (int j = scene.firstActiveAttractor; j < ATTRACTOR_COUNT; ++j) {
            if (scene.attractorPulse[j] < PULSE_ACTIVE_BELOW) {
                attract(scene, i, j, step);
            }
        }
    }
}

void respawnParticle(Scene& scene, int i)
{
    const float u1 = unitFromDraw(scene.random.next());
    const float u2 = unitFromDraw(scene.random.next());
    const float u3 = unitFromDraw(scene.random.next());
    const float u4 = unitFromDraw(scene.random.next());
    Vec4& p = scene.particles[i];
    p.x = (u1 - 0.5f) * 12.0f;
    p.y = (u2 - 0.5f) * 15.0f + 20.0f;
    p.z = (u3 - 0.5f) * 12.0f;
    p.w = 1.0f;
    scene.particleSpeeds[i] = std::fabs((u4 - 0.5f) * 0.8f + 0.55f);
}
