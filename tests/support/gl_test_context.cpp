#include "support/gl_test_context.h"

#include <GL/gl.h>

#include "gl/gl_window.h"
#include "platform/window.h"

GlTestContext::GlTestContext(int width, int height) : width_(width), height_(height)
{
    if (!platformInitVideo(failure_))
        return;
    demo_ = std::make_unique<Demo>();
    WindowRequest request;
    request.title = "quillmoor test";
    request.width = width;
    request.height = height;
    request.visible = false;
    WindowResult result = platformCreateWindow(request);
    if (!result.window) {
        failure_ = result.failure;
        return;
    }
    window_ = result.window;
    demo_->window = window_;
    readGlVersion(demo_->glVersion);
    if (!demo_->extensions.loadExtensions()) {
        failure_ = demo_->extensions.failure;
        platformDestroyWindow(window_);
        window_ = nullptr;
        demo_->window = nullptr;
        return;
    }
    nearPlane = 0.01f;
    farPlane = 10000.0f;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

GlTestContext::~GlTestContext()
{
    // The registries release their GL objects while the context still exists.
    if (demo_)
        demo_->window = nullptr;
    demo_.reset();
    platformDestroyWindow(window_);
}

std::vector<uint8_t> GlTestContext::readPixels() const
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width_) * height_ * 4);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

Rgba GlTestContext::pixel(int x, int y) const
{
    uint8_t p[4] = {};
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return Rgba{p[0], p[1], p[2], p[3]};
}
