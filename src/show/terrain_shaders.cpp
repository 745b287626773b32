#include "show/shader_sources.h"

// Placeholder until the terrain pass lands: compiles, passes the colour on.
const char* const PP_VERTEX_SOURCE =
    "void main() {\n"
    "    gl_FrontColor = gl_Color;\n"
    "    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;\n"
    "}\n";

const char* const PP_FRAGMENT_SOURCE =
    "void main() {\n"
    "    gl_FragColor = gl_Color;\n"
    "}\n";
