#include "capture_session.h"

#include <GL/gl.h>

#include <cstdlib>

#include "app/demo.h"
#include "app/entry.h"
#include "audio/audio_engine.h"
#include "gl/gl_extensions.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/scene.h"

namespace {
constexpr uint64_t NS_PER_MS = 1000000ull;
}  // namespace

uint32_t frameTimeMs(uint64_t frame, int fps)
{
    // round(frame * 1000 / fps), halves rounded up, in integers.
    const uint64_t twice = 2 * frame * 1000 + static_cast<uint64_t>(fps);
    return static_cast<uint32_t>(twice / (2 * static_cast<uint64_t>(fps)));
}

uint64_t firstFrameAtOrAfter(uint32_t timeMs, int fps)
{
    // Start from an estimate just below and walk up: the rounding makes the
    // exact inverse fiddly, and at most a couple of steps are needed.
    uint64_t frame = static_cast<uint64_t>(timeMs) * static_cast<uint64_t>(fps) / 1000;
    frame = frame > 1 ? frame - 2 : 0;
    while (frameTimeMs(frame, fps) < timeMs)
        ++frame;
    return frame;
}

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
    // cursor by its own clock; a user's own video driver choice is kept.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    width_ = width;
    height_ = height;
    fps_ = fps;
    nextFrame_ = 0;
    previousTimeMs_ = 0;
    clockNs_ = 0;
    audioSetClock(&CaptureSession::virtualNowNs, this);

    demo_ = std::make_unique<Demo>();
    Demo& demo = *demo_;
    demo.configurator = new KestruneConfigurator(&demo);
    demo.settings.width = width;
    demo.settings.height = height;
    demo.settings.fullscreen = false;
    demo.settings.vsync = false;
    demo.settings.colourBits = 32;
    // The 16:9 letterboxed view whatever the desktop or the size asked for.
    demo.settings.aspect = Aspect16x9;
    demo.musicOn = true;
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
        endShow(*demo_, scene_);
        scene_ = nullptr;
        demo_.reset();
    }
    audioSetClock(nullptr, nullptr);
}

void CaptureSession::beginFrame(bool drawing)
{
    Demo& demo = *demo_;
    const uint32_t now = frameTimeMs(nextFrame_, fps_);
    demo.timeMs = now;
    demo.frameStep = frameStepFor(nextFrame_ == 0 ? 0 : now - previousTimeMs_);
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
    renderFrame(*scene_);
    drawFades(*demo_, drawing);
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
