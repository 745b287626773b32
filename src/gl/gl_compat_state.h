// Inside the compatibility layer (gl_compat*.cpp) only: the state it keeps
// for the current context, and the steps its three files share (the draw
// path in gl_compat.cpp, the programs and their built-ins in
// gl_compat_programs.cpp, the loader's entry points in gl_compat_entries.cpp).
// Main thread only, like the layer.
#pragma once

#define QUILLMOOR_GL_COMPAT_INSIDE
#include "gl/gl_compat.h"

#include <memory>
#include <string>
#include <vector>

#include "gl/gl_matrix.h"
#include "gl/shader_rewrite.h"

namespace glcompat {

// One vertex as the layer's buffer holds it.
struct Vertex {
    float position[4];
    float colour[4];
    float normal[3];
    float texCoord[COMPAT_TEXCOORD_SETS][4];
};

// Vertices in the buffer, three a triangle: a frame of the show (the terrain
// alone is 14406) fits before the buffer starts over.
constexpr int BATCH_CAPACITY = 32768;
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
    GLenum textureFunction[COMPAT_TEXCOORD_SETS] = {GL_MODULATE, GL_MODULATE};
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

extern Layer layer;

inline void copy4(float* to, float a, float b, float c, float d)
{
    to[0] = a;
    to[1] = b;
    to[2] = c;
    to[3] = d;
}

// Makes `program` current in the context unless it already is.
void useRealProgram(GLuint program);
// What the layer knows of a linked program, or null.
ProgramBuiltIns* builtInsOf(GLuint program);
// Brings the built-ins of the program about to draw up to date.
void feedBuiltIns(ProgramBuiltIns& builtIns);
// Binds the attribute names to the layer's slots, links, and learns where
// the linked program reads the built-ins.
void linkWithBuiltIns(GLuint program);
// The layer's own program for draws without one; false with a reason.
bool buildFixedProgram(std::string& failure);

}  // namespace glcompat
