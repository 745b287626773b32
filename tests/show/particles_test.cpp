// Attractor schedule and particle motion, on a real Scene without GL.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "app/demo.h"
#include "show/particles.h"
#include "show/scene.h"

namespace {

constexpr uint32_t BEFORE_SIDE_WINDOW_MS = 20000;

class ParticleMotion : public ::testing::Test {
protected:
    Demo demo;
    Scene scene{demo};
    std::array<float, 512> spectrum{};

    void SetUp() override
    {
        scene.spectrum = spectrum.data();
        for (int j = 0; j < ATTRACTOR_COUNT; ++j) {
            scene.attractorPulse[j] = 1.0f;
        }
    }

    // Bass energy `tenTimesEnergy` / 10, all of it in bin 0.
    void setBass(float tenTimesEnergy) { spectrum[0] = tenTimesEnergy; }

    void placeParticle(int i, float x, float y, float z, float speed)
    {
        scene.particles[i] = Vec4{x, y, z, 1.0f};
        scene.particleSpeeds[i] = speed;
    }
};

struct Point {
    double x, y, z;
};

// The push of one attractor on one particle, worked in double precision.
Point pushed(Point p, Point a, double speed, double sign, double pulse, double step)
{
    const double dx = p.x - a.x, dy = p.y - a.y, dz = p.z - a.z;
    const double dist = std::min(std::sqrt(dx * dx + dy * dy + dz * dz), 20.0);
    const double f = step * 50.0 * sign * (speed * 0.5) * (1.0 - pulse) * (1.0 - dist / 20.0);
    return {p.x + f * dx, p.y + f * dy, p.z + f * dz};
}

void expectAt(const Vec4& v, double x, double y, double z, double tolerance)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
    EXPECT_EQ(v.w, 1.0f);
}

TEST_F(ParticleMotion, AttractorsFollowTheirPathsForThePhase)
{
    const double phi = 0.7;
    updateAttractors(scene, spectrum.data(), BEFORE_SIDE_WINDOW_MS, 0.7f, 0.01f);
    const double s1 = std::sin(phi), c1 = std::cos(phi);
    const double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
    const double s3 = std::sin(3 * phi), c4 = std::cos(4 * phi);
    const double expected[ATTRACTOR_COUNT][3] = {
        {-8, -10, -8}, {8, -10, -8}, {8, -10, 8}, {-8, -10, 8},
        {-8 * s2, 5 * s2 - 5, -8 * c2},
        {2 * c4, -2 * s1, -2 * s1},
        {5 * s1, -15 * c1, 8 * c2},
        {-10 * s1, -10 * s3, 10 * c1},
        {8 * s2, -10 * s2, 6 * s2},
        {0, 0, 0}, {-30, -10, 0}, {30, -10, 0},
    };
    for (int j = 0; j < ATTRACTOR_COUNT; ++j) {
        SCOPED_TRACE(j);
        expectAt(scene.attractors[j], expected[j][0], expected[j][1], expected[j][2], 1e-5);
    }
}

TEST_F(ParticleMotion, BeatArmsTheNextAttractorOnlyAboveThreshold)
{
    setBass(1.5f);
    ASSERT_EQ(bassEnergy(spectrum.data()), ATTRACTOR_THRESHOLD);
    updateAttractors(scene, spectrum.data(), BEFORE_SIDE_WINDOW_MS, 0.0f, 0.05f);
    EXPECT_EQ(scene.activeAttractor, 0);
    for (int j = 0; j < ATTRACTOR_COUNT; ++j) {
        EXPECT_EQ(scene.attractorPulse[j], 1.0f) << j;
    }

    // Just above: every such frame arms the next one and flips its sign.
    setBass(1.501f);
    updateAttractors(scene, spectrum.data(), BEFORE_SIDE_WINDOW_MS, 0.0f, 0.05f);
    EXPECT_EQ(scene.activeAttractor, 1);
    EXPECT_FLOAT_EQ(scene.attractorPulse[1], 0.2f);  // armed, then one frame of recovery
    EXPECT_EQ(scene.attractorSign[1], 1.0f);
    updateAttractors(scene, spectrum.data(), BEFORE_SIDE_WINDOW_MS, 0.0f, 0.05f);
    EXPECT_EQ(scene.activeAttractor, 2);
    EXPECT_EQ(scene.attractorSign[2], -1.0f);
    EXPECT_FLOAT_EQ(scene.attractorPulse[1], 0.4f);

    // No bass: no more arming, and the pulses climb back to idle and stay there.
    setBass(0.0f);
    for (int frame = 0; frame < 10; ++frame) {
        updateAttractors(scene, spectrum.data(), BEFORE_SIDE_WINDOW_MS, 0.0f, 0.05f);
    }
    EXPECT_EQ(scene.activeAttractor, 2);
    EXPECT_EQ(scene.attractorPulse[1], 1.0f);
    EXPECT_EQ(scene.attractorPulse[2], 1.0f);
}

TEST_F(ParticleMotion, CycleIsFourBeforeFortySecondsAndTenFromThere)
{
    setBass(3.0f);
    // From 40 s the cycle runs 0..9 and never reaches the side attractors.
    for (int beat = 1; beat <= 25; ++beat) {
        updateAttractors(scene, spectrum.data(), 50000, 0.0f, 0.01f);
        EXPECT_EQ(scene.activeAttractor, beat % 10) << beat;
    }
    EXPECT_EQ(scene.attractorPulse[10], 1.0f);
    EXPECT_EQ(scene.attractorPulse[11], 1.0f);

    scene.activeAttractor = 3;
    updateAttractors(scene, spectrum.data(), 39999, 0.0f, 0.01f);
    EXPECT_EQ(scene.activeAttractor, 0);

    scene.activeAttractor = 3;
    updateAttractors(scene, spectrum.data(), 40000, 0.0f, 0.01f);
    EXPECT_EQ(scene.activeAttractor, 4);
}

TEST_F(ParticleMotion, SideWindowArmsTheSideAttractorsFrom36To40Seconds)
{
    const float step = 0.01f;
    updateAttractors(scene, spectrum.data(), 35999, 0.0f, step);
    EXPECT_EQ(scene.firstActiveAttractor, 0);
    EXPECT_EQ(scene.attractorPulse[10], 1.0f);

    // Inside the window a beat still advances the four-cycle.
    setBass(3.0f);
    scene.activeAttractor = 3;
    updateAttractors(scene, spectrum.data(), 36000, 0.0f, step);
    EXPECT_EQ(scene.activeAttractor, 0);
    EXPECT_EQ(scene.firstActiveAttractor, 10);
    for (int j : {10, 11}) {
        EXPECT_FLOAT_EQ(scene.attractorPulse[j], 0.5f + 4.0f * step) << j;
        EXPECT_EQ(scene.attractorSign[j], -1.0f) << j;
    }

    updateAttractors(scene, spectrum.data(), 40000, 0.0f, step);
    EXPECT_EQ(scene.firstActiveAttractor, 10);
    EXPECT_EQ(scene.activeAttractor, 1);

    setBass(0.0f);
    updateAttractors(scene, spectrum.data(), 40001, 0.0f, step);
    EXPECT_EQ(scene.firstActiveAttractor, 0);
    EXPECT_FLOAT_EQ(scene.attractorPulse[10], 0.5f + 8.0f * step);
}

TEST_F(ParticleMotion, SizeWaveStartsAfterFifteenSecondsAndWraps)
{
    updateAttractors(scene, spectrum.data(), 15000, 0.0f, 0.5f);
    EXPECT_EQ(scene.sizeWaveAmplitude, 0.0f);
    EXPECT_EQ(scene.sizeWavePhase, 0.0f);

    // Idle attractors: the phase runs at 0.2 per second.
    updateAttractors(scene, spectrum.data(), 15001, 0.0f, 0.5f);
    EXPECT_FLOAT_EQ(scene.sizeWaveAmplitude, 0.5f);
    EXPECT_FLOAT_EQ(scene.sizeWavePhase, 0.1f);
    updateAttractors(scene, spectrum.data(), 15002, 0.0f, 0.75f);
    EXPECT_EQ(scene.sizeWaveAmplitude, 1.0f);
    updateAttractors(scene, spectrum.data(), 15003, 0.0f, 0.5f);
    EXPECT_EQ(scene.sizeWaveAmplitude, 1.0f);

    ASSERT_EQ(899.9f + 0.1f, 900.0f);
    scene.sizeWavePhase = 899.9f;
    updateAttractors(scene, spectrum.data(), 20000, 0.0f, 0.5f);
    EXPECT_EQ(scene.sizeWavePhase, 0.0f);
    scene.sizeWavePhase = 899.8f;
    updateAttractors(scene, spectrum.data(), 20000, 0.0f, 0.5f);
    EXPECT_NEAR(scene.sizeWavePhase, 899.9f, 1e-3);
}

TEST_F(ParticleMotion, SizeWaveSpeedsUpWithTheAttractorJustArmed)
{
    // The rate uses the newly armed attractor's pulse after this frame's recovery:
    // (1 - 0.2) * 2 + 0.2 = 1.8 per second.
    setBass(3.0f);
    updateAttractors(scene, spectrum.data(), 20000, 0.0f, 0.05f);
    EXPECT_EQ(scene.activeAttractor, 1);
    EXPECT_NEAR(scene.sizeWavePhase, 1.8 * 0.05, 1e-6);
}

TEST_F(ParticleMotion, IdleCloudOnlyFallsAndLeavesTheRestAlone)
{
    scene.particleCount = 5;
    const std::vector<Vec4> before = scene.particles;
    const std::vector<float> speedsBefore = scene.particleSpeeds;
    const uint32_t randomBefore = scene.random.state;

    stepParticles(scene, BEFORE_SIDE_WINDOW_MS, 0.05f);

    for (int i = 0; i < PARTICLE_CAPACITY; ++i) {
        SCOPED_TRACE(i);
        const double fall = i < 5 ? scene.particleSpeeds[i] * 0.05 * 4.0 : 0.0;
        EXPECT_EQ(scene.particles[i].x, before[i].x);
        EXPECT_NEAR(scene.particles[i].y, before[i].y - fall, 1e-5);
        EXPECT_EQ(scene.particles[i].z, before[i].z);
        EXPECT_EQ(scene.particleSpeeds[i], speedsBefore[i]);
    }
    EXPECT_EQ(scene.random.state, randomBefore);
}

TEST_F(ParticleMotion, RespawnsOnlyBelowTheFloorAndIsAttractedAtOnce)
{
    scene.particleCount = 2;
    ASSERT_EQ(-23.9f - 0.5f * 0.05f * 4.0f, -24.0f);
    placeParticle(0, 1.0f, -23.9f, 1.0f, 0.5f);   // lands exactly on the floor
    placeParticle(1, 1.0f, -23.91f, 1.0f, 0.5f);  // falls just through it
    scene.random.seed(SHOW_RANDOM_SEED);
    // Attractor 9 sits at the origin and pulls (odd index).
    scene.attractorPulse[9] = 0.0f;

    stepParticles(scene, BEFORE_SIDE_WINDOW_MS, 0.05f);

    // Particle 0 stays on the floor: too far (over 20) from the origin to be pulled.
    expectAt(scene.particles[0], 1.0, -24.0, 1.0, 1e-6);
    EXPECT_EQ(scene.particleSpeeds[0], 0.5f);

    // Particle 1 takes the generator's first four draws (25663, 13536,
    // 11263, 29716 from the seed), then the origin pulls it in the same frame.
    const Point respawned = {(25663 / 32768.0 - 0.5) * 12.0, (13536 / 32768.0 - 0.5) * 15.0 + 20.0,
                             (11263 / 32768.0 - 0.5) * 12.0};
    const double speed = std::fabs((29716 / 32768.0 - 0.5) * 0.8 + 0.55);
    EXPECT_NEAR(scene.particleSpeeds[1], speed, 1e-6);
    EXPECT_NEAR(speed, 0.8755, 1e-4);
    const Point p = pushed(respawned, {0, 0, 0}, speed, -1.0, 0.2, 0.05);
    expectAt(scene.particles[1], p.x, p.y, p.z, 1e-4);
    EXPECT_GT(std::fabs(p.y - respawned.y), 1e-3);  // the pull is large enough to see
}

TEST_F(ParticleMotion, PushFromTwoAttractorsAppliesInTurn)
{
    // At phase 0 attractors 8 and 9 both sit at the origin; 9 acts on the
    // position that 8 has already moved.
    scene.particleCount = 1;
    placeParticle(0, 3.0f, 4.0f, 0.0f, 0.4f);
    scene.attractorPulse[8] = 0.0f;
    scene.attractorPulse[9] = 0.5f;
    scene.attractorSign[8] = 1.0f;
    scene.attractorSign[9] = -1.0f;
    scene.attractorPhase = 0.0f;

    stepParticles(scene, BEFORE_SIDE_WINDOW_MS, 0.05f);

    Point p = {3.0, 4.0 - 0.4 * 0.05 * 4.0, 0.0};
    p = pushed(p, {0, 0, 0}, 0.4, 1.0, 0.2, 0.05);
    p = pushed(p, {0, 0, 0}, 0.4, -1.0, 0.7, 0.05);
    expectAt(scene.particles[0], p.x, p.y, p.z, 1e-5);
    EXPECT_GT(scene.particles[0].x, 3.0f);  // the push outweighs the weaker pull
}

TEST_F(ParticleMotion, NoPushAtTheAttractorOrTwentyAway)
{
    // Speed 0.5 and step 0.05 fall exactly 0.1, so each lands at y = 0.
    scene.particleCount = 4;
    placeParticle(0, 0.0f, 0.1f, 0.0f, 0.5f);    // on attractor 9
    placeParticle(1, 20.0f, 0.1f, 0.0f, 0.5f);   // exactly 20 away
    placeParticle(2, 0.0f, 0.1f, -25.0f, 0.5f);  // beyond reach
    placeParticle(3, 10.0f, 0.1f, 0.0f, 0.5f);   // within reach: moves
    scene.attractorPulse[9] = 0.0f;
    scene.attractorSign[9] = 1.0f;

    stepParticles(scene, BEFORE_SIDE_WINDOW_MS, 0.05f);

    expectAt(scene.particles[0], 0.0, 0.0, 0.0, 0.0);
    expectAt(scene.particles[1], 20.0, 0.0, 0.0, 0.0);
    expectAt(scene.particles[2], 0.0, 0.0, -25.0, 0.0);
    const Point p = pushed({10.0, 0.0, 0.0}, {0, 0, 0}, 0.5, 1.0, 0.2, 0.05);
    expectAt(scene.particles[3], p.x, p.y, p.z, 1e-5);
    EXPECT_GT(scene.particles[3].x, 10.5f);
}

TEST_F(ParticleMotion, AttractorActsOnlyWhilePulseIsBelowNineTenths)
{
    // 0.65 plus one frame of recovery (4 x 0.0625) is exactly 0.9: no push.
    const float step = 0.0625f;
    ASSERT_EQ(0.65f + 4.0f * step, 0.9f);
    scene.particleCount = 2;
    placeParticle(0, 5.0f, 0.25f, 0.0f, 1.0f);
    placeParticle(1, -5.0f, 0.25f, 0.0f, 1.0f);
    scene.attractorPulse[9] = 0.65f;
    scene.attractorSign[9] = 1.0f;
    stepParticles(scene, BEFORE_SIDE_WINDOW_MS, step);
    expectAt(scene.particles[0], 5.0, 0.0, 0.0, 0.0);

    // A hair below 0.9 it acts.
    scene.attractorPulse[9] = 0.6499f;
    stepParticles(scene, BEFORE_SIDE_WINDOW_MS, step);
    EXPECT_GT(scene.particles[0].x, 5.0f);
    EXPECT_LT(scene.particles[1].x, -5.0f);
}

TEST_F(ParticleMotion, InsideTheSideWindowOnlyTheSideAttractorsAct)
{
    // Particle 0 lands 10 from attractor 11; particle 1 sits by the origin,
    // where attractor 9 is armed but below the first active index.
    scene.particleCount = 2;
    placeParticle(0, 20.0f, -9.9f, 0.0f, 0.5f);
    placeParticle(1, 1.0f, 0.1f, 0.0f, 0.5f);
    scene.attractorPulse[9] = 0.0f;

    stepParticles(scene, 38000, 0.05f);

    EXPECT_EQ(scene.firstActiveAttractor, 10);
    const Point p = pushed({20.0, -10.0, 0.0}, {30, -10, 0}, 0.5, -1.0, 0.5 + 4 * 0.05, 0.05);
    expectAt(scene.particles[0], p.x, p.y, p.z, 1e-5);
    EXPECT_GT(scene.particles[0].x, 20.0f);
    expectAt(scene.particles[1], 1.0, 0.0, 0.0, 1e-6);
}

}  // namespace
