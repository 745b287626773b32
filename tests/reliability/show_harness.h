// The show opened in this process the way the entry point opens it (window,
// content, scene, clock, music) but in a small hidden window, with a clock
// the test moves by hand and messages the test scripts. The main loop, the
// frame passes, the fades and the teardown are the real ones; the audio
// output follows the show clock, so the spectrum each frame reads is the
// soundtrack's at that frame's time. One harness at a time per process.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_loop.h"

struct Demo;
struct Scene;

class ShowHarness {
public:
    ShowHarness();
    ~ShowHarness();
    ShowHarness(const ShowHarness&) = delete;
    ShowHarness& operator=(const ShowHarness&) = delete;

    // Opens a width x height window and everything after it. With
    // `clockStarts` false the timer service refuses, as a machine without a
    // usable timer would. False with a reason.
    bool open(int width, int height, bool clockStarts, std::string& failure);
    // The entry point's teardown, in its order; safe to call twice.
    void close();

    // Moves the show clock on by `ms` milliseconds (one tick per ms), as the
    // timer thread would between two frames.
    void advance(uint32_t ms);

    Demo& demo() { return *demo_; }
    Scene& scene() { return *scene_; }
    bool isOpen() const { return scene_ != nullptr; }
    int timerKills() const { return timerKills_; }

private:
    static uint64_t showTimeNs(void* harness);

    std::unique_ptr<Demo> demo_;
    std::unique_ptr<Scene> scene_;
    void* timerUser_ = nullptr;  // the clock, once its timer "runs"
    int timerKills_ = 0;
};

// One frame of a script: the gap before it and the messages it drains.
struct ScriptedFrame {
    uint32_t gapMs = 0;
    std::vector<Message> messages;
    bool draw = true;  // false: the passes advance the show without GL calls
};

// The main loop's outside world for a harness: the clock moved by the
// script, the real passes, the real framebuffer binding and buffer swap.
// After the script runs out every frame has a 1 ms gap and no messages.
class ScriptedShowIo : public FrameIo {
public:
    ScriptedShowIo(ShowHarness& harness, std::vector<ScriptedFrame> script);

    void readFrameTime() override;
    bool peekMessage(Message& message) override;
    void renderFrame() override;
    void drawFades() override;
    void bindWindowFramebuffer() override;
    void present() override;

    // Called after the passes of every frame (before present or the end).
    std::function<void(ShowHarness&)> afterPasses;

    size_t framesStarted() const { return frame_; }
    uint32_t lastFrameTimeMs() const { return lastTimeMs_; }

private:
    ShowHarness& harness_;
    std::vector<ScriptedFrame> script_;
    std::vector<Message> pending_;
    size_t frame_ = 0;  // frames begun so far
    bool draw_ = true;
    uint32_t lastTimeMs_ = 0;
};

// Every float of the scene that is not finite, as "name[index]" (empty when
// all are), plus any array whose size or count left its bounds.
std::vector<std::string> sceneFaults(const Scene& scene);
