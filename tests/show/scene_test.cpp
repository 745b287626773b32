#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/demo.h"
#include "show/scene.h"

namespace {

void expectVec(const Vec4& v, float x, float y, float z, float w, float tolerance)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
    EXPECT_NEAR(v.w, w, tolerance);
}

void expectTriangle(const TerrainTriangle& tri, int a, int b, int c)
{
    EXPECT_EQ(tri.index[0], a);
    EXPECT_EQ(tri.index[1], b);
    EXPECT_EQ(tri.index[2], c);
}

class SceneTest : public ::testing::Test {
protected:
    Demo demo;
    Scene scene{demo};
};

}  // namespace

TEST(ShowRandom, SeededSequenceAndUnitValues)
{
    ShowRandom random;
    random.seed(SHOW_RANDOM_SEED);
    const int32_t expected[8] = {25663, 13536, 11263, 29716, 6703, 22718, 18076, 3022};
    for (int32_t value : expected) {
        EXPECT_EQ(random.next(), value);
    }
    EXPECT_EQ(unitFromDraw(0), 0.0f);
    EXPECT_EQ(unitFromDraw(16384), 0.5f);
    EXPECT_LT(unitFromDraw(32767), 1.0f);
}

TEST_F(SceneTest, FirstTwoParticlesComeFromTheFirstEightDraws)
{
    expectVec(scene.particles[0], 3.3981f, 18.6963f, -1.8754f, 1.0f, 1e-4f);
    EXPECT_NEAR(scene.particleSpeeds[0], 0.8755f, 1e-4f);
    expectVec(scene.particles[1], -3.5453f, 22.8995f, 0.6196f, 1.0f, 1e-4f);
    EXPECT_NEAR(scene.particleSpeeds[1], 0.2238f, 1e-4f);
}

TEST_F(SceneTest, ConstructionConsumesExactly3600Draws)
{
    ShowRandom reference;
    reference.seed(SHOW_RANDOM_SEED);
    for (int i = 0; i < 3600; ++i) {
        reference.next();
    }
    EXPECT_EQ(scene.random.state, reference.state);
}

TEST_F(SceneTest, EveryParticleStartsInsideTheSpawnBox)
{
    ASSERT_EQ(scene.particles.size(), static_cast<size_t>(PARTICLE_CAPACITY));
    ASSERT_EQ(scene.particleSpeeds.size(), static_cast<size_t>(PARTICLE_CAPACITY));
    for (int i = 0; i < PARTICLE_CAPACITY; ++i) {
        const Vec4& p = scene.particles[i];
        EXPECT_TRUE(p.x >= -6.0f && p.x < 6.0f) << i;
        EXPECT_TRUE(p.y >= 12.5f && p.y < 27.5f) << i;
        EXPECT_TRUE(p.z >= -6.0f && p.z < 6.0f) << i;
        EXPECT_EQ(p.w, 1.0f) << i;
        EXPECT_TRUE(scene.particleSpeeds[i] >= 0.15f && scene.particleSpeeds[i] < 0.95f) << i;
    }
}

TEST_F(SceneTest, InitialScalarsAndAttractorArrays)
{
    EXPECT_EQ(scene.particleCount, 600);
    EXPECT_EQ(scene.focalDistance, 0.5f);
    EXPECT_EQ(scene.rollAngle, 0.0f);
    EXPECT_EQ(scene.cameraPhase, 0.0f);
    EXPECT_EQ(scene.attractorPhase, 0.0f);
    EXPECT_EQ(scene.fogColor[0], 0.411f);
    EXPECT_EQ(scene.fogColor[1], 0.867f);
    EXPECT_EQ(scene.fogColor[2], 1.0f);
    EXPECT_EQ(scene.fogColor[3], 1.0f);
    ASSERT_EQ(scene.attractors.size(), static_cast<size_t>(ATTRACTOR_COUNT));
    ASSERT_EQ(scene.attractorPulse.size(), static_cast<size_t>(ATTRACTOR_COUNT));
    ASSERT_EQ(scene.attractorSign.size(), static_cast<size_t>(ATTRACTOR_COUNT));
    for (int i = 0; i < ATTRACTOR_COUNT; ++i) {
        EXPECT_EQ(scene.attractorPulse[i], 1.0f) << i;
        EXPECT_EQ(scene.attractorSign[i], i % 2 == 0 ? 1.0f : -1.0f) << i;
    }
}

TEST_F(SceneTest, TerrainVerticesFollowTheBowl)
{
    ASSERT_EQ(scene.terrainVertices.size(), static_cast<size_t>(TERRAIN_VERTEX_COUNT));
    expectVec(scene.terrainVertices[0], -50.0f, 235.0f, -50.0f, 1.0f, 1e-4f);
    expectVec(scene.terrainVertices[51], -47.0f, 210.65f, -48.0f, 1.0f, 1e-4f);
    expectVec(scene.terrainVertices[1275], 1.0f, -14.95f, 0.0f, 1.0f, 1e-5f);
    // Odd rows are shifted right by one; the bowl's floor is row 25 at x = +-1.
    EXPECT_EQ(scene.terrainVertices[50].x, -49.0f);
    EXPECT_EQ(scene.terrainVertices[99].x, 49.0f);
    EXPECT_EQ(scene.terrainVertices[2499].z, 48.0f);
    float lowest = scene.terrainVertices[0].y;
    for (const Vec4& v : scene.terrainVertices) {
        lowest = std::min(lowest, v.y);
    }
    EXPECT_NEAR(lowest, -14.95f, 1e-5f);
}

TEST_F(SceneTest, TriangleIndicesAlternateTheirDiagonalByRowPair)
{
    ASSERT_EQ(scene.terrainTriangles.size(), static_cast<size_t>(TERRAIN_TRIANGLE_COUNT));
    expectTriangle(scene.terrainTriangles[0], 0, 1, 50);
    expectTriangle(scene.terrainTriangles[1], 50, 1, 51);
    expectTriangle(scene.terrainTriangles[98], 101, 100, 50);
    expectTriangle(scene.terrainTriangles[99], 101, 50, 51);
    expectTriangle(scene.terrainTriangles[4800], 2448, 2449, 2498);
    expectTriangle(scene.terrainTriangles[4801], 2498, 2449, 2499);
}

TEST_F(SceneTest, FaceVectorsAllPointUpWithTwiceTheGroundArea)
{
    for (int i = 0; i < TERRAIN_TRIANGLE_COUNT; ++i) {
        EXPECT_EQ(scene.terrainTriangles[i].face.y, 4.0f) << i;
        EXPECT_EQ(scene.terrainTriangles[i].face.w, 1.0f) << i;
    }
}

TEST_F(SceneTest, VertexNormalsAverageTheAdjacentFaces)
{
    // Vertex 0 belongs to triangle 0 alone.
    EXPECT_EQ(scene.terrainNormalCounts[0], 1.0f);
    const Vec4& face0 = scene.terrainTriangles[0].face;
    expectVec(scene.terrainNormals[0], face0.x, face0.y, face0.z, 0.0f, 0.0f);
    expectVec(scene.terrainNormals[0], 19.6f, 4.0f, 19.7f, 0.0f, 0.06f);
    EXPECT_EQ(scene.terrainNormalCounts[51], 6.0f);
    expectVec(scene.terrainNormals[51], 18.8f, 4.0f, 19.2f, 0.0f, 0.06f);
    expectVec(scene.terrainNormals[1275], -0.4f, 4.0f, 0.0f, 0.0f, 0.06f);

    float uses = 0.0f;
    for (int v = 0; v < TERRAIN_VERTEX_COUNT; ++v) {
        EXPECT_GE(scene.terrainNormalCounts[v], 1.0f) << v;
        EXPECT_NEAR(scene.terrainNormals[v].y, 4.0f, 1e-5f) << v;
        uses += scene.terrainNormalCounts[v];
    }
    EXPECT_EQ(uses, 3.0f * TERRAIN_TRIANGLE_COUNT);
}

TEST_F(SceneTest, ReleaseFreesEveryArray)
{
    scene.release();
    EXPECT_TRUE(scene.particles.empty());
    EXPECT_TRUE(scene.particleSpeeds.empty());
    EXPECT_TRUE(scene.attractors.empty());
    EXPECT_TRUE(scene.attractorPulse.empty());
    EXPECT_TRUE(scene.attractorSign.empty());
    EXPECT_TRUE(scene.terrainVertices.empty());
    EXPECT_TRUE(scene.terrainNormals.empty());
    EXPECT_TRUE(scene.terrainNormalCounts.empty());
    EXPECT_TRUE(scene.terrainTriangles.empty());
    EXPECT_EQ(scene.particles.capacity(), 0u);
}

TEST(BassEnergy, MeanOfTheFirstTenBinsOnly)
{
    float spectrum[512] = {};
    for (int i = 0; i < 10; ++i) {
        spectrum[i] = 0.05f * static_cast<float>(i);  // sums to 2.25
    }
    spectrum[10] = 100.0f;
    EXPECT_FLOAT_EQ(bassEnergy(spectrum), 0.225f);
    spectrum[9] = 0.0f;
    EXPECT_FLOAT_EQ(bassEnergy(spectrum), 0.18f);
    EXPECT_EQ(bassEnergy(nullptr), 0.0f);
}
