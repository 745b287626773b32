// The GL the show's code calls, one header for all of it. A desktop build
// gets the system's OpenGL 2.0 headers and GLU, and calls them directly. A
// build with QUILLMOOR_GL_COMPAT (the browser's WebGL 2, or OpenGL ES 3 on
// the desktop for tests) gets the same names, mapped onto the compatibility
// layer of gl_compat.h, which draws with OpenGL ES 3.0 alone.
// glApiStart/glApiStop bracket the life of a context for whichever is in use.
#pragma once

#include <string>

#ifdef QUILLMOOR_GL_COMPAT
#include "gl/gl_compat.h"
#else
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

// Desktop OpenGL needs nothing set up beyond its context.
inline bool glApiStart(std::string&) { return true; }
inline void glApiStop() {}
#endif
