// The show driven frame by frame at a fixed frame rate, for the offline
// renderer: the same Demo, Scene, passes and fades as the live show, with
// three things swapped. Frame n starts at round(n * 1000 / fps) ms instead of
// the 1 ms timer; the silent audio output follows that time, so the spectrum
// each frame reads is the soundtrack's at the frame's show time; and a drawn
// frame is read back from a hidden offscreen window instead of presented.
// Frames that nobody will see are simulated without GL calls, which keeps a
// seek cheap and leaves every later frame exactly as playback draws it.
// One session per process at a time (the audio engine is process-wide).
// Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/fixed_step.h"

struct Demo;
struct Scene;

class CaptureSession {
public:
    CaptureSession();
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Opens a width x height offscreen window, loads the content, builds the
    // scene and starts the music at show time 0. False with a reason.
    bool open(int width, int height, int fps, std::string& failure);

    // Runs the next frame whole: clock, scene passes and fades, drawn or not.
    void runFrame(bool drawing);
    // Runs frames without drawing until the next frame starts at or after `timeMs`.
    void skipTo(uint32_t timeMs);

    // The two halves of runFrame, for callers that look between the passes:
    // beginFrame sets the clock for the next frame; endFrame moves past it.
    void beginFrame(bool drawing);
    void endFrame();

    // The back buffer of the frame just drawn: RGBA8, top row first.
    void readFrame(std::vector<uint8_t>& rgba) const;

    uint64_t nextFrame() const { return nextFrame_; }
    uint32_t nextFrameTimeMs() const { return frameTimeMs(nextFrame_, fps_); }
    int width() const { return width_; }
    int height() const { return height_; }
    int fps() const { return fps_; }
    Demo& demo() { return *demo_; }
    Scene& scene() { return *scene_; }

private:
    static uint64_t virtualNowNs(void* session);
    void close();

    std::unique_ptr<Demo> demo_;
    std::unique_ptr<Scene> scene_;
    int width_ = 0;
    int height_ = 0;
    int fps_ = 60;
    uint64_t nextFrame_ = 0;
    uint32_t previousTimeMs_ = 0;  // start of the frame before, ms
    uint64_t clockNs_ = 0;         // what the audio output reads as "now"
};
