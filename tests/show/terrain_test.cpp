#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/demo.h"
#include "gl/gl_extensions.h"
#include "resources/shader_registry.h"
#include "show/frame.h"
#include "show/scene.h"
#include "show/shader_sources.h"
#include "show/terrain.h"
#include "support/gl_test_context.h"

namespace {

struct D3 {
    double x = 0.0, y = 0.0, z = 0.0;
};
D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 operator*(double s, D3 a) { return {s * a.x, s * a.y, s * a.z}; }
double dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double length(D3 a) { return std::sqrt(dot(a, a)); }
D3 normalize(D3 a) { return (1.0 / length(a)) * a; }

// The terrain program's varyings at one vertex, for a vertex colour of white
// and an identity normal matrix.
struct Varyings {
    D3 normal, lightDir, halfVector;
    double dist = 0.0, fogZ = 0.0;
};

Varyings vertexStage(D3 eyePosition, D3 normal, D3 eyeLight)
{
    Varyings v;
    v.normal = normal;
    v.fogZ = eyePosition.z;
    const D3 a = eyeLight - eyePosition;
    v.lightDir = a;
    v.dist = length(a);
    v.halfVector = normalize(a - eyePosition);
    return v;
}

Varyings interpolate(const Varyings v[3], const double w[3])
{
    Varyings out;
    for (int i = 0; i < 3; ++i) {
        out.normal = out.normal + w[i] * v[i].normal;
        out.lightDir = out.lightDir + w[i] * v[i].lightDir;
        out.halfVector = out.halfVector + w[i] * v[i].halfVector;
        out.dist += w[i] * v[i].dist;
        out.fogZ += w[i] * v[i].fogZ;
    }
    return out;
}

// Lighting and fog of one fragment with the terrain's light and material;
// `shadowed` tells whether the surface faced away from the light.
D3 fragmentStage(const Varyings& v, const float fog[4], bool& shadowed)
{
    const D3 materialAmbient{0.09, 0.305, 0.385};
    const D3 materialDiffuse{0.18, 0.61, 0.77};
    const D3 materialSpecular{0.252, 0.854, 1.0};
    D3 lit{materialAmbient.x * 0.2, materialAmbient.y * 0.2, materialAmbient.z * 0.2};
    const D3 n = normalize(v.normal);
    const double nDotL = std::max(dot(n, normalize(v.lightDir)), 0.0);
    shadowed = !(nDotL > 0.0);
    if (!shadowed) {
        const double att = 1.0 / (0.15 * v.dist);
        lit = lit + (att * nDotL * 0.75) * materialDiffuse;
        const double spec = std::pow(std::max(dot(n, normalize(v.halfVector)), 0.0), 8.0);
        lit = lit + (att * spec) * materialSpecular;
    }
    const double depth = std::fabs(v.fogZ * 0.04);
    const double f = std::clamp(std::exp(-(depth * depth)), 0.0, 1.0);
    return {(1.0 - f) * fog[0] + f * lit.x, (1.0 - f) * fog[1] + f * lit.y,
            (1.0 - f) * fog[2] + f * lit.z};
}

int toByte(double c) { return static_cast<int>(std::lround(std::clamp(c, 0.0, 1.0) * 255.0)); }

class TerrainGlTest : public ::testing::Test {
protected:
    GlTestContext gl{48, 48};
    Scene* scene = nullptr;

    void SetUp() override
    {
        REQUIRE_GL(gl);
        scene = new Scene(gl.demo());
    }
    void TearDown() override { delete scene; }

    void buildTerrainProgram()
    {
        ShaderRegistry& shaders = gl.demo().shaders;
        shaders.addShader("PP_VERT", PP_VERTEX_SOURCE, GL_VERTEX_SHADER);
        shaders.addShader("PP_FRAG", PP_FRAGMENT_SOURCE, GL_FRAGMENT_SHADER);
        ASSERT_NE(shaders.createProgram("PP", "PP_VERT", "PP_FRAG"), nullptr);
        ASSERT_NE(shaders.findShader("PP_VERT"), nullptr) << "terrain vertex stage did not compile";
        ASSERT_NE(shaders.findShader("PP_FRAG"), nullptr) << "terrain fragment stage did not compile";
    }

    // Replaces the bowl with one triangle given in world space.
    void useSingleTriangle(const D3 corners[3], const D3 normals[3])
    {
        scene->terrainVertices.assign(3, Vec4{});
        scene->terrainNormals.assign(3, Vec4{});
        scene->terrainTriangles.assign(1, TerrainTriangle{});
        for (int i = 0; i < 3; ++i) {
            scene->terrainVertices[i] = Vec4{static_cast<float>(corners[i].x),
                                             static_cast<float>(corners[i].y),
                                             static_cast<float>(corners[i].z), 1.0f};
            scene->terrainNormals[i] = Vec4{static_cast<float>(normals[i].x),
                                            static_cast<float>(normals[i].y),
                                            static_cast<float>(normals[i].z), 0.0f};
            scene->terrainTriangles[0].index[i] = i;
        }
    }

    void showPerspective()
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(93.1, static_cast<double>(gl.width()) / gl.height(), 0.01, 10000.0);
        glMatrixMode(GL_MODELVIEW);
    }
};

}  // namespace

TEST_F(TerrainGlTest, BackgroundFillsTheFrameWithTheFogColourAndRestoresTheView)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(2.0, 3.0, 2.0, 3.0, 5.0, 6.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(30.0f, 1.0f, 0.0f, 0.0f);
    GLfloat projectionBefore[16], modelviewBefore[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projectionBefore);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelviewBefore);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    drawBackground(*scene);

    const std::vector<uint8_t> pixels = gl.readPixels();
    for (size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_LE(std::abs(pixels[i] - 105), 1) << "pixel " << i / 4;
        ASSERT_LE(std::abs(pixels[i + 1] - 221), 1) << "pixel " << i / 4;
        ASSERT_LE(std::abs(pixels[i + 2] - 255), 1) << "pixel " << i / 4;
    }
    GLfloat projectionAfter[16], modelviewAfter[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projectionAfter);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelviewAfter);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(projectionAfter[i], projectionBefore[i]) << i;
        EXPECT_EQ(modelviewAfter[i], modelviewBefore[i]) << i;
    }
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(TerrainGlTest, WithoutItsProgramTheTerrainIsSkipped)
{
    ASSERT_EQ(gl.demo().shaders.findProgram("PP"), nullptr);
    showPerspective();
    placeCamera(*scene);
    setCameraView(*scene);
    glDisable(GL_CULL_FACE);
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    drawTerrain(*scene);

    const std::vector<uint8_t> pixels = gl.readPixels();
    for (size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i], 64) << "pixel " << i / 4;
        ASSERT_EQ(pixels[i + 1], 128) << "pixel " << i / 4;
    }
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TerrainGlTest, TerrainFadesIntoTheFogAndLeavesItsStateTidy)
{
    buildTerrainProgram();
    showPerspective();
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawBackground(*scene);
    placeCamera(*scene);
    setCameraView(*scene);

    drawTerrain(*scene);

    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    GLint program = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // Lit terrain stays darker than the fog it fades into, and shows.
    const std::vector<uint8_t> pixels = gl.readPixels();
    int terrainPixels = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        ASSERT_LE(pixels[i], 105 + 1) << "pixel " << i / 4;
        ASSERT_LE(pixels[i + 1], 221 + 1) << "pixel " << i / 4;
        if (pixels[i] < 95 && pixels[i + 1] < 200) {
            ++terrainPixels;
        }
    }
    EXPECT_GT(terrainPixels, static_cast<int>(pixels.size() / 4 / 4));
}

TEST_F(TerrainGlTest, ProgramMatchesTheLightingAndFogFormulas)
{
    buildTerrainProgram();
    // Orthographic, so that screen positions map linearly to eye space.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-10.0, 10.0, -10.0, 10.0, 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const D3 viewShift{0.0, 0.0, -15.0};  // world origin, and the light, at eye z = -15
    glTranslatef(0.0f, 0.0f, -15.0f);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    const D3 eyeCorners[3] = {{-10.0, -10.0, -5.0}, {10.0, -10.0, -8.0}, {0.0, 10.0, -40.0}};
    const D3 normals[3] = {{0.0, 0.2, 1.0}, {0.3, 0.0, 1.0}, {-0.2, 0.1, 2.0}};
    D3 worldCorners[3];
    Varyings atCorner[3];
    for (int i = 0; i < 3; ++i) {
        worldCorners[i] = eyeCorners[i] - viewShift;
        atCorner[i] = vertexStage(eyeCorners[i], normals[i], viewShift);
    }
    useSingleTriangle(worldCorners, normals);

    drawTerrain(*scene);

    const std::vector<uint8_t> pixels = gl.readPixels();
    const double ax = eyeCorners[0].x, ay = eyeCorners[0].y;
    const double bx = eyeCorners[1].x, by = eyeCorners[1].y;
    const double cx = eyeCorners[2].x, cy = eyeCorners[2].y;
    const double area = (bx - ax) * (cy - ay) - (cx - ax) * (by - ay);
    int lit = 0, shadowed = 0;
    for (int py = 1; py < gl.height(); py += 3) {
        for (int px = 1; px < gl.width(); px += 3) {
            const double x = ((px + 0.5) / gl.width() * 2.0 - 1.0) * 10.0;
            const double y = ((py + 0.5) / gl.height() * 2.0 - 1.0) * 10.0;
            double w[3];
            w[1] = ((x - ax) * (cy - ay) - (cx - ax) * (y - ay)) / area;
            w[2] = ((bx - ax) * (y - ay) - (x - ax) * (by - ay)) / area;
            w[0] = 1.0 - w[1] - w[2];
            if (std::min({w[0], w[1], w[2]}) < 0.03) {
                continue;  // outside, or too near an edge to be sure of coverage
            }
            bool faceAway = false;
            const D3 expected = fragmentStage(interpolate(atCorner, w), scene->fogColor, faceAway);
            (faceAway ? shadowed : lit)++;
            const size_t at = (static_cast<size_t>(py) * gl.width() + px) * 4;
            EXPECT_LE(std::abs(pixels[at] - toByte(expected.x)), 2) << px << ", " << py;
            EXPECT_LE(std::abs(pixels[at + 1] - toByte(expected.y)), 2) << px << ", " << py;
            EXPECT_LE(std::abs(pixels[at + 2] - toByte(expected.z)), 2) << px << ", " << py;
        }
    }
    // Both sides of the light's terminator were sampled.
    EXPECT_GT(lit, 20);
    EXPECT_GT(shadowed, 5);
}
