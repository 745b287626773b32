#include "show/shader_sources.h"

// Placeholder until the sprite pass lands: compiles and declares the
// uniforms the content set-up registers.
const char* const FAKEDOF_VERTEX_SOURCE =
    "#version 120\n"
    "uniform vec4 camTarget;\n"
    "uniform float size;\n"
    "uniform float focalDist;\n"
    "void main() {\n"
    "    gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "    gl_FrontColor = gl_Color;\n"
    "    vec4 p = gl_Vertex + camTarget * 0.0;\n"
    "    p.xy += gl_MultiTexCoord0.zw * size * (1.0 + focalDist * 0.0);\n"
    "    gl_Position = gl_ModelViewProjectionMatrix * p;\n"
    "}\n";

const char* const FAKEDOF_FRAGMENT_SOURCE =
    "#version 120\n"
    "uniform sampler2D sharp;\n"
    "uniform sampler2D blurred;\n"
    "uniform float focalPlaneDepth;\n"
    "uniform float focalDist;\n"
    "void main() {\n"
    "    vec4 s = texture2D(sharp, gl_TexCoord[0].st);\n"
    "    vec4 b = texture2D(blurred, gl_TexCoord[0].st);\n"
    "    float k = clamp(focalPlaneDepth * 0.0 + focalDist * 0.0, 0.0, 1.0);\n"
    "    gl_FragColor = mix(s, b, k) * gl_Color;\n"
    "}\n";
