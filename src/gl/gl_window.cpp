#include "gl/gl_window.h"

#include "gl/gl_api.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "gl/gl_extensions.h"
#include "platform/log.h"

float nearPlane = 0.0f;
float farPlane = 0.0f;

void parseGlVersion(const char* text, int& major, int& minor)
{
    major = 0;
    minor = 0;
    if (!text)
        return;
    const char* dot = std::strchr(text, '.');
    if (!dot || dot == text)
        return;
    major = std::atoi(dot - 1);
    minor = std::atoi(dot + 1);
}

void readGlVersion(GlVersion& version)
{
    int major, minor;
    parseGlVersion(reinterpret_cast<const char*>(glGetString(GL_VERSION)), major, minor);
    version.major = major;
    version.minor = minor;
}

bool startGlDrawing(GlVersion& version, ExtensionLoader& extensions)
{
    readGlVersion(version);
    std::string apiFailure;
    if (!glApiStart(apiFailure)) {
        logMessage("window", "cannot draw with this OpenGL context: %s", apiFailure.c_str());
        return false;
    }
    if (!extensions.loadExtensions()) {
        logMessage("window", "this OpenGL context cannot run the show: %s", extensions.failure.c_str());
        return false;
    }
    return true;
}
