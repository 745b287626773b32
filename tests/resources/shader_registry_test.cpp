#include <gtest/gtest.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "platform/log.h"
#include "resources/shader_registry.h"
#include "support/gl_test_context.h"

namespace {

const char* const VERTEX =
    "#version 120\n"
    "void main() { gl_Position = ftransform(); }\n";

// Every uniform shape, all used so that every one is active.
const char* const FRAGMENT =
    "#version 120\n"
    "uniform float f1; uniform vec2 f2; uniform vec3 f3; uniform vec4 f4;\n"
    "uniform int i1; uniform ivec2 i2; uniform ivec3 i3; uniform ivec4 i4;\n"
    "void main() {\n"
    "    vec4 f = vec4(f1) + vec4(f2, 0.0, 0.0) + vec4(f3, 0.0) + f4;\n"
    "    vec4 i = vec4(float(i1)) + vec4(vec2(i2), 0.0, 0.0) + vec4(vec3(i3), 0.0) + vec4(i4);\n"
    "    gl_FragColor = f + i;\n"
    "}\n";

const char* const BROKEN = "#version 120\nvoid main() { this is not glsl }\n";

// Reads a varying the vertex shader never writes: compiles, fails to link.
const char* const UNLINKABLE_FRAGMENT =
    "#version 120\n"
    "varying vec4 neverWritten;\n"
    "uniform float f1;\n"
    "void main() { gl_FragColor = neverWritten * f1; }\n";

class ShaderRegistryTest : public ::testing::Test {
protected:
    GlTestContext context{16, 16};
    ShaderRegistry& registry() { return context.demo().shaders; }

    ShaderProgram* buildAll()
    {
        registry().addShader("V", VERTEX, GL_VERTEX_SHADER);
        registry().addShader("F", FRAGMENT, GL_FRAGMENT_SHADER);
        ShaderProgram* program = registry().createProgram("ALL", "V", "F");
        if (!program)
            return nullptr;
        const char* names[] = {"f1", "f2", "f3", "f4", "i1", "i2", "i3", "i4"};
        const int32_t types[] = {Float1, Float2, Float3, Float4, Int1, Int2, Int3, Int4};
        for (int i = 0; i < 8; ++i)
            program->addUniform(types[i], names[i]);
        glExt.glUseProgram(program->id);
        return program;
    }

    std::vector<float> floats(const ShaderProgram& program, const char* name, int count)
    {
        std::vector<float> v(4, -1.0f);
        glExt.glGetUniformfv(program.id, program.findUniform(name)->location, v.data());
        v.resize(static_cast<size_t>(count));
        return v;
    }

    std::vector<int> ints(const ShaderProgram& program, const char* name, int count)
    {
        std::vector<int> v(4, -1);
        glExt.glGetUniformiv(program.id, program.findUniform(name)->location, v.data());
        v.resize(static_cast<size_t>(count));
        return v;
    }

    static size_t shaderCount(const ShaderRegistry& r)
    {
        size_t n = 0;
        for (ShaderNode* node = r.shadersHead; node; node = node->next)
            ++n;
        return n;
    }
    static size_t programCount(const ShaderRegistry& r)
    {
        size_t n = 0;
        for (ProgramNode* node = r.programsHead; node; node = node->next)
            ++n;
        return n;
    }
};

}  // namespace

TEST_F(ShaderRegistryTest, SettersSendWhatTheTypeCodeTakes)
{
    REQUIRE_GL(context);
    ShaderProgram* program = buildAll();
    ASSERT_NE(nullptr, program);
    for (const char* name : {"f1", "f2", "f3", "f4", "i1", "i2", "i3", "i4"}) {
        ASSERT_NE(nullptr, program->findUniform(name));
        ASSERT_GE(program->findUniform(name)->location, 0) << name;
    }
    // Stale values in the components a setter must leave alone or zero.
    glExt.glUniform4f(program->findUniform("f4")->location, 9.0f, 9.0f, 9.0f, 9.0f);
    glExt.glUniform2i(program->findUniform("i2")->location, 7, 7);
    glExt.glUniform4i(program->findUniform("i4")->location, 7, 7, 7, 7);
    for (const char* name : {"f1", "f2", "f3"})
        program->findUniform(name)->setFloat(1.0f, 2.0f, 3.0f, 4.0f);
    EXPECT_EQ((std::vector<float>{1.0f}), floats(*program, "f1", 1));
    EXPECT_EQ((std::vector<float>{1.0f, 2.0f}), floats(*program, "f2", 2));
    EXPECT_EQ((std::vector<float>{1.0f, 2.0f, 3.0f}), floats(*program, "f3", 3));
    EXPECT_EQ((std::vector<float>{9.0f, 9.0f, 9.0f, 9.0f}), floats(*program, "f4", 4));
    program->findUniform("f4")->setFloat(1.0f, 2.0f, 3.0f, 4.0f);
    EXPECT_EQ((std::vector<float>{1.0f, 2.0f, 3.0f, 4.0f}), floats(*program, "f4", 4));

    program->findUniform("i1")->setInt(5);
    program->findUniform("i2")->setInt(5);
    program->findUniform("i3")->setInt(-3);
    program->findUniform("i4")->setInt(12);
    EXPECT_EQ((std::vector<int>{5}), ints(*program, "i1", 1));
    EXPECT_EQ((std::vector<int>{5, 0}), ints(*program, "i2", 2));
    EXPECT_EQ((std::vector<int>{-3, 0, 0}), ints(*program, "i3", 3));
    EXPECT_EQ((std::vector<int>{12, 0, 0, 0}), ints(*program, "i4", 4));
    EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
}

TEST_F(ShaderRegistryTest, SetterOfTheWrongKindOrAnUnknownCodeMakesNoCall)
{
    REQUIRE_GL(context);
    ShaderProgram* program = buildAll();
    ASSERT_NE(nullptr, program);
    glExt.glUniform1i(program->findUniform("i1")->location, 4);
    glExt.glUniform1f(program->findUniform("f1")->location, 0.5f);

    // A call of the wrong kind would raise GL_INVALID_OPERATION.
    program->findUniform("i1")->setFloat(8.0f, 0.0f, 0.0f, 0.0f);
    program->findUniform("f1")->setInt(8);
    EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
    EXPECT_EQ((std::vector<int>{4}), ints(*program, "i1", 1));
    EXPECT_EQ((std::vector<float>{0.5f}), floats(*program, "f1", 1));

    // Codes that are no shape at all: the uniform keeps its value.
    for (int32_t code : {0, 3, 256, -1}) {
        Uniform odd;
        odd.location = program->findUniform("f1")->location;
        odd.type = code;
        odd.setFloat(9.0f, 9.0f, 9.0f, 9.0f);
        odd.setInt(9);
        EXPECT_EQ((std::vector<float>{0.5f}), floats(*program, "f1", 1)) << "code " << code;
    }
    EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
}

TEST_F(ShaderRegistryTest, LookupsAreExactAndFirstRegisteredWins)
{
    REQUIRE_GL(context);
    ShaderProgram* program = buildAll();
    ASSERT_NE(nullptr, program);
    program->addUniform(Int1, "f1");  // a second "f1", registered later
    Uniform* f1 = program->findUniform("f1");
    ASSERT_NE(nullptr, f1);
    EXPECT_EQ(Float1, f1->type);
    EXPECT_EQ(nullptr, program->findUniform("F1"));
    EXPECT_EQ(nullptr, program->findUniform("missing"));

    EXPECT_EQ(program, registry().findProgram("ALL"));
    EXPECT_EQ(nullptr, registry().findProgram("all"));
    ASSERT_NE(nullptr, registry().findShader("V"));
    EXPECT_EQ(static_cast<uint32_t>(GL_VERTEX_SHADER), registry().findShader("V")->type);
    EXPECT_EQ(nullptr, registry().findShader("v"));

    ShaderProgram* again = registry().createProgram("ALL", "V", "F");
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(program, registry().findProgram("ALL"));
    EXPECT_EQ(again, registry().programsTail->program);
}

namespace {

// Counts the GL program objects made through the extension table while it
// lives, passing each call on to the driver.
class ProgramCreationCounter {
public:
    ProgramCreationCounter() : saved_(glExt.glCreateProgram)
    {
        real = saved_;
        created = 0;
        glExt.glCreateProgram = &counting;
    }
    ~ProgramCreationCounter() { glExt.glCreateProgram = saved_; }

    static inline int created = 0;

private:
    static inline PFNGLCREATEPROGRAMPROC real = nullptr;
    static GLuint APIENTRY counting()
    {
        ++created;
        return real();
    }
    PFNGLCREATEPROGRAMPROC saved_;
};

}  // namespace

TEST_F(ShaderRegistryTest, UnknownShaderNameCreatesNothing)
{
    REQUIRE_GL(context);
    registry().addShader("V", VERTEX, GL_VERTEX_SHADER);
    registry().addShader("F", FRAGMENT, GL_FRAGMENT_SHADER);
    ProgramCreationCounter counter;
    EXPECT_EQ(nullptr, registry().createProgram("P", "V", "FF"));
    EXPECT_EQ(nullptr, registry().createProgram("P", "VV", "F"));
    EXPECT_EQ(nullptr, registry().programsHead);
    EXPECT_EQ(2u, shaderCount(registry()));
    EXPECT_EQ(0, ProgramCreationCounter::created) << "a GL program was made for a failed attempt";

    // The counter sees the registry's program objects when it does make one.
    EXPECT_NE(nullptr, registry().createProgram("P", "V", "F"));
    EXPECT_EQ(1, ProgramCreationCounter::created);
}

TEST_F(ShaderRegistryTest, FailedCompileStaysListedNamelessReportedOnceAndBlocksItsProgram)
{
    REQUIRE_GL(context);
    unsigned long before = loggedLineCount();
    Shader* broken = registry().addShader("BROKEN_VERT", BROKEN, GL_VERTEX_SHADER);
    EXPECT_EQ(before + 1, loggedLineCount());
    ASSERT_NE(nullptr, broken);
    EXPECT_FALSE(broken->compiled);
    EXPECT_EQ(nullptr, broken->name);
    EXPECT_NE(0u, broken->id);
    EXPECT_EQ(broken, registry().shadersHead->shader);

    registry().addShader("F", FRAGMENT, GL_FRAGMENT_SHADER);
    EXPECT_EQ(before + 1, loggedLineCount());  // a good shader says nothing
    EXPECT_EQ(nullptr, registry().findShader("BROKEN_VERT"));
    EXPECT_EQ(nullptr, registry().createProgram("P", "BROKEN_VERT", "F"));
    EXPECT_EQ(nullptr, registry().programsHead);
    EXPECT_EQ(2u, shaderCount(registry()));
}

TEST_F(ShaderRegistryTest, ProgramThatFailsToLinkIsStillRegisteredAndReportedOnce)
{
    REQUIRE_GL(context);
    registry().addShader("V", VERTEX, GL_VERTEX_SHADER);
    registry().addShader("BAD_LINK", UNLINKABLE_FRAGMENT, GL_FRAGMENT_SHADER);
    ASSERT_NE(nullptr, registry().findShader("BAD_LINK")) << "the fragment shader should compile";
    unsigned long before = loggedLineCount();
    ShaderProgram* program = registry().createProgram("P", "V", "BAD_LINK");
    EXPECT_EQ(before + 1, loggedLineCount());
    ASSERT_NE(nullptr, program);
    EXPECT_EQ(program, registry().findProgram("P"));
    program->addUniform(Float1, "f1");
    EXPECT_EQ(-1, program->findUniform("f1")->location);
}

TEST_F(ShaderRegistryTest, ReleaseDeletesProgramsAndShadersIncludingFailedOnes)
{
    REQUIRE_GL(context);
    ShaderRegistry own;
    own.addShader("V", VERTEX, GL_VERTEX_SHADER);
    own.addShader("F", FRAGMENT, GL_FRAGMENT_SHADER);
    Shader* broken = own.addShader("B", BROKEN, GL_FRAGMENT_SHADER);
    ShaderProgram* program = own.createProgram("P", "V", "F");
    ASSERT_NE(nullptr, program);
    program->addUniform(Float1, "f1");
    GLuint programId = program->id;
    std::vector<GLuint> shaderIds = {own.findShader("V")->id, own.findShader("F")->id, broken->id};

    own.release();
    GLint status = 0;
    // Deleted names are no longer programs or shaders: querying them fails.
    glGetError();
    glExt.glGetProgramiv(programId, GL_DELETE_STATUS, &status);
    EXPECT_EQ(static_cast<GLenum>(GL_INVALID_VALUE), glGetError());
    for (GLuint id : shaderIds) {
        glExt.glGetShaderiv(id, GL_DELETE_STATUS, &status);
        EXPECT_EQ(static_cast<GLenum>(GL_INVALID_VALUE), glGetError()) << "shader " << id;
    }
    EXPECT_EQ(nullptr, own.findProgram("P"));
    EXPECT_EQ(nullptr, own.findShader("V"));
}
