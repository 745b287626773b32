#include "audio/device_feed.h"

#include <algorithm>
#include <cassert>

template <int N>
void DeviceFeed::Published<N>::store(const uint64_t (&values)[N])
{
    const uint64_t at = sequence.load(std::memory_order_relaxed);
    sequence.store(at + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (int i = 0; i < N; ++i)
        words[i].store(values[i], std::memory_order_relaxed);
    sequence.store(at + 2, std::memory_order_release);
}

template <int N>
void DeviceFeed::Published<N>::load(uint64_t (&values)[N]) const
{
    for (;;) {
        const uint64_t before = sequence.load(std::memory_order_acquire);
        for (int i = 0; i < N; ++i)
            values[i] = words[i].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (before % 2 == 0 && sequence.load(std::memory_order_relaxed) == before)
            return;
    }
}

void DeviceFeed::allocate(uint32_t frames)
{
    capacity_ = 1;
    while (capacity_ < frames)
        capacity_ *= 2;
    samples_.assign(capacity_ * 2, 0.0f);
}

void DeviceFeed::want(uint64_t generation, bool playing)
{
    wanted_.store(generation << 1 | (playing ? 1 : 0), std::memory_order_release);
}

void DeviceFeed::beginSegment(uint64_t generation)
{
    segmentStart_ = written_.load(std::memory_order_relaxed);
    segmentGeneration_ = generation;
    segmentPrimed_ = false;
    segment_.store({generation, segmentStart_, 0});
}

void DeviceFeed::primeSegment()
{
    segmentPrimed_ = true;
    segment_.store({segmentGeneration_, segmentStart_, 1});
}

uint64_t DeviceFeed::writable() const
{
    return capacity_ - (written_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire));
}

uint64_t DeviceFeed::queued() const
{
    const uint64_t read = std::max(read_.load(std::memory_order_acquire), segmentStart_);
    return written_.load(std::memory_order_relaxed) - read;
}

void DeviceFeed::write(const float* frames, uint64_t count)
{
    assert(count <= writable());
    const uint64_t at = written_.load(std::memory_order_relaxed);
    const uint64_t mask = capacity_ - 1;
    for (uint64_t done = 0; done < count;) {
        const uint64_t slot = (at + done) & mask;
        const uint64_t run = std::min(count - done, capacity_ - slot);
        std::copy(frames + 2 * done, frames + 2 * (done + run), samples_.data() + 2 * slot);
        done += run;
    }
    written_.store(at + count, std::memory_order_release);
}

uint64_t DeviceFeed::play(float* out, uint64_t count, float volume, uint64_t nowNs, uint64_t latencyFrames)
{
    // What was written is read first: any frame of a newer segment among it
    // comes with that segment and with the wish that asked for it.
    const uint64_t written = written_.load(std::memory_order_acquire);
    uint64_t segment[3];
    segment_.load(segment);
    uint64_t read = read_.load(std::memory_order_relaxed);
    if (segment[0] != heldGeneration_) {
        read = std::max(read, segment[1]);
        read_.store(read, std::memory_order_release);
        heldGeneration_ = segment[0];
        playedFrames_ = 0;
    }
    uint64_t played = 0;
    if (segment[2] && wanted_.load(std::memory_order_acquire) == (heldGeneration_ << 1 | 1)) {
        played = std::min(count, written - read);
        const uint64_t mask = capacity_ - 1;
        for (uint64_t done = 0; done < played;) {
            const uint64_t slot = (read + done) & mask;
            const uint64_t run = std::min(played - done, capacity_ - slot);
            const float* from = samples_.data() + 2 * slot;
            float* to = out + 2 * done;
            for (uint64_t i = 0; i < 2 * run; ++i)
                to[i] += from[i] * volume;
            done += run;
        }
        read_.store(read + played, std::memory_order_release);
        playedFrames_ += played;
        if (played < count)
            starved_.fetch_add(count - played, std::memory_order_relaxed);
    }
    report_.store({heldGeneration_, playedFrames_, nowNs, latencyFrames});
    return played;
}

FeedReport DeviceFeed::report() const
{
    uint64_t words[4];
    report_.load(words);
    return FeedReport{words[0], words[1], words[2], words[3]};
}
