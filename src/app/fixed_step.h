// The show run at a fixed frame rate instead of the 1 ms timer: frame n
// starts at round(n * 1000 / fps) ms. The offline renderer draws or skips
// every frame this way, and a live start part-way through (--from) simulates
// the show up to its first drawn frame this way, so both reach a given time
// in exactly the same state. Main thread only.
#pragma once

#include <cstdint>

struct Demo;
struct Scene;

// The frame rate a live start part-way through simulates at.
constexpr int SIMULATION_FPS = 60;

// Show time (ms) at which frame `frame` starts at `fps` frames per second.
uint32_t frameTimeMs(uint64_t frame, int fps);
// The first frame whose start time is at or after `timeMs`.
uint64_t firstFrameAtOrAfter(uint32_t timeMs, int fps);

// Sets the frame's show time and its step from the frame before
// (`elapsedMs` ms; 0 for the first frame).
void setFrameTime(Demo& demo, uint32_t timeMs, uint32_t elapsedMs);
// Runs the scene passes and the fades of the current frame; without drawing
// they advance the show's state and make no GL calls.
void runFramePasses(Demo& demo, Scene& scene, bool drawing);

// Simulates frames 0, 1, ... at `fps` without drawing, each starting before
// `toMs`; `beforeFrame` (may be null) is told each frame's time first.
void simulateShowTo(Demo& demo, Scene& scene, uint32_t toMs, int fps,
                    void (*beforeFrame)(Demo& demo, uint32_t timeMs));
