// The show's life from start to exit on this machine: launch settings,
// window, content, scene, clock and music, the main loop against the real
// window and clock, and the teardown in reverse. main() reads the command
// line, constructs the Demo record and calls playShow. The offline renderer
// and the tests start and end the show through the same functions, with the
// settings of a windowless run. The frames themselves come from the
// platform's frame loop (platform/frame_loop.h): a desktop loop, or a
// browser's animation frames after main has returned. Main thread only.
#pragma once

#include <memory>

#include "app/options.h"

struct Demo;
struct Scene;

// Stores the launch settings: without options 1920 x 1080 fullscreen, vsync,
// 32 bits, from show time 0, once; the options change only what they name.
void storeLaunchSettings(Demo& demo, const ShowOptions& options = ShowOptions());
// The settings of a run nobody watches live (the offline renderer, tests):
// a width x height window that is not fullscreen, no vsync, 32 bits, music on,
// played on the silent output (no sound device is opened).
void storeWindowlessSettings(Demo& demo, int width, int height);
// The start-up after the settings: window and context, content, scene,
// cleared fades, playback attached to the scene, the show simulated up to
// its start time when that is not 0, clock and music from the start time.
// Null when the window could not be opened, or, with `clockMustRun`, when
// the clock could not start (said why); the caller then ends the show with
// endShow(demo, nullptr). Runs driven by something else than the clock (the
// offline renderer, tests) leave `clockMustRun` off.
std::unique_ptr<Scene> beginShow(Demo& demo, bool clockMustRun = false);
// The teardown after the last frame: clock, configurator, music, window and
// context, then the scene (released and freed; null is fine). Safe when
// parts never started.
void endShow(Demo& demo, std::unique_ptr<Scene> scene);
// A live show between its start-up and its teardown.
struct LiveRun;
// The launch settings and the start-up of a live show on `demo`; null when
// it cannot start (said why; what had started is torn down). Without a
// window, a context, the required extensions or a running clock there is
// no show to play.
LiveRun* startLiveRun(Demo& demo, const ShowOptions& options);
// One frame of the run; false when the show is over.
bool stepLiveRun(LiveRun* run);
// The teardown, then the run itself (and the Demo, when the run owns it).
void finishLiveRun(LiveRun* run);
// Runs the show on the platform's frame loop, which may go on after this
// returns (a browser): the run owns `demo` and frees it, last, after the
// teardown. Non-zero when the show could not start (nothing then follows).
int playShow(std::unique_ptr<Demo> demo, const ShowOptions& options = ShowOptions());
