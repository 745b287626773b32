// Our audio engine: what the show expects of an audio library. MP3 streams
// (libmpg123) and tracker modules (libopenmpt) become channels with non-zero
// handles, played through the platform's output (platform/audio_out.h:
// the sound server through libpulse, or SDL2's audio, on Linux; WINMM
// waveOut on Windows; Web Audio in a browser).
//
// Streaming: each channel decodes on demand into a ring of RING_SECONDS of
// PCM (audio_stream.h), so memory does not depend on the length of the file.
// With a device, the output's feeder (a thread of its own on the desktop,
// the page's main thread before each frame) decodes ahead of what is heard
// into a lock-free ring per channel (device_feed.h), and the device's
// callback only copies out of those rings and mixes: it never decodes,
// seeks, reads a file, allocates, logs or waits for a lock. Starts, jumps,
// pauses and loops reach it as a new generation of the channel, so it never
// plays a frame from before the move. The spectrum reads the PCM ring behind
// the heard frame. Moving far (a start part-way through, the offline
// renderer) seeks the decoder; reading on decodes forward. Both give the
// same samples, so the spectrum at a time does not depend on how the engine
// got there.
//
// The play position is what is heard now: with a device, the frames the
// callback has played of the channel's current generation, less the output
// latency the output reports (audioOutLatencyFrames), advanced smoothly by
// the monotonic clock since that callback, never past what was played,
// never before where playing started, and never going back. With no device,
// or SDL's "dummy" driver, output is silent and each play position follows
// a clock (CLOCK_MONOTONIC, or the one given to audioSetClock), so the
// spectrum is the same.
//
// Process-wide state; control calls from the main thread. A channel's PCM
// ring and decoder are touched only under the output's feed lock, which the
// main thread takes briefly to move a channel or read a spectrum; the
// callback shares nothing with the main thread but atomics.
// Files are read from the path given; content names are resolved by the
// caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct DecodedAudio;

constexpr uint32_t AUDIO_ATTRIB_VOL = 2;          // channel volume, 0..1
constexpr uint32_t AUDIO_DATA_FFT1024 = 0x80000002u;  // 512 float magnitudes
constexpr uint32_t AUDIO_STREAM_PRESCAN = 0x20000u;
constexpr uint32_t AUDIO_MUSIC_RAMP = 0x200u;

// Decoded PCM a channel holds at most; the rest of the file stays on disk.
constexpr unsigned AUDIO_RING_SECONDS = 3;
// The largest stream file opened: far above any real soundtrack (an hour at
// 320 kbit/s is 144 MB). Nothing reads a stream whole, so a large file costs
// only what is played; a larger one is refused unread.
constexpr uint64_t AUDIO_STREAM_MAX_BYTES = 1ull << 30;
// The largest module file: libopenmpt holds a module in memory.
constexpr uint64_t AUDIO_MODULE_MAX_BYTES = 64ull << 20;

// Opens the output: device -1 = default, 0 = silent by choice, n = the n-th
// device; `rate` in Hz. No window handle is needed. False only when the
// engine cannot run at all (a missing device still gives a silent output
// and true).
bool audioInit(int device, uint32_t rate);
// Replaces the clock the silent output's cursor follows (ns, any origin,
// never going back); null restores CLOCK_MONOTONIC. The offline renderer
// drives it with each frame's show time. Set it before any channel plays.
void audioSetClock(uint64_t (*nowNs)(void* user), void* user);
// True once audioInit succeeded and audioFree has not run.
bool audioInitialised();
// True when output goes to a real device (false: silent, clock-driven).
bool audioHasDevice();

// Creates a stream channel from an MP3 file; 0 on failure (logged). The file
// must be an ordinary file (a FIFO, device or folder is refused at once) of
// at most AUDIO_STREAM_MAX_BYTES. A stream that breaks off or turns to
// garbage later plays up to there and is reported in one line when found.
uint32_t audioStreamCreateFile(const char* path, uint32_t flags);
// Creates a module channel from a tracker module file, rendered at the
// output's rate; 0 on failure (logged).
uint32_t audioMusicLoad(const char* path, uint32_t flags);

bool audioChannelSetAttribute(uint32_t handle, uint32_t attribute, float value);
bool audioStart();                                   // output running
bool audioChannelPlay(uint32_t handle, bool restart);  // play from the cursor
// Stops the channel where it is heard now; audioChannelPlay without restart
// goes on from there. The position stands still meanwhile, so the spectrum
// does too. False for an unknown handle.
bool audioChannelPause(uint32_t handle);
// AUDIO_DATA_FFT1024: writes 512 floats, the spectrum at the play cursor.
// Returns the bytes written, or -1 for an unknown handle or flag.
int audioChannelGetData(uint32_t handle, void* buffer, uint32_t flags);
// The channel's play position, in its own frames: with a device, the frame
// heard now (see above); silent, the time spent playing times the channel's
// rate. Past the end it goes on counting silence. 0 for an unknown handle.
uint64_t audioChannelPosition(uint32_t handle);
// Moves the channel's play position to `frame` (the channel's own frames),
// as a start part-way through the show does before playing. Cheap: nothing
// is decoded until the frames are needed, so calling it often with growing
// frames costs nothing. False for an unknown handle.
bool audioChannelSetPosition(uint32_t handle, uint64_t frame);
// The channel's frame rate (Hz); 0 for an unknown handle.
uint32_t audioChannelRate(uint32_t handle);
// Decodes `frameCount` frames of the channel's sound from `firstFrame` on
// (silence past its end) with a decoder of its own, leaving the channel's
// playing untouched; memory is that of the stretch. False with a reason for
// an unknown handle or a file that no longer opens.
bool audioChannelReadStretch(uint32_t handle, uint64_t firstFrame, uint64_t frameCount, DecodedAudio& out,
                             std::string& reason);
// Device frames a playing channel had not decoded when the device asked
// for them (its lead ran dry: just after a start or a move, or a feeder
// held up for longer than its lead); 0 without a device.
uint64_t audioStarvedFrames();
bool audioStop();   // output stopped; channels keep their cursors
void audioFree();   // everything released; handles become invalid
