#include "platform/audio_out.h"

#include "platform/audio_feeder.h"
#include "platform/pulse/pulse_out.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr Uint16 DEVICE_BUFFER_FRAMES = 1024;  // ~23 ms at 44100 Hz
constexpr int FRAME_BYTES = AUDIO_OUT_CHANNELS * static_cast<int>(sizeof(float));

// Who plays: the sound server through its own library, or SDL.
enum class Player { None, Pulse, Sdl };

struct OutputState {
    Player player = Player::None;
    SDL_AudioDeviceID device = 0;
    bool subsystemStarted = false;
    AudioOutFill fill = nullptr;
    void* user = nullptr;
    uint32_t latencyFrames = 0;
};
OutputState output;

void SDLCALL deviceCallback(void* userdata, Uint8* stream, int length)
{
    auto* state = static_cast<OutputState*>(userdata);
    state->fill(reinterpret_cast<float*>(stream), length / FRAME_BYTES, state->user);
}

// Frames a sound server still plays before the block the device callback
// has just filled, beyond that block itself, as measured against the sink
// (a recording of its monitor). SDL2 reports no latency of its own.
//   pulseaudio: SDL asks for a target of one block. A PulseAudio daemon
//     holds about 0.65 of a block more, pipewire-pulse about 0.95; the same
//     driver serves both, and 0.8 keeps either within 4 ms.
//   pipewire: the graph plays the block about a fifth of a block later.
// Under PipeWire the figures hold for a graph cycle of a few milliseconds,
// as a low-latency client beside the show (a recorder, a call) sets it; the
// cycle follows the other streams, which SDL2 cannot see, and at PipeWire's
// default of 1024 frames its servers hold 20 to 30 ms more.
uint32_t heldAfterBlock(const char* driver, uint32_t blockFrames)
{
    if (driver && std::strcmp(driver, "pulseaudio") == 0)
        return blockFrames * 4 / 5;
    if (driver && std::strcmp(driver, "pipewire") == 0)
        return blockFrames / 5;
    return 0;
}

// A sound server that speaks PulseAudio's protocol (PulseAudio itself, or
// PipeWire's bridge on most desktops of today) is played through libpulse,
// which says which frame is heard; SDL plays where none answers, for a
// device chosen by number, and whenever SDL_AUDIODRIVER names a driver
// other than "pulseaudio" ("pipewire", "alsa", "dummy", "disk", ...).
bool pulseWanted(int device)
{
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    return device < 1 && (!driver || !*driver || std::strcmp(driver, "pulseaudio") == 0);
}

void stopSubsystem()
{
    if (output.subsystemStarted) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        output.subsystemStarted = false;
    }
}

bool openSdl(int device, uint32_t rate, AudioOutFill fill, void* user, std::string& reason)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        reason = SDL_GetError();
        return false;
    }
    output.subsystemStarted = true;

    const char* driver = SDL_GetCurrentAudioDriver();
    if (driver && std::strcmp(driver, "dummy") == 0) {
        reason = "the dummy audio driver plays nothing";
        stopSubsystem();
        return false;
    }

    const char* name = nullptr;
    if (device >= 1) {
        if (device > SDL_GetNumAudioDevices(0)) {
            reason = "no such audio device";
            stopSubsystem();
            return false;
        }
        name = SDL_GetAudioDeviceName(device - 1, 0);
    }

    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_F32SYS;
    want.channels = AUDIO_OUT_CHANNELS;
    want.samples = DEVICE_BUFFER_FRAMES;
    want.callback = deviceCallback;
    want.userdata = &output;
    output.fill = fill;
    output.user = user;

    SDL_AudioSpec have;
    // No changes allowed: SDL converts our format to the hardware's itself.
    output.device = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (!output.device) {
        reason = SDL_GetError();
        stopSubsystem();
        return false;
    }
    output.latencyFrames = have.samples + heldAfterBlock(driver, have.samples);
    return true;
}

}  // namespace

bool audioOutOpen(int device, uint32_t rate, AudioOutFill fill, AudioOutFeed feed, void* user, std::string& reason)
{
    if (output.player != Player::None) {
        reason = "output already open";
        return false;
    }
    std::string ignored;  // SDL's own drivers are tried next
    if (pulseWanted(device) && pulseOutOpen(rate, fill, user, ignored)) {
        output.player = Player::Pulse;
    } else {
        if (!openSdl(device, rate, fill, user, reason))
            return false;
        output.player = Player::Sdl;
    }
    if (!audioFeederStart(feed, user, rate, reason)) {
        audioOutClose();
        return false;
    }
    return true;
}

uint32_t audioOutLatencyFrames()
{
    if (output.player == Player::Pulse)
        return pulseOutLatencyFrames();
    return output.player == Player::Sdl ? output.latencyFrames : 0;
}

void audioOutSetPaused(bool paused)
{
    if (output.player == Player::Pulse)
        pulseOutSetPaused(paused);
    else if (output.device)
        SDL_PauseAudioDevice(output.device, paused ? 1 : 0);
}

void audioOutFlush()
{
    // SDL's device holds no more than its own block.
    if (output.player == Player::Pulse)
        pulseOutFlush();
}

void audioOutClose()
{
    audioFeederStop();
    if (output.player == Player::Pulse)
        pulseOutClose();
    output.player = Player::None;
    if (output.device) {
        SDL_CloseAudioDevice(output.device);
        output.device = 0;
    }
    stopSubsystem();
    output.fill = nullptr;
    output.user = nullptr;
}

struct AudioOutConverter {
    SDL_AudioStream* stream = nullptr;
};

AudioOutConverter* audioOutConverterCreate(uint32_t fromRate, uint32_t toRate)
{
    SDL_AudioStream* stream = SDL_NewAudioStream(AUDIO_F32SYS, AUDIO_OUT_CHANNELS, static_cast<int>(fromRate),
                                                 AUDIO_F32SYS, AUDIO_OUT_CHANNELS, static_cast<int>(toRate));
    if (!stream)
        return nullptr;
    auto* converter = new AudioOutConverter;
    converter->stream = stream;
    return converter;
}

void audioOutConverterFree(AudioOutConverter* converter)
{
    if (!converter)
        return;
    SDL_FreeAudioStream(converter->stream);
    delete converter;
}

bool audioOutConverterPut(AudioOutConverter* converter, const float* frames, int frameCount)
{
    return SDL_AudioStreamPut(converter->stream, frames, frameCount * FRAME_BYTES) == 0;
}

int audioOutConverterAvailable(AudioOutConverter* converter)
{
    return SDL_AudioStreamAvailable(converter->stream) / FRAME_BYTES;
}

int audioOutConverterGet(AudioOutConverter* converter, float* frames, int frameCount)
{
    int got = SDL_AudioStreamGet(converter->stream, frames, frameCount * FRAME_BYTES);
    return got > 0 ? got / FRAME_BYTES : 0;
}

void audioOutConverterClear(AudioOutConverter* converter)
{
    SDL_AudioStreamClear(converter->stream);
}
