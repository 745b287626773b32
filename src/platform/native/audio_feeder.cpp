#include "platform/audio_feeder.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// Far below any lead the engine keeps, and long enough to cost nothing.
constexpr auto FEED_PERIOD = std::chrono::milliseconds(10);

struct Feeder {
    std::thread thread;
    std::mutex lock;            // the feed lock: held around every feed call
    std::condition_variable woken;
    bool stopping = false;      // under lock
    bool wakeAsked = false;     // under lock
    AudioOutFeed feed = nullptr;
    void* user = nullptr;
    uint32_t aheadFrames = 0;
};
Feeder feeder;

void runFeeder()
{
    std::unique_lock<std::mutex> held(feeder.lock);
    while (!feeder.stopping) {
        // One step at a time, letting go of the lock between steps, so the
        // main thread never waits for more than one block's decoding.
        while (!feeder.stopping && feeder.feed(feeder.aheadFrames, feeder.user)) {
            held.unlock();
            std::this_thread::yield();
            held.lock();
        }
        feeder.woken.wait_for(held, FEED_PERIOD, [] { return feeder.stopping || feeder.wakeAsked; });
        feeder.wakeAsked = false;
    }
}

}  // namespace

bool audioFeederStart(AudioOutFeed feed, void* user, uint32_t rate, std::string& reason)
{
    feeder.feed = feed;
    feeder.user = user;
    feeder.aheadFrames = rate * AUDIO_FEEDER_AHEAD_MS / 1000;
    feeder.stopping = false;
    feeder.wakeAsked = false;
    try {
        feeder.thread = std::thread(runFeeder);
    } catch (const std::system_error& error) {
        reason = std::string("cannot start the feeder thread: ") + error.what();
        return false;
    }
    return true;
}

void audioFeederStop()
{
    if (!feeder.thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> held(feeder.lock);
        feeder.stopping = true;
    }
    feeder.woken.notify_one();
    feeder.thread.join();
    feeder.feed = nullptr;
    feeder.user = nullptr;
}

void audioOutWakeFeeder()
{
    if (!feeder.thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> held(feeder.lock);
        feeder.wakeAsked = true;
    }
    feeder.woken.notify_one();
}

void audioOutFeedLock()
{
    if (feeder.thread.joinable())
        feeder.lock.lock();
}

void audioOutFeedUnlock()
{
    if (feeder.thread.joinable())
        feeder.lock.unlock();
}
