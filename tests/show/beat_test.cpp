#include <gtest/gtest.h>

#include "app/demo.h"
#include "show/beat.h"
#include "show/scene.h"

namespace {

class BeatResponseTest : public ::testing::Test {
protected:
    Demo demo;
    Scene scene{demo};
    float spectrum[512] = {};

    void SetUp() override { scene.spectrum = spectrum; }
    // Puts the whole bass energy into bin 0, so the mean is exactly energy.
    void setEnergy(float energy) { spectrum[0] = energy * 10.0f; }
};

}  // namespace

TEST_F(BeatResponseTest, ThresholdIsStrict)
{
    setEnergy(0.1f);
    ASSERT_EQ(bassEnergy(spectrum), 0.1f);
    updateBeatResponse(scene, 0.016f);
    EXPECT_EQ(scene.particleCount, 600);
    EXPECT_EQ(scene.rollAngle, 0.0f);
    EXPECT_FLOAT_EQ(scene.focalDistance, 0.516f);

    spectrum[0] = 1.001f;
    updateBeatResponse(scene, 0.016f);
    EXPECT_EQ(scene.particleCount, 610);
    EXPECT_EQ(scene.rollAngle, 0.25f);
    EXPECT_FLOAT_EQ(scene.focalDistance, 0.516f);  // reset to 0.5, then + dt
}

TEST_F(BeatResponseTest, ThirtyBeatFramesFillTheCloudAndStopAtTheCeiling)
{
    setEnergy(0.5f);
    for (int frame = 1; frame <= 30; ++frame) {
        updateBeatResponse(scene, 0.016f);
        EXPECT_EQ(scene.particleCount, 600 + 10 * frame);
    }
    for (int frame = 0; frame < 5; ++frame) {
        updateBeatResponse(scene, 0.016f);
        EXPECT_EQ(scene.particleCount, PARTICLE_CAPACITY);
    }
    // The roll keeps turning after the cloud is full: 35 frames.
    EXPECT_FLOAT_EQ(scene.rollAngle, 8.75f);
}

TEST_F(BeatResponseTest, TenBeatFramesAddHundredParticlesAndTwoAndAHalfDegrees)
{
    scene.particleCount = 800;
    scene.rollAngle = 1.0f;
    setEnergy(0.2f);
    for (int frame = 0; frame < 10; ++frame) {
        updateBeatResponse(scene, 0.5f);  // the increments do not scale with dt
    }
    EXPECT_EQ(scene.particleCount, 900);
    EXPECT_FLOAT_EQ(scene.rollAngle, 3.5f);
}

TEST_F(BeatResponseTest, FocalRangeSawsBetweenResetAndCeiling)
{
    // A beat snaps back to 0.5 + dt, whatever it was.
    scene.focalDistance = 3.7f;
    setEnergy(0.3f);
    updateBeatResponse(scene, 0.016f);
    EXPECT_FLOAT_EQ(scene.focalDistance, 0.516f);

    // Without beats it grows by dt and stops at 4.0.
    setEnergy(0.0f);
    scene.focalDistance = 0.5f;
    const float expected[8] = {1.0f, 1.5f, 2.0f, 2.5f, 3.0f, 3.5f, 4.0f, 4.0f};
    for (float value : expected) {
        updateBeatResponse(scene, 0.5f);
        EXPECT_FLOAT_EQ(scene.focalDistance, value);
    }
    // A step that would overshoot lands on the ceiling too.
    scene.focalDistance = 3.9f;
    updateBeatResponse(scene, 0.3f);
    EXPECT_EQ(scene.focalDistance, 4.0f);
}

TEST_F(BeatResponseTest, SilentTrackNeverTriggers)
{
    for (int frame = 0; frame < 1000; ++frame) {
        updateBeatResponse(scene, 0.008f);
    }
    EXPECT_EQ(scene.particleCount, 600);
    EXPECT_EQ(scene.rollAngle, 0.0f);
    EXPECT_EQ(scene.focalDistance, 4.0f);
}
