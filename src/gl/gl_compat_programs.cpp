#include "gl/gl_compat_state.h"

#include <cmath>

namespace glcompat {

namespace {

// What fixed function did for the draws the show makes without a program:
// vertex colour (clamped, as vertex colours are), combined with the unit-0
// texture by its function when texturing is on, alpha test, then fog by eye
// depth. Written with the
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
    "uniform int compatTexturing;\n"      // 0 off, 1 modulate, 2 replace, 3 decal, 4 add
    "uniform int compatFogMode;\n"          // 0 off, 1 linear, 2 exp, 3 exp2
    "uniform int compatAlphaFunc;\n"        // 0 off, else the function less GL_NEVER, plus 1
    "uniform float compatAlphaReference;\n"
    "void main()\n"
    "{\n"
    "    vec4 colour = gl_Color;\n"
    "    if (compatTexturing > 0) {\n"
    "        vec4 texel = texture2D(compatUnit0, gl_TexCoord[0].st);\n"
    "        if (compatTexturing == 1)\n"
    "            colour *= texel;\n"
    "        else if (compatTexturing == 2)\n"
    "            colour = texel;\n"
    "        else if (compatTexturing == 3)\n"
    "            colour.rgb = mix(colour.rgb, texel.rgb, texel.a);\n"
    "        else\n"
    "            colour = vec4(colour.rgb + texel.rgb, colour.a * texel.a);\n"
    "    }\n"
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
    if (b.texturing >= 0) {
        int function = 0;
        if (l.texturing[0]) {
            switch (l.textureFunction[0]) {
            case GL_REPLACE: function = 2; break;
            case GL_DECAL: function = 3; break;
            case GL_ADD: function = 4; break;
            default: function = 1; break;
            }
        }
        glUniform1i(b.texturing, function);
    }
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

}  // namespace

ProgramBuiltIns* builtInsOf(GLuint program)
{
    for (ProgramBuiltIns& b : layer.programs)
        if (b.program == program)
            return &b;
    return nullptr;
}

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

}  // namespace glcompat
