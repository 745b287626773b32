#include "show/scene.h"

#include <cmath>

#include "app/demo.h"
#include "show/particles.h"

namespace {

void setUpAttractors(Scene& scene)
{
    scene.attractors.assign(ATTRACTOR_COUNT, Vec4{});
    scene.attractorPulse.assign(ATTRACTOR_COUNT, 1.0f);
    scene.attractorSign.resize(ATTRACTOR_COUNT);
    for (int i = 0; i < ATTRACTOR_COUNT; ++i) {
        scene.attractorSign[i] = (i % 2 == 0) ? 1.0f : -1.0f;
    }
}

// Four draws per particle, in index order: the same rule as a respawn.
void placeParticles(Scene& scene)
{
    scene.particles.resize(PARTICLE_CAPACITY);
    scene.particleSpeeds.resize(PARTICLE_CAPACITY);
    for (int i = 0; i < PARTICLE_CAPACITY; ++i)
        respawnParticle(scene, i);
}

// Two triangles per grid cell; the diagonal flips on odd row pairs.
void fillTriangleIndices(Scene& scene)
{
    const int cells = TERRAIN_SIDE - 1;
    for (int r = 0; r < cells; ++r) {
        for (int k = 0; k < cells; ++k) {
            const int32_t lower = TERRAIN_SIDE * r + k;
            const int32_t upper = TERRAIN_SIDE * (r + 1) + k;
            TerrainTriangle& first = scene.terrainTriangles[2 * (cells * r + k)];
            TerrainTriangle& second = scene.terrainTriangles[2 * (cells * r + k) + 1];
            if (r % 2 == 0) {
                first.index[0] = lower;     first.index[1] = lower + 1; first.index[2] = upper;
                second.index[0] = upper;    second.index[1] = lower + 1; second.index[2] = upper + 1;
            } else {
                first.index[0] = upper + 1; first.index[1] = upper;     first.index[2] = lower;
                second.index[0] = upper + 1; second.index[1] = lower;   second.index[2] = lower + 1;
            }
        }
    }
}

// The bowl: y = d^2 * 0.05 - 15 over a grid whose odd rows are shifted by one.
void fillVertexPositions(Scene& scene)
{
    for (int row = 0; row < TERRAIN_SIDE; ++row) {
        for (int column = 0; column < TERRAIN_SIDE; ++column) {
            Vec4& v = scene.terrainVertices[TERRAIN_SIDE * row + column];
            v.x = static_cast<float>(2 * column - 50) + ((row % 2 == 1) ? 1.0f : 0.0f);
            v.z = static_cast<float>(2 * row - 50);
            const float d = showSqrt(v.x * v.x + v.z * v.z);
            v.y = d * d * 0.05f - 15.0f;
            v.w = 1.0f;
        }
    }
}

// Unnormalised (P2 - P0) x (P1 - P0) of every triangle.
void computeFaceVectors(Scene& scene)
{
    for (TerrainTriangle& tri : scene.terrainTriangles) {
        const Vec4& p0 = scene.terrainVertices[tri.index[0]];
        const Vec4& p1 = scene.terrainVertices[tri.index[1]];
        const Vec4& p2 = scene.terrainVertices[tri.index[2]];
        const float ex = p1.x - p0.x, ey = p1.y - p0.y, ez = p1.z - p0.z;
        const float fx = p2.x - p0.x, fy = p2.y - p0.y, fz = p2.z - p0.z;
        tri.face.x = fy * ez - fz * ey;
        tri.face.y = fz * ex - fx * ez;
        tri.face.z = fx * ey - fy * ex;
        tri.face.w = 1.0f;
    }
}

// Each vertex normal is the mean of the face vectors of its triangles.
void averageVertexNormals(Scene& scene)
{
    scene.terrainNormals.assign(TERRAIN_VERTEX_COUNT, Vec4{});
    scene.terrainNormalCounts.assign(TERRAIN_VERTEX_COUNT, 0.0f);
    for (const TerrainTriangle& tri : scene.terrainTriangles) {
        for (int corner = 0; corner < 3; ++corner) {
            Vec4& n = scene.terrainNormals[tri.index[corner]];
            n.x += tri.face.x;
            n.y += tri.face.y;
            n.z += tri.face.z;
            scene.terrainNormalCounts[tri.index[corner]] += 1.0f;
        }
    }
    for (int v = 0; v < TERRAIN_VERTEX_COUNT; ++v) {
        const float count = scene.terrainNormalCounts[v];
        if (count > 0.0f) {
            const float scale = 1.0f / count;
            scene.terrainNormals[v].x *= scale;
            scene.terrainNormals[v].y *= scale;
            scene.terrainNormals[v].z *= scale;
        }
    }
}

}  // namespace

Scene::Scene(Demo& owner)
    : demo(&owner), music(&owner.music), shaders(&owner.shaders), textures(&owner.textures)
{
    restart();
}

void Scene::restart()
{
    particleCount = INITIAL_PARTICLE_COUNT;
    focalDistance = 0.5f;
    rollAngle = 0.0f;
    cameraPhase = 0.0f;
    attractorPhase = 0.0f;
    cameraEye = Vec4{};
    cameraTarget = Vec4{};
    sizeWavePhase = 0.0f;
    sizeWaveAmplitude = 0.0f;
    activeAttractor = 0;
    firstActiveAttractor = 0;
    spectrum = nullptr;
    overlays = OverlayState{};
    drawing = true;

    random.seed(SHOW_RANDOM_SEED);
    setUpAttractors(*this);
    placeParticles(*this);
    buildTerrain(*this);
    fogColor[0] = 0.411f;
    fogColor[1] = 0.867f;
    fogColor[2] = 1.0f;
    fogColor[3] = 1.0f;
}

void Scene::release()
{
    std::vector<Vec4>().swap(particles);
    std::vector<float>().swap(particleSpeeds);
    std::vector<Vec4>().swap(attractors);
    std::vector<float>().swap(attractorPulse);
    std::vector<float>().swap(attractorSign);
    std::vector<Vec4>().swap(terrainVertices);
    std::vector<Vec4>().swap(terrainNormals);
    std::vector<float>().swap(terrainNormalCounts);
    std::vector<TerrainTriangle>().swap(terrainTriangles);
    spectrum = nullptr;
}

void buildTerrain(Scene& scene)
{
    scene.terrainTriangles.assign(TERRAIN_TRIANGLE_COUNT, TerrainTriangle{});
    scene.terrainVertices.assign(TERRAIN_VERTEX_COUNT, Vec4{});
    fillTriangleIndices(scene);
    fillVertexPositions(scene);
    computeFaceVectors(scene);
    averageVertexNormals(scene);
}

float bassEnergy(const float* spectrum)
{
    if (spectrum == nullptr) {
        return 0.0f;
    }
    float sum = 0.0f;
    for (int bin = 0; bin < 10; ++bin) {
        sum += spectrum[bin];
    }
    return sum / 10.0f;
}
