// The beat response: a frame whose bass energy is above 0.1 adds ten
// particles (up to 900), rolls the camera a quarter degree further and snaps
// the focal range back to 0.5, from which it grows with time up to 4.0.
// Pure scene logic; main thread.
#pragma once

struct Scene;

constexpr float BEAT_THRESHOLD = 0.1f;

// dt: the frame's duration in seconds.
void updateBeatResponse(Scene& scene, float dt);
