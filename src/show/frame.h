// The frame driver: one frame of the show. Fetches the spectrum, advances the
// camera and attractor phases, clears, draws the sky and the terrain under
// the orbiting, rolling camera, runs the particle step, beat response and
// sprite pass from 11 001 ms on, and lays the four text plates over it.
// Main thread, GL context current (unless scene.drawing is false).
#pragma once

struct Scene;

// Draws one frame at the Demo's timeMs / frameStep.
void renderFrame(Scene& scene);
// Places the camera on its orbit for the current phase and focal distance.
void placeCamera(Scene& scene);
// Loads the view into the modelview matrix: the roll about the viewing axis,
// then the look from cameraEye at cameraTarget with y up.
void setCameraView(const Scene& scene);
