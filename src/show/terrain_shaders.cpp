#include "show/shader_sources.h"

// "PP_VERT": eye-space normal, light and half vectors, light distance and
// eye depth for the fragment stage; diffuse and ambient products of the
// vertex colour, material and light 0.
const char* const PP_VERTEX_SOURCE =
    "varying vec4 diffuse;\n"
    "varying vec4 ambient;\n"
    "varying vec3 normal;\n"
    "varying vec3 lightDir;\n"
    "varying vec3 halfVector;\n"
    "varying float dist;\n"
    "varying float fogZ;\n"
    "\n"
    "void main()\n"
    "{\n"
    "    normal = gl_NormalMatrix * gl_Normal;\n"
    "    vec4 p = gl_ModelViewMatrix * gl_Vertex;\n"
    "    fogZ = p.z;\n"
    "    vec3 a = gl_LightSource[0].position.xyz - p.xyz;\n"
    "    lightDir = a;\n"
    "    dist = length(a);\n"
    "    halfVector = normalize(a - p.xyz);\n"
    "    diffuse = gl_Color * gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;\n"
    "    ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient;\n"
    "    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;\n"
    "}\n";

// "PP_FRAG": ambient, plus attenuated diffuse and specular (exponent 8) where
// the surface faces the light, then blended into the fog colour by the
// squared-exponential weight exp(-(0.04 z)^2) of the eye depth z.
const char* const PP_FRAGMENT_SOURCE =
    "varying vec4 diffuse;\n"
    "varying vec4 ambient;\n"
    "varying vec3 normal;\n"
    "varying vec3 lightDir;\n"
    "varying vec3 halfVector;\n"
    "varying float dist;\n"
    "varying float fogZ;\n"
    "\n"
    "void main()\n"
    "{\n"
    "    vec4 lit = ambient;\n"
    "    vec3 n = normalize(normal);\n"
    "    float NdotL = max(dot(n, normalize(lightDir)), 0.0);\n"
    "    if (NdotL > 0.0) {\n"
    "        float att = 1.0 / (gl_LightSource[0].constantAttenuation\n"
    "                           + gl_LightSource[0].linearAttenuation * dist\n"
    "                           + gl_LightSource[0].quadraticAttenuation * dist * dist);\n"
    "        lit += att * (diffuse * NdotL);\n"
    "        float NdotHV = max(dot(n, normalize(halfVector)), 0.0);\n"
    "        float spec = pow(NdotHV, 8.0);\n"
    "        lit += att * gl_FrontMaterial.specular * gl_LightSource[0].specular * spec;\n"
    "    }\n"
    "    float depth = abs(fogZ * 0.04);\n"
    "    float f = clamp(exp(-(depth * depth)), 0.0, 1.0);\n"
    "    gl_FragColor = (1.0 - f) * gl_Fog.color + f * lit;\n"
    "}\n";
