#define QUILLMOOR_GL_COMPAT_INSIDE
#include "gl/gl_compat.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "gl/gl_matrix.h"
#include "gl/shader_rewrite.h"
#include "platform/window.h"

namespace {

// One vertex as the layer's buffer holds it.
struct Vertex {
    float position[4];
    float colour[4];
    float normal[3];
    float texCoord[COMPAT_TEXCOORD_SETS][4];
};

constexpr int BATCH_CAPACITY = 65536;  // vertices in the buffer (three a triangle)
constexpr int PROJECTION_DEPTH = 4;    // levels of the projection and texture stacks

struct Light {
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float position[4];       // eye coordinates
    float spotDirection[3];  // eye coordinates
    float spotExponent;
    float spotCutoff;        // degrees
    float attenuation[3];    // constant, linear, quadratic
};

struct Material {
    float emission[4];
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float shininess;
};

struct Fog {
    float colour[4];
    float density;
    float start;
    float end;
    GLenum mode;
};

// Where one program reads each built-in; -1 where it does not.
struct LightLocations {
    GLint ambient, diffuse, specular, position, halfVector, spotDirection, spotExponent, spotCutoff,
        spotCosCutoff, constantAttenuation, linearAttenuation, quadraticAttenuation;
};
struct MaterialLocations {
    GLint emission, ambient, diffuse, specular, shininess;
};
struct ProgramBuiltIns {
    GLuint program = 0;
    GLint modelView = -1, projection = -1, modelViewProjection = -1, normalMatrix = -1;
    GLint textureMatrix[COMPAT_TEXCOORD_SETS] = {-1, -1};
    LightLocations lights[COMPAT_LIGHTS];
    MaterialLocations materials[2];  // front, back
    GLint fogColour = -1, fogDensity = -1, fogStart = -1, fogEnd = -1, fogScale = -1;
    GLint lightModelAmbient = -1;
    // The layer's own program only.
    GLint texturing = -1, fogMode = -1, alphaFunc = -1, alphaReference = -1;
    // The state serials last fed to this program.
    unsigned fedMatrices = 0, fedLights = 0, fedMaterials = 0, fedFog = 0, fedFixed = 0;
};

struct Layer {
    bool started = false;
    GLuint vertexBuffer = 0;
    GLuint vertexArray = 0;
    GLuint fixedProgram = 0;
    std::string extensions;

    std::unique_ptr<Vertex[]> batch;  // made once, on the first start
    int batchCount = 0;               // vertices waiting to be drawn
    int ringOffset = 0;               // where the next draw goes in the buffer

    // Primitive assembly.
    bool inside = false;
    GLenum primitive = GL_TRIANGLES;
    int primitiveVertices = 0;
    Vertex held[3];  // vertices the primitive still needs (first, previous ones)

    Vertex current;  // the current colour, normal and texture coordinates

    MatrixStack modelView{MatrixStack::MAX_DEPTH};
    MatrixStack projection{PROJECTION_DEPTH};
    MatrixStack texture[COMPAT_TEXCOORD_SETS] = {MatrixStack{PROJECTION_DEPTH}, MatrixStack{PROJECTION_DEPTH}};
    GLenum matrixMode = GL_MODELVIEW;
    int activeUnit = 0;

    Light lights[COMPAT_LIGHTS];
    Material materials[2];
    Fog fog;
    float lightModelAmbient[4];
    bool lighting = false, fogOn = false, alphaTest = false, normalize = false, colourMaterial = false;
    bool lightOn[COMPAT_LIGHTS] = {};
    bool texturing[COMPAT_TEXCOORD_SETS] = {};
    GLenum alphaFunc = GL_ALWAYS;
    float alphaReference = 0.0f;

    unsigned matrixSerial = 1, lightSerial = 1, materialSerial = 1, fogSerial = 1, fixedSerial = 1;
    unsigned derivedSerial = 0;  // the matrix serial the derived matrices belong to
    Mat4 modelViewProjection;
    float normal[9];

    GLuint program = 0;      // the show's current program; 0 = the layer's own
    GLuint realProgram = 0;  // the program current in the context
    std::vector<ProgramBuiltIns> programs;
};

Layer layer;

void copy4(float* to, float a, float b, float c, float d)
{
    to[0] = a;
    to[1] = b;
    to[2] = c;
    to[3] = d;
}

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

}  // namespace

namespace {

// What fixed function did for the draws the show makes without a program:
// vertex colour (clamped, as vertex colours are), times the unit-0 texture
// when texturing is on, alpha test, then fog by eye depth. Written with the
// desktop built-ins and rewritten like the show's own programs.
constexpr const char* FIXED_VERTEX_SOURCE =
    "void main()\n"
    "{\n"
    "    vec4 eye = gl_ModelViewMatrix * gl_Vertex;\n"
    "    gl_FrontColor = clamp(gl_Color, 0.0, 1.0);\n"
    "    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;\n"
    "    gl_FogFragCoord = abs(eye.z);\n"
    "    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;\n"
    "}\n";

constexpr const char* FIXED_FRAGMENT_SOURCE =
    "uniform sampler2D compatUnit0;\n"
    "uniform bool compatTexturing;\n"
    "uniform int compatFogMode;\n"          // 0 off, 1 linear, 2 exp, 3 exp2
    "uniform int compatAlphaFunc;\n"        // 0 off, else the function less GL_NEVER, plus 1
    "uniform float compatAlphaReference;\n"
    "void main()\n"
    "{\n"
    "    vec4 colour = gl_Color;\n"
    "    if (compatTexturing)\n"
    "        colour *= texture2D(compatUnit0, gl_TexCoord[0].st);\n"
    "    if (compatAlphaFunc > 0) {\n"
    "        float a = colour.a;\n"
    "        float r = compatAlphaReference;\n"
    "        bool pass = compatAlphaFunc == 8\n"
    "            || (compatAlphaFunc == 2 && a < r) || (compatAlphaFunc == 3 && a == r)\n"
    "            || (compatAlphaFunc == 4 && a <= r) || (compatAlphaFunc == 5 && a > r)\n"
    "            || (compatAlphaFunc == 6 && a != r) || (compatAlphaFunc == 7 && a >= r);\n"
    "        if (!pass)\n"
    "            discard;\n"
    "    }\n"
    "    if (compatFogMode > 0) {\n"
    "        float z = gl_FogFragCoord;\n"
    "        float f;\n"
    "        if (compatFogMode == 1)\n"
    "            f = (gl_Fog.end - z) * gl_Fog.scale;\n"
    "        else if (compatFogMode == 2)\n"
    "            f = exp(-gl_Fog.density * z);\n"
    "        else\n"
    "            f = exp(-(gl_Fog.density * z) * (gl_Fog.density * z));\n"
    "        colour.rgb = mix(gl_Fog.color.rgb, colour.rgb, clamp(f, 0.0, 1.0));\n"
    "    }\n"
    "    gl_FragColor = colour;\n"
    "}\n";

GLint location(GLuint program, const std::string& name)
{
    return glGetUniformLocation(program, name.c_str());
}

// Looks up every built-in the rewritten program may read.
ProgramBuiltIns findBuiltIns(GLuint program)
{
    ProgramBuiltIns b;
    b.program = program;
    b.modelView = location(program, "compatModelViewMatrix");
    b.projection = location(program, "compatProjectionMatrix");
    b.modelViewProjection = location(program, "compatModelViewProjectionMatrix");
    b.normalMatrix = location(program, "compatNormalMatrix");
    for (int i = 0; i < COMPAT_TEXCOORD_SETS; ++i)
        b.textureMatrix[i] = location(program, "compatTextureMatrix[" + std::to_string(i) + "]");
    for (int i = 0; i < COMPAT_LIGHTS; ++i) {
        const std::string light = "compatLightSource[" + std::to_string(i) + "].";
        LightLocations& at = b.lights[i];
        at.ambient = location(program, light + "ambient");
        at.diffuse = location(program, light + "diffuse");
        at.specular = location(program, light + "specular");
        at.position = location(program, light + "position");
        at.halfVector = location(program, light + "halfVector");
        at.spotDirection = location(program, light + "spotDirection");
        at.spotExponent = location(program, light + "spotExponent");
        at.spotCutoff = location(program, light + "spotCutoff");
        at.spotCosCutoff = location(program, light + "spotCosCutoff");
        at.constantAttenuation = location(program, light + "constantAttenuation");
        at.linearAttenuation = location(program, light + "linearAttenuation");
        at.quadraticAttenuation = location(program, light + "quadraticAttenuation");
    }
    const char* const faces[2] = {"compatFrontMaterial.", "compatBackMaterial."};
    for (int i = 0; i < 2; ++i) {
        const std::string face = faces[i];
        MaterialLocations& at = b.materials[i];
        at.emission = location(program, face + "emission");
        at.ambient = location(program, face + "ambient");
        at.diffuse = location(program, face + "diffuse");
        at.specular = location(program, face + "specular");
        at.shininess = location(program, face + "shininess");
    }
    b.fogColour = location(program, "compatFog.color");
    b.fogDensity = location(program, "compatFog.density");
    b.fogStart = location(program, "compatFog.start");
    b.fogEnd = location(program, "compatFog.end");
    b.fogScale = location(program, "compatFog.scale");
    b.lightModelAmbient = location(program, "compatLightModel.ambient");
    b.texturing = location(program, "compatTexturing");
    b.fogMode = location(program, "compatFogMode");
    b.alphaFunc = location(program, "compatAlphaFunc");
    b.alphaReference = location(program, "compatAlphaReference");
    return b;
}

ProgramBuiltIns* builtInsOf(GLuint program)
{
    for (ProgramBuiltIns& b : layer.programs)
        if (b.program == program)
            return &b;
    return nullptr;
}

void setVec4(GLint at, const float* v)
{
    if (at >= 0)
        glUniform4fv(at, 1, v);
}

void setVec3(GLint at, const float* v)
{
    if (at >= 0)
        glUniform3fv(at, 1, v);
}

void setFloat(GLint at, float v)
{
    if (at >= 0)
        glUniform1f(at, v);
}

void setMatrix(GLint at, const Mat4& m)
{
    if (at >= 0)
        glUniformMatrix4fv(at, 1, GL_FALSE, m.m);
}

void feedMatrices(const ProgramBuiltIns& b)
{
    Layer& l = layer;
    if (l.derivedSerial != l.matrixSerial) {
        l.modelViewProjection = multiplyMatrices(l.projection.top(), l.modelView.top());
        normalMatrix(l.modelView.top(), l.normal);
        l.derivedSerial = l.matrixSerial;
    }
    setMatrix(b.modelView, l.modelView.top());
    setMatrix(b.projection, l.projection.top());
    setMatrix(b.modelViewProjection, l.modelViewProjection);
    if (b.normalMatrix >= 0)
        glUniformMatrix3fv(b.normalMatrix, 1, GL_FALSE, l.normal);
    for (int i = 0; i < COMPAT_TEXCOORD_SETS; ++i)
        setMatrix(b.textureMatrix[i], l.texture[i].top());
}

// The half vector of a light as fixed function keeps it: towards the light
// plus towards an infinitely distant viewer, normalised.
void halfVector(const Light& light, float out[4])
{
    float h[3] = {light.position[0], light.position[1], light.position[2]};
    const float length = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
    if (length > 0.0f)
        for (float& c : h)
            c /= length;
    h[2] += 1.0f;
    const float halfLength = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
    for (int i = 0; i < 3; ++i)
        out[i] = halfLength > 0.0f ? h[i] / halfLength : 0.0f;
    out[3] = 0.0f;
}

void feedLights(const ProgramBuiltIns& b)
{
    for (int i = 0; i < COMPAT_LIGHTS; ++i) {
        const Light& light = layer.lights[i];
        const LightLocations& at = b.lights[i];
        setVec4(at.ambient, light.ambient);
        setVec4(at.diffuse, light.diffuse);
        setVec4(at.specular, light.specular);
        setVec4(at.position, light.position);
        if (at.halfVector >= 0) {
            float h[4];
            halfVector(light, h);
            glUniform4fv(at.halfVector, 1, h);
        }
        setVec3(at.spotDirection, light.spotDirection);
        setFloat(at.spotExponent, light.spotExponent);
        setFloat(at.spotCutoff, light.spotCutoff);
        setFloat(at.spotCosCutoff,
                 static_cast<float>(std::cos(static_cast<double>(light.spotCutoff) * 3.14159265358979323846 / 180.0)));
        setFloat(at.constantAttenuation, light.attenuation[0]);
        setFloat(at.linearAttenuation, light.attenuation[1]);
        setFloat(at.quadraticAttenuation, light.attenuation[2]);
    }
    setVec4(b.lightModelAmbient, layer.lightModelAmbient);
}

void feedMaterials(const ProgramBuiltIns& b)
{
    for (int i = 0; i < 2; ++i) {
        const Material& material = layer.materials[i];
        const MaterialLocations& at = b.materials[i];
        setVec4(at.emission, material.emission);
        setVec4(at.ambient, material.ambient);
        setVec4(at.diffuse, material.diffuse);
        setVec4(at.specular, material.specular);
        setFloat(at.shininess, material.shininess);
    }
}

void feedFog(const ProgramBuiltIns& b)
{
    const Fog& fog = layer.fog;
    setVec4(b.fogColour, fog.colour);
    setFloat(b.fogDensity, fog.density);
    setFloat(b.fogStart, fog.start);
    setFloat(b.fogEnd, fog.end);
    setFloat(b.fogScale, fog.end != fog.start ? 1.0f / (fog.end - fog.start) : 0.0f);
}

void feedFixed(const ProgramBuiltIns& b)
{
    const Layer& l = layer;
    if (b.texturing >= 0)
        glUniform1i(b.texturing, l.texturing[0] ? 1 : 0);
    if (b.fogMode >= 0) {
        int mode = 0;
        if (l.fogOn)
            mode = l.fog.mode == GL_LINEAR ? 1 : (l.fog.mode == GL_EXP ? 2 : 3);
        glUniform1i(b.fogMode, mode);
    }
    if (b.alphaFunc >= 0)
        glUniform1i(b.alphaFunc, l.alphaTest ? static_cast<int>(l.alphaFunc - GL_NEVER) + 1 : 0);
    setFloat(b.alphaReference, l.alphaReference);
}

// Brings the built-ins of the program about to draw up to date.
void feedBuiltIns(ProgramBuiltIns& b)
{
    const Layer& l = layer;
    if (b.fedMatrices != l.matrixSerial) {
        feedMatrices(b);
        b.fedMatrices = l.matrixSerial;
    }
    if (b.fedLights != l.lightSerial) {
        feedLights(b);
        b.fedLights = l.lightSerial;
    }
    if (b.fedMaterials != l.materialSerial) {
        feedMaterials(b);
        b.fedMaterials = l.materialSerial;
    }
    if (b.fedFog != l.fogSerial) {
        feedFog(b);
        b.fedFog = l.fogSerial;
    }
    if (b.fedFixed != l.fixedSerial) {
        feedFixed(b);
        b.fedFixed = l.fixedSerial;
    }
}

void useRealProgram(GLuint program)
{
    if (layer.realProgram != program) {
        glUseProgram(program);
        layer.realProgram = program;
    }
}

// Binds the attribute names to the layer's slots, links, and learns where
// the linked program reads the built-ins.
void linkWithBuiltIns(GLuint program)
{
    for (int i = 0; i < ATTRIBUTE_COUNT; ++i)
        glBindAttribLocation(program, static_cast<GLuint>(i), COMPAT_ATTRIBUTE_NAMES[i]);
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    ProgramBuiltIns* known = builtInsOf(program);
    if (!linked) {
        if (known)
            *known = ProgramBuiltIns{};
        return;
    }
    const ProgramBuiltIns found = findBuiltIns(program);
    if (known)
        *known = found;
    else
        layer.programs.push_back(found);
}

GLuint compileRewritten(GLenum type, const char* source, std::string& failure)
{
    const GLuint shader = glCreateShader(type);
    const std::string text =
        rewriteShader(source, type == GL_VERTEX_SHADER ? ShaderStage::Vertex : ShaderStage::Fragment);
    const char* pointer = text.c_str();
    glShaderSource(shader, 1, &pointer, nullptr);
    glCompileShader(shader);
    GLint compiled = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        char log[512] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        failure = std::string("the layer's own shader does not compile: ") + log;
    }
    return shader;
}

bool buildFixedProgram(std::string& failure)
{
    const GLuint vertex = compileRewritten(GL_VERTEX_SHADER, FIXED_VERTEX_SOURCE, failure);
    const GLuint fragment = compileRewritten(GL_FRAGMENT_SHADER, FIXED_FRAGMENT_SOURCE, failure);
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    linkWithBuiltIns(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        if (failure.empty())
            failure = "the layer's own program does not link";
        glDeleteProgram(program);
        return false;
    }
    useRealProgram(program);
    glUniform1i(location(program, "compatUnit0"), 0);
    layer.fixedProgram = program;
    return true;
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
