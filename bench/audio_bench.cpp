// Audio engine measurements: decoding a whole MP3 (time and memory, the
// tools' way), one frame's spectrum, the engine's streamed spectrum as the
// offline renderer reads it (60 frames a second, in order) and after moves
// to random times, and A/V sync: how far the music's play position strays
// from the show's millisecond clock while both run, and the size of its
// steps.
//
//   QUILLMOOR_BENCH_MP3=/path/to/long.mp3   the file to decode (default: the
//                                            build's Data/music.mp3)
//   QUILLMOOR_SYNC_SECONDS=60                how long the sync run plays
// With SDL_AUDIODRIVER=dummy (or no device) the cursor is the silent one;
// SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null drives the device path.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/clock.h"
#include "audio/audio_decode.h"
#include "audio/audio_engine.h"
#include "audio/spectrum.h"

namespace {

std::string benchMp3()
{
    const char* path = std::getenv("QUILLMOOR_BENCH_MP3");
    return path && *path ? path : QUILLMOOR_BUILT_DATA "/music.mp3";
}

double peakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void BM_DecodeMp3(benchmark::State& state)
{
    const std::string path = benchMp3();
    const double rssBefore = peakRssMiB();
    DecodedAudio pcm;
    std::string reason;
    for (auto _ : state) {
        if (!decodeAudioFile(path.c_str(), AudioKind::Stream, pcm, reason)) {
            state.SkipWithError((path + ": " + reason).c_str());
            return;
        }
        benchmark::DoNotOptimize(pcm.samples.data());
    }
    state.counters["audio_s"] = static_cast<double>(pcm.frames()) / pcm.rate;
    state.counters["pcm_MiB"] = pcm.samples.size() * sizeof(float) / (1024.0 * 1024.0);
    state.counters["peak_rss_growth_MiB"] = peakRssMiB() - rssBefore;
}
BENCHMARK(BM_DecodeMp3)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Spectrum(benchmark::State& state)
{
    std::vector<float> pcm(2 * 44100);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<float>(std::sin(0.01 * static_cast<double>(i)));
    float bins[SPECTRUM_BIN_COUNT];
    size_t cursor = 2048;
    for (auto _ : state) {
        computeSpectrum(pcm.data(), pcm.size() / 2, 2, cursor, bins);
        benchmark::DoNotOptimize(bins);
        cursor = cursor % 40000 + 735;
    }
}
BENCHMARK(BM_Spectrum)->Unit(benchmark::kMicrosecond);

uint64_t benchNs = 0;
uint64_t readBenchClock(void*)
{
    return benchNs;
}

// The offline renderer's pattern: the silent output's clock driven 1/60 s at
// a time through the whole show, the spectrum read at every frame.
void BM_StreamedSpectrumInOrder(benchmark::State& state)
{
    const double rssBefore = peakRssMiB();
    int64_t spectra = 0;
    for (auto _ : state) {
        audioSetClock(readBenchClock, nullptr);
        audioInit(0, 44100);
        const uint32_t handle = audioStreamCreateFile(benchMp3().c_str(), AUDIO_STREAM_PRESCAN);
        if (!handle) {
            audioFree();
            state.SkipWithError("no music");
            return;
        }
        audioStart();
        audioChannelPlay(handle, false);
        float bins[SPECTRUM_BIN_COUNT];
        for (int frame = 0; frame < 153 * 60; ++frame, ++spectra) {
            benchNs = static_cast<uint64_t>(frame) * 1000000000ull / 60;
            audioChannelGetData(handle, bins, AUDIO_DATA_FFT1024);
            benchmark::DoNotOptimize(bins);
        }
        audioFree();
        audioSetClock(nullptr, nullptr);
    }
    state.counters["spectra"] = benchmark::Counter(static_cast<double>(spectra), benchmark::Counter::kIsRate);
    state.counters["peak_rss_growth_MiB"] = peakRssMiB() - rssBefore;
}
BENCHMARK(BM_StreamedSpectrumInOrder)->Unit(benchmark::kMillisecond)->Iterations(3);

// A move to a random time in the show and the spectrum there.
void BM_StreamedSpectrumAfterMove(benchmark::State& state)
{
    audioSetClock(readBenchClock, nullptr);
    audioInit(0, 44100);
    const uint32_t handle = audioStreamCreateFile(benchMp3().c_str(), AUDIO_STREAM_PRESCAN);
    if (!handle) {
        audioFree();
        state.SkipWithError("no music");
        return;
    }
    uint64_t frame = 12345;
    float bins[SPECTRUM_BIN_COUNT];
    for (auto _ : state) {
        frame = (frame * 1103515245u + 12345u) % (153ull * 44100);
        audioChannelSetPosition(handle, frame);
        audioChannelGetData(handle, bins, AUDIO_DATA_FFT1024);
        benchmark::DoNotOptimize(bins);
    }
    audioFree();
    audioSetClock(nullptr, nullptr);
}
BENCHMARK(BM_StreamedSpectrumAfterMove)->Unit(benchmark::kMicrosecond);

// Plays the file and, every millisecond, compares the cursor (in ms) with the
// show's FrameClock started at the same moment, and with the monotonic clock
// (which tells the cursor's own drift from the FrameClock's).
void BM_SyncDrift(benchmark::State& state)
{
    const char* secondsText = std::getenv("QUILLMOOR_SYNC_SECONDS");
    const double seconds = secondsText ? std::atof(secondsText) : 60.0;
    for (auto _ : state) {
        if (!audioInit(-1, 44100)) {
            state.SkipWithError("audio engine did not start");
            return;
        }
        const uint32_t handle = audioStreamCreateFile(benchMp3().c_str(), AUDIO_STREAM_PRESCAN);
        if (!handle) {
            audioFree();
            state.SkipWithError("no music");
            return;
        }
        const double rate = audioChannelRate(handle);
        FrameClock clock;
        audioStart();
        clock.startClock();
        audioChannelPlay(handle, false);
        const auto playStart = std::chrono::steady_clock::now();

        uint64_t lastPosition = 0;
        uint64_t changes = 0;
        uint64_t largestStep = 0;
        double maxDrift = 0.0;
        double drift = 0.0;
        double maxMonotonicDrift = 0.0;
        double monotonicDrift = 0.0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            const uint64_t position = audioChannelPosition(handle);
            if (position != lastPosition) {
                ++changes;
                largestStep = std::max(largestStep, position - lastPosition);
                lastPosition = position;
            }
            const double musicMs = position * 1000.0 / rate;
            const double showMs = clock.tickCount.load();
            const double wallMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - playStart).count();
            drift = musicMs - showMs;
            maxDrift = std::max(maxDrift, std::abs(drift));
            monotonicDrift = musicMs - wallMs;
            maxMonotonicDrift = std::max(maxMonotonicDrift, std::abs(monotonicDrift));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        clock.stopClock();
        audioStop();
        state.counters["device"] = audioHasDevice() ? 1 : 0;
        state.counters["seconds"] = seconds;
        state.counters["max_drift_ms"] = maxDrift;
        state.counters["final_drift_ms"] = drift;
        state.counters["max_drift_monotonic_ms"] = maxMonotonicDrift;
        state.counters["final_drift_monotonic_ms"] = monotonicDrift;
        state.counters["mean_step_frames"] = changes ? static_cast<double>(lastPosition) / changes : 0.0;
        state.counters["largest_step_frames"] = static_cast<double>(largestStep);
        audioFree();
    }
}
BENCHMARK(BM_SyncDrift)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
