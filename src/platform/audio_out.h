// The audio output device: a stereo float stream at the rate the engine
// asks for, filled by the engine's fill function on the output's thread.
//   sdl/   SDL's audio (it converts to what the hardware wants); SDL's
//          "dummy" driver counts as no output.
//   win32/ WINMM waveOut, a few queued blocks refilled from a thread of
//          ours. waveOut is on every Windows and under Wine, and a fixed
//          latency of a few blocks is all a music stream needs; the system
//          mixer converts our rate and format to the hardware's.
// It answers false when nothing would be heard; the engine then plays
// silently on the monotonic clock. It also lends the engine a sample-rate
// converter for channels whose rate differs from the device's (SDL's audio
// stream, or a windowed-sinc resampler of our own on Windows).
//
// Open, close, pause and lock are for the main thread; the fill function and
// the converter calls made from it run on the output's thread.
#pragma once

#include <cstdint>
#include <string>

constexpr int AUDIO_OUT_CHANNELS = 2;  // the device is always stereo float

// Writes `frameCount` interleaved stereo frames into `frames`.
using AudioOutFill = void (*)(float* frames, int frameCount, void* user);

// Opens device `device` (-1 = the default, n >= 1 = the n-th device) at
// `rate` Hz, paused. False with a reason when no audible output exists.
bool audioOutOpen(int device, uint32_t rate, AudioOutFill fill, void* user, std::string& reason);
// Frames (at the device's rate) between the last frame the fill function
// has written and the one heard. SDL: the block SDL asked for, plus what the
// sound server behind the driver is known to hold after it (SDL2 reports no
// latency of its own; PulseAudio, pipewire-pulse and PipeWire were measured,
// see sdl/audio_out.cpp). waveOut: the blocks queued ahead of the one being
// filled. 0 when no device is open.
uint32_t audioOutLatencyFrames();
// Pauses or resumes the open device (no effect when none is open).
void audioOutSetPaused(bool paused);
// Closes the device; the fill function is not called again afterwards.
void audioOutClose();
// Keeps the fill function from running while the main thread changes what
// it reads (no effect when no device is open).
void audioOutLock();
void audioOutUnlock();

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
