#include "gl/viewport.h"

#include "gl/gl_api.h"

#include "gl/gl_window.h"

ViewportRect fitShowViewport(int width, int height)
{
    float w = static_cast<float>(width);
    float h = static_cast<float>(height);
    float full = w / SHOW_ASPECT;  // height of a 16:9 area as wide as the window
    float vw, vh;
    if (full > h) {
        vh = h;
        vw = h * SHOW_ASPECT;
    } else {
        vw = w;
        vh = full;
    }
    ViewportRect rect;
    rect.width = static_cast<int>(vw);
    rect.height = static_cast<int>(vh);
    rect.x = (width - rect.width) / 2;
    rect.y = (height - rect.height) / 2;
    return rect;
}

bool setViewport(int width, int height)
{
    if (width <= 0 || height <= 0)
        return false;
    ViewportRect rect = fitShowViewport(width, height);
    glViewport(rect.x, rect.y, rect.width, rect.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A drawable too small to hold one 16:9 row still gets a sound projection.
    float ratio = rect.width > 0 && rect.height > 0
                      ? static_cast<float>(rect.width) / static_cast<float>(rect.height)
                      : SHOW_ASPECT;
    gluPerspective(static_cast<double>(FIELD_OF_VIEW), static_cast<double>(ratio),
                   static_cast<double>(nearPlane), static_cast<double>(farPlane));
    glMatrixMode(GL_MODELVIEW);
    return true;
}
