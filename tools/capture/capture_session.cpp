#include "capture_session.h"

#include "gl/gl_api.h"

#include "app/demo.h"
#include "app/entry.h"
#include "audio/audio_engine.h"
#include "gl/gl_extensions.h"
#include "platform/window.h"
#include "show/scene.h"

namespace {
constexpr uint64_t NS_PER_MS = 1000000ull;
}  // namespace

CaptureSession::CaptureSession() = default;

CaptureSession::~CaptureSession()
{
    close();
}

uint64_t CaptureSession::virtualNowNs(void* session)
{
    return static_cast<CaptureSession*>(session)->clockNs_;
}

bool CaptureSession::open(int width, int height, int fps, std::string& failure)
{
    close();
    // No display is needed, and a real audio device would move the play
    // cursor by its own clock.
    platformUseHeadless();

    width_ = width;
    height_ = height;
    fps_ = fps;
    nextFrame_ = 0;
    previousTimeMs_ = 0;
    clockNs_ = 0;
    audioSetClock(&CaptureSession::virtualNowNs, this);

    demo_ = std::make_unique<Demo>();
    Demo& demo = *demo_;
    storeWindowlessSettings(demo, width, height);
    // Show time comes from the frame count: no timer thread.
    demo.clock.service.start = [](uint32_t, uint32_t, TimerCallback, void*) { return 0u; };
    scene_ = beginShow(demo);
    if (!scene_) {
        failure = "cannot open an offscreen OpenGL window (see above)";
        close();
        return false;
    }
    return true;
}

void CaptureSession::close()
{
    if (demo_) {
        endShow(*demo_, std::move(scene_));
        demo_.reset();
    }
    audioSetClock(nullptr, nullptr);
}

void CaptureSession::beginFrame(bool drawing)
{
    const uint32_t now = frameTimeMs(nextFrame_, fps_);
    setFrameTime(*demo_, now, nextFrame_ == 0 ? 0 : now - previousTimeMs_);
    clockNs_ = static_cast<uint64_t>(now) * NS_PER_MS;
    scene_->drawing = drawing;
}

void CaptureSession::endFrame()
{
    previousTimeMs_ = demo_->timeMs;
    ++nextFrame_;
}

void CaptureSession::runFrame(bool drawing)
{
    beginFrame(drawing);
    runFramePasses(*demo_, *scene_, drawing);
    // A drawn frame that nobody reads back must still reach the renderer,
    // or its commands pile up in the driver's queue.
    if (drawing)
        glFlush();
    endFrame();
}

void CaptureSession::skipTo(uint32_t timeMs)
{
    while (nextFrameTimeMs() < timeMs)
        runFrame(false);
}

void CaptureSession::readFrame(std::vector<uint8_t>& rgba) const
{
    const size_t rowBytes = static_cast<size_t>(width_) * 4;
    std::vector<uint8_t> bottomUp(rowBytes * static_cast<size_t>(height_));
    glExt.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    rgba.resize(bottomUp.size());
    for (int y = 0; y < height_; ++y)
        std::copy(bottomUp.begin() + static_cast<ptrdiff_t>(rowBytes) * (height_ - 1 - y),
                  bottomUp.begin() + static_cast<ptrdiff_t>(rowBytes) * (height_ - y),
                  rgba.begin() + static_cast<ptrdiff_t>(rowBytes) * y);
}
