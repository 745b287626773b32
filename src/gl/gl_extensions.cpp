#include "gl/gl_extensions.h"

#include <cstring>

#include "platform/window.h"

GlExtensions glExt;

bool hasExtensionToken(const char* list, const char* name)
{
    if (!list || !name || std::strchr(name, ' '))
        return false;
    size_t length = std::strlen(name);
    if (length == 0)
        return false;
    const char* start = list;
    for (;;) {
        const char* hit = std::strstr(start, name);
        if (!hit)
            return false;
        const char* end = hit + length;
        // The hit counts at the search start or after a space, and before a
        // space or the end. After a rejected hit the search start moves to its end.
        if ((hit == start || hit[-1] == ' ') && (*end == ' ' || *end == '\0'))
            return true;
        start = end;
    }
}

bool hasGlExtension(const char* name, const LoaderEnv& env)
{
    if (!name || !*name || !env.glExtensionString)
        return false;
    return hasExtensionToken(env.glExtensionString(), name);
}

bool hasWindowSystemPixelFormat(const LoaderEnv& env)
{
    if (!env.pixelFormatToken)
        return true;
    const char* list = env.windowSystemExtensions ? env.windowSystemExtensions() : nullptr;
    return hasExtensionToken(list, env.pixelFormatToken);
}

namespace {

bool hasSwapControl(const LoaderEnv& env)
{
    if (!env.setSwapInterval)
        return false;
    if (!env.swapControlTokens[0])
        return true;  // core in this window system
    const char* list = env.windowSystemExtensions ? env.windowSystemExtensions() : nullptr;
    for (const char* token : env.swapControlTokens)
        if (token && hasExtensionToken(list, token))
            return true;
    return false;
}

template <typename Proc>
void resolve(const LoaderEnv& env, Proc& slot, const char* name)
{
    slot = reinterpret_cast<Proc>(env.getProcAddress(name));
}

#define RESOLVE(name) resolve(env, glExt.name, #name)

void resolveMultitexture(const LoaderEnv& env)
{
    RESOLVE(glBlendEquationEXT);
    RESOLVE(glActiveTexture);
    RESOLVE(glClientActiveTexture);
    RESOLVE(glMultiTexCoord1f);
    RESOLVE(glMultiTexCoord2f);
    RESOLVE(glMultiTexCoord3f);
    RESOLVE(glMultiTexCoord4f);
    RESOLVE(glMultiTexCoord1fv);
    RESOLVE(glMultiTexCoord2fv);
    RESOLVE(glMultiTexCoord3fv);
    RESOLVE(glMultiTexCoord4fv);
}

void resolveGl20(const LoaderEnv& env)
{
    RESOLVE(glDeleteProgram);
    RESOLVE(glDeleteShader);
    RESOLVE(glDetachShader);
    RESOLVE(glCreateShader);
    RESOLVE(glShaderSource);
    RESOLVE(glCompileShader);
    RESOLVE(glCreateProgram);
    RESOLVE(glAttachShader);
    RESOLVE(glLinkProgram);
    RESOLVE(glUseProgram);
    RESOLVE(glValidateProgram);
    RESOLVE(glUniform1f);
    RESOLVE(glUniform2f);
    RESOLVE(glUniform3f);
    RESOLVE(glUniform4f);
    RESOLVE(glUniform1i);
    RESOLVE(glUniform2i);
    RESOLVE(glUniform3i);
    RESOLVE(glUniform4i);
    RESOLVE(glUniform1fv);
    RESOLVE(glUniform2fv);
    RESOLVE(glUniform3fv);
    RESOLVE(glUniform4fv);
    RESOLVE(glUniform1iv);
    RESOLVE(glUniform2iv);
    RESOLVE(glUniform3iv);
    RESOLVE(glUniform4iv);
    RESOLVE(glGetProgramiv);
    RESOLVE(glGetShaderiv);
    RESOLVE(glGetProgramInfoLog);
    RESOLVE(glGetShaderInfoLog);
    RESOLVE(glGetAttachedShaders);
    RESOLVE(glGetUniformLocation);
    RESOLVE(glGetActiveUniform);
    RESOLVE(glGetUniformfv);
    RESOLVE(glGetUniformiv);
    RESOLVE(glGetShaderSource);
    RESOLVE(glVertexAttrib1f);
    RESOLVE(glVertexAttrib1fv);
    RESOLVE(glVertexAttrib2f);
    RESOLVE(glVertexAttrib2fv);
    RESOLVE(glVertexAttrib3f);
    RESOLVE(glVertexAttrib3fv);
    RESOLVE(glVertexAttrib4f);
    RESOLVE(glVertexAttrib4fv);
    RESOLVE(glGetAttribLocation);
    RESOLVE(glBindAttribLocation);
    RESOLVE(glVertexAttribPointer);
    RESOLVE(glEnableVertexAttribArray);
    RESOLVE(glDisableVertexAttribArray);
}

void resolveFramebuffer(const LoaderEnv& env)
{
    RESOLVE(glGenFramebuffersEXT);
    RESOLVE(glDeleteFramebuffersEXT);
    RESOLVE(glBindFramebufferEXT);
    RESOLVE(glFramebufferTexture2DEXT);
    RESOLVE(glGenRenderbuffersEXT);
    RESOLVE(glDeleteRenderbuffersEXT);
    RESOLVE(glBindRenderbufferEXT);
    RESOLVE(glRenderbufferStorageEXT);
    RESOLVE(glFramebufferRenderbufferEXT);
    RESOLVE(glCheckFramebufferStatusEXT);
    RESOLVE(glDrawBuffers);
}

#undef RESOLVE

// The show refuses to go on when an entry point it calls is missing. Of the
// 71 entry points the table resolves, 24 are called: glActiveTexture, the 22
// shader, program and single-value uniform entry points checked after
// resolveGl20, and glBindFramebufferEXT. The other 47 (the multitexture
// coordinates, vector uniforms, vertex attributes, the remaining framebuffer
// and renderbuffer calls, glBlendEquationEXT, glDrawBuffers ...) fill the
// table but are never called; of those only the multitexture group is
// checked, as one with glActiveTexture.
bool allResolved(std::initializer_list<const void*> procs)
{
    for (const void* p : procs)
        if (!p)
            return false;
    return true;
}

const char* contextExtensionString()
{
    return reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
}

}  // namespace

LoaderEnv platformLoaderEnv()
{
    LoaderEnv env;
    env.glExtensionString = contextExtensionString;
    env.getProcAddress = platformGetProcAddress;
    switch (platformWindowSystem()) {
    case WindowSystem::Glx:
        env.windowSystemExtensions = platformWindowSystemExtensions;
        env.setSwapInterval = platformSetSwapInterval;
        env.swapControlTokens[0] = "GLX_EXT_swap_control";
        env.swapControlTokens[1] = "GLX_MESA_swap_control";
        env.swapControlTokens[2] = "GLX_SGI_swap_control";
        env.pixelFormatToken = "GLX_SGIX_fbconfig";
        env.pixelFormatEntry = "glXChooseFBConfig";
        break;
    case WindowSystem::Egl:
        // Swap interval and config choice are core EGL.
        env.windowSystemExtensions = platformWindowSystemExtensions;
        env.setSwapInterval = platformSetSwapInterval;
        env.pixelFormatEntry = "eglChooseConfig";
        break;
    case WindowSystem::Wgl:
        // The tokens as they are, in the WGL extension string.
        env.windowSystemExtensions = platformWindowSystemExtensions;
        env.setSwapInterval = platformSetSwapInterval;
        env.swapControlTokens[0] = "WGL_EXT_swap_control";
        env.pixelFormatToken = "WGL_ARB_pixel_format";
        env.pixelFormatEntry = "wglChoosePixelFormatARB";
        break;
    case WindowSystem::WebGl:
        // The browser presents each frame itself, with no swap interval, and
        // the canvas's context attributes take the place of a pixel format.
        env.windowSystemExtensions = platformWindowSystemExtensions;
        break;
    case WindowSystem::NoContext:
        break;
    }
#ifdef QUILLMOOR_GL_COMPAT
    // The GL side is the compatibility layer's: its entry points, and the
    // capabilities OpenGL ES 3.0 has in its core under their desktop names.
    env.glExtensionString = compatExtensionString;
    env.getProcAddress = compatProcAddress;
#endif
    return env;
}

bool ExtensionLoader::loadExtensions(const LoaderEnv& env)
{
    if (loaded)
        return true;
    failure.clear();

    if (!env.windowSystemExtensions || !env.getProcAddress || !env.glExtensionString) {
        failure = "the window system gives no extension string";
        return false;
    }
    glExt.windowSystemExtensions = env.windowSystemExtensions;

    if (hasSwapControl(env))
        glExt.swapInterval = env.setSwapInterval;

    if (!hasGlExtension("GL_EXT_blend_minmax", env)) {
        failure = "GL_EXT_blend_minmax is missing";
        return false;
    }
    resolveMultitexture(env);
    if (!allResolved({(const void*)glExt.glActiveTexture, (const void*)glExt.glClientActiveTexture,
                      (const void*)glExt.glMultiTexCoord1f, (const void*)glExt.glMultiTexCoord2f,
                      (const void*)glExt.glMultiTexCoord3f, (const void*)glExt.glMultiTexCoord4f})) {
        failure = "the multitexture entry points are missing";
        return false;
    }

    const GlVersion& version = *contextVersion;
    if (version.major < 2) {
        failure = "OpenGL 2.0 or newer is needed, the context gives " +
                  std::to_string(version.major) + "." + std::to_string(version.minor);
        return false;
    }
    resolveGl20(env);
    if (!allResolved({(const void*)glExt.glCreateShader, (const void*)glExt.glShaderSource,
                      (const void*)glExt.glCompileShader, (const void*)glExt.glGetShaderiv,
                      (const void*)glExt.glGetShaderInfoLog, (const void*)glExt.glDeleteShader,
                      (const void*)glExt.glCreateProgram, (const void*)glExt.glAttachShader,
                      (const void*)glExt.glLinkProgram, (const void*)glExt.glGetProgramiv,
                      (const void*)glExt.glGetProgramInfoLog, (const void*)glExt.glDeleteProgram,
                      (const void*)glExt.glUseProgram, (const void*)glExt.glGetUniformLocation,
                      (const void*)glExt.glUniform1f, (const void*)glExt.glUniform2f,
                      (const void*)glExt.glUniform3f, (const void*)glExt.glUniform4f,
                      (const void*)glExt.glUniform1i, (const void*)glExt.glUniform2i,
                      (const void*)glExt.glUniform3i, (const void*)glExt.glUniform4i})) {
        failure = "the OpenGL 2.0 shader entry points are missing";
        return false;
    }

    if (!hasGlExtension("GL_EXT_framebuffer_object", env)) {
        failure = "GL_EXT_framebuffer_object is missing";
        return false;
    }
    resolveFramebuffer(env);
    if (!glExt.glBindFramebufferEXT) {
        failure = "glBindFramebufferEXT is missing";
        return false;
    }

    if (!hasWindowSystemPixelFormat(env)) {
        failure = std::string(env.pixelFormatToken) + " is missing";
        return false;
    }
    glExt.choosePixelFormat = env.pixelFormatEntry ? env.getProcAddress(env.pixelFormatEntry) : nullptr;

    loaded = true;
    return true;
}
