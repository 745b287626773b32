// A channel's way to the sound device. The feeder decodes ahead into a
// lock-free ring of stereo frames at the device's rate; the device's
// callback only copies out of it. One writer (the feeder), one reader (the
// callback), no locks, no waiting on either side.
//
// A move of the channel (a start, a jump, a pause, a loop) is a new
// generation: the main thread asks for it with want(), the feeder starts a
// segment for it at the ring's write end, and the callback, once it sees
// that segment, drops whatever it still held of the one before, so a stale
// frame is never heard. The callback starts on a segment once the feeder
// has primed it (written enough that it does not run dry at once), plays
// only while the generation it holds is the one wanted and playing is
// wanted, and reports after every
// call what it has played of that generation and when, which is all the
// main thread needs for the heard position.
//
// Threads: want() on the main thread; beginSegment, writable, queued and
// write on the feeder; play on the device's callback; report and
// starvedFrames on any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

// What the callback last said about its generation.
struct FeedReport {
    uint64_t generation = 0;     // 0: nothing reported yet
    uint64_t playedFrames = 0;   // device frames played of the generation
    uint64_t atNs = 0;           // when, on the monotonic clock
    uint64_t latencyFrames = 0;  // device frames from the last one played to the one heard then
};

class DeviceFeed {
public:
    // Room for at least `frames` stereo frames (rounded up to a power of two).
    void allocate(uint32_t frames);

    // Main thread: the generation the callback may play, and whether it should.
    void want(uint64_t generation, bool playing);

    // Feeder: frames of the generation before the segment are never played.
    void beginSegment(uint64_t generation);
    // Feeder: the segment holds enough to start on without running dry at
    // once; the callback plays none of it before.
    void primeSegment();
    bool segmentPrimed() const { return segmentPrimed_; }
    // Feeder: frames that can be written now.
    uint64_t writable() const;
    // Feeder: frames of the current segment written and not yet played.
    uint64_t queued() const;
    // Feeder: appends `count` interleaved stereo frames (count <= writable()).
    void write(const float* frames, uint64_t count);

    // Callback: adds up to `count` frames times `volume` into `out`
    // (interleaved stereo); the frames played. A playing channel that has
    // fewer ready counts the rest as starved. Reports either way.
    uint64_t play(float* out, uint64_t count, float volume, uint64_t nowNs, uint64_t latencyFrames);

    FeedReport report() const;
    // Frames a playing channel had not ready when the callback asked.
    uint64_t starvedFrames() const { return starved_.load(std::memory_order_relaxed); }

private:
    // A record of a few words that one thread writes and others read whole:
    // the reader tries again while a write is under way.
    template <int N>
    struct Published {
        std::atomic<uint64_t> sequence{0};
        std::atomic<uint64_t> words[N] = {};
        void store(const uint64_t (&values)[N]);
        void load(uint64_t (&values)[N]) const;
    };

    std::vector<float> samples_;
    uint64_t capacity_ = 0;  // frames, a power of two
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> read_{0};
    std::atomic<uint64_t> wanted_{0};  // generation << 1 | playing
    Published<3> segment_;             // generation, first ring index, primed
    Published<4> report_;              // as FeedReport
    std::atomic<uint64_t> starved_{0};
    uint64_t segmentStart_ = 0;      // feeder's copy of the segment's first index
    uint64_t segmentGeneration_ = 0; // feeder's copy of the segment's generation
    bool segmentPrimed_ = false;     // feeder's copy
    uint64_t heldGeneration_ = 0;    // callback only
    uint64_t playedFrames_ = 0;      // callback only, of heldGeneration_
};
