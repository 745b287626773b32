// The show's life from start to exit on this machine: launch settings,
// window, content, scene, clock and music, the main loop against the real
// window and clock, and the teardown in reverse. main() only constructs the
// Demo record and calls demoMain. Main thread only.
#pragma once

struct Demo;
struct Scene;

// Stores the fixed launch settings (1920 x 1080 fullscreen, vsync, 32 bits).
void storeLaunchSettings(Demo& demo);
// The start-up after the settings: window and context, content, scene, clock,
// cleared fades, music. Null when the window could not be opened (said why);
// the caller then ends the show with endShow(demo, nullptr).
Scene* beginShow(Demo& demo);
// The teardown after the last frame: clock, configurator, music, window and
// context, then the scene (deleted; null is fine). Safe when parts never started.
void endShow(Demo& demo, Scene* scene);
// Runs the show; 0 when it played, non-zero when it could not start.
int demoMain(Demo& demo);
