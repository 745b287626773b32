#include "gl/gl_compat_state.h"

#include <cstring>
#include <type_traits>

#include "platform/window.h"

using namespace glcompat;

namespace {

// A context entry point that changes what a pending draw would do: the
// gathered vertices are drawn first.
template <auto Function>
struct Flushed;
template <typename Result, typename... Args, Result(GL_APIENTRY* Function)(Args...)>
struct Flushed<Function> {
    static Result GL_APIENTRY call(Args... args)
    {
        compatFlush();
        return Function(args...);
    }
};

void GL_APIENTRY activeTexture(GLenum unit)
{
    compatFlush();
    const int index = static_cast<int>(unit) - GL_TEXTURE0;
    if (index >= 0 && index < COMPAT_TEXCOORD_SETS)
        layer.activeUnit = index;
    glActiveTexture(unit);
}

// Client arrays are not drawn from here: the client unit is only noted.
void GL_APIENTRY clientActiveTexture(GLenum) {}

void multiTexCoord(GLenum unit, GLfloat s, GLfloat t, GLfloat r, GLfloat q)
{
    const int index = static_cast<int>(unit) - GL_TEXTURE0;
    if (index >= 0 && index < COMPAT_TEXCOORD_SETS)
        copy4(layer.current.texCoord[index], s, t, r, q);
}

void GL_APIENTRY multiTexCoord1f(GLenum u, GLfloat s) { multiTexCoord(u, s, 0.0f, 0.0f, 1.0f); }
void GL_APIENTRY multiTexCoord2f(GLenum u, GLfloat s, GLfloat t) { multiTexCoord(u, s, t, 0.0f, 1.0f); }
void GL_APIENTRY multiTexCoord3f(GLenum u, GLfloat s, GLfloat t, GLfloat r) { multiTexCoord(u, s, t, r, 1.0f); }
void GL_APIENTRY multiTexCoord4f(GLenum u, GLfloat s, GLfloat t, GLfloat r, GLfloat q)
{
    multiTexCoord(u, s, t, r, q);
}
void GL_APIENTRY multiTexCoord1fv(GLenum u, const GLfloat* v) { multiTexCoord(u, v[0], 0.0f, 0.0f, 1.0f); }
void GL_APIENTRY multiTexCoord2fv(GLenum u, const GLfloat* v) { multiTexCoord(u, v[0], v[1], 0.0f, 1.0f); }
void GL_APIENTRY multiTexCoord3fv(GLenum u, const GLfloat* v) { multiTexCoord(u, v[0], v[1], v[2], 1.0f); }
void GL_APIENTRY multiTexCoord4fv(GLenum u, const GLfloat* v) { multiTexCoord(u, v[0], v[1], v[2], v[3]); }

// The show's GLSL 1.20, compiled as GLSL ES for the stage the shader was made for.
void GL_APIENTRY shaderSource(GLuint shader, GLsizei count, const GLchar* const* strings, const GLint* lengths)
{
    std::string source;
    for (GLsizei i = 0; i < count; ++i) {
        if (!strings[i])
            continue;
        if (lengths && lengths[i] >= 0)
            source.append(strings[i], static_cast<size_t>(lengths[i]));
        else
            source += strings[i];
    }
    GLint type = GL_VERTEX_SHADER;
    glGetShaderiv(shader, GL_SHADER_TYPE, &type);
    const std::string text =
        rewriteShader(source, type == GL_FRAGMENT_SHADER ? ShaderStage::Fragment : ShaderStage::Vertex);
    const GLchar* pointer = text.c_str();
    const GLint length = static_cast<GLint>(text.size());
    glShaderSource(shader, 1, &pointer, &length);
}

void GL_APIENTRY linkProgram(GLuint program)
{
    compatFlush();
    linkWithBuiltIns(program);
    // A program relinked while current takes its new uniforms from here on.
    if (layer.realProgram == program)
        layer.realProgram = 0;
}

void GL_APIENTRY useProgram(GLuint program)
{
    compatFlush();
    layer.program = program;
    // The show sets its uniforms right after: the program must be current.
    if (program != 0)
        useRealProgram(program);
}

void GL_APIENTRY deleteProgram(GLuint program)
{
    compatFlush();
    for (size_t i = 0; i < layer.programs.size(); ++i)
        if (layer.programs[i].program == program) {
            layer.programs.erase(layer.programs.begin() + static_cast<ptrdiff_t>(i));
            break;
        }
    if (layer.program == program)
        layer.program = 0;
    if (layer.realProgram == program)
        layer.realProgram = 0;
    glDeleteProgram(program);
}

// Desktop storage names that OpenGL ES 3.0 spells with a size.
void GL_APIENTRY renderbufferStorage(GLenum target, GLenum format, GLsizei width, GLsizei height)
{
    constexpr GLenum DEPTH_COMPONENT = 0x1902;
    if (format == DEPTH_COMPONENT)
        format = GL_DEPTH_COMPONENT24;
    else if (format == GL_RGBA)
        format = GL_RGBA8;
    else if (format == GL_RGB)
        format = GL_RGB8;
    glRenderbufferStorage(target, format, width, height);
}

struct Entry {
    const char* name;
    void* proc;
};

template <typename Proc>
void* entry(Proc proc)
{
    return reinterpret_cast<void*>(proc);
}

#define OWN(name, function) {name, entry(&function)}
#define FLUSHED(name, function) {name, entry(&Flushed<&function>::call)}
#define DIRECT(name, function) {name, entry(&function)}

const Entry ENTRIES[] = {
    // Multitexture group.
    FLUSHED("glBlendEquationEXT", glBlendEquation),
    OWN("glActiveTexture", activeTexture),
    OWN("glClientActiveTexture", clientActiveTexture),
    OWN("glMultiTexCoord1f", multiTexCoord1f),
    OWN("glMultiTexCoord2f", multiTexCoord2f),
    OWN("glMultiTexCoord3f", multiTexCoord3f),
    OWN("glMultiTexCoord4f", multiTexCoord4f),
    OWN("glMultiTexCoord1fv", multiTexCoord1fv),
    OWN("glMultiTexCoord2fv", multiTexCoord2fv),
    OWN("glMultiTexCoord3fv", multiTexCoord3fv),
    OWN("glMultiTexCoord4fv", multiTexCoord4fv),
    // Shaders and programs.
    OWN("glDeleteProgram", deleteProgram),
    DIRECT("glDeleteShader", glDeleteShader),
    DIRECT("glDetachShader", glDetachShader),
    DIRECT("glCreateShader", glCreateShader),
    OWN("glShaderSource", shaderSource),
    DIRECT("glCompileShader", glCompileShader),
    DIRECT("glCreateProgram", glCreateProgram),
    DIRECT("glAttachShader", glAttachShader),
    OWN("glLinkProgram", linkProgram),
    OWN("glUseProgram", useProgram),
    DIRECT("glValidateProgram", glValidateProgram),
    FLUSHED("glUniform1f", glUniform1f),
    FLUSHED("glUniform2f", glUniform2f),
    FLUSHED("glUniform3f", glUniform3f),
    FLUSHED("glUniform4f", glUniform4f),
    FLUSHED("glUniform1i", glUniform1i),
    FLUSHED("glUniform2i", glUniform2i),
    FLUSHED("glUniform3i", glUniform3i),
    FLUSHED("glUniform4i", glUniform4i),
    FLUSHED("glUniform1fv", glUniform1fv),
    FLUSHED("glUniform2fv", glUniform2fv),
    FLUSHED("glUniform3fv", glUniform3fv),
    FLUSHED("glUniform4fv", glUniform4fv),
    FLUSHED("glUniform1iv", glUniform1iv),
    FLUSHED("glUniform2iv", glUniform2iv),
    FLUSHED("glUniform3iv", glUniform3iv),
    FLUSHED("glUniform4iv", glUniform4iv),
    DIRECT("glGetProgramiv", glGetProgramiv),
    DIRECT("glGetShaderiv", glGetShaderiv),
    DIRECT("glGetProgramInfoLog", glGetProgramInfoLog),
    DIRECT("glGetShaderInfoLog", glGetShaderInfoLog),
    DIRECT("glGetAttachedShaders", glGetAttachedShaders),
    DIRECT("glGetUniformLocation", glGetUniformLocation),
    DIRECT("glGetActiveUniform", glGetActiveUniform),
    DIRECT("glGetUniformfv", glGetUniformfv),
    DIRECT("glGetUniformiv", glGetUniformiv),
    DIRECT("glGetShaderSource", glGetShaderSource),
    FLUSHED("glVertexAttrib1f", glVertexAttrib1f),
    FLUSHED("glVertexAttrib1fv", glVertexAttrib1fv),
    FLUSHED("glVertexAttrib2f", glVertexAttrib2f),
    FLUSHED("glVertexAttrib2fv", glVertexAttrib2fv),
    FLUSHED("glVertexAttrib3f", glVertexAttrib3f),
    FLUSHED("glVertexAttrib3fv", glVertexAttrib3fv),
    FLUSHED("glVertexAttrib4f", glVertexAttrib4f),
    FLUSHED("glVertexAttrib4fv", glVertexAttrib4fv),
    DIRECT("glGetAttribLocation", glGetAttribLocation),
    DIRECT("glBindAttribLocation", glBindAttribLocation),
    FLUSHED("glVertexAttribPointer", glVertexAttribPointer),
    FLUSHED("glEnableVertexAttribArray", glEnableVertexAttribArray),
    FLUSHED("glDisableVertexAttribArray", glDisableVertexAttribArray),
    // Framebuffer group.
    DIRECT("glGenFramebuffersEXT", glGenFramebuffers),
    FLUSHED("glDeleteFramebuffersEXT", glDeleteFramebuffers),
    FLUSHED("glBindFramebufferEXT", glBindFramebuffer),
    FLUSHED("glFramebufferTexture2DEXT", glFramebufferTexture2D),
    DIRECT("glGenRenderbuffersEXT", glGenRenderbuffers),
    FLUSHED("glDeleteRenderbuffersEXT", glDeleteRenderbuffers),
    DIRECT("glBindRenderbufferEXT", glBindRenderbuffer),
    FLUSHED("glRenderbufferStorageEXT", renderbufferStorage),
    FLUSHED("glFramebufferRenderbufferEXT", glFramebufferRenderbuffer),
    DIRECT("glCheckFramebufferStatusEXT", glCheckFramebufferStatus),
    FLUSHED("glDrawBuffers", glDrawBuffers),
};

#undef OWN
#undef FLUSHED
#undef DIRECT

// The table's own entry points have the loader's types.
static_assert(std::is_same_v<decltype(&shaderSource), PFNGLSHADERSOURCEPROC>);
static_assert(std::is_same_v<decltype(&linkProgram), PFNGLLINKPROGRAMPROC>);
static_assert(std::is_same_v<decltype(&useProgram), PFNGLUSEPROGRAMPROC>);
static_assert(std::is_same_v<decltype(&deleteProgram), PFNGLDELETEPROGRAMPROC>);
static_assert(std::is_same_v<decltype(&activeTexture), PFNGLACTIVETEXTUREPROC>);
static_assert(std::is_same_v<decltype(&clientActiveTexture), PFNGLCLIENTACTIVETEXTUREARBPROC>);
static_assert(std::is_same_v<decltype(&multiTexCoord4f), PFNGLMULTITEXCOORD4FARBPROC>);
static_assert(std::is_same_v<decltype(&multiTexCoord2fv), PFNGLMULTITEXCOORD2FVARBPROC>);
static_assert(std::is_same_v<decltype(&renderbufferStorage), PFNGLRENDERBUFFERSTORAGEEXTPROC>);

}  // namespace

void* compatProcAddress(const char* name)
{
    if (!name)
        return nullptr;
    for (const Entry& e : ENTRIES)
        if (std::strcmp(e.name, name) == 0)
            return e.proc;
    // A GL name the layer does not stand in for is not handed out: called
    // directly it would bypass the layer. Window-system names come from the platform.
    if (std::strncmp(name, "gl", 2) == 0)
        return nullptr;
    return platformGetProcAddress(name);
}
