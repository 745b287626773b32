// What the viewer's controls cost, with the built soundtrack on the silent
// output and nothing drawn (no window is needed):
// - a jump: the show started again from 0 and simulated without drawing up
//   to the landing, each step reading the spectrum at its own time, then
//   clock and music put there. The longest jump back is Left near the end
//   (Left just before 153 s lands near 148 s); Home costs nothing to simulate.
// - memory over --loop: ten whole shows through the main loop on a fixed
//   20 ms step; the counters are the process's peak resident memory (VmHWM)
//   after the first start and after the tenth.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

#include "app/demo.h"
#include "app/fixed_step.h"
#include "app/main_loop.h"
#include "app/playback.h"
#include "audio/audio_engine.h"
#include "show/scene.h"

namespace {

// VmHWM of this process, kB (0 when unknown).
double peakResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmHWM:") == 0)
            return std::stod(line.substr(6));
    return 0.0;
}

// The main loop's outside world on a clock moved 20 ms a frame, frames
// advancing the show without drawing.
class FixedStepIo : public FrameIo {
public:
    FixedStepIo(Demo& demo, Scene& scene) : demo_(demo), scene_(scene) {}
    void readFrameTime() override
    {
        demo_.clock.tickCount += 20;
        demo_.clock.readFrameTime(demo_.timeMs, demo_.frameStep);
    }
    bool peekMessage(Message&) override { return false; }
    void renderFrame() override { runFramePasses(demo_, scene_, false); }
    void drawFades() override {}
    void bindWindowFramebuffer() override {}
    void present() override {}

private:
    Demo& demo_;
    Scene& scene_;
};

// The silent output's clock: the show clock's counter, so the music plays
// along with the show, through every start again.
uint64_t showClockNs(void* demo)
{
    return static_cast<Demo*>(demo)->clock.tickCount.load() * 1000000ull;
}

void BM_TenLoopsOfTheShow(benchmark::State& state)
{
    audioInit(0, 44100);
    auto demo = std::make_unique<Demo>();
    if (demo->music.load(QUILLMOOR_BUILT_DATA "/music.mp3") != 0) {
        state.SkipWithError("no soundtrack in the build's Data folder");
        return;
    }
    Scene scene(*demo);
    attachPlayback(*demo, &scene);
    demo->playback.loop = true;
    demo->clock.service.start = [](uint32_t, uint32_t, TimerCallback, void*) { return 0u; };
    demo->clock.startClock(0);
    audioStart();
    audioChannelPlay(demo->music.activeHandle(), false);
    demo->musicPlaying = true;
    audioSetClock(showClockNs, demo.get());
    FixedStepIo io(*demo, scene);
    for (auto _ : state) {
        for (int starts = 0; starts < 10;) {
            const uint32_t before = demo->timeMs;
            runFrame(*demo, io);
            if (demo->timeMs < before && ++starts == 1)
                state.counters["vmhwm_after_1_loop_kB"] = peakResidentKb();
        }
        state.counters["vmhwm_after_10_loops_kB"] = peakResidentKb();
    }
    attachPlayback(*demo, nullptr);
    scene.release();
    demo.reset();
    audioSetClock(nullptr, nullptr);
}
BENCHMARK(BM_TenLoopsOfTheShow)->Unit(benchmark::kSecond)->Iterations(1);

void BM_Jump(benchmark::State& state)
{
    const uint32_t landingMs = static_cast<uint32_t>(state.range(0));
    audioInit(0, 44100);
    auto demo = std::make_unique<Demo>();
    if (demo->music.load(QUILLMOOR_BUILT_DATA "/music.mp3") != 0) {
        state.SkipWithError("no soundtrack in the build's Data folder");
        return;
    }
    Scene scene(*demo);
    attachPlayback(*demo, &scene);
    audioStart();
    audioChannelPlay(demo->music.activeHandle(), false);
    demo->musicPlaying = true;
    for (auto _ : state) {
        jumpShow(*demo, landingMs);
        benchmark::DoNotOptimize(scene.particles.data());
    }
    attachPlayback(*demo, nullptr);
    scene.release();
    demo.reset();  // frees the audio engine
}
BENCHMARK(BM_Jump)->Arg(148000)->Arg(145000)->Arg(75000)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
