// Who calls the show's frames. A desktop program runs its own loop and
// calls the next frame as soon as the last one is presented (the swap
// interval paces it); a browser page may not loop, and calls one frame per
// animation frame from the browser's own loop instead, after the function
// that started it has returned.
//   native/  a plain loop (Linux and Windows)
//   web/     requestAnimationFrame, through emscripten_set_main_loop; before
//            each frame the millisecond timer (timer.h) is brought up to
//            the present, and once the show is over the page is told.
// Main thread only.
#pragma once

// One frame; false when the show is over and no frame should follow.
using FrameFunction = bool (*)(void* user);
// Called once after the last frame.
using FramesDone = void (*)(void* user);

// Calls `frame` until it answers false, then `done`. On the desktop all of
// it happens before this returns; in a browser it returns at once and the
// frames follow, so `user` must outlive the call (not live on its stack).
void platformRunFrames(FrameFunction frame, FramesDone done, void* user);
