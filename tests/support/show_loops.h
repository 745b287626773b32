// The show's loops as the tests run them: passes one after another on the
// caller's stack, without the platform's frame loop, so that a test can read
// the Demo record once the loop is over. Main thread only.
#pragma once

#include <cstdint>

#include "app/options.h"

struct Demo;
struct FrameIo;

// Runs passes until 153 000 ms (never, when looping), Escape or a quit
// message. Returns the number of frames presented.
uint64_t runMainLoop(Demo& demo, FrameIo& io);
// Runs the live show on `demo`, which the caller keeps; 0 when it played,
// non-zero when it could not start.
int demoMain(Demo& demo, const ShowOptions& options = ShowOptions());
