// The device callback's cost as the show meets it: a device of this
// program's own (it stands in for the platform's output, as the headless
// backends do) calls the engine's fill function every 128 frames, as a
// low-latency PipeWire graph does, while the main thread does what the
// show's frames do (the position and the spectrum every 16 ms, a jump every
// 5 s) and two loops spin beside them on a two-core machine. It reports the
// callback's time (median, 99.9th percentile, worst) and how many frames a
// playing channel had not ready when the callback asked for them.
//
//   QUILLMOOR_CALLBACK_SECONDS=20   how long it plays
//   QUILLMOOR_CALLBACK_SPINNERS=2   the busy loops beside it
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_engine.h"
#include "platform/audio_feeder.h"
#include "platform/audio_out.h"

namespace {

constexpr uint32_t RATE = 44100;
constexpr int CYCLE_FRAMES = 128;
using Clock = std::chrono::steady_clock;

int setting(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

// The device: a thread that asks for CYCLE_FRAMES frames each cycle, and
// the time each call took.
struct Device {
    AudioOutFill fill = nullptr;
    void* user = nullptr;
    std::atomic<bool> running{false};
    std::atomic<bool> paused{true};
    std::thread thread;
    std::vector<double> callbackUs;
};
Device device;

void runDevice()
{
    std::vector<float> frames(CYCLE_FRAMES * AUDIO_OUT_CHANNELS);
    const auto period = std::chrono::nanoseconds(1000000000ll * CYCLE_FRAMES / RATE);
    auto next = Clock::now();
    while (device.running.load()) {
        next += period;
        std::this_thread::sleep_until(next);
        if (device.paused.load())
            continue;
        const auto start = Clock::now();
        device.fill(frames.data(), CYCLE_FRAMES, device.user);
        device.callbackUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * values.size()))];
}

void BM_CallbackWhileTheShowPlays(benchmark::State& state)
{
    const int seconds = setting("QUILLMOOR_CALLBACK_SECONDS", 20);
    const int spinners = setting("QUILLMOOR_CALLBACK_SPINNERS", 2);
    for (auto _ : state) {
        if (!audioInit(-1, RATE) || !audioHasDevice()) {
            state.SkipWithError("the bench's device did not open");
            return;
        }
        const uint32_t music = audioStreamCreateFile(QUILLMOOR_BUILT_DATA "/music.mp3", AUDIO_STREAM_PRESCAN);
        if (!music) {
            audioFree();
            state.SkipWithError("no soundtrack");
            return;
        }
        std::atomic<bool> spinning{true};
        std::vector<std::thread> loops;
        for (int i = 0; i < spinners; ++i)
            loops.emplace_back([&spinning] {
                volatile uint64_t count = 0;
                while (spinning.load(std::memory_order_relaxed))
                    count = count + 1;
            });
        audioChannelSetPosition(music, 50u * RATE);
        audioChannelPlay(music, false);
        float spectrum[512];
        const auto start = Clock::now();
        auto nextJump = start + std::chrono::seconds(5);
        while (Clock::now() < start + std::chrono::seconds(seconds)) {
            audioChannelGetData(music, spectrum, AUDIO_DATA_FFT1024);
            benchmark::DoNotOptimize(spectrum[0]);
            if (Clock::now() >= nextJump) {
                // As the show jumps: silent, moved, played again.
                const uint64_t heard = audioChannelPosition(music);
                audioChannelPause(music);
                audioChannelSetPosition(music, heard + 5u * RATE);
                audioChannelPlay(music, false);
                nextJump += std::chrono::seconds(5);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(16));
        }
        const uint64_t starved = audioStarvedFrames();
        audioFree();
        spinning.store(false);
        for (std::thread& loop : loops)
            loop.join();
        state.counters["median_us"] = percentile(device.callbackUs, 0.5);
        state.counters["p99.9_us"] = percentile(device.callbackUs, 0.999);
        state.counters["worst_us"] = percentile(device.callbackUs, 1.0);
        state.counters["callbacks"] = static_cast<double>(device.callbackUs.size());
        state.counters["starved_frames"] = static_cast<double>(starved);
        device.callbackUs.clear();
    }
}
BENCHMARK(BM_CallbackWhileTheShowPlays)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

// ---- The bench's own output, in place of the platform's ------------------

bool audioOutOpen(int, uint32_t rate, AudioOutFill fill, AudioOutFeed feed, void* user, std::string& reason)
{
    device.fill = fill;
    device.user = user;
    device.callbackUs.reserve(static_cast<size_t>(RATE) * 600 / CYCLE_FRAMES);
    if (!audioFeederStart(feed, user, rate, reason))
        return false;
    device.running.store(true);
    device.thread = std::thread(runDevice);
    return true;
}

uint32_t audioOutLatencyFrames()
{
    return CYCLE_FRAMES;
}

void audioOutSetPaused(bool paused)
{
    device.paused.store(paused);
}

void audioOutFlush()
{
}

void audioOutClose()
{
    audioFeederStop();
    device.running.store(false);
    if (device.thread.joinable())
        device.thread.join();
}

// The soundtrack plays at the device's rate: nothing is converted.
AudioOutConverter* audioOutConverterCreate(uint32_t, uint32_t)
{
    return nullptr;
}
void audioOutConverterFree(AudioOutConverter*) {}
bool audioOutConverterPut(AudioOutConverter*, const float*, int)
{
    return false;
}
int audioOutConverterAvailable(AudioOutConverter*)
{
    return 0;
}
int audioOutConverterGet(AudioOutConverter*, float*, int)
{
    return 0;
}
void audioOutConverterClear(AudioOutConverter*) {}

BENCHMARK_MAIN();
