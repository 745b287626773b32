// The compatibility layer on a real OpenGL ES 3.0 context: programs written
// with the desktop built-ins compile, link and read the state the layer
// feeds them; immediate-mode primitives of every kind cover what they cover
// on the desktop, facing the same way, however many vertices a frame sends;
// the layer's own program modulates, textures and fogs as fixed function.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/demo.h"
#include "gl/gl_api.h"
#include "gl/gl_extensions.h"
#include "gl/gl_window.h"
#include "platform/window.h"
#include "show/shader_sources.h"

namespace {

constexpr int WIDTH = 64;
constexpr int HEIGHT = 36;

struct Colour {
    int r, g, b, a;
};

// A hidden OpenGL ES 3.0 window with the layer started and the loader's
// table filled, as the show opens it.
class EsContext : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string failure;
        ASSERT_TRUE(platformInitVideo(failure)) << failure;
        WindowRequest request;
        request.width = WIDTH;
        request.height = HEIGHT;
        request.visible = false;
        request.context = GlContextKind::Es3;
        WindowResult result = platformCreateWindow(request);
        ASSERT_NE(result.window, nullptr) << result.failure;
        window_ = result.window;
        demo_ = std::make_unique<Demo>();
        readGlVersion(demo_->glVersion);
        ASSERT_TRUE(glApiStart(failure)) << failure;
        ASSERT_TRUE(demo_->extensions.loadExtensions()) << demo_->extensions.failure;
        glViewport(0, 0, WIDTH, HEIGHT);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_DEPTH_TEST);
    }

    void TearDown() override
    {
        if (window_)
            glApiStop();
        platformDestroyWindow(window_);
    }

    static Colour pixel(int x, int y)
    {
        unsigned char p[4] = {};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return Colour{p[0], p[1], p[2], p[3]};
    }

    // A program of the two sources through the loader's table; 0 with the
    // compiler's or linker's words in `log` when it fails.
    static GLuint buildProgram(const char* vertex, const char* fragment, std::string& log)
    {
        const GLuint program = glExt.glCreateProgram();
        const char* sources[2] = {vertex, fragment};
        const GLenum stages[2] = {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER};
        for (int i = 0; i < 2; ++i) {
            const GLuint shader = glExt.glCreateShader(stages[i]);
            glExt.glShaderSource(shader, 1, &sources[i], nullptr);
            glExt.glCompileShader(shader);
            char words[1024] = {};
            glExt.glGetShaderInfoLog(shader, sizeof words, nullptr, words);
            log += words;
            glExt.glAttachShader(program, shader);
            glExt.glDeleteShader(shader);
        }
        glExt.glLinkProgram(program);
        GLint linked = 0;
        glExt.glGetProgramiv(program, GL_LINK_STATUS, &linked);
        char words[1024] = {};
        glExt.glGetProgramInfoLog(program, sizeof words, nullptr, words);
        log += words;
        return linked ? program : 0;
    }

    static void fullQuad()
    {
        glBegin(GL_QUADS);
        glVertex3f(-1.0f, -1.0f, 0.0f);
        glVertex3f(1.0f, -1.0f, 0.0f);
        glVertex3f(1.0f, 1.0f, 0.0f);
        glVertex3f(-1.0f, 1.0f, 0.0f);
        glEnd();
    }

private:
    PlatformWindow* window_ = nullptr;
    std::unique_ptr<Demo> demo_;
};

void expectNear(const Colour& got, const Colour& want, const std::string& what)
{
    EXPECT_NEAR(got.r, want.r, 2) << what;
    EXPECT_NEAR(got.g, want.g, 2) << what;
    EXPECT_NEAR(got.b, want.b, 2) << what;
    EXPECT_NEAR(got.a, want.a, 2) << what;
}

// --- The show's programs, and one that reads every built-in there is.

struct ProgramCase {
    const char* name;
    const char* vertex;
    const char* fragment;
};

const char* const EVERY_BUILT_IN_VERTEX =
    "#version 120\n"
    "varying vec4 mixed;\n"
    "void main() {\n"
    "    vec4 eye = gl_ModelViewMatrix * gl_Vertex;\n"
    "    vec3 n = gl_NormalMatrix * gl_Normal;\n"
    "    mixed = gl_Color + gl_MultiTexCoord1 + gl_ProjectionMatrix[0] + gl_TextureMatrix[1][2]\n"
    "          + gl_LightSource[7].specular + gl_LightSource[0].halfVector * gl_LightSource[0].spotCosCutoff\n"
    "          + gl_FrontMaterial.emission * gl_BackMaterial.shininess + gl_LightModel.ambient\n"
    "          + vec4(n, gl_Fog.density + gl_Fog.scale);\n"
    "    gl_FrontColor = eye;\n"
    "    gl_TexCoord[1] = gl_MultiTexCoord0;\n"
    "    gl_FogFragCoord = eye.z;\n"
    "    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;\n"
    "}\n";
const char* const EVERY_BUILT_IN_FRAGMENT =
    "#version 120\n"
    "uniform sampler2D picture;\n"
    "varying vec4 mixed;\n"
    "void main() {\n"
    "    /* gl_FragColor in a comment stays a comment */\n"
    "    gl_FragColor = gl_Color + mixed + texture2D(picture, gl_TexCoord[1].st) * gl_FogFragCoord\n"
    "                 + gl_Fog.color + gl_LightSource[0].diffuse + gl_FrontMaterial.specular;\n"
    "}\n";

class RewrittenPrograms : public EsContext, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(RewrittenPrograms, CompileAndLinkOnOpenGlEs)
{
    std::string log;
    EXPECT_NE(buildProgram(GetParam().vertex, GetParam().fragment, log), 0u) << log;
}

INSTANTIATE_TEST_SUITE_P(
    GlCompat, RewrittenPrograms,
    ::testing::Values(ProgramCase{"TerrainLighting", PP_VERTEX_SOURCE, PP_FRAGMENT_SOURCE},
                      ProgramCase{"DepthOfFieldSprites", FAKEDOF_VERTEX_SOURCE, FAKEDOF_FRAGMENT_SOURCE},
                      ProgramCase{"EveryBuiltIn", EVERY_BUILT_IN_VERTEX, EVERY_BUILT_IN_FRAGMENT}),
    [](const ::testing::TestParamInfo<ProgramCase>& info) { return std::string(info.param.name); });

// --- Each built-in carries the state the layer was given.

struct BuiltInCase {
    const char* name;
    const char* probe;     // the vertex stage's expression of the value shown
    void (*setState)();    // GL calls made before the draw
    Colour expected;
};

const char* const PROBE_FRAGMENT =
    "varying vec4 probe;\n"
    "void main() { gl_FragColor = probe; }\n";

class BuiltInState : public EsContext, public ::testing::WithParamInterface<BuiltInCase> {};

TEST_P(BuiltInState, ReachesTheProgram)
{
    const BuiltInCase& c = GetParam();
    // The quad stays where it is sent: only the probe reads the state.
    const std::string vertex = std::string("varying vec4 probe;\nvoid main() {\n    probe = ") + c.probe +
                               ";\n    gl_Position = gl_Vertex;\n}\n";
    std::string log;
    const GLuint program = buildProgram(vertex.c_str(), PROBE_FRAGMENT, log);
    ASSERT_NE(program, 0u) << log;
    glExt.glUseProgram(program);
    c.setState();
    fullQuad();
    expectNear(pixel(WIDTH / 2, HEIGHT / 2), c.expected, c.probe);
    glExt.glUseProgram(0);
    glExt.glDeleteProgram(program);
}

const GLfloat QUARTERS[4] = {0.25f, 0.5f, 0.75f, 1.0f};

INSTANTIATE_TEST_SUITE_P(
    GlCompat, BuiltInState,
    ::testing::Values(
        BuiltInCase{"VertexColour", "gl_Color", [] { glColor4f(0.2f, 0.4f, 0.6f, 0.8f); }, {51, 102, 153, 204}},
        BuiltInCase{"TexCoord", "gl_MultiTexCoord0", [] { glTexCoord4f(0.1f, 0.3f, 0.5f, 0.7f); },
                    {26, 77, 128, 179}},
        BuiltInCase{"SecondUnitTexCoord", "gl_MultiTexCoord1",
                    [] { glExt.glMultiTexCoord4f(GL_TEXTURE1, 0.7f, 0.5f, 0.3f, 0.1f); }, {179, 128, 77, 26}},
        BuiltInCase{"ModelView", "gl_ModelViewMatrix[3]",
                    [] { glTranslatef(0.25f, 0.5f, 0.75f); }, {64, 128, 191, 255}},
        BuiltInCase{"ModelViewProjection", "gl_ModelViewProjectionMatrix[3]",
                    [] {
                        glMatrixMode(GL_PROJECTION);
                        glTranslatef(0.125f, 0.0f, 0.25f);
                        glMatrixMode(GL_MODELVIEW);
                        glTranslatef(0.125f, 0.5f, 0.5f);
                    },
                    {64, 128, 191, 255}},
        // A quarter turn about z takes x to y: so does the normal matrix.
        BuiltInCase{"NormalMatrix", "vec4(gl_NormalMatrix * gl_Normal, 1.0)",
                    [] {
                        glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
                        glNormal3f(0.5f, 0.0f, 0.0f);
                    },
                    {0, 128, 0, 255}},
        // Kept in eye coordinates: moved by the modelview matrix of its time.
        BuiltInCase{"LightPosition", "gl_LightSource[0].position",
                    [] {
                        const GLfloat at[4] = {0.0f, 0.0f, 0.25f, 1.0f};
                        glTranslatef(0.25f, 0.5f, 0.0f);
                        glLightfv(GL_LIGHT0, GL_POSITION, at);
                        glLoadIdentity();
                    },
                    {64, 128, 64, 255}},
        BuiltInCase{"SecondLightDiffuse", "gl_LightSource[1].diffuse",
                    [] { glLightfv(GL_LIGHT1, GL_DIFFUSE, QUARTERS); }, {64, 128, 191, 255}},
        BuiltInCase{"LightAttenuation", "vec4(gl_LightSource[0].linearAttenuation)",
                    [] { glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, 0.5f); }, {128, 128, 128, 128}},
        BuiltInCase{"MaterialSpecular", "gl_FrontMaterial.specular",
                    [] { glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, QUARTERS); }, {64, 128, 191, 255}},
        BuiltInCase{"FogColour", "gl_Fog.color", [] { glFogfv(GL_FOG_COLOR, QUARTERS); }, {64, 128, 191, 255}}),
    [](const ::testing::TestParamInfo<BuiltInCase>& info) { return std::string(info.param.name); });

// --- Immediate mode.

struct PrimitiveCase {
    const char* name;
    GLenum mode;
    std::vector<float> xy;  // the corners in the primitive's order
};

class Primitives : public EsContext, public ::testing::WithParamInterface<PrimitiveCase> {};

// Each covers the square (-0.5..0.5) counter-clockwise: with back faces
// culled, a triangle of the wrong winding would leave a hole.
TEST_P(Primitives, CoverTheSquareFacingTheViewer)
{
    glEnable(GL_CULL_FACE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GetParam().mode);
    const std::vector<float>& xy = GetParam().xy;
    for (size_t i = 0; i + 1 < xy.size(); i += 2)
        glVertex2f(xy[i], xy[i + 1]);
    glEnd();
    int lit = 0;
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x)
            lit += pixel(x, y).r > 128 ? 1 : 0;
    EXPECT_EQ(lit, (WIDTH / 2) * (HEIGHT / 2));
}

INSTANTIATE_TEST_SUITE_P(
    GlCompat, Primitives,
    ::testing::Values(
        PrimitiveCase{"Triangles", GL_TRIANGLES, {-0.5f, -0.5f, 0.5f, -0.5f, 0.5f, 0.5f, -0.5f, -0.5f, 0.5f, 0.5f, -0.5f, 0.5f}},
        PrimitiveCase{"Quads", GL_QUADS, {-0.5f, -0.5f, 0.5f, -0.5f, 0.5f, 0.5f, -0.5f, 0.5f}},
        PrimitiveCase{"TriangleStrip", GL_TRIANGLE_STRIP,
                      {-0.5f, -0.5f, 0.5f, -0.5f, -0.5f, 0.0f, 0.5f, 0.0f, -0.5f, 0.5f, 0.5f, 0.5f}},
        PrimitiveCase{"TriangleFan", GL_TRIANGLE_FAN, {-0.5f, -0.5f, 0.5f, -0.5f, 0.5f, 0.5f, -0.5f, 0.5f}},
        PrimitiveCase{"Polygon", GL_POLYGON, {0.0f, -0.5f, 0.5f, -0.5f, 0.5f, 0.5f, -0.5f, 0.5f, -0.5f, -0.5f}},
        PrimitiveCase{"QuadStrip", GL_QUAD_STRIP,
                      {-0.5f, -0.5f, 0.5f, -0.5f, -0.5f, 0.0f, 0.5f, 0.0f, -0.5f, 0.5f, 0.5f, 0.5f}}),
    [](const ::testing::TestParamInfo<PrimitiveCase>& info) { return std::string(info.param.name); });

// Far more vertices than one buffer holds, one begin/end pair per cell: every
// cell reaches the screen.
TEST_F(EsContext, EveryCellOfAFrameLargerThanTheBufferIsDrawn)
{
    constexpr int COLUMNS = 256;
    constexpr int ROWS = 160;  // 40960 quads, 245760 vertices
    const float w = 2.0f / COLUMNS;
    const float h = 2.0f / ROWS;
    for (int row = 0; row < ROWS; ++row) {
        for (int column = 0; column < COLUMNS; ++column) {
            const float x = -1.0f + w * static_cast<float>(column);
            const float y = -1.0f + h * static_cast<float>(row);
            glColor4f(0.0f, 1.0f, static_cast<float>(row) / ROWS, 1.0f);
            glBegin(GL_QUADS);
            glVertex2f(x, y);
            glVertex2f(x + w, y);
            glVertex2f(x + w, y + h);
            glVertex2f(x, y + h);
            glEnd();
        }
    }
    int missing = 0;
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x)
            missing += pixel(x, y).g < 250 ? 1 : 0;
    EXPECT_EQ(missing, 0);
}

// --- The layer's own program for draws without one.

struct FixedCase {
    const char* name;
    bool texturing;
    GLenum function;  // the texture function
    bool fog;
    Colour expected;
};

class FixedFunction : public EsContext, public ::testing::WithParamInterface<FixedCase> {};

TEST_P(FixedFunction, CombinesTextureAndColourThenFogs)
{
    const FixedCase& c = GetParam();
    const unsigned char texel[4 * 4] = {128, 255, 64, 255, 128, 255, 64, 255, 128, 255, 64, 255, 128, 255, 64, 255};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    ASSERT_EQ(gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 2, 2, GL_RGBA, GL_UNSIGNED_BYTE, texel), 0);
    if (c.texturing)
        glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLint>(c.function));
    // Another unit's switches are its own.
    glExt.glActiveTexture(GL_TEXTURE3);
    glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    glExt.glActiveTexture(GL_TEXTURE0);
    if (c.fog) {
        // Linear from 0 to 2 at eye depth 1: half the fog colour.
        const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        glFogfv(GL_FOG_COLOR, black);
        glFogi(GL_FOG_MODE, GL_LINEAR);
        glFogf(GL_FOG_START, 0.0f);
        glFogf(GL_FOG_END, 2.0f);
        glEnable(GL_FOG);
    }
    glMatrixMode(GL_PROJECTION);
    glOrtho(-1.0, 1.0, -1.0, 1.0, 0.0, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0.0f, 0.0f, -1.0f);
    glColor4f(1.0f, 0.5f, 1.0f, 1.0f);
    glTexCoord2f(0.5f, 0.5f);
    fullQuad();
    expectNear(pixel(WIDTH / 2, HEIGHT / 2), c.expected, c.name);
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), c.texturing ? GL_TRUE : GL_FALSE);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(1, &texture);
}

INSTANTIATE_TEST_SUITE_P(GlCompat, FixedFunction,
                         ::testing::Values(FixedCase{"ColourOnly", false, GL_REPLACE, false, {255, 128, 255, 255}},
                                           FixedCase{"Modulated", true, GL_MODULATE, false, {128, 128, 64, 255}},
                                           FixedCase{"Replaced", true, GL_REPLACE, false, {128, 255, 64, 255}},
                                           FixedCase{"Added", true, GL_ADD, false, {255, 255, 255, 255}},
                                           FixedCase{"ModulatedInFog", true, GL_MODULATE, true, {64, 64, 32, 255}}),
                         [](const ::testing::TestParamInfo<FixedCase>& info) { return std::string(info.param.name); });

}  // namespace
