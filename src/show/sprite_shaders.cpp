#include "show/shader_sources.h"

// Vertex stage: every billboard arrives as four copies of the particle's
// centre, with its corner (+-1, +-1) in the third and fourth texture
// coordinates. The corner is spread along the camera's right and up axes by
// a scale that grows with the sprite's depth distance from the camera target,
// and the clip-space depth goes to the fragment stage.
const char* const FAKEDOF_VERTEX_SOURCE =
    "#version 120\n"
    "uniform vec4 camTarget;\n"
    "uniform float size;\n"
    "uniform float focalDist;\n"
    "varying vec4 globalColor;\n"
    "varying float depth;\n"
    "void main() {\n"
    "    gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "    globalColor = gl_Color;\n"
    "    vec4 vertexEye = gl_ModelViewMatrix * gl_Vertex;\n"
    "    vec4 targetEye = gl_ModelViewMatrix * camTarget;\n"
    "    vertexEye.xy = vec2(0.0, 0.0);\n"
    "    targetEye.xy = vec2(0.0, 0.0);\n"
    "    float delta = length(targetEye.xyz - vertexEye.xyz);\n"
    "    float scale = (1.1 - focalDist / 6.0) * size\n"
    "                * (0.2 + 6.0 * smoothstep(0.5, 10.0, 4.0 * delta));\n"
    "    vec3 axis1 = vec3(gl_ModelViewMatrix[0][0], gl_ModelViewMatrix[1][0],"
    " gl_ModelViewMatrix[2][0]);\n"
    "    vec3 axis2 = vec3(gl_ModelViewMatrix[0][1], gl_ModelViewMatrix[1][1],"
    " gl_ModelViewMatrix[2][1]);\n"
    "    vec3 corner = (gl_MultiTexCoord0.z * axis1 + gl_MultiTexCoord0.w * axis2) * scale\n"
    "                + gl_Vertex.xyz;\n"
    "    gl_Position = gl_ModelViewProjectionMatrix * vec4(corner, 1.0);\n"
    "    depth = gl_Position.z;\n"
    "}\n";

// Fragment stage: a small five-tap filter over both pictures, each tap mixed
// from sharp to blurred by the fragment's distance from the focal plane; the
// alpha fades from 0.9 in focus to a quarter of that out of focus.
const char* const FAKEDOF_FRAGMENT_SOURCE =
    "#version 120\n"
    "uniform sampler2D sharp;\n"
    "uniform sampler2D blurred;\n"
    "uniform float focalPlaneDepth;\n"
    "uniform float focalDist;\n"
    "varying vec4 globalColor;\n"
    "varying float depth;\n"
    "const vec2 FILTER_TAPS[5] = vec2[5](\n"
    "    vec2(-0.0025, -0.0025), vec2(0.0025, -0.0025), vec2(0.0, 0.0),\n"
    "    vec2(0.0025, 0.0025), vec2(-0.0025, 0.0025));\n"
    "const float WEIGHTS[5] = float[5](0.1, 0.1, 0.6, 0.1, 0.1);\n"
    "void main() {\n"
    "    float fragmentDist = smoothstep(0.0, focalDist, abs(depth - focalPlaneDepth));\n"
    "    vec4 finalTap = vec4(0.0, 0.0, 0.0, 0.0);\n"
    "    for (int i = 0; i < 5; i++) {\n"
    "        vec2 at = gl_TexCoord[0].st + FILTER_TAPS[i];\n"
    "        vec4 tap = texture2D(sharp, at) * (1.0 - fragmentDist)\n"
    "                 + texture2D(blurred, at) * fragmentDist;\n"
    "        finalTap += WEIGHTS[i] * tap;\n"
    "    }\n"
    "    finalTap.a = 0.9;\n"
    "    gl_FragColor = finalTap * globalColor;\n"
    "    gl_FragColor.a *= 1.0 - 0.75 * fragmentDist;\n"
    "}\n";

// Fragment stage for sprites that lie a whole focal range or more from the
// focal plane: there the blend above is entirely the blurred picture
// (sharp x 0 + blurred, exactly), so only that picture is read, with the
// same taps, weights and alpha, for the same pixels at half the reads.
const char* const FAKEDOF_FAR_FRAGMENT_SOURCE =
    "#version 120\n"
    "uniform sampler2D blurred;\n"
    "varying vec4 globalColor;\n"
    "const vec2 FILTER_TAPS[5] = vec2[5](\n"
    "    vec2(-0.0025, -0.0025), vec2(0.0025, -0.0025), vec2(0.0, 0.0),\n"
    "    vec2(0.0025, 0.0025), vec2(-0.0025, 0.0025));\n"
    "const float WEIGHTS[5] = float[5](0.1, 0.1, 0.6, 0.1, 0.1);\n"
    "void main() {\n"
    "    vec4 finalTap = vec4(0.0, 0.0, 0.0, 0.0);\n"
    "    for (int i = 0; i < 5; i++) {\n"
    "        vec2 at = gl_TexCoord[0].st + FILTER_TAPS[i];\n"
    "        finalTap += WEIGHTS[i] * texture2D(blurred, at);\n"
    "    }\n"
    "    finalTap.a = 0.9;\n"
    "    gl_FragColor = finalTap * globalColor;\n"
    "    gl_FragColor.a *= 0.25;\n"
    "}\n";
