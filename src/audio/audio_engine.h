// Our audio engine: what the show expects of an audio library. MP3 streams
// (decoded whole at load by libmpg123) and tracker modules (rendered whole by
// libopenmpt) become channels with non-zero handles; SDL2 audio mixes the
// playing ones. With no device, or SDL's "dummy" driver, output is silent and
// each play cursor follows the monotonic clock, so the spectrum is unchanged.
// Process-wide state; control calls from the main thread. The output runs on
// SDL's audio thread, reads cursors, volumes and playing flags as atomics and
// is held off by the output's lock while channels are added or restarted.
// Files are read from the path given; content names are resolved by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t AUDIO_ATTRIB_VOL = 2;          // channel volume, 0..1
constexpr uint32_t AUDIO_DATA_FFT1024 = 0x80000002u;  // 512 float magnitudes
constexpr uint32_t AUDIO_STREAM_PRESCAN = 0x20000u;
constexpr uint32_t AUDIO_MUSIC_RAMP = 0x200u;

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

// Creates a stream channel from a whole file; 0 on failure (logged).
uint32_t audioStreamCreateFile(const char* path, uint32_t flags);
// Creates a module channel from a tracker module file; 0 on failure (logged).
uint32_t audioMusicLoad(const char* path, uint32_t flags);

bool audioChannelSetAttribute(uint32_t handle, uint32_t attribute, float value);
bool audioStart();                                   // output running
bool audioChannelPlay(uint32_t handle, bool restart);  // play from the cursor
// AUDIO_DATA_FFT1024: writes 512 floats, the spectrum at the play cursor.
// Returns the bytes written, or -1 for an unknown handle or flag.
int audioChannelGetData(uint32_t handle, void* buffer, uint32_t flags);
// Frames the channel has played so far (its play cursor), in the channel's
// own frames: with a device, those handed to it; silent, the time spent
// playing times the channel's rate. Past the end it goes on counting
// silence. 0 for an unknown handle.
uint64_t audioChannelPosition(uint32_t handle);
// Moves the channel's play cursor to `frame` (the channel's own frames), as
// a start part-way through the show does before playing. False for an
// unknown handle.
bool audioChannelSetPosition(uint32_t handle, uint64_t frame);
bool audioStop();   // output stopped; channels keep their cursors
void audioFree();   // everything released; handles become invalid

// The decoded PCM of a channel (interleaved float), for the offline renderer.
struct DecodedAudio {
    std::vector<float> samples;  // interleaved, -1..1
    uint32_t rate = 0;           // frames per second
    int channels = 0;
    size_t frames() const { return channels ? samples.size() / channels : 0; }
};
// The decoded PCM of a channel; null for an unknown handle. Valid until
// audioFree.
const DecodedAudio* audioChannelPcm(uint32_t handle);
// Decodes a whole file the way the engine would (MP3 or module by the track's
// rule; modules at the output's rate, 44100 Hz before audioInit). Needs no
// audioInit. False with a reason on failure; logs nothing.
bool decodeAudioFile(const char* path, DecodedAudio& out, std::string& reason);
