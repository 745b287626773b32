// Turns a desktop GLSL 1.10/1.20 shader that reads the fixed-function
// built-ins (gl_Vertex, gl_Color, gl_MultiTexCoordN, gl_Normal, the matrices,
// gl_TexCoord, gl_FrontColor, gl_LightSource, gl_FrontMaterial, gl_Fog,
// gl_FragColor, ...) into GLSL ES 3.00, where each built-in it uses becomes a
// declared attribute, varying, uniform or output under a "compat" name that
// the compatibility layer binds and feeds at each draw. Generic over the
// built-ins: any program written in that style is rewritten the same way.
// Also maps attribute/varying and the texture lookup functions to their ES
// forms. Pure text work: no GL, any thread.
#pragma once

#include <string>

enum class ShaderStage { Vertex, Fragment };

// Texture coordinate sets and lights the rewritten declarations hold.
constexpr int COMPAT_TEXCOORD_SETS = 2;
constexpr int COMPAT_LIGHTS = 8;

// The names the vertex attributes are bound to, by layer attribute slot.
enum CompatAttribute {
    ATTRIBUTE_VERTEX = 0,
    ATTRIBUTE_COLOR,
    ATTRIBUTE_NORMAL,
    ATTRIBUTE_TEXCOORD0,
    ATTRIBUTE_TEXCOORD1,
    ATTRIBUTE_COUNT
};
extern const char* const COMPAT_ATTRIBUTE_NAMES[ATTRIBUTE_COUNT];

// The GLSL ES 3.00 text of `source` for `stage`.
std::string rewriteShader(const std::string& source, ShaderStage stage);
