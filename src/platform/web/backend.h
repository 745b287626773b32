// What the browser backend's modules share among themselves: bringing the
// timers and the sound output up to the present before a frame, and
// telling the page what happened (the show ended, the WebGL context was lost).
// Browser backend only; main thread.
#pragma once

// Makes every timer call back for the milliseconds that passed since it
// last did (none run between frames: the page has no threads).
void webTimersCatchUp();

// Before each frame: feeds the engine's rings ahead and tops the worklet's
// queue up; while the audio context does not run, hands the engine's sound
// out at the clock's pace and drops it (audio_out.cpp).
void webAudioFeed();

// True once platformUseHeadless asked for a run nobody hears (the tests'
// still): the audio output then refuses, and the engine plays silently.
bool webHeadless();

// Calls Module[handler]() on the page, when the page defines it.
void webTellPage(const char* handler);
