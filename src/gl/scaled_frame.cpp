#include "gl/scaled_frame.h"

#include <algorithm>
#include <cmath>

#include "gl/gl_api.h"
#include "gl/gl_extensions.h"
#include "platform/window.h"

namespace {

// One side of the offscreen picture: the viewport's side times the scale.
int scaledSide(int side, float scale)
{
    return std::max(1, static_cast<int>(std::lround(static_cast<double>(side) * scale)));
}

}  // namespace

bool ScaledFrame::make(int width, int height)
{
    release();
    glGenTextures(1, &colour_);
    glBindTexture(GL_TEXTURE_2D, colour_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);

    glExt.glGenRenderbuffersEXT(1, &depth_);
    glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, depth_);
    glExt.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width, height);
    glExt.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);

    glExt.glGenFramebuffersEXT(1, &framebuffer_);
    glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer_);
    glExt.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, colour_, 0);
    glExt.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, depth_);
    const bool complete =
        glExt.glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
    glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    if (!complete) {
        release();
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

void ScaledFrame::release()
{
    if (framebuffer_ != 0)
        glExt.glDeleteFramebuffersEXT(1, &framebuffer_);
    if (depth_ != 0)
        glExt.glDeleteRenderbuffersEXT(1, &depth_);
    if (colour_ != 0)
        glDeleteTextures(1, &colour_);
    framebuffer_ = colour_ = depth_ = 0;
    width_ = height_ = 0;
    drawing_ = false;
}

bool ScaledFrame::stretch(PlatformWindow* window, float scale)
{
    StretchedDrawable stretched;  // the plain window, at scale 1
    ViewportRect drawn = view_;
    if (scale < 1.0f) {
        stretched = {view_.x, view_.y, view_.width, view_.height, scaledSide(view_.width, scale),
                     scaledSide(view_.height, scale)};
        drawn = {0, 0, stretched.drawableWidth, stretched.drawableHeight};
    }
    if (!platformStretchDrawable(window, stretched))
        return false;
    // The picture fills the drawable when it is stretched over its place.
    glViewport(drawn.x, drawn.y, drawn.width, drawn.height);
    return true;
}

bool ScaledFrame::begin(float scale, int drawableWidth, int drawableHeight, PlatformWindow* window)
{
    drawing_ = false;
    if (drawableWidth <= 0 || drawableHeight <= 0)
        return false;
    view_ = fitShowViewport(drawableWidth, drawableHeight);
    if (view_.width <= 0 || view_.height <= 0)
        return false;
    if (window != nullptr && stretch(window, scale)) {
        release();  // no framebuffer of its own from here on
        return false;
    }
    if (!(scale < 1.0f))
        return false;
    const int width = scaledSide(view_.width, scale);
    const int height = scaledSide(view_.height, scale);
    if ((width != width_ || height != height_ || framebuffer_ == 0) && !make(width, height))
        return false;
    glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer_);
    glViewport(0, 0, width_, height_);
    drawing_ = true;
    return true;
}

void ScaledFrame::finish()
{
    glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    if (!drawing_)
        return;
    drawing_ = false;
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    // The window's depth is not read here, and a frame drawn straight into
    // the window clears it first; clearing it too cost a tenth of the
    // upscale on a software renderer.
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(view_.x, view_.y, view_.width, view_.height);
    drawUpscaled();
}

void ScaledFrame::drawUpscaled() const
{
    // What the next frame's passes may rely on is put back afterwards.
    const GLboolean blend = glIsEnabled(GL_BLEND);
    const GLboolean depthTest = glIsEnabled(GL_DEPTH_TEST);
    const GLboolean cullFace = glIsEnabled(GL_CULL_FACE);
    const GLboolean lighting = glIsEnabled(GL_LIGHTING);
    glExt.glActiveTexture(GL_TEXTURE0);
    const GLboolean texturing = glIsEnabled(GL_TEXTURE_2D);

    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, colour_);
    // The picture as it is, whatever the current colour.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    glBindTexture(GL_TEXTURE_2D, 0);
    // The passes draw their textures in the default mode.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (!texturing)
        glDisable(GL_TEXTURE_2D);
    if (lighting)
        glEnable(GL_LIGHTING);
    if (cullFace)
        glEnable(GL_CULL_FACE);
    if (depthTest)
        glEnable(GL_DEPTH_TEST);
    if (blend)
        glEnable(GL_BLEND);
}
