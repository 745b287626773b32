// A playback stream on a PulseAudio server, or on PipeWire's PulseAudio
// bridge (most Linux desktops), through libpulse's threaded main loop. The
// server says how far behind what was written it plays: before each block
// the fill function writes, the stream's latency (libpulse's interpolated
// timing, which counts the server's buffer and the sink's own delay) tells
// the engine which frame is heard, at every graph cycle and buffer size,
// where SDL2 passes on no latency at all. PipeWire's bridge leaves out the
// graph cycle it has taken into the graph, which is added.
//
// The fill function runs on libpulse's main loop thread. Open, pause and
// close are for the main thread. Linux only; the SDL output (sdl/) is the
// fallback where no PulseAudio server answers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/audio_out.h"

// Connects to the server libpulse finds (PULSE_SERVER, or the user's own)
// and opens a corked stereo float stream at `rate` Hz on its default sink.
// False with a reason when no server answers or the stream is refused.
bool pulseOutOpen(uint32_t rate, AudioOutFill fill, void* user, std::string& reason);
// Frames from the last one the fill function has written to the one heard.
uint32_t pulseOutLatencyFrames();
void pulseOutSetPaused(bool paused);
// Drops what the server holds and has not played.
void pulseOutFlush();
void pulseOutClose();
