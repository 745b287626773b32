// The feed between the feeder and the device's callback, with both on
// threads of their own and the main thread moving the channel all the
// while: every frame the callback plays belongs to the generation it
// reports, follows the one before it without a gap or a repeat, and none is
// played while the channel is paused or before its segment is primed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/device_feed.h"

TEST(DeviceFeed, CallbackPlaysOnlyTheWantedGenerationInOrderThroughManyMoves)
{
    DeviceFeed feed;
    feed.allocate(4096);
    std::mutex feedLock;  // the main thread's and the feeder's, as the engine's
    uint64_t wanted = 1;  // under feedLock
    feed.want(wanted, true);
    std::atomic<bool> running{true};
    std::atomic<uint64_t> primed{0};  // the last generation the feeder primed

    // The feeder: frames that say which generation they are of (left) and
    // where in it (right), a lead of 1024 frames, primed at 256.
    std::thread feeder([&] {
        uint64_t generation = 0, next = 0;
        std::vector<float> block(2 * 128);
        while (running.load()) {
            {
                std::lock_guard<std::mutex> held(feedLock);
                if (generation != wanted) {
                    generation = wanted;
                    next = 0;
                    feed.beginSegment(generation);
                }
                if (feed.queued() < 1024 && feed.writable() >= 128) {
                    for (int i = 0; i < 128; ++i) {
                        block[2 * i] = static_cast<float>(generation);
                        block[2 * i + 1] = static_cast<float>(next++);
                    }
                    feed.write(block.data(), 128);
                }
                if (!feed.segmentPrimed() && feed.queued() >= 256) {
                    primed.store(generation);
                    feed.primeSegment();
                }
            }
            std::this_thread::yield();
        }
    });

    std::atomic<uint64_t> played{0}, wrong{0}, pausedPlays{0}, unprimedPlays{0};
    std::atomic<bool> paused{false};
    std::thread callback([&] {
        std::vector<float> out(2 * 64);
        while (running.load()) {
            std::fill(out.begin(), out.end(), 0.0f);
            const bool pausedBefore = paused.load();
            const uint64_t count = feed.play(out.data(), 64, 1.0f, 0, 0);
            const FeedReport report = feed.report();
            if (pausedBefore && paused.load() && count > 0)
                ++pausedPlays;
            if (count > 0 && primed.load() < report.generation)
                ++unprimedPlays;
            for (uint64_t i = 0; i < count; ++i)
                if (out[2 * i] != static_cast<float>(report.generation) ||
                    out[2 * i + 1] != static_cast<float>(report.playedFrames - count + i))
                    ++wrong;
            played += count;
        }
    });

    // At least 300 moves, and on until the callback has played enough to
    // prove something, which a busy machine can take a while to allow.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int move = 0; move < 300 || (played.load() <= 1000u && std::chrono::steady_clock::now() < deadline);
         ++move) {
        std::this_thread::sleep_for(std::chrono::microseconds(300 + move % 7 * 200));
        std::lock_guard<std::mutex> held(feedLock);
        // The flag the callback checks is raised after a pause is asked for
        // and lowered before playing is.
        const bool playing = move % 5 != 4;
        if (playing)
            paused.store(false);
        feed.want(++wanted, playing);
        if (!playing)
            paused.store(true);
    }
    running.store(false);
    feeder.join();
    callback.join();
    EXPECT_GT(played.load(), 1000u) << "the callback played hardly anything";
    EXPECT_EQ(wrong.load(), 0u) << "frames from another generation, or out of order";
    EXPECT_EQ(pausedPlays.load(), 0u) << "played while the channel was paused";
    EXPECT_EQ(unprimedPlays.load(), 0u) << "played a segment before it was primed";
}
