// GlExtensions: the process-wide table of OpenGL entry points beyond 1.1
// (multitexture, GL 2.0 shaders and uniforms, framebuffer objects) and of the
// window system's own (extension string, swap interval, pixel format),
// resolved once a context is current. The loader doubles as the start-up
// capability check: it succeeds only when the whole required chain is there.
//
// The start-up check names its window-system requirements by their WGL
// tokens. On Windows (WGL) they are looked up as they are, in the string of
// wglGetExtensionsStringARB (or ..EXT); on Linux the window system is GLX
// or EGL, and each token is read as the capability it names, found under
// its Linux name:
//   token                        WGL                      GLX / EGL
//   WGL_ARB_extensions_string    wglGetExtensionsString-  glXQueryExtensionsString /
//                                ARB (or EXT)             eglQueryString
//   WGL_EXT_swap_control         WGL_EXT_swap_control     GLX_EXT_swap_control,
//                                (wglSwapIntervalEXT)     GLX_MESA_swap_control or
//                                                         GLX_SGI_swap_control; EGL:
//                                                         eglSwapInterval is core
//   WGL_ARB_pixel_format         WGL_ARB_pixel_format     GLX_SGIX_fbconfig
//                                (wglChoosePixelFormat-   (glXChooseFBConfig); EGL:
//                                ARB)                     eglChooseConfig is core
// Swap control is looked up in the window system's string, where every
// window system lists it (Linux's GL string never holds window-system tokens).
// In a browser (WebGl) the page presents each frame, so there is no swap
// control, and the canvas's context attributes stand for the pixel format.
//
// Over the compatibility layer (gl_api.h: WebGL 2, or OpenGL ES 3.0 in the
// tests) the GL side is the layer's: GL_EXT_blend_minmax and
// GL_EXT_framebuffer_object are core in OpenGL ES 3.0 and are read as
// present, and every entry point of the table is the layer's own or the
// ES 3.0 core function of the same capability.
//
// Main thread only, with the context current. Tests inject a LoaderEnv.
#pragma once

#include "gl/gl_api.h"

#include <cstdint>
#include <functional>
#include <string>

// The context's OpenGL version.
struct GlVersion {
    int32_t major = 0;
    int32_t minor = 0;
};

struct GlExtensions {
    // Window system (the capabilities the WGL tokens name).
    const char* (*windowSystemExtensions)() = nullptr;  // the extension string getter
    bool (*swapInterval)(int interval) = nullptr;        // null: no swap control
    void* choosePixelFormat = nullptr;                   // resolved, not called

    // Multitexture group.
    PFNGLBLENDEQUATIONEXTPROC glBlendEquationEXT = nullptr;
    PFNGLACTIVETEXTUREPROC glActiveTexture = nullptr;
    PFNGLCLIENTACTIVETEXTUREARBPROC glClientActiveTexture = nullptr;
    PFNGLMULTITEXCOORD1FARBPROC glMultiTexCoord1f = nullptr;
    PFNGLMULTITEXCOORD2FARBPROC glMultiTexCoord2f = nullptr;
    PFNGLMULTITEXCOORD3FARBPROC glMultiTexCoord3f = nullptr;
    PFNGLMULTITEXCOORD4FARBPROC glMultiTexCoord4f = nullptr;
    PFNGLMULTITEXCOORD1FVARBPROC glMultiTexCoord1fv = nullptr;
    PFNGLMULTITEXCOORD2FVARBPROC glMultiTexCoord2fv = nullptr;
    PFNGLMULTITEXCOORD3FVARBPROC glMultiTexCoord3fv = nullptr;
    PFNGLMULTITEXCOORD4FVARBPROC glMultiTexCoord4fv = nullptr;

    // GL 2.0 group.
    PFNGLDELETEPROGRAMPROC glDeleteProgram = nullptr;
    PFNGLDELETESHADERPROC glDeleteShader = nullptr;
    PFNGLDETACHSHADERPROC glDetachShader = nullptr;
    PFNGLCREATESHADERPROC glCreateShader = nullptr;
    PFNGLSHADERSOURCEPROC glShaderSource = nullptr;
    PFNGLCOMPILESHADERPROC glCompileShader = nullptr;
    PFNGLCREATEPROGRAMPROC glCreateProgram = nullptr;
    PFNGLATTACHSHADERPROC glAttachShader = nullptr;
    PFNGLLINKPROGRAMPROC glLinkProgram = nullptr;
    PFNGLUSEPROGRAMPROC glUseProgram = nullptr;
    PFNGLVALIDATEPROGRAMPROC glValidateProgram = nullptr;
    PFNGLUNIFORM1FPROC glUniform1f = nullptr;
    PFNGLUNIFORM2FPROC glUniform2f = nullptr;
    PFNGLUNIFORM3FPROC glUniform3f = nullptr;
    PFNGLUNIFORM4FPROC glUniform4f = nullptr;
    PFNGLUNIFORM1IPROC glUniform1i = nullptr;
    PFNGLUNIFORM2IPROC glUniform2i = nullptr;
    PFNGLUNIFORM3IPROC glUniform3i = nullptr;
    PFNGLUNIFORM4IPROC glUniform4i = nullptr;
    PFNGLUNIFORM1FVPROC glUniform1fv = nullptr;
    PFNGLUNIFORM2FVPROC glUniform2fv = nullptr;
    PFNGLUNIFORM3FVPROC glUniform3fv = nullptr;
    PFNGLUNIFORM4FVPROC glUniform4fv = nullptr;
    PFNGLUNIFORM1IVPROC glUniform1iv = nullptr;
    PFNGLUNIFORM2IVPROC glUniform2iv = nullptr;
    PFNGLUNIFORM3IVPROC glUniform3iv = nullptr;
    PFNGLUNIFORM4IVPROC glUniform4iv = nullptr;
    PFNGLGETPROGRAMIVPROC glGetProgramiv = nullptr;
    PFNGLGETSHADERIVPROC glGetShaderiv = nullptr;
    PFNGLGETPROGRAMINFOLOGPROC glGetProgramInfoLog = nullptr;
    PFNGLGETSHADERINFOLOGPROC glGetShaderInfoLog = nullptr;
    PFNGLGETATTACHEDSHADERSPROC glGetAttachedShaders = nullptr;
    PFNGLGETUNIFORMLOCATIONPROC glGetUniformLocation = nullptr;
    PFNGLGETACTIVEUNIFORMPROC glGetActiveUniform = nullptr;
    PFNGLGETUNIFORMFVPROC glGetUniformfv = nullptr;
    PFNGLGETUNIFORMIVPROC glGetUniformiv = nullptr;
    PFNGLGETSHADERSOURCEPROC glGetShaderSource = nullptr;
    PFNGLVERTEXATTRIB1FPROC glVertexAttrib1f = nullptr;
    PFNGLVERTEXATTRIB1FVPROC glVertexAttrib1fv = nullptr;
    PFNGLVERTEXATTRIB2FPROC glVertexAttrib2f = nullptr;
    PFNGLVERTEXATTRIB2FVPROC glVertexAttrib2fv = nullptr;
    PFNGLVERTEXATTRIB3FPROC glVertexAttrib3f = nullptr;
    PFNGLVERTEXATTRIB3FVPROC glVertexAttrib3fv = nullptr;
    PFNGLVERTEXATTRIB4FPROC glVertexAttrib4f = nullptr;
    PFNGLVERTEXATTRIB4FVPROC glVertexAttrib4fv = nullptr;
    PFNGLGETATTRIBLOCATIONPROC glGetAttribLocation = nullptr;
    PFNGLBINDATTRIBLOCATIONPROC glBindAttribLocation = nullptr;
    PFNGLVERTEXATTRIBPOINTERPROC glVertexAttribPointer = nullptr;
    PFNGLENABLEVERTEXATTRIBARRAYPROC glEnableVertexAttribArray = nullptr;
    PFNGLDISABLEVERTEXATTRIBARRAYPROC glDisableVertexAttribArray = nullptr;

    // Framebuffer group.
    PFNGLGENFRAMEBUFFERSEXTPROC glGenFramebuffersEXT = nullptr;
    PFNGLDELETEFRAMEBUFFERSEXTPROC glDeleteFramebuffersEXT = nullptr;
    PFNGLBINDFRAMEBUFFEREXTPROC glBindFramebufferEXT = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC glFramebufferTexture2DEXT = nullptr;
    PFNGLGENRENDERBUFFERSEXTPROC glGenRenderbuffersEXT = nullptr;
    PFNGLDELETERENDERBUFFERSEXTPROC glDeleteRenderbuffersEXT = nullptr;
    PFNGLBINDRENDERBUFFEREXTPROC glBindRenderbufferEXT = nullptr;
    PFNGLRENDERBUFFERSTORAGEEXTPROC glRenderbufferStorageEXT = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC glFramebufferRenderbufferEXT = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC glCheckFramebufferStatusEXT = nullptr;
    PFNGLDRAWBUFFERSPROC glDrawBuffers = nullptr;
};

// The table every pass calls through.
extern GlExtensions glExt;

// What the loader reads from the context and the window system. The default
// is the real thing (the platform layer); tests put their own in.
struct LoaderEnv {
    const char* (*glExtensionString)() = nullptr;         // GL_EXTENSIONS of the context
    void* (*getProcAddress)(const char* name) = nullptr;  // GL entry point by name
    const char* (*windowSystemExtensions)() = nullptr;    // null: no extension string
    bool (*setSwapInterval)(int interval) = nullptr;      // null: no swap control at all
    const char* swapControlTokens[3] = {};   // any one present enables swap control; none listed: core
    const char* pixelFormatToken = nullptr;  // null: core in this window system
    const char* pixelFormatEntry = nullptr;  // the chooser, resolved by name
};
// The loader environment of the current context's window system.
LoaderEnv platformLoaderEnv();

// Loader state, a member of Demo.
struct ExtensionLoader {
    const GlVersion* contextVersion = nullptr;  // the context's, read at each load
    bool loaded = false;     // one complete successful load happened
    std::string failure;     // which link of the chain was missing

    // Resolves the table; false as soon as a required link is missing.
    bool loadExtensions(const LoaderEnv& env = platformLoaderEnv());
};

// The token test on a space-separated extension list.
bool hasExtensionToken(const char* list, const char* name);
// Token test on the current context's GL_EXTENSIONS (false for an empty name).
bool hasGlExtension(const char* name, const LoaderEnv& env = platformLoaderEnv());
// The window system's pixel-format capability (see the mapping above).
bool hasWindowSystemPixelFormat(const LoaderEnv& env = platformLoaderEnv());
