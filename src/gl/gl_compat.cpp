#include "gl/gl_compat_state.h"

#include <cstddef>
#include <cstring>

namespace glcompat {

Layer layer;

}  // namespace glcompat

using namespace glcompat;

namespace {

// The state every context starts with.
void resetState()
{
    Layer& l = layer;
    l.batchCount = 0;
    l.ringOffset = 0;
    l.inside = false;
    std::memset(&l.current, 0, sizeof l.current);
    copy4(l.current.colour, 1.0f, 1.0f, 1.0f, 1.0f);
    l.current.normal[2] = 1.0f;
    for (auto& set : l.current.texCoord)
        set[3] = 1.0f;
    l.modelView.reset();
    l.projection.reset();
    for (MatrixStack& stack : l.texture)
        stack.reset();
    l.matrixMode = GL_MODELVIEW;
    l.activeUnit = 0;
    for (int i = 0; i < COMPAT_LIGHTS; ++i) {
        Light& light = l.lights[i];
        const float on = i == 0 ? 1.0f : 0.0f;
        copy4(light.ambient, 0.0f, 0.0f, 0.0f, 1.0f);
        copy4(light.diffuse, on, on, on, 1.0f);
        copy4(light.specular, on, on, on, 1.0f);
        copy4(light.position, 0.0f, 0.0f, 1.0f, 0.0f);
        light.spotDirection[0] = light.spotDirection[1] = 0.0f;
        light.spotDirection[2] = -1.0f;
        light.spotExponent = 0.0f;
        light.spotCutoff = 180.0f;
        light.attenuation[0] = 1.0f;
        light.attenuation[1] = light.attenuation[2] = 0.0f;
        l.lightOn[i] = false;
    }
    for (Material& material : l.materials) {
        copy4(material.emission, 0.0f, 0.0f, 0.0f, 1.0f);
        copy4(material.ambient, 0.2f, 0.2f, 0.2f, 1.0f);
        copy4(material.diffuse, 0.8f, 0.8f, 0.8f, 1.0f);
        copy4(material.specular, 0.0f, 0.0f, 0.0f, 1.0f);
        material.shininess = 0.0f;
    }
    copy4(l.fog.colour, 0.0f, 0.0f, 0.0f, 0.0f);
    l.fog.density = 1.0f;
    l.fog.start = 0.0f;
    l.fog.end = 1.0f;
    l.fog.mode = GL_EXP;
    copy4(l.lightModelAmbient, 0.2f, 0.2f, 0.2f, 1.0f);
    l.lighting = l.fogOn = l.alphaTest = l.normalize = l.colourMaterial = false;
    for (bool& on : l.texturing)
        on = false;
    for (GLenum& function : l.textureFunction)
        function = GL_MODULATE;
    l.alphaFunc = GL_ALWAYS;
    l.alphaReference = 0.0f;
    ++l.matrixSerial;
    ++l.lightSerial;
    ++l.materialSerial;
    ++l.fogSerial;
    ++l.fixedSerial;
    l.program = 0;
    l.realProgram = 0;
    l.programs.clear();
}

MatrixStack& currentStack()
{
    switch (layer.matrixMode) {
    case GL_PROJECTION: return layer.projection;
    case GL_TEXTURE: return layer.texture[layer.activeUnit];
    default: return layer.modelView;
    }
}

// Every change of a matrix: what was gathered under the old one is drawn.
Mat4& changeMatrix()
{
    compatFlush();
    ++layer.matrixSerial;
    return currentStack().top();
}

void setUpVertexArray()
{
    glGenVertexArrays(1, &layer.vertexArray);
    glBindVertexArray(layer.vertexArray);
    glGenBuffers(1, &layer.vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, layer.vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(Vertex)) * BATCH_CAPACITY, nullptr,
                 GL_DYNAMIC_DRAW);
    const GLsizei stride = sizeof(Vertex);
    struct Attribute {
        int slot;
        GLint size;
        size_t offset;
    };
    const Attribute attributes[] = {
        {ATTRIBUTE_VERTEX, 4, offsetof(Vertex, position)},
        {ATTRIBUTE_COLOR, 4, offsetof(Vertex, colour)},
        {ATTRIBUTE_NORMAL, 3, offsetof(Vertex, normal)},
        {ATTRIBUTE_TEXCOORD0, 4, offsetof(Vertex, texCoord)},
        {ATTRIBUTE_TEXCOORD1, 4, offsetof(Vertex, texCoord) + sizeof(float) * 4},
    };
    for (const Attribute& a : attributes) {
        glEnableVertexAttribArray(static_cast<GLuint>(a.slot));
        glVertexAttribPointer(static_cast<GLuint>(a.slot), a.size, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<const void*>(a.offset));
    }
}

}  // namespace

bool glApiStart(std::string& failure)
{
    glApiStop();
    if (!layer.batch)
        layer.batch.reset(new Vertex[BATCH_CAPACITY]);
    resetState();
    const char* own = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    // Core in OpenGL ES 3.0: min/max blending and framebuffer objects.
    layer.extensions = std::string(own ? own : "") + " GL_EXT_blend_minmax GL_EXT_framebuffer_object";
    setUpVertexArray();
    if (!buildFixedProgram(failure)) {
        glApiStop();
        return false;
    }
    layer.started = true;
    return true;
}

void glApiStop()
{
    Layer& l = layer;
    if (l.fixedProgram)
        glDeleteProgram(l.fixedProgram);
    if (l.vertexBuffer)
        glDeleteBuffers(1, &l.vertexBuffer);
    if (l.vertexArray)
        glDeleteVertexArrays(1, &l.vertexArray);
    l.fixedProgram = l.vertexBuffer = l.vertexArray = 0;
    l.batchCount = 0;
    l.programs.clear();
    l.started = false;
}

const char* compatExtensionString()
{
    return layer.extensions.c_str();
}

void compatFlush()
{
    Layer& l = layer;
    if (l.batchCount == 0 || !l.started) {
        l.batchCount = 0;
        return;
    }
    const GLuint program = l.program != 0 ? l.program : l.fixedProgram;
    useRealProgram(program);
    if (ProgramBuiltIns* b = builtInsOf(program))
        feedBuiltIns(*b);
    if (l.ringOffset + l.batchCount > BATCH_CAPACITY)
        l.ringOffset = 0;
    glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(sizeof(Vertex)) * l.ringOffset,
                    static_cast<GLsizeiptr>(sizeof(Vertex)) * l.batchCount, l.batch.get());
    glDrawArrays(GL_TRIANGLES, l.ringOffset, l.batchCount);
    l.ringOffset += l.batchCount;
    l.batchCount = 0;
}

namespace {

void emitTriangle(const Vertex& a, const Vertex& b, const Vertex& c)
{
    Layer& l = layer;
    if (l.batchCount + 3 > BATCH_CAPACITY)
        compatFlush();
    Vertex* out = &l.batch[static_cast<size_t>(l.batchCount)];
    out[0] = a;
    out[1] = b;
    out[2] = c;
    l.batchCount += 3;
}

// Turns the primitive's vertices into triangles as they arrive, each with
// the winding the primitive gives it.
void assemble(const Vertex& v)
{
    Layer& l = layer;
    const int n = l.primitiveVertices++;
    switch (l.primitive) {
    case GL_TRIANGLES:
        if (n % 3 == 2)
            emitTriangle(l.held[0], l.held[1], v);
        else
            l.held[n % 3] = v;
        break;
    case GL_QUADS:
        if (n % 4 == 3) {
            emitTriangle(l.held[0], l.held[1], l.held[2]);
            emitTriangle(l.held[0], l.held[2], v);
        } else {
            l.held[n % 4] = v;
        }
        break;
    case GL_TRIANGLE_STRIP:
        if (n >= 2) {
            if (n % 2 == 0)
                emitTriangle(l.held[0], l.held[1], v);
            else
                emitTriangle(l.held[1], l.held[0], v);
            l.held[0] = l.held[1];
            l.held[1] = v;
        } else {
            l.held[n] = v;
        }
        break;
    case GL_TRIANGLE_FAN:
    case GL_POLYGON:
        if (n >= 2) {
            emitTriangle(l.held[0], l.held[1], v);
            l.held[1] = v;
        } else {
            l.held[n] = v;
        }
        break;
    case GL_QUAD_STRIP:
        // Vertices 2k, 2k+1, 2k+3, 2k+2 make the k-th quad.
        if (n >= 3 && n % 2 == 1) {
            emitTriangle(l.held[0], l.held[1], v);
            emitTriangle(l.held[0], v, l.held[2]);
            l.held[0] = l.held[2];
            l.held[1] = v;
        } else if (n >= 2) {
            l.held[2] = v;
        } else {
            l.held[n] = v;
        }
        break;
    default:  // points and lines are not drawn here
        break;
    }
}

}  // namespace

void compatBegin(GLenum mode)
{
    layer.inside = true;
    layer.primitive = mode;
    layer.primitiveVertices = 0;
}

void compatEnd()
{
    layer.inside = false;
}

void compatVertex4f(GLfloat x, GLfloat y, GLfloat z, GLfloat w)
{
    if (!layer.inside)
        return;
    Vertex v = layer.current;
    copy4(v.position, x, y, z, w);
    assemble(v);
}

void compatColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    copy4(layer.current.colour, r, g, b, a);
}

void compatTexCoord4f(GLfloat s, GLfloat t, GLfloat r, GLfloat q)
{
    copy4(layer.current.texCoord[0], s, t, r, q);
}

void compatNormal3f(GLfloat x, GLfloat y, GLfloat z)
{
    layer.current.normal[0] = x;
    layer.current.normal[1] = y;
    layer.current.normal[2] = z;
}

void compatMatrixMode(GLenum mode)
{
    if (mode == GL_MODELVIEW || mode == GL_PROJECTION || mode == GL_TEXTURE)
        layer.matrixMode = mode;
}

void compatLoadIdentity()
{
    changeMatrix() = identityMatrix();
}

void compatPushMatrix()
{
    currentStack().push();
}

void compatPopMatrix()
{
    compatFlush();
    if (currentStack().pop())
        ++layer.matrixSerial;
}

void compatLoadMatrixf(const GLfloat* m)
{
    std::memcpy(changeMatrix().m, m, sizeof(Mat4::m));
}

void compatMultMatrixf(const GLfloat* m)
{
    Mat4 by;
    std::memcpy(by.m, m, sizeof by.m);
    Mat4& top = changeMatrix();
    top = multiplyMatrices(top, by);
}

void compatTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    translateMatrix(changeMatrix(), x, y, z);
}

void compatRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    Mat4& top = changeMatrix();
    top = multiplyMatrices(top, rotationMatrix(angle, x, y, z));
}

void compatScalef(GLfloat x, GLfloat y, GLfloat z)
{
    scaleMatrix(changeMatrix(), x, y, z);
}

void compatOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar)
{
    if (left == right || bottom == top || zNear == zFar)
        return;
    Mat4& m = changeMatrix();
    m = multiplyMatrices(m, orthoMatrix(left, right, bottom, top, zNear, zFar));
}

void compatFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar)
{
    if (zNear <= 0.0 || zFar <= 0.0 || left == right || bottom == top || zNear == zFar)
        return;
    Mat4& m = changeMatrix();
    m = multiplyMatrices(m, frustumMatrix(left, right, bottom, top, zNear, zFar));
}

void compatPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    Mat4 perspective;
    if (!perspectiveMatrix(fovy, aspect, zNear, zFar, perspective))
        return;
    Mat4& m = changeMatrix();
    m = multiplyMatrices(m, perspective);
}

void compatLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centreX, GLdouble centreY,
                  GLdouble centreZ, GLdouble upX, GLdouble upY, GLdouble upZ)
{
    Mat4& m = changeMatrix();
    m = multiplyMatrices(m, lookAtMatrix(eyeX, eyeY, eyeZ, centreX, centreY, centreZ, upX, upY, upZ));
}

void compatGetFloatv(GLenum name, GLfloat* values)
{
    switch (name) {
    case GL_MODELVIEW_MATRIX: std::memcpy(values, layer.modelView.top().m, sizeof(Mat4::m)); break;
    case GL_PROJECTION_MATRIX: std::memcpy(values, layer.projection.top().m, sizeof(Mat4::m)); break;
    case GL_TEXTURE_MATRIX: std::memcpy(values, layer.texture[layer.activeUnit].top().m, sizeof(Mat4::m)); break;
    default: glGetFloatv(name, values); break;
    }
}

void compatLightfv(GLenum which, GLenum name, const GLfloat* v)
{
    const int index = static_cast<int>(which) - GL_LIGHT0;
    if (index < 0 || index >= COMPAT_LIGHTS)
        return;
    compatFlush();
    Light& light = layer.lights[index];
    const Mat4& modelView = layer.modelView.top();
    switch (name) {
    case GL_AMBIENT: std::memcpy(light.ambient, v, sizeof light.ambient); break;
    case GL_DIFFUSE: std::memcpy(light.diffuse, v, sizeof light.diffuse); break;
    case GL_SPECULAR: std::memcpy(light.specular, v, sizeof light.specular); break;
    case GL_POSITION:
        // Kept in eye coordinates, as the modelview matrix is now.
        transformVector(modelView, v, light.position);
        break;
    case GL_SPOT_DIRECTION: {
        const float direction[4] = {v[0], v[1], v[2], 0.0f};
        float eye[4];
        transformVector(modelView, direction, eye);
        std::memcpy(light.spotDirection, eye, sizeof light.spotDirection);
        break;
    }
    case GL_SPOT_EXPONENT: light.spotExponent = v[0]; break;
    case GL_SPOT_CUTOFF: light.spotCutoff = v[0]; break;
    case GL_CONSTANT_ATTENUATION: light.attenuation[0] = v[0]; break;
    case GL_LINEAR_ATTENUATION: light.attenuation[1] = v[0]; break;
    case GL_QUADRATIC_ATTENUATION: light.attenuation[2] = v[0]; break;
    default: return;
    }
    ++layer.lightSerial;
}

void compatMaterialfv(GLenum face, GLenum name, const GLfloat* v)
{
    compatFlush();
    for (int i = 0; i < 2; ++i) {
        const bool wanted = face == GL_FRONT_AND_BACK || (i == 0 ? face == GL_FRONT : face == GL_BACK);
        if (!wanted)
            continue;
        Material& material = layer.materials[i];
        switch (name) {
        case GL_EMISSION: std::memcpy(material.emission, v, sizeof material.emission); break;
        case GL_AMBIENT: std::memcpy(material.ambient, v, sizeof material.ambient); break;
        case GL_DIFFUSE: std::memcpy(material.diffuse, v, sizeof material.diffuse); break;
        case GL_SPECULAR: std::memcpy(material.specular, v, sizeof material.specular); break;
        case GL_SHININESS: material.shininess = v[0]; break;
        case GL_AMBIENT_AND_DIFFUSE:
            std::memcpy(material.ambient, v, sizeof material.ambient);
            std::memcpy(material.diffuse, v, sizeof material.diffuse);
            break;
        default: return;
        }
    }
    ++layer.materialSerial;
}

void compatLightModelfv(GLenum name, const GLfloat* v)
{
    if (name != GL_LIGHT_MODEL_AMBIENT)
        return;
    compatFlush();
    std::memcpy(layer.lightModelAmbient, v, sizeof layer.lightModelAmbient);
    ++layer.lightSerial;
}

void compatFogfv(GLenum name, const GLfloat* v)
{
    compatFlush();
    Fog& fog = layer.fog;
    switch (name) {
    case GL_FOG_COLOR: std::memcpy(fog.colour, v, sizeof fog.colour); break;
    case GL_FOG_DENSITY: fog.density = v[0]; break;
    case GL_FOG_START: fog.start = v[0]; break;
    case GL_FOG_END: fog.end = v[0]; break;
    case GL_FOG_MODE: fog.mode = static_cast<GLenum>(v[0]); break;
    default: return;
    }
    ++layer.fogSerial;
    ++layer.fixedSerial;
}

void compatAlphaFunc(GLenum func, GLfloat reference)
{
    if (func < GL_NEVER || func > GL_ALWAYS)
        return;
    compatFlush();
    layer.alphaFunc = func;
    layer.alphaReference = reference < 0.0f ? 0.0f : (reference > 1.0f ? 1.0f : reference);
    ++layer.fixedSerial;
}

namespace {

// The flag the layer keeps for a fixed-function cap, or null for a cap of
// the context itself.
bool* fixedCap(GLenum cap)
{
    Layer& l = layer;
    switch (cap) {
    case GL_TEXTURE_2D: return &l.texturing[l.activeUnit];
    case GL_LIGHTING: return &l.lighting;
    case GL_FOG: return &l.fogOn;
    case GL_ALPHA_TEST: return &l.alphaTest;
    case GL_NORMALIZE: return &l.normalize;
    case GL_COLOR_MATERIAL: return &l.colourMaterial;
    default: break;
    }
    const int light = static_cast<int>(cap) - GL_LIGHT0;
    if (light >= 0 && light < COMPAT_LIGHTS)
        return &l.lightOn[light];
    return nullptr;
}

void setCap(GLenum cap, bool on)
{
    compatFlush();
    if (bool* flag = fixedCap(cap)) {
        *flag = on;
        ++layer.fixedSerial;
    } else if (on) {
        glEnable(cap);
    } else {
        glDisable(cap);
    }
}

// Desktop component counts (1 to 4) name no format here: the data's own
// format serves, as ES wants it to match.
GLint esInternalFormat(GLint internalFormat, GLenum format)
{
    return internalFormat >= 1 && internalFormat <= 4 ? static_cast<GLint>(format) : internalFormat;
}

}  // namespace

void compatEnable(GLenum cap)
{
    setCap(cap, true);
}

void compatDisable(GLenum cap)
{
    setCap(cap, false);
}

GLboolean compatIsEnabled(GLenum cap)
{
    if (const bool* flag = fixedCap(cap))
        return *flag ? GL_TRUE : GL_FALSE;
    return glIsEnabled(cap);
}

void compatTexEnvi(GLenum target, GLenum name, GLint mode)
{
    if (target != GL_TEXTURE_ENV || name != GL_TEXTURE_ENV_MODE)
        return;
    if (mode != GL_MODULATE && mode != GL_REPLACE && mode != GL_DECAL && mode != GL_ADD)
        return;
    compatFlush();
    layer.textureFunction[layer.activeUnit] = static_cast<GLenum>(mode);
    ++layer.fixedSerial;
}

void compatTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                      GLint border, GLenum format, GLenum type, const void* pixels)
{
    compatFlush();
    glTexImage2D(target, level, esInternalFormat(internalFormat, format), width, height, border, format, type,
                 pixels);
}

GLint compatBuild2DMipmaps(GLenum target, GLint components, GLsizei width, GLsizei height, GLenum format,
                           GLenum type, const void* pixels)
{
    constexpr GLint INVALID_VALUE = 100901;  // what GLU answers for a size below one
    if (width < 1 || height < 1)
        return INVALID_VALUE;
    compatFlush();
    // OpenGL ES 3.0 mipmaps any size; no rescaling to a power of two.
    glTexImage2D(target, 0, esInternalFormat(components, format), width, height, 0, format, type, pixels);
    glGenerateMipmap(target);
    return 0;
}

void compatTexParameteri(GLenum target, GLenum name, GLint value)
{
    compatFlush();
    glTexParameteri(target, name, value == GL_CLAMP ? GL_CLAMP_TO_EDGE : value);
}

void compatBindTexture(GLenum target, GLuint texture)
{
    compatFlush();
    glBindTexture(target, texture);
}

void compatDeleteTextures(GLsizei count, const GLuint* textures)
{
    compatFlush();
    glDeleteTextures(count, textures);
}

void compatBlendFunc(GLenum source, GLenum destination)
{
    compatFlush();
    glBlendFunc(source, destination);
}

void compatDepthFunc(GLenum func)
{
    compatFlush();
    glDepthFunc(func);
}

void compatDepthMask(GLboolean flag)
{
    compatFlush();
    glDepthMask(flag);
}

void compatCullFace(GLenum face)
{
    compatFlush();
    glCullFace(face);
}

void compatFrontFace(GLenum mode)
{
    compatFlush();
    glFrontFace(mode);
}

void compatColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a)
{
    compatFlush();
    glColorMask(r, g, b, a);
}

void compatViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    compatFlush();
    glViewport(x, y, width, height);
}

void compatScissor(GLint x, GLint y, GLsizei width, GLsizei height)
{
    compatFlush();
    glScissor(x, y, width, height);
}

void compatClear(GLbitfield mask)
{
    compatFlush();
    glClear(mask);
}

void compatReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, void* pixels)
{
    compatFlush();
    glReadPixels(x, y, width, height, format, type, pixels);
}

void compatFlushContext()
{
    compatFlush();
    glFlush();
}

void compatFinish()
{
    compatFlush();
    glFinish();
}
