// The depth-of-field sprite pass, drawn on a real headless context and read
// back: sharpness and alpha by distance from the focal plane, billboard size
// and orientation, the state it leaves, and a missing program or uniform;
// and, without GL, which sprites are sent to the blurred-only program.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "gl/gl_extensions.h"
#include "show/scene.h"
#include "show/shader_sources.h"
#include "show/sprites.h"
#include "support/gl_test_context.h"

namespace {

constexpr int WIDTH = 256;
constexpr int HEIGHT = 144;
constexpr int CENTRE_X = WIDTH / 2;
constexpr int CENTRE_Y = HEIGHT / 2;
constexpr double VIEW_NEAR = 0.01;
constexpr double VIEW_FAR = 10000.0;
constexpr double VIEW_ANGLE = 93.1;
constexpr double EYE_DISTANCE = 0.2;  // the camera sits at (0, 0, 0.2) looking at the origin
constexpr uint32_t EARLY_MS = 12000;  // before the size wave

// 256 x 256 RGBA, `inside` where s < sEdge and t < tEdge, else `outside`.
std::vector<uint8_t> picture(const uint8_t inside[4], const uint8_t outside[4], double sEdge = 1.0,
                             double tEdge = 1.0)
{
    std::vector<uint8_t> pixels(256 * 256 * 4);
    for (int row = 0; row < 256; ++row) {
        for (int column = 0; column < 256; ++column) {
            const bool in = column < 256 * sEdge && row < 256 * tEdge;
            for (int c = 0; c < 4; ++c) {
                pixels[(row * 256 + column) * 4 + c] = in ? inside[c] : outside[c];
            }
        }
    }
    return pixels;
}

// 256 x 256 RGBA: red noise, one value per texel, nothing else. Every texel
// differs from its neighbours, so each tap's offset and weight shows.
std::vector<uint8_t> redNoisePicture()
{
    std::vector<uint8_t> pixels(256 * 256 * 4, 0);
    uint32_t state = 12345u;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        state = state * 1664525u + 1013904223u;
        pixels[i] = static_cast<uint8_t>(state >> 24);
        pixels[i + 3] = 255;
    }
    return pixels;
}

// The red channel (0..1) of the 256 x 256 picture at (s, t), filtered as GL
// does under magnification: linear between the four nearest texel centres,
// repeating at the edges.
double sampleRed(const std::vector<uint8_t>& pixels, double s, double t)
{
    const double u = s * 256.0 - 0.5, v = t * 256.0 - 0.5;
    const double column = std::floor(u), row = std::floor(v);
    const double a = u - column, b = v - row;
    auto texel = [&](double x, double y) {
        const int wrappedX = static_cast<int>(x) & 255, wrappedY = static_cast<int>(y) & 255;
        return pixels[(static_cast<size_t>(wrappedY) * 256 + wrappedX) * 4] / 255.0;
    };
    return (1.0 - a) * (1.0 - b) * texel(column, row) + a * (1.0 - b) * texel(column + 1, row) +
           (1.0 - a) * b * texel(column, row + 1) + a * b * texel(column + 1, row + 1);
}

// The sprite filter: five taps around (s, t), offsets in texture units.
constexpr double TAP_OFFSETS[5][2] = {
    {-0.0025, -0.0025}, {0.0025, -0.0025}, {0.0, 0.0}, {0.0025, 0.0025}, {-0.0025, 0.0025}};
constexpr double TAP_WEIGHTS[5] = {0.1, 0.1, 0.6, 0.1, 0.1};

double filteredRed(const std::vector<uint8_t>& pixels, double s, double t)
{
    double sum = 0.0;
    for (int i = 0; i < 5; ++i)
        sum += TAP_WEIGHTS[i] * sampleRed(pixels, s + TAP_OFFSETS[i][0], t + TAP_OFFSETS[i][1]);
    return sum;
}

const uint8_t RED[4] = {255, 0, 0, 255};
const uint8_t WHITE[4] = {255, 255, 255, 255};
const uint8_t BLACK[4] = {0, 0, 0, 255};

// The eye distance at which the clip-space depth equals the focal plane depth.
double inFocusDistance()
{
    return (EYE_DISTANCE + 2.0 * VIEW_FAR * VIEW_NEAR / (VIEW_FAR - VIEW_NEAR)) *
           (VIEW_FAR - VIEW_NEAR) / (VIEW_FAR + VIEW_NEAR);
}

// Pixels per world unit at eye distance d on the centre row.
double pixelsPerUnit(double d)
{
    return HEIGHT / (2.0 * d * std::tan(VIEW_ANGLE * 0.5 * 3.14159265358979 / 180.0));
}

class SpritePass : public ::testing::Test {
protected:
    GlTestContext gl{WIDTH, HEIGHT};
    std::unique_ptr<Scene> scene;

    void SetUp() override
    {
        REQUIRE_GL(gl);
        scene = std::make_unique<Scene>(gl.demo());
        scene->particleCount = 1;
        scene->cameraEye = Vec4{0.0f, 0.0f, static_cast<float>(EYE_DISTANCE), 1.0f};
        scene->cameraTarget = Vec4{0.0f, 0.0f, 0.0f, 1.0f};
        scene->focalDistance = 0.5f;

        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(VIEW_ANGLE, double(WIDTH) / HEIGHT, VIEW_NEAR, VIEW_FAR);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(0.0, 0.0, EYE_DISTANCE, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    void addPictures(const std::vector<uint8_t>& sharp, const std::vector<uint8_t>& blurred)
    {
        gl.demo().textures.add("SQUARE_SHARP", 256, 256, sharp.data());
        gl.demo().textures.add("SQUARE_BLURRED", 256, 256, blurred.data());
    }

    // Compiles and links the program and registers its uniforms, leaving out `skip`.
    void addProgram(const char* skip = nullptr)
    {
        ShaderRegistry& shaders = gl.demo().shaders;
        shaders.addShader("FAKEDOF_VERT", FAKEDOF_VERTEX_SOURCE, GL_VERTEX_SHADER);
        shaders.addShader("FAKEDOF_FRAG", FAKEDOF_FRAGMENT_SOURCE, GL_FRAGMENT_SHADER);
        ShaderProgram* program = shaders.createProgram("FAKEDOF", "FAKEDOF_VERT", "FAKEDOF_FRAG");
        ASSERT_NE(program, nullptr) << "the sprite shaders did not compile or link";
        glExt.glUseProgram(program->id);
        const struct {
            const char* name;
            int32_t type;
        } uniforms[] = {{"sharp", Int1},     {"blurred", Int1}, {"focalPlaneDepth", Float1},
                        {"focalDist", Float1}, {"size", Float1},  {"camTarget", Float4}};
        for (const auto& u : uniforms) {
            if (skip == nullptr || std::string(skip) != u.name) {
                program->addUniform(u.type, u.name);
            }
        }
        glExt.glUseProgram(0);
    }

    // Particle 0 on the viewing axis at eye distance d.
    void placeOnAxis(double d)
    {
        scene->particles[0] = Vec4{0.0f, 0.0f, static_cast<float>(EYE_DISTANCE - d), 1.0f};
    }

    // Lit pixels along the centre row.
    int litWidth() const
    {
        int count = 0;
        for (int x = 0; x < WIDTH; ++x) {
            const Rgba p = gl.pixel(x, CENTRE_Y);
            count += (p.r + p.g + p.b) > 8 ? 1 : 0;
        }
        return count;
    }
};

TEST_F(SpritePass, InFocusSpriteIsSharpAtFullAlpha)
{
    addPictures(picture(RED, RED), picture(WHITE, WHITE));
    addProgram();
    placeOnAxis(inFocusDistance());
    // Particle 1 is placed in view but lies past particleCount.
    scene->particles[1] = Vec4{0.05f, 0.0f, -0.02f, 1.0f};

    drawParticleSprites(*scene, EARLY_MS);

    // Red 1.0 x alpha 0.675; no green, so nothing of the blurred picture.
    const Rgba centre = gl.pixel(CENTRE_X, CENTRE_Y);
    EXPECT_NEAR(centre.r, 0.675 * 255, 2);
    EXPECT_LE(centre.g, 1);
    EXPECT_EQ(centre.b, 0);

    // Half-width 0.2 x (1.1 - 0.5 / 6) x 0.125 world units.
    const double width = 2 * 0.2 * (1.1 - 0.5 / 6.0) * 0.125 * pixelsPerUnit(inFocusDistance());
    EXPECT_NEAR(litWidth(), width, 1.5);
    const int particleOneX = CENTRE_X + static_cast<int>(0.05 * pixelsPerUnit(0.22));
    EXPECT_EQ(gl.pixel(particleOneX, CENTRE_Y).r, 0);
}

TEST_F(SpritePass, FarFromFocusSpriteIsBlurredLargeAndFaint)
{
    addPictures(picture(RED, RED), picture(WHITE, WHITE));
    addProgram();
    const double d = EYE_DISTANCE + 3.0;  // three units behind the focal plane
    placeOnAxis(d);

    drawParticleSprites(*scene, EARLY_MS);

    // White x sprite colour (1, green at height 0, 0) x alpha 0.16875.
    const double green = (1.0 * 0.35 + 0.5) * 0.71;
    const Rgba centre = gl.pixel(CENTRE_X, CENTRE_Y);
    EXPECT_NEAR(centre.r, 0.16875 * 255, 2);
    EXPECT_NEAR(centre.g, green * 0.16875 * 255, 2);
    EXPECT_EQ(centre.b, 0);

    // 6.2 instead of 0.2 times the base scale: thirty-one times wider in the world.
    const double width = 2 * 6.2 * (1.1 - 0.5 / 6.0) * 0.125 * pixelsPerUnit(d);
    EXPECT_NEAR(litWidth(), width, 1.5);
}

TEST_F(SpritePass, GreenFollowsTheParticleHeight)
{
    // At height pi the green is (sin(pi) x 0.35 + 0.5) x 0.71, half its
    // value at height 0; the camera is raised to look at it level.
    const float height = 3.14159265f;
    scene->cameraEye.y = height;
    scene->cameraTarget.y = height;
    glLoadIdentity();
    gluLookAt(0.0, height, EYE_DISTANCE, 0.0, height, 0.0, 0.0, 1.0, 0.0);
    addPictures(picture(WHITE, WHITE), picture(WHITE, WHITE));
    addProgram();
    placeOnAxis(inFocusDistance());
    scene->particles[0].y = height;

    drawParticleSprites(*scene, EARLY_MS);

    const Rgba centre = gl.pixel(CENTRE_X, CENTRE_Y);
    EXPECT_NEAR(centre.r, 0.675 * 255, 2);
    EXPECT_NEAR(centre.g, 0.5 * 0.71 * 0.675 * 255, 2);
}

TEST_F(SpritePass, PictureFacesTheCamera)
{
    // Only the s < 0.5, t < 0.5 quarter is lit: it lies towards the camera's
    // right and up (corner values +1).
    addPictures(picture(RED, BLACK, 0.5, 0.5), picture(BLACK, BLACK));
    addProgram();
    placeOnAxis(inFocusDistance());

    drawParticleSprites(*scene, EARLY_MS);

    EXPECT_NEAR(gl.pixel(CENTRE_X + 3, CENTRE_Y + 3).r, 0.675 * 255, 3);
    EXPECT_LE(gl.pixel(CENTRE_X - 4, CENTRE_Y + 3).r, 2);
    EXPECT_LE(gl.pixel(CENTRE_X + 3, CENTRE_Y - 4).r, 2);
    EXPECT_LE(gl.pixel(CENTRE_X - 4, CENTRE_Y - 4).r, 2);
}

TEST_F(SpritePass, FiveTapFilterOverAPictureWithStructure)
{
    // The size wave (t above 15 000, amplitude 35.5, at its crest for
    // particle 0) blows the in-focus sprite up to about 1 000 pixels across,
    // four per texel: the picture is magnified, so each tap is a plain linear
    // sample and the taps lie some 2.5 pixels apart.
    const std::vector<uint8_t> noise = redNoisePicture();
    addPictures(noise, picture(BLACK, BLACK));
    addProgram();
    placeOnAxis(inFocusDistance());
    scene->sizeWaveAmplitude = 35.5f;
    scene->sizeWavePhase = 1.5707964f;
    const uint32_t showMs = 20000;
    drawParticleSprites(*scene, showMs);
    const std::vector<uint8_t> frame = gl.readPixels();

    // The billboard's half-width in the world and in pixels; s runs from 0 at
    // its right edge to 1 at its left, t from 0 at the top to 1 at the bottom.
    const double halfWidth = (1.1 - scene->focalDistance / 6.0) * spriteSize(*scene, 0, showMs) * 0.2;
    const double halfPixels = halfWidth * pixelsPerUnit(inFocusDistance());
    ASSERT_GT(halfPixels, 2.0 * 128.0) << "the picture must be magnified";
    int mismatched = 0;
    for (int y = 0; y < HEIGHT; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            const double s = 0.5 - (x + 0.5 - CENTRE_X) / (2.0 * halfPixels);
            const double t = 0.5 - (y + 0.5 - CENTRE_Y) / (2.0 * halfPixels);
            const double expected = filteredRed(noise, s, t) * 0.675 * 255.0;
            const int red = frame[(static_cast<size_t>(y) * WIDTH + x) * 4];
            if (std::abs(red - expected) > 3.0 && mismatched++ < 5) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") at s " << s << ", t " << t
                              << ": red " << red << ", the five taps give " << expected;
            }
        }
    }
    EXPECT_EQ(mismatched, 0) << "of " << WIDTH * HEIGHT << " pixels";
}

TEST_F(SpritePass, RestoresTheStateTheFrameExpects)
{
    addPictures(picture(RED, RED), picture(WHITE, WHITE));
    addProgram();
    placeOnAxis(inFocusDistance());
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);

    drawParticleSprites(*scene, EARLY_MS);

    GLint program = -1;
    GLint activeUnit = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
    EXPECT_EQ(program, 0);
    EXPECT_EQ(activeUnit, GL_TEXTURE0);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    glExt.glActiveTexture(GL_TEXTURE1);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    glExt.glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SpritePass, MissingProgramDrawsNothing)
{
    addPictures(picture(RED, RED), picture(WHITE, WHITE));
    placeOnAxis(inFocusDistance());

    drawParticleSprites(*scene, EARLY_MS);

    EXPECT_EQ(litWidth(), 0);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(SpritePass, MissingUniformIsLeftUnset)
{
    // Without focalPlaneDepth the plane sits at depth 0, so the in-focus
    // particle is drawn, but from the blurred picture.
    addPictures(picture(RED, RED), picture(WHITE, WHITE));
    addProgram("focalPlaneDepth");
    placeOnAxis(inFocusDistance());

    drawParticleSprites(*scene, EARLY_MS);

    const Rgba centre = gl.pixel(CENTRE_X, CENTRE_Y);
    EXPECT_GT(centre.g, 10);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SpritePass, NotDrawingLeavesTheFrameUntouched)
{
    addPictures(picture(RED, RED), picture(WHITE, WHITE));
    addProgram();
    placeOnAxis(inFocusDistance());
    glEnable(GL_BLEND);
    scene->drawing = false;

    drawParticleSprites(*scene, EARLY_MS);

    EXPECT_EQ(litWidth(), 0);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
}

// The size wave needs no context.
TEST(SpriteSize, WaveAppliesOnlyAfterFifteenSeconds)
{
    Demo demo;
    Scene scene(demo);
    scene.sizeWaveAmplitude = 1.0f;
    scene.sizeWavePhase = 0.0f;
    EXPECT_EQ(spriteSize(scene, 0, 15000), 0.125f);
    EXPECT_EQ(spriteSize(scene, 450, 15000), 0.125f);

    // sin(0) x 0.125 + 0.1 at index 0; a quarter turn further along at index 314.
    EXPECT_FLOAT_EQ(spriteSize(scene, 0, 15001), 0.225f);
    EXPECT_NEAR(spriteSize(scene, 314, 15001), 0.125 + 0.225, 1e-5);

    // Along the whole cloud the sizes stay within 0.125 - 0.025 A .. 0.125 + 0.225 A.
    scene.sizeWaveAmplitude = 0.5f;
    scene.sizeWavePhase = 3.0f;
    float smallest = 1.0f, largest = 0.0f;
    for (int i = 0; i < PARTICLE_CAPACITY; ++i) {
        const float size = spriteSize(scene, i, 20000);
        smallest = std::min(smallest, size);
        largest = std::max(largest, size);
    }
    EXPECT_GE(smallest, 0.125f - 0.025f * 0.5f - 1e-6f);
    EXPECT_LE(largest, 0.125f + 0.225f * 0.5f + 1e-6f);
    EXPECT_LT(smallest, 0.115f);  // 900 / 200 = 4.5 radians: the wave goes through a trough
    EXPECT_GT(largest, 0.23f);

    // The start of the wave: amplitude 0 still gives the base size.
    scene.sizeWaveAmplitude = 0.0f;
    EXPECT_EQ(spriteSize(scene, 100, 15001), 0.125f);
}

// Which program a sprite goes to, without GL. The first camera has round
// numbers: near 1 and far 3 make the clip depth 2d - 3 at distance d, the
// eye is 8 from the target and the focal range 100, so the margin's edge
// (1.01 x 100 from the plane) falls exactly on a sprite 56 away. The second
// is the show's own camera and projection, with sprites on either side of
// the plane and off the viewing axis.
struct FocusCase {
    const char* name;
    float nearPlane, farPlane;
    Vec4 eye;
    float focalDistance;
    float depthFromPlane;  // clip depth minus the focal plane's, in focal ranges
    float sideways;        // distance off the viewing axis
    bool blurred;          // expected: the blurred-only program
};

class SpriteFocusClass : public ::testing::TestWithParam<FocusCase> {};

TEST_P(SpriteFocusClass, GoesToTheRightProgram)
{
    const FocusCase& c = GetParam();
    Demo demo;
    Scene scene(demo);
    scene.cameraEye = c.eye;
    scene.cameraTarget = Vec4{0.0f, 0.0f, 0.0f, 1.0f};
    scene.focalDistance = c.focalDistance;

    // Along the viewing axis to the distance whose clip depth is asked for.
    const double n = c.nearPlane, f = c.farPlane;
    const double eyeDistance = std::sqrt(double(c.eye.x) * c.eye.x + double(c.eye.y) * c.eye.y +
                                         double(c.eye.z) * c.eye.z);
    const double along = (eyeDistance + double(c.depthFromPlane) * c.focalDistance + 2.0 * f * n / (f - n)) *
                         (f - n) / (f + n);
    const double forward[3] = {-c.eye.x / eyeDistance, -c.eye.y / eyeDistance, -c.eye.z / eyeDistance};
    const double side[3] = {forward[2], 0.0, -forward[0]};  // level and square to the view
    float position[3];
    for (int i = 0; i < 3; ++i)
        position[i] = static_cast<float>(c.eye.x * (i == 0) + c.eye.y * (i == 1) + c.eye.z * (i == 2) +
                                          forward[i] * along + side[i] * c.sideways);

    EXPECT_EQ(spriteWhollyBlurred(spriteFocus(scene, c.nearPlane, c.farPlane), position), c.blurred);
}

const Vec4 ROUND_EYE{0.0f, 0.0f, 8.0f, 1.0f};
const Vec4 SHOW_EYE{7.5f, -0.7f, 0.5f, 1.0f};

const FocusCase FOCUS_CASES[] = {
    {"AtTheFocalPlane", 1.0f, 3.0f, ROUND_EYE, 100.0f, 0.0f, 0.0f, false},
    {"AtTheFocalRange", 1.0f, 3.0f, ROUND_EYE, 100.0f, 1.0f, 0.0f, false},
    {"JustInsideTheMargin", 1.0f, 3.0f, ROUND_EYE, 100.0f, 1.005f, 0.0f, false},
    {"ExactlyAtTheMargin", 1.0f, 3.0f, ROUND_EYE, 100.0f, 1.01f, 0.0f, true},
    {"BeyondTheMargin", 1.0f, 3.0f, ROUND_EYE, 100.0f, 1.5f, 0.0f, true},
    {"ShowCameraInFocus", 0.01f, 10000.0f, SHOW_EYE, 0.5f, 0.3f, 0.0f, false},
    {"ShowCameraNearerThanTheRange", 0.01f, 10000.0f, SHOW_EYE, 0.5f, -2.0f, 0.0f, true},
    {"ShowCameraNearerWithinTheMargin", 0.01f, 10000.0f, SHOW_EYE, 0.5f, -1.005f, 0.0f, false},
    {"ShowCameraFartherOffTheAxis", 0.01f, 10000.0f, SHOW_EYE, 0.5f, 2.0f, 1.5f, true},
    {"NoFocalRange", 0.01f, 10000.0f, SHOW_EYE, 0.0f, 50.0f, 0.0f, false},
    {"NoProjection", 0.0f, 0.0f, SHOW_EYE, 0.5f, 2.0f, 0.0f, false},
};

INSTANTIATE_TEST_SUITE_P(Sprites, SpriteFocusClass, ::testing::ValuesIn(FOCUS_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
