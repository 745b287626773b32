#include "audio/audio_engine.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_decode.h"
#include "audio/audio_stream.h"
#include "audio/device_feed.h"
#include "audio/spectrum.h"
#include "platform/audio_out.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/stream_file.h"
#include "platform/timer.h"

namespace {

constexpr int MAX_CHANNELS = 64;
// Device frames a new generation holds before the callback starts on it.
constexpr uint64_t PRIME_FRAMES = 8192;
// Frames handed to a rate converter at a time.
constexpr int CONVERT_BLOCK_FRAMES = 512;
constexpr uint64_t NS_PER_SECOND = 1000000000ull;
// A move further ahead than this seeks instead of decoding the frames between.
constexpr uint64_t SEEK_AHEAD_SECONDS = 1;
// The feeder keeps this much decoded behind what it has fed, for the
// spectrum of what is heard: more than its lead and any output's latency
// together (the page's are the longest, about 1.9 s).
constexpr uint64_t DEVICE_HISTORY_MS = 2000;
// The most output latency believed (a driver's report beyond is an error;
// the page's worklet queue and output together hold about 0.85 s).
constexpr uint64_t MAX_LATENCY_MS = 2000;
// What a channel's way to the device holds at most (rounded up to a power
// of two frames): room for the feeder's lead twice over, so that a new
// generation can be filled while the callback still holds the old one.
constexpr uint32_t FEED_RING_SECONDS = 3;

uint64_t framesIn(uint64_t ns, uint32_t rate)
{
    return ns / NS_PER_SECOND * rate + ns % NS_PER_SECOND * rate / NS_PER_SECOND;
}

uint64_t below(uint64_t value, uint64_t amount)
{
    return value > amount ? value - amount : 0;
}

// The decoded frames [start, end) of a stream, in a circle of `capacity`.
struct PcmRing {
    std::vector<float> samples;
    uint64_t capacity = 0;  // frames
    int channels = 0;
    uint64_t start = 0;
    uint64_t end = 0;

    void allocate(uint64_t frames, int channelCount)
    {
        capacity = frames;
        channels = channelCount;
        samples.assign(static_cast<size_t>(frames) * channelCount, 0.0f);
    }
    void reset(uint64_t at) { start = end = at; }
    // Appends frames, dropping the oldest beyond the capacity.
    void append(const float* frames, size_t count)
    {
        for (size_t i = 0; i < count; ++i, ++end) {
            float* slot = samples.data() + (end % capacity) * channels;
            std::copy(frames + i * channels, frames + (i + 1) * channels, slot);
        }
        start = std::max(start, below(end, capacity));
    }
    bool holds(uint64_t frame) const { return frame >= start && frame < end; }
    const float* frame(uint64_t index) const { return samples.data() + (index % capacity) * channels; }
};

struct Channel {
    std::string file;
    AudioKind kind = AudioKind::Stream;
    std::unique_ptr<AudioStream> stream;  // the decoder; under the feed lock
    PcmRing ring;                         // what it has decoded; under the feed lock
    std::vector<float> block;             // one decoder block; under the feed lock
    bool problemReported = false;
    std::atomic<bool> playing{false};
    std::atomic<float> volume{1.0f};  // 0..1

    // Device output. The main thread asks for moves; a move is a new
    // generation of the channel's feed, starting at startFrame. Changed
    // under the feed lock, read by the main thread freely.
    uint64_t generation = 0;
    uint64_t startFrame = 0;    // channel frame the generation starts at: the position never goes below
    uint64_t anchorAfterNs = 0; // a report older than this predates a start or resume
    uint64_t lastPosition = 0;  // the position last reported; it never goes back
    DeviceFeed feed;            // to the device's callback

    // The feeder's own, under the feed lock.
    uint64_t fedGeneration = 0;  // the generation it feeds
    uint64_t fed = 0;            // the next channel frame to feed
    AudioOutConverter* converter = nullptr;  // when the stream's rate differs from the device's
    std::vector<float> stereo;               // one block of stereo frames

    // Silent output, main thread only: time spent playing so far.
    uint64_t silentPlayedNs = 0;  // ns, before silentSinceNs
    uint64_t silentSinceNs = 0;   // ns, start of the current stretch

    ~Channel() { audioOutConverterFree(converter); }
    uint32_t rate() const { return stream->rate(); }
};

struct Engine {
    bool initialised = false;
    bool hasDevice = false;
    bool outputRunning = false;
    uint32_t rate = 0;  // Hz, the output's
    // handle = index + 1; set once, before the device's callback can see it,
    // and cleared only once the device is closed
    std::atomic<Channel*> channels[MAX_CHANNELS] = {};
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
    return engine.channels[handle - 1].load(std::memory_order_relaxed);
}

// Holds the feed lock for a scope (no effect without a device).
struct FeedLock {
    FeedLock() { audioOutFeedLock(); }
    ~FeedLock() { audioOutFeedUnlock(); }
    FeedLock(const FeedLock&) = delete;
    FeedLock& operator=(const FeedLock&) = delete;
};

// ---- Decoding into the ring (under the feed lock) -------------------------

void reportProblem(Channel& channel)
{
    if (!channel.problemReported && !channel.stream->problem().empty()) {
        channel.problemReported = true;
        logMessage("audio", "%s: %s", channel.file.c_str(), channel.stream->problem().c_str());
    }
}

// Makes the ring hold frames [from, to) as far as the stream has them:
// decodes on from where it is, or seeks first when `from` lies behind the
// ring or well ahead of it.
void ensureFrames(Channel& channel, uint64_t from, uint64_t to)
{
    PcmRing& ring = channel.ring;
    AudioStream& stream = *channel.stream;
    const uint64_t room = ring.capacity - AUDIO_STREAM_BLOCK_FRAMES;
    to = std::max(to, from);
    from = std::max(from, below(to, room));
    const bool farAhead = from > ring.end + SEEK_AHEAD_SECONDS * channel.rate();
    if (from < ring.start || (farAhead && !stream.ended()))
        ring.reset(stream.seek(from));
    while (ring.end < to && !stream.ended())
        ring.append(channel.block.data(), stream.read(channel.block.data()));
    reportProblem(channel);
}

// Copies frames [from, from + count) out of the ring, silence where the
// stream has none (before its start, past its end).
void copyFrames(const Channel& channel, int64_t from, size_t count, float* out)
{
    const int channels = channel.ring.channels;
    for (size_t i = 0; i < count; ++i) {
        const int64_t index = from + static_cast<int64_t>(i);
        float* slot = out + i * channels;
        if (index >= 0 && channel.ring.holds(static_cast<uint64_t>(index))) {
            const float* source = channel.ring.frame(static_cast<uint64_t>(index));
            std::copy(source, source + channels, slot);
        } else {
            std::fill(slot, slot + channels, 0.0f);
        }
    }
}

// ---- Silent output: the position follows the clock ----------------------

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

uint64_t silentPosition(const Channel& channel)
{
    uint64_t ns = channel.silentPlayedNs;
    if (silentAdvancing(channel))
        ns += silentNowNs() - channel.silentSinceNs;
    return framesIn(ns, channel.rate());
}

// ---- Device output: the main thread's side -------------------------------

// Frames of the channel's rate in `deviceFrames` frames of the device's.
uint64_t channelFrames(const Channel& channel, uint64_t deviceFrames)
{
    return deviceFrames * channel.rate() / engine.rate;
}

// The heard position, from what the callback last reported of the current
// generation: the frames it has played less the output's latency, carried
// on by the clock since, never past what it has played, never before where
// the generation started, and never going back.
uint64_t devicePosition(Channel& channel)
{
    if (!engine.outputRunning || !channel.playing.load(std::memory_order_relaxed))
        return channel.lastPosition;
    const FeedReport report = channel.feed.report();
    if (report.generation != channel.generation || report.atNs < channel.anchorAfterNs)
        return channel.lastPosition;
    const uint64_t latency = std::min<uint64_t>(report.latencyFrames, MAX_LATENCY_MS * engine.rate / 1000);
    const uint64_t played = channel.startFrame + channelFrames(channel, report.playedFrames);
    const int64_t heard = static_cast<int64_t>(played) - static_cast<int64_t>(channelFrames(channel, latency)) +
                          static_cast<int64_t>(framesIn(below(platformMonotonicNs(), report.atNs), channel.rate()));
    const uint64_t position =
        std::clamp<uint64_t>(static_cast<uint64_t>(std::max<int64_t>(heard, 0)), channel.startFrame, played);
    channel.lastPosition = std::max(channel.lastPosition, position);
    return channel.lastPosition;
}

// Tells the callback what to play: the current generation, and whether.
void wantPlaying(Channel& channel, bool playing)
{
    channel.playing.store(playing, std::memory_order_relaxed);
    channel.feed.want(channel.generation, playing);
}

// Starts a new generation at `frame`; under the feed lock. The callback
// stops playing the old one at once and the feeder fills the new one.
void moveDeviceCursor(Channel& channel, uint64_t frame, bool playing)
{
    ++channel.generation;
    channel.startFrame = channel.lastPosition = frame;
    wantPlaying(channel, playing);
    audioOutFlush();
}

// ---- Device output: the feeder's side (under the feed lock) --------------

// The ring keeps what the spectrum of the heard frames needs: a while
// behind what was fed, and never less than the window before where the
// generation started.
uint64_t feedKeepFrom(const Channel& channel)
{
    const uint64_t history = DEVICE_HISTORY_MS * channel.rate() / 1000;
    return std::max(below(channel.fed, history), below(channel.startFrame, SPECTRUM_FFT_SIZE));
}

// The next `count` frames of the channel as stereo, silence past its end.
void takeStereo(Channel& channel, float* out, uint64_t count)
{
    ensureFrames(channel, feedKeepFrom(channel), channel.fed + count);
    const int channels = channel.ring.channels;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t index = channel.fed + i;
        if (channel.ring.holds(index)) {
            const float* frame = channel.ring.frame(index);
            out[2 * i] = frame[0];
            out[2 * i + 1] = channels > 1 ? frame[1] : frame[0];
        } else {
            out[2 * i] = out[2 * i + 1] = 0.0f;
        }
    }
    channel.fed += count;
}

// Writes the channel's next frames into its feed, at the device's rate:
// a decoder block, or what the converter gives for a part of one; the
// frames written.
uint64_t writeNextFrames(Channel& channel)
{
    DeviceFeed& feed = channel.feed;
    float* block = channel.stereo.data();
    if (!channel.converter) {
        const uint64_t count = std::min<uint64_t>(AUDIO_STREAM_BLOCK_FRAMES, feed.writable());
        if (count > 0) {
            takeStereo(channel, block, count);
            feed.write(block, count);
        }
        return count;
    }
    if (audioOutConverterAvailable(channel.converter) < CONVERT_BLOCK_FRAMES) {
        takeStereo(channel, block, CONVERT_BLOCK_FRAMES);
        if (!audioOutConverterPut(channel.converter, block, CONVERT_BLOCK_FRAMES))
            return 0;
    }
    const int want = static_cast<int>(std::min<uint64_t>(AUDIO_STREAM_BLOCK_FRAMES, feed.writable()));
    const int got = want > 0 ? audioOutConverterGet(channel.converter, block, want) : 0;
    if (got > 0)
        feed.write(block, static_cast<uint64_t>(got));
    return got > 0 ? static_cast<uint64_t>(got) : 0;
}

// Feeds the channel one step, when its feed holds less than `ahead`; true
// when it did.
bool feedChannel(Channel& channel, uint64_t ahead)
{
    DeviceFeed& feed = channel.feed;
    if (channel.fedGeneration != channel.generation) {
        channel.fedGeneration = channel.generation;
        channel.fed = channel.startFrame;
        if (channel.converter)
            audioOutConverterClear(channel.converter);
        feed.beginSegment(channel.generation);
    }
    const bool wrote = feed.queued() < ahead && writeNextFrames(channel) > 0;
    // A start waits for a good part of the lead, so that a feeder held up
    // just after it does not leave a gap a moment into the sound.
    if (!feed.segmentPrimed() && (feed.queued() >= std::min<uint64_t>(ahead, PRIME_FRAMES) || !wrote))
        feed.primeSegment();
    return wrote;
}

// The feeder's step: a block for each channel that lacks one.
bool feedOutput(uint32_t aheadFrames, void*)
{
    bool more = false;
    for (std::atomic<Channel*>& slot : engine.channels)
        if (Channel* channel = slot.load(std::memory_order_relaxed))
            more |= feedChannel(*channel, aheadFrames);
    return more;
}

// ---- Device output: the callback (the device's thread) -------------------

// Only copies: the feeder has decoded everything it reads.
void mixOutput(float* out, int frameCount, void*)
{
    std::fill(out, out + frameCount * AUDIO_OUT_CHANNELS, 0.0f);
    const uint64_t now = platformMonotonicNs();
    const uint64_t latency = audioOutLatencyFrames();
    for (std::atomic<Channel*>& slot : engine.channels)
        if (Channel* channel = slot.load(std::memory_order_acquire))
            channel->feed.play(out, static_cast<uint64_t>(frameCount), channel->volume.load(std::memory_order_relaxed),
                               now, latency);
}

// ---- Channels -----------------------------------------------------------

uint32_t addChannel(std::unique_ptr<Channel> channel)
{
    int slot = 0;
    while (slot < MAX_CHANNELS && engine.channels[slot].load(std::memory_order_relaxed))
        ++slot;
    if (slot == MAX_CHANNELS) {
        logMessage("audio", "%s: too many channels open", channel->file.c_str());
        return 0;
    }
    if (engine.hasDevice && channel->rate() != engine.rate) {
        channel->converter = audioOutConverterCreate(channel->rate(), engine.rate);
        if (!channel->converter) {
            logMessage("audio", "%s: cannot convert %u Hz to the output's %u Hz", channel->file.c_str(),
                       channel->rate(), engine.rate);
            return 0;
        }
    }
    if (engine.hasDevice) {
        channel->feed.allocate(FEED_RING_SECONDS * engine.rate);
        channel->stereo.resize(AUDIO_STREAM_BLOCK_FRAMES * AUDIO_OUT_CHANNELS);
        channel->generation = 1;
        channel->feed.want(channel->generation, false);
    }
    FeedLock lock;
    engine.channels[slot].store(channel.release(), std::memory_order_release);
    return static_cast<uint32_t>(slot + 1);
}

std::unique_ptr<AudioStream> openStream(const std::string& file, AudioKind kind, std::string& reason)
{
    OpenedFile opened;
    const uint64_t maxBytes = kind == AudioKind::Stream ? AUDIO_STREAM_MAX_BYTES : AUDIO_MODULE_MAX_BYTES;
    if (!openOrdinaryFile(file, maxBytes, opened, reason))
        return nullptr;
    if (kind == AudioKind::Stream)
        return AudioStream::openMp3(opened, reason);
    std::vector<uint8_t> bytes;
    const bool read = readOpenFile(opened.file, maxBytes, bytes, reason);
    streamFileClose(opened.file);
    if (!read)
        return nullptr;
    return AudioStream::openModule(std::move(bytes), engine.rate, reason);
}

uint32_t createChannel(const char* path, AudioKind kind)
{
    if (!path || !*path) {
        logMessage("audio", "%s: no file named", "(none)");
        return 0;
    }
    auto channel = std::make_unique<Channel>();
    channel->file = path;
    channel->kind = kind;
    if (!engine.initialised) {
        logMessage("audio", "%s: audio engine not started", channel->file.c_str());
        return 0;
    }
    std::string reason;
    channel->stream = openStream(channel->file, kind, reason);
    if (!channel->stream) {
        logMessage("audio", "%s: %s", channel->file.c_str(), reason.c_str());
        return 0;
    }
    const int channels = channel->stream->channels();
    channel->ring.allocate(AUDIO_RING_SECONDS * channel->rate(), channels);
    channel->block.resize(AUDIO_STREAM_BLOCK_FRAMES * channels);
    // The first block proves the file holds sound at all.
    ensureFrames(*channel, 0, 1);
    if (channel->ring.end == 0) {
        if (!channel->problemReported)
            logMessage("audio", "%s: %s", channel->file.c_str(),
                       kind == AudioKind::Stream ? "not an MP3 stream" : "module renders no sound");
        return 0;
    }
    return addChannel(std::move(channel));
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
        engine.hasDevice = audioOutOpen(device, rate, mixOutput, feedOutput, nullptr, reason);
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

uint32_t audioStreamCreateFile(const char* path, uint32_t /*flags: always streamed*/)
{
    return createChannel(path, AudioKind::Stream);
}

uint32_t audioMusicLoad(const char* path, uint32_t /*flags: libopenmpt's own ramping*/)
{
    return createChannel(path, AudioKind::Module);
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
    const uint64_t now = silentNowNs();
    const uint64_t deviceNow = platformMonotonicNs();
    for (std::atomic<Channel*>& slot : engine.channels)
        if (Channel* channel = slot.load(std::memory_order_relaxed)) {
            settleSilentClock(*channel, now);
            channel->anchorAfterNs = deviceNow;  // the position waits for the device to run
        }
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
    {
        FeedLock lock;
        const bool resuming = !channel->playing.load(std::memory_order_relaxed);
        if (resuming)
            channel->anchorAfterNs = platformMonotonicNs();
        if (restart) {
            moveDeviceCursor(*channel, 0, true);
        } else {
            // While the channel stood still the output went on queueing
            // silence (the page's worklet up to 0.75 s of it): dropped, so
            // the sound goes on now, with the show's clock, and not after
            // it. Dropped first: the callback may hand on the primed sound
            // as soon as it is wanted, and none of that may be dropped.
            if (resuming)
                audioOutFlush();
            wantPlaying(*channel, true);
        }
    }
    audioOutWakeFeeder();
    return true;
}

bool audioChannelPause(uint32_t handle)
{
    Channel* channel = findChannel(handle);
    if (!channel)
        return false;
    if (!engine.hasDevice) {
        settleSilentClock(*channel, silentNowNs());
        channel->playing.store(false, std::memory_order_relaxed);
        return true;
    }
    // What the device was handed beyond the heard frame plays out now; a
    // resume starts again from the heard frame, so nothing is skipped.
    FeedLock lock;
    moveDeviceCursor(*channel, devicePosition(*channel), false);
    return true;
}

int audioChannelGetData(uint32_t handle, void* buffer, uint32_t flags)
{
    Channel* channel = findChannel(handle);
    if (!channel || !buffer || flags != AUDIO_DATA_FFT1024)
        return -1;
    const uint64_t cursor = audioChannelPosition(handle);
    std::vector<float>& window = channel->block;  // room for more than the window
    {
        FeedLock lock;
        ensureFrames(*channel, below(cursor, SPECTRUM_FFT_SIZE), cursor);
        copyFrames(*channel, static_cast<int64_t>(cursor) - SPECTRUM_FFT_SIZE, SPECTRUM_FFT_SIZE, window.data());
        computeSpectrum(window.data(), SPECTRUM_FFT_SIZE, channel->ring.channels, SPECTRUM_FFT_SIZE,
                        static_cast<float*>(buffer));
    }
    return SPECTRUM_BIN_COUNT * static_cast<int>(sizeof(float));
}

uint64_t audioChannelPosition(uint32_t handle)
{
    Channel* channel = findChannel(handle);
    if (!channel)
        return 0;
    return engine.hasDevice ? devicePosition(*channel) : silentPosition(*channel);
}

bool audioChannelSetPosition(uint32_t handle, uint64_t frame)
{
    Channel* channel = findChannel(handle);
    if (!channel)
        return false;
    if (!engine.hasDevice) {
        settleSilentClock(*channel, silentNowNs());
        const uint32_t rate = channel->rate();
        // Rounded up, so that the position read back is `frame` itself.
        channel->silentPlayedNs = frame / rate * NS_PER_SECOND + (frame % rate * NS_PER_SECOND + rate - 1) / rate;
        return true;
    }
    // A paused channel's move waits for the feeder's next round or the
    // next play, so a run of moves (a jump simulated step by step) costs
    // the feeder little.
    const bool playing = channel->playing.load(std::memory_order_relaxed);
    {
        FeedLock lock;
        moveDeviceCursor(*channel, frame, playing);
    }
    if (playing)
        audioOutWakeFeeder();
    return true;
}

uint32_t audioChannelRate(uint32_t handle)
{
    const Channel* channel = findChannel(handle);
    return channel ? channel->rate() : 0;
}

uint64_t audioStarvedFrames()
{
    uint64_t starved = 0;
    if (engine.hasDevice)
        for (std::atomic<Channel*>& slot : engine.channels)
            if (const Channel* channel = slot.load(std::memory_order_relaxed))
                starved += channel->feed.starvedFrames();
    return starved;
}

bool audioStop()
{
    if (!engine.initialised)
        return false;
    const uint64_t now = silentNowNs();
    for (std::atomic<Channel*>& slot : engine.channels)
        if (Channel* channel = slot.load(std::memory_order_relaxed)) {
            settleSilentClock(*channel, now);
            if (engine.hasDevice)
                devicePosition(*channel);  // the position stays where it was heard
        }
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
    for (std::atomic<Channel*>& slot : engine.channels)
        delete slot.exchange(nullptr);
    engine.initialised = engine.hasDevice = engine.outputRunning = false;
    engine.rate = 0;
}

bool audioChannelReadStretch(uint32_t handle, uint64_t firstFrame, uint64_t frameCount, DecodedAudio& out,
                             std::string& reason)
{
    out = DecodedAudio();
    const Channel* channel = findChannel(handle);
    if (!channel) {
        reason = "no such channel";
        return false;
    }
    std::unique_ptr<AudioStream> stream = openStream(channel->file, channel->kind, reason);
    if (!stream)
        return false;
    const size_t channels = static_cast<size_t>(stream->channels());
    out.rate = stream->rate();
    out.channels = stream->channels();
    out.samples.assign(static_cast<size_t>(frameCount) * channels, 0.0f);
    const uint64_t end = firstFrame + frameCount;
    std::vector<float> block(AUDIO_STREAM_BLOCK_FRAMES * channels);
    // The seek may land before the frame asked for; what comes before it is skipped.
    for (uint64_t at = stream->seek(firstFrame); at < end;) {
        const size_t got = stream->read(block.data());
        if (got == 0)
            break;
        const uint64_t from = std::max(at, firstFrame);
        const uint64_t to = std::min(at + got, end);
        if (from < to)
            std::copy(block.begin() + static_cast<ptrdiff_t>((from - at) * channels),
                      block.begin() + static_cast<ptrdiff_t>((to - at) * channels),
                      out.samples.begin() + static_cast<ptrdiff_t>((from - firstFrame) * channels));
        at += got;
    }
    return true;
}
