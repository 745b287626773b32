// The audio output device: a stereo float stream at the rate the engine
// asks for. Two functions of the engine's keep it going:
//  - the fill function, on the device's own thread (SDL's audio thread, the
//    waveOut feeder thread, the page's audio callback): it only copies
//    frames that are already decoded, and never waits on the main thread;
//  - the feed function, on the output's feeder: a thread of ours on the
//    desktop and on Windows (audio_feeder.h), or the page's main thread
//    before each frame. It decodes ahead, as far as the lead it is given,
//    and runs under the feed lock, which the main thread takes to read or
//    change what it decodes.
//   sdl/   libpulse where a PulseAudio server (or PipeWire's bridge to
//          it) answers, since it says which frame is heard (pulse/);
//          otherwise, or when SDL_AUDIODRIVER names another driver, SDL's
//          audio (it converts to what the hardware wants). SDL's "dummy"
//          driver counts as no output.
//   win32/ WINMM waveOut, a few queued blocks refilled from a thread of
//          ours. waveOut is on every Windows and under Wine, and a fixed
//          latency of a few blocks is all a music stream needs; the system
//          mixer converts our rate and format to the hardware's.
//   web/   Web Audio (see web/audio_out.cpp).
// It answers false when nothing would be heard; the engine then plays
// silently on the monotonic clock. It also lends the engine a sample-rate
// converter for channels whose rate differs from the device's (SDL's audio
// stream, or a windowed-sinc resampler of our own on Windows and in the
// page), used by the feed function.
//
// Open, close, pause, wake and the feed lock are for the main thread.
#pragma once

#include <cstdint>
#include <string>

constexpr int AUDIO_OUT_CHANNELS = 2;  // the device is always stereo float

// Writes `frameCount` interleaved stereo frames into `frames`.
using AudioOutFill = void (*)(float* frames, int frameCount, void* user);
// Decodes one step ahead, to at most `aheadFrames` (device frames) beyond
// what the device has played; true while more steps are wanted at once.
using AudioOutFeed = bool (*)(uint32_t aheadFrames, void* user);

// Opens device `device` (-1 = the default, n >= 1 = the n-th device) at
// `rate` Hz, paused, with its feeder running. False with a reason when no
// audible output exists.
bool audioOutOpen(int device, uint32_t rate, AudioOutFill fill, AudioOutFeed feed, void* user,
                  std::string& reason);
// Frames (at the device's rate) between the last frame the fill function
// has written and the one heard; the fill function may ask it. SDL: the block SDL asked for, plus what the
// sound server behind the driver is known to hold after it (SDL2 reports no
// latency of its own; PulseAudio, pipewire-pulse and PipeWire were measured,
// see sdl/audio_out.cpp). waveOut: the blocks queued ahead of the one being
// filled. 0 when no device is open.
uint32_t audioOutLatencyFrames();
// Pauses or resumes the open device (no effect when none is open).
void audioOutSetPaused(bool paused);
// Closes the device and stops its feeder; neither function is called again
// afterwards.
void audioOutClose();
// Drops what the output has queued beyond the device's own buffer, after a
// move, so the old sound stops at once: the page's worklet queue, what a
// PulseAudio server holds. SDL and waveOut hold no more than their device
// blocks, and do nothing. It drops every channel's queued sound alike (the
// show plays one at a time).
void audioOutFlush();
// Asks the feeder to run soon (a channel was started or moved).
void audioOutWakeFeeder();
// Keeps the feed function from running while the main thread reads or
// changes what it decodes (no effect when no device is open).
void audioOutFeedLock();
void audioOutFeedUnlock();

// A stereo float converter from one rate to another.
struct AudioOutConverter;
AudioOutConverter* audioOutConverterCreate(uint32_t fromRate, uint32_t toRate);
void audioOutConverterFree(AudioOutConverter* converter);
// Appends `frameCount` stereo frames at the source rate.
bool audioOutConverterPut(AudioOutConverter* converter, const float* frames, int frameCount);
// Stereo frames ready at the target rate.
int audioOutConverterAvailable(AudioOutConverter* converter);
// Takes up to `frameCount` converted frames; returns how many were taken.
int audioOutConverterGet(AudioOutConverter* converter, float* frames, int frameCount);
// Drops whatever the converter still holds (after a channel restarts).
void audioOutConverterClear(AudioOutConverter* converter);
