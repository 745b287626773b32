#include "audio/audio_engine.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

#include "audio/audio_decode.h"
#include "audio/music_track.h"
#include "audio/spectrum.h"
#include "platform/audio_out.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/timer.h"

namespace {

constexpr int MAX_CHANNELS = 64;
constexpr uint32_t DEFAULT_RATE = 44100;  // Hz, for modules decoded before audioInit
constexpr int MIX_BLOCK_FRAMES = 512;
constexpr uint64_t NS_PER_SECOND = 1000000000ull;

struct Channel {
    DecodedAudio pcm;                        // the whole decoded sound, never changed after load
    AudioOutConverter* converter = nullptr;  // when pcm.rate differs from the device's
    std::atomic<uint64_t> cursor{0};         // frames handed to the device (device output)
    std::atomic<bool> playing{false};
    std::atomic<float> volume{1.0f};         // 0..1
    // Silent output, main thread only: time spent playing so far.
    uint64_t silentPlayedNs = 0;             // ns, before silentSinceNs
    uint64_t silentSinceNs = 0;              // ns, start of the current stretch

    ~Channel() { audioOutConverterFree(converter); }
};

struct Engine {
    bool initialised = false;
    bool hasDevice = false;
    bool outputRunning = false;
    uint32_t rate = 0;                     // Hz, the output's
    Channel* channels[MAX_CHANNELS] = {};  // handle = index + 1; changed under the output lock
};
Engine engine;

// Where the silent output reads the time; replaced by a front end that
// drives the show from a clock of its own. Outlives audioFree.
struct SilentClock {
    uint64_t (*nowNs)(void* user) = nullptr;  // null: CLOCK_MONOTONIC
    void* user = nullptr;
};
SilentClock silentClock;

uint64_t silentNowNs()
{
    return silentClock.nowNs ? silentClock.nowNs(silentClock.user) : platformMonotonicNs();
}

Channel* findChannel(uint32_t handle)
{
    if (!engine.initialised || handle == 0 || handle > MAX_CHANNELS)
        return nullptr;
    return engine.channels[handle - 1];
}

uint64_t framesIn(uint64_t ns, uint32_t rate)
{
    return ns / NS_PER_SECOND * rate + ns % NS_PER_SECOND * rate / NS_PER_SECOND;
}

// ---- Silent output: the cursor follows the monotonic clock ---------------

bool silentAdvancing(const Channel& channel)
{
    return engine.outputRunning && channel.playing.load(std::memory_order_relaxed);
}

// Banks the time played up to `now`; call before anything that starts or
// stops the channel's clock.
void settleSilentClock(Channel& channel, uint64_t now)
{
    if (silentAdvancing(channel))
        channel.silentPlayedNs += now - channel.silentSinceNs;
    channel.silentSinceNs = now;
}

void settleAllSilentClocks()
{
    const uint64_t now = silentNowNs();
    for (Channel* channel : engine.channels)
        if (channel)
            settleSilentClock(*channel, now);
}

uint64_t silentPosition(const Channel& channel)
{
    uint64_t ns = channel.silentPlayedNs;
    if (silentAdvancing(channel))
        ns += silentNowNs() - channel.silentSinceNs;
    return framesIn(ns, channel.pcm.rate);
}

// ---- Device output: runs on the audio thread -----------------------------

// Stereo frame `frame` of the channel, silence past its end.
void sourceFrame(const DecodedAudio& pcm, uint64_t frame, float& left, float& right)
{
    if (frame >= pcm.frames()) {
        left = right = 0.0f;
        return;
    }
    const float* first = pcm.samples.data() + frame * pcm.channels;
    left = first[0];
    right = pcm.channels > 1 ? first[1] : first[0];
}

void mixDirect(Channel& channel, float* out, int frameCount, float volume)
{
    const uint64_t cursor = channel.cursor.load(std::memory_order_relaxed);
    for (int i = 0; i < frameCount; ++i) {
        float left, right;
        sourceFrame(channel.pcm, cursor + i, left, right);
        out[2 * i] += left * volume;
        out[2 * i + 1] += right * volume;
    }
    channel.cursor.store(cursor + frameCount, std::memory_order_release);
}

void mixConverted(Channel& channel, float* out, int frameCount, float volume)
{
    float block[MIX_BLOCK_FRAMES * AUDIO_OUT_CHANNELS];
    int done = 0;
    while (done < frameCount) {
        const int want = std::min(frameCount - done, MIX_BLOCK_FRAMES);
        while (audioOutConverterAvailable(channel.converter) < want) {
            const uint64_t cursor = channel.cursor.load(std::memory_order_relaxed);
            for (int i = 0; i < MIX_BLOCK_FRAMES; ++i)
                sourceFrame(channel.pcm, cursor + i, block[2 * i], block[2 * i + 1]);
            if (!audioOutConverterPut(channel.converter, block, MIX_BLOCK_FRAMES))
                return;
            channel.cursor.store(cursor + MIX_BLOCK_FRAMES, std::memory_order_release);
        }
        const int got = audioOutConverterGet(channel.converter, block, want);
        if (got <= 0)
            return;
        for (int i = 0; i < got * AUDIO_OUT_CHANNELS; ++i)
            out[2 * done + i] += block[i] * volume;
        done += got;
    }
}

void mixOutput(float* out, int frameCount, void*)
{
    std::fill(out, out + frameCount * AUDIO_OUT_CHANNELS, 0.0f);
    for (Channel* channel : engine.channels) {
        if (!channel || !channel->playing.load(std::memory_order_relaxed))
            continue;
        const float volume = channel->volume.load(std::memory_order_relaxed);
        if (channel->converter)
            mixConverted(*channel, out, frameCount, volume);
        else
            mixDirect(*channel, out, frameCount, volume);
    }
}

// ---- Channels -----------------------------------------------------------

uint32_t addChannel(std::unique_ptr<Channel> channel, const std::string& file)
{
    int slot = 0;
    while (slot < MAX_CHANNELS && engine.channels[slot])
        ++slot;
    if (slot == MAX_CHANNELS) {
        logMessage("audio", "%s: too many channels open", file.c_str());
        return 0;
    }
    if (engine.hasDevice && channel->pcm.rate != engine.rate) {
        channel->converter = audioOutConverterCreate(channel->pcm.rate, engine.rate);
        if (!channel->converter) {
            logMessage("audio", "%s: cannot convert %u Hz to the output's %u Hz", file.c_str(),
                       channel->pcm.rate, engine.rate);
            return 0;
        }
    }
    audioOutLock();
    engine.channels[slot] = channel.release();
    audioOutUnlock();
    return static_cast<uint32_t>(slot + 1);
}

using Decoder = bool (*)(const std::vector<uint8_t>& bytes, DecodedAudio& out, std::string& reason);

bool decodeModuleAtOutputRate(const std::vector<uint8_t>& bytes, DecodedAudio& out, std::string& reason)
{
    return renderModule(bytes, engine.initialised ? engine.rate : DEFAULT_RATE, out, reason);
}

uint32_t createChannel(const char* path, Decoder decode)
{
    if (!path || !*path) {
        logMessage("audio", "%s: no file named", "(none)");
        return 0;
    }
    const std::string file = path;
    if (!engine.initialised) {
        logMessage("audio", "%s: audio engine not started", file.c_str());
        return 0;
    }
    std::vector<uint8_t> bytes;
    std::string reason;
    auto channel = std::make_unique<Channel>();
    if (!readWholeFile(file, bytes, reason) || !decode(bytes, channel->pcm, reason)) {
        logMessage("audio", "%s: %s", file.c_str(), reason.c_str());
        return 0;
    }
    return addChannel(std::move(channel), file);
}

}  // namespace

bool audioInit(int device, uint32_t rate)
{
    if (engine.initialised)
        return true;
    if (rate == 0)
        return false;
    engine.rate = rate;
    // Device 0 is the silent output by choice.
    if (device != 0) {
        std::string reason;
        engine.hasDevice = audioOutOpen(device, rate, mixOutput, nullptr, reason);
        if (!engine.hasDevice)
            logMessage("audio", "no audio output (%s); playing silently", reason.c_str());
    }
    engine.initialised = true;
    engine.outputRunning = true;
    audioOutSetPaused(false);
    return true;
}

void audioSetClock(uint64_t (*nowNs)(void* user), void* user)
{
    silentClock.nowNs = nowNs;
    silentClock.user = nowNs ? user : nullptr;
}

bool audioInitialised()
{
    return engine.initialised;
}

bool audioHasDevice()
{
    return engine.hasDevice;
}

uint32_t audioStreamCreateFile(const char* path, uint32_t /*flags: always decoded whole (prescan)*/)
{
    return createChannel(path, decodeMp3);
}

uint32_t audioMusicLoad(const char* path, uint32_t /*flags: libopenmpt's own ramping*/)
{
    return createChannel(path, decodeModuleAtOutputRate);
}

bool audioChannelSetAttribute(uint32_t handle, uint32_t attribute, float value)
{
    Channel* channel = findChannel(handle);
    if (!channel || attribute != AUDIO_ATTRIB_VOL || std::isnan(value))
        return false;
    channel->volume.store(std::clamp(value, 0.0f, 1.0f), std::memory_order_relaxed);
    return true;
}

bool audioStart()
{
    if (!engine.initialised)
        return false;
    settleAllSilentClocks();
    engine.outputRunning = true;
    audioOutSetPaused(false);
    return true;
}

bool audioChannelPlay(uint32_t handle, bool restart)
{
    Channel* channel = findChannel(handle);
    if (!channel)
        return false;
    if (!engine.hasDevice) {
        settleSilentClock(*channel, silentNowNs());
        if (restart)
            channel->silentPlayedNs = 0;
        channel->playing.store(true, std::memory_order_relaxed);
        return true;
    }
    audioOutLock();
    if (restart) {
        channel->cursor.store(0, std::memory_order_relaxed);
        if (channel->converter)
            audioOutConverterClear(channel->converter);
    }
    channel->playing.store(true, std::memory_order_relaxed);
    audioOutUnlock();
    return true;
}

int audioChannelGetData(uint32_t handle, void* buffer, uint32_t flags)
{
    Channel* channel = findChannel(handle);
    if (!channel || !buffer || flags != AUDIO_DATA_FFT1024)
        return -1;
    const uint64_t cursor = audioChannelPosition(handle);
    computeSpectrum(channel->pcm.samples.data(), channel->pcm.frames(), channel->pcm.channels,
                    static_cast<size_t>(cursor), static_cast<float*>(buffer));
    return SPECTRUM_BIN_COUNT * static_cast<int>(sizeof(float));
}

uint64_t audioChannelPosition(uint32_t handle)
{
    const Channel* channel = findChannel(handle);
    if (!channel)
        return 0;
    if (!engine.hasDevice)
        return silentPosition(*channel);
    return channel->cursor.load(std::memory_order_acquire);
}

bool audioChannelSetPosition(uint32_t handle, uint64_t frame)
{
    Channel* channel = findChannel(handle);
    if (!channel)
        return false;
    if (!engine.hasDevice) {
        settleSilentClock(*channel, silentNowNs());
        const uint32_t rate = channel->pcm.rate ? channel->pcm.rate : 1;
        channel->silentPlayedNs = frame / rate * NS_PER_SECOND + frame % rate * NS_PER_SECOND / rate;
        return true;
    }
    audioOutLock();
    channel->cursor.store(frame, std::memory_order_relaxed);
    if (channel->converter)
        audioOutConverterClear(channel->converter);
    audioOutUnlock();
    return true;
}

const DecodedAudio* audioChannelPcm(uint32_t handle)
{
    const Channel* channel = findChannel(handle);
    return channel ? &channel->pcm : nullptr;
}

bool audioStop()
{
    if (!engine.initialised)
        return false;
    settleAllSilentClocks();
    engine.outputRunning = false;
    audioOutSetPaused(true);
    return true;
}

void audioFree()
{
    if (!engine.initialised)
        return;
    if (engine.hasDevice)
        audioOutClose();
    for (Channel*& channel : engine.channels) {
        delete channel;
        channel = nullptr;
    }
    engine = Engine();
}

bool decodeAudioFile(const char* path, DecodedAudio& out, std::string& reason)
{
    out = DecodedAudio();
    if (!path || !*path) {
        reason = "no file named";
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, reason))
        return false;
    if (pathNamesStream(path))
        return decodeMp3(bytes, out, reason);
    return decodeModuleAtOutputRate(bytes, out, reason);
}
