// The compatibility layer: the OpenGL 2.0 the show calls, drawn with OpenGL
// ES 3.0 alone (WebGL 2 in a browser). It owns
//   - immediate mode: glBegin/glEnd with glVertex, glColor, glTexCoord,
//     glNormal and glMultiTexCoord, assembled into triangles in one
//     preallocated vertex buffer and drawn when state changes (consecutive
//     begin/end pairs with nothing between them become one draw);
//   - the modelview, projection and texture matrix stacks, with the GLU
//     projection and camera helpers;
//   - the light, material and fog state, and the fixed-function caps;
//   - the show's programs: their sources rewritten into GLSL ES
//     (shader_rewrite.h) and the built-ins they read fed at each draw; draws
//     with no program go to the layer's own program (vertex colour times the
//     unit-0 texture by its texture function, fog and alpha test when enabled);
//   - texture upload with mipmaps (gluBuild2DMipmaps).
// Reached through gl_api.h, which maps the GL names onto the functions here,
// and through the loader's table (compatProcAddress). Main thread only, with
// the context current between glApiStart and glApiStop.
#pragma once

#include <GLES3/gl3.h>

#include <string>

// Tokens of the fixed-function pipeline, with desktop OpenGL's values.
#define GL_QUADS 0x0007
#define GL_QUAD_STRIP 0x0008
#define GL_POLYGON 0x0009
#define GL_MODELVIEW 0x1700
#define GL_PROJECTION 0x1701
#define GL_MODELVIEW_MATRIX 0x0BA6
#define GL_PROJECTION_MATRIX 0x0BA7
#define GL_TEXTURE_MATRIX 0x0BA8
#define GL_LIGHTING 0x0B50
#define GL_LIGHT_MODEL_AMBIENT 0x0B53
#define GL_COLOR_MATERIAL 0x0B57
#define GL_NORMALIZE 0x0BA1
#define GL_LIGHT0 0x4000
#define GL_LIGHT1 0x4001
#define GL_AMBIENT 0x1200
#define GL_DIFFUSE 0x1201
#define GL_SPECULAR 0x1202
#define GL_POSITION 0x1203
#define GL_SPOT_DIRECTION 0x1204
#define GL_SPOT_EXPONENT 0x1205
#define GL_SPOT_CUTOFF 0x1206
#define GL_CONSTANT_ATTENUATION 0x1207
#define GL_LINEAR_ATTENUATION 0x1208
#define GL_QUADRATIC_ATTENUATION 0x1209
#define GL_EMISSION 0x1600
#define GL_SHININESS 0x1601
#define GL_AMBIENT_AND_DIFFUSE 0x1602
#define GL_FOG 0x0B60
#define GL_FOG_DENSITY 0x0B62
#define GL_FOG_START 0x0B63
#define GL_FOG_END 0x0B64
#define GL_FOG_MODE 0x0B65
#define GL_FOG_COLOR 0x0B66
#define GL_EXP 0x0800
#define GL_EXP2 0x0801
#define GL_ALPHA_TEST 0x0BC0
#define GL_TEXTURE_ENV 0x2300
#define GL_TEXTURE_ENV_MODE 0x2200
#define GL_MODULATE 0x2100
#define GL_DECAL 0x2101
#define GL_ADD 0x0104
#define GL_SMOOTH 0x1D01
#define GL_CLAMP 0x2900
#define GL_FRAMEBUFFER_EXT GL_FRAMEBUFFER
#define GL_RENDERBUFFER_EXT GL_RENDERBUFFER
#define GL_COLOR_ATTACHMENT0_EXT GL_COLOR_ATTACHMENT0
#define GL_DEPTH_ATTACHMENT_EXT GL_DEPTH_ATTACHMENT
#define GL_FRAMEBUFFER_COMPLETE_EXT GL_FRAMEBUFFER_COMPLETE

typedef double GLdouble;

// The loader's table under its extension names (core in OpenGL ES 3.0).
typedef PFNGLBLENDEQUATIONPROC PFNGLBLENDEQUATIONEXTPROC;
typedef PFNGLACTIVETEXTUREPROC PFNGLCLIENTACTIVETEXTUREARBPROC;
typedef void(GL_APIENTRYP PFNGLMULTITEXCOORD1FARBPROC)(GLenum target, GLfloat s);
typedef void(GL_APIENTRYP PFNGLMULTITEXCOORD2FARBPROC)(GLenum target, GLfloat s, GLfloat t);
typedef void(GL_APIENTRYP PFNGLMULTITEXCOORD3FARBPROC)(GLenum target, GLfloat s, GLfloat t, GLfloat r);
typedef void(GL_APIENTRYP PFNGLMULTITEXCOORD4FARBPROC)(GLenum target, GLfloat s, GLfloat t, GLfloat r,
                                                       GLfloat q);
typedef void(GL_APIENTRYP PFNGLMULTITEXCOORD1FVARBPROC)(GLenum target, const GLfloat* v);
typedef PFNGLMULTITEXCOORD1FVARBPROC PFNGLMULTITEXCOORD2FVARBPROC;
typedef PFNGLMULTITEXCOORD1FVARBPROC PFNGLMULTITEXCOORD3FVARBPROC;
typedef PFNGLMULTITEXCOORD1FVARBPROC PFNGLMULTITEXCOORD4FVARBPROC;
typedef PFNGLGENFRAMEBUFFERSPROC PFNGLGENFRAMEBUFFERSEXTPROC;
typedef PFNGLDELETEFRAMEBUFFERSPROC PFNGLDELETEFRAMEBUFFERSEXTPROC;
typedef PFNGLBINDFRAMEBUFFERPROC PFNGLBINDFRAMEBUFFEREXTPROC;
typedef PFNGLFRAMEBUFFERTEXTURE2DPROC PFNGLFRAMEBUFFERTEXTURE2DEXTPROC;
typedef PFNGLGENRENDERBUFFERSPROC PFNGLGENRENDERBUFFERSEXTPROC;
typedef PFNGLDELETERENDERBUFFERSPROC PFNGLDELETERENDERBUFFERSEXTPROC;
typedef PFNGLBINDRENDERBUFFERPROC PFNGLBINDRENDERBUFFEREXTPROC;
typedef PFNGLRENDERBUFFERSTORAGEPROC PFNGLRENDERBUFFERSTORAGEEXTPROC;
typedef PFNGLFRAMEBUFFERRENDERBUFFERPROC PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC;
typedef PFNGLCHECKFRAMEBUFFERSTATUSPROC PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC;

// Life of the layer on the current context: buffers and its own program;
// false with a reason when the context cannot give them.
bool glApiStart(std::string& failure);
// Releases what glApiStart made (the context still current); safe twice.
void glApiStop();

// What the extension loader reads: the context's extension string with the
// capabilities OpenGL ES 3.0 has in its core added under their desktop
// names, and the loader's entry points by name (the layer's where it
// stands in for GL; other window-system names from the platform).
const char* compatExtensionString();
void* compatProcAddress(const char* name);

// Draws the vertices gathered so far (every state change does it first).
void compatFlush();

// Immediate mode.
void compatBegin(GLenum mode);
void compatEnd();
void compatVertex4f(GLfloat x, GLfloat y, GLfloat z, GLfloat w);
void compatColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void compatTexCoord4f(GLfloat s, GLfloat t, GLfloat r, GLfloat q);
void compatNormal3f(GLfloat x, GLfloat y, GLfloat z);
inline void compatVertex2f(GLfloat x, GLfloat y) { compatVertex4f(x, y, 0.0f, 1.0f); }
inline void compatVertex3f(GLfloat x, GLfloat y, GLfloat z) { compatVertex4f(x, y, z, 1.0f); }
inline void compatVertex3fv(const GLfloat* v) { compatVertex4f(v[0], v[1], v[2], 1.0f); }
inline void compatVertex4fv(const GLfloat* v) { compatVertex4f(v[0], v[1], v[2], v[3]); }
inline void compatColor3f(GLfloat r, GLfloat g, GLfloat b) { compatColor4f(r, g, b, 1.0f); }
inline void compatColor4fv(const GLfloat* v) { compatColor4f(v[0], v[1], v[2], v[3]); }
inline void compatTexCoord2f(GLfloat s, GLfloat t) { compatTexCoord4f(s, t, 0.0f, 1.0f); }
inline void compatTexCoord2fv(const GLfloat* v) { compatTexCoord4f(v[0], v[1], 0.0f, 1.0f); }
inline void compatNormal3fv(const GLfloat* v) { compatNormal3f(v[0], v[1], v[2]); }

// Matrix stacks.
void compatMatrixMode(GLenum mode);
void compatLoadIdentity();
void compatPushMatrix();
void compatPopMatrix();
void compatLoadMatrixf(const GLfloat* m);
void compatMultMatrixf(const GLfloat* m);
void compatTranslatef(GLfloat x, GLfloat y, GLfloat z);
void compatRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);
void compatScalef(GLfloat x, GLfloat y, GLfloat z);
void compatOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar);
void compatFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar);
void compatPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);
void compatLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centreX, GLdouble centreY,
                  GLdouble centreZ, GLdouble upX, GLdouble upY, GLdouble upZ);
inline void compatOrtho2D(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top)
{
    compatOrtho(left, right, bottom, top, -1.0, 1.0);
}
// Matrix queries from the stacks; anything else from the context.
void compatGetFloatv(GLenum name, GLfloat* values);

// Lights, material, fog, light model, alpha test.
void compatLightfv(GLenum light, GLenum name, const GLfloat* values);
inline void compatLightf(GLenum light, GLenum name, GLfloat value) { compatLightfv(light, name, &value); }
void compatMaterialfv(GLenum face, GLenum name, const GLfloat* values);
inline void compatMaterialf(GLenum face, GLenum name, GLfloat value) { compatMaterialfv(face, name, &value); }
void compatLightModelfv(GLenum name, const GLfloat* values);
void compatFogfv(GLenum name, const GLfloat* values);
inline void compatFogf(GLenum name, GLfloat value) { compatFogfv(name, &value); }
inline void compatFogi(GLenum name, GLint value)
{
    const GLfloat v = static_cast<GLfloat>(value);
    compatFogfv(name, &v);
}
void compatAlphaFunc(GLenum func, GLfloat reference);

// Caps: the fixed-function ones are kept here, the rest go to the context.
void compatEnable(GLenum cap);
void compatDisable(GLenum cap);
GLboolean compatIsEnabled(GLenum cap);
// The texture function of the active unit: modulate, replace, decal or add.
void compatTexEnvi(GLenum target, GLenum name, GLint mode);
// Only smooth shading exists here.
inline void compatShadeModel(GLenum) {}

// Textures: desktop component counts as formats, mipmaps from level 0.
void compatTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                      GLint border, GLenum format, GLenum type, const void* pixels);
GLint compatBuild2DMipmaps(GLenum target, GLint components, GLsizei width, GLsizei height, GLenum format,
                           GLenum type, const void* pixels);
void compatTexParameteri(GLenum target, GLenum name, GLint value);

// Context calls that change what a pending draw would do: drawn first.
void compatBindTexture(GLenum target, GLuint texture);
void compatDeleteTextures(GLsizei count, const GLuint* textures);
void compatBlendFunc(GLenum source, GLenum destination);
void compatDepthFunc(GLenum func);
void compatDepthMask(GLboolean flag);
void compatCullFace(GLenum face);
void compatFrontFace(GLenum mode);
void compatColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a);
void compatViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void compatScissor(GLint x, GLint y, GLsizei width, GLsizei height);
void compatClear(GLbitfield mask);
void compatReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, void* pixels);
void compatFlushContext();
void compatFinish();

#ifndef QUILLMOOR_GL_COMPAT_INSIDE
#define glBegin compatBegin
#define glEnd compatEnd
#define glVertex2f compatVertex2f
#define glVertex3f compatVertex3f
#define glVertex3fv compatVertex3fv
#define glVertex4f compatVertex4f
#define glVertex4fv compatVertex4fv
#define glColor3f compatColor3f
#define glColor4f compatColor4f
#define glColor4fv compatColor4fv
#define glTexCoord2f compatTexCoord2f
#define glTexCoord2fv compatTexCoord2fv
#define glTexCoord4f compatTexCoord4f
#define glNormal3f compatNormal3f
#define glNormal3fv compatNormal3fv
#define glMatrixMode compatMatrixMode
#define glLoadIdentity compatLoadIdentity
#define glPushMatrix compatPushMatrix
#define glPopMatrix compatPopMatrix
#define glLoadMatrixf compatLoadMatrixf
#define glMultMatrixf compatMultMatrixf
#define glTranslatef compatTranslatef
#define glRotatef compatRotatef
#define glScalef compatScalef
#define glOrtho compatOrtho
#define glFrustum compatFrustum
#define gluPerspective compatPerspective
#define gluLookAt compatLookAt
#define gluOrtho2D compatOrtho2D
#define glGetFloatv compatGetFloatv
#define glLightfv compatLightfv
#define glLightf compatLightf
#define glMaterialfv compatMaterialfv
#define glMaterialf compatMaterialf
#define glLightModelfv compatLightModelfv
#define glFogfv compatFogfv
#define glFogf compatFogf
#define glFogi compatFogi
#define glAlphaFunc compatAlphaFunc
#define glEnable compatEnable
#define glDisable compatDisable
#define glIsEnabled compatIsEnabled
#define glTexEnvi compatTexEnvi
#define glShadeModel compatShadeModel
#define glTexImage2D compatTexImage2D
#define gluBuild2DMipmaps compatBuild2DMipmaps
#define glTexParameteri compatTexParameteri
#define glBindTexture compatBindTexture
#define glDeleteTextures compatDeleteTextures
#define glBlendFunc compatBlendFunc
#define glDepthFunc compatDepthFunc
#define glDepthMask compatDepthMask
#define glCullFace compatCullFace
#define glFrontFace compatFrontFace
#define glColorMask compatColorMask
#define glViewport compatViewport
#define glScissor compatScissor
#define glClear compatClear
#define glReadPixels compatReadPixels
#define glFlush compatFlushContext
#define glFinish compatFinish
#endif
