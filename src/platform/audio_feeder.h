// The thread that keeps a sound device's rings filled ahead, for the
// desktop backends (SDL's on Linux, waveOut on Windows): it calls the
// engine's feed function every few milliseconds, and at once when woken,
// with the feed lock held, so that decoding, seeking and file reads happen
// here and never on the device's own thread. A browser has no such thread;
// its backend feeds before each frame instead (web/audio_out.cpp).
// Start and stop from the main thread; the lock and the wake-up from any
// thread but the feeder's own.
#pragma once

#include <string>

#include "platform/audio_out.h"

// How far ahead of the device the feeder decodes: many times a device's
// block, and over any stall of a busy machine's scheduler.
constexpr uint32_t AUDIO_FEEDER_AHEAD_MS = 500;

// Starts the thread for a device at `rate` Hz. False with a reason when no
// thread could be started.
bool audioFeederStart(AudioOutFeed feed, void* user, uint32_t rate, std::string& reason);
// Stops and joins the thread; the feed function is not called afterwards.
void audioFeederStop();
