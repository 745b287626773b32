// Live frame rate in the busy stretch: the show started part-way through
// (19 s) on a hidden window, as the program's --from does, then run by the
// wall clock for a few seconds, presenting every frame as the live loop
// does (and finishing it, as a window's swap does). Three ways per size,
// registered one after another so that they meet the same load: every
// sprite through the full program at full size (the show as it was), the
// blurred-only program for sprites wholly out of focus at full size, and
// that with the automatic render scale, the live default, which reports the
// scale it settled on and the rate it held over the second half of its run.
// Runs headless: SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <chrono>
#include <memory>

#include "app/demo.h"
#include "app/entry.h"
#include "app/fixed_step.h"
#include "app/render_scale.h"
#include "gl/scaled_frame.h"
#include "platform/files.h"
#include "platform/window.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/scene.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t START_MS = 19000;
enum Way { SINGLE_PROGRAM = 0, TWO_PROGRAMS = 1, AUTO_SCALE = 2 };

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_LiveBusyStretch(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const Way way = static_cast<Way>(state.range(2));
    const double seconds = way == AUTO_SCALE ? 14.0 : 6.0;

    setContentFolder(QUILLMOOR_BUILT_DATA);
    platformUseHeadless();
    Demo demo;
    storeWindowlessSettings(demo, width, height);
    demo.settings.startMs = START_MS;
    demo.clock.service.start = [](uint32_t, uint32_t, TimerCallback, void*) { return 0u; };
    std::unique_ptr<Scene> scene = beginShow(demo);
    if (!scene) {
        state.SkipWithError("no GL window (see stderr)");
        endShow(demo, nullptr);
        return;
    }
    scene->singleSpriteProgram = way == SINGLE_PROGRAM;

    double frames = 0.0, secondHalfFrames = 0.0, secondHalfStart = 0.0, total = 0.0;
    float settledScale = 1.0f;
    {
        RenderScaleController scale;
        scale.start(way == AUTO_SCALE ? 0.0f : 1.0f, frameBudgetMs(0));
        ScaledFrame scaled;
        for (auto _ : state) {
            const Clock::time_point start = Clock::now();
            uint32_t previousMs = START_MS;
            for (double elapsed = 0.0; elapsed < seconds; elapsed = secondsSince(start)) {
                const uint32_t now = START_MS + static_cast<uint32_t>(elapsed * 1000.0);
                if (frames > 0.0)
                    scale.frameTook(static_cast<float>(now - previousMs));
                setFrameTime(demo, now, frames > 0.0 ? now - previousMs : 0);
                previousMs = now;
                scaled.begin(scale.scale(), width, height);
                renderFrame(*scene);
                drawFades(demo);
                scaled.finish();
                platformSwapWindow(demo.window);
                glFinish();
                frames += 1.0;
                if (elapsed >= seconds / 2.0) {
                    if (secondHalfFrames == 0.0)
                        secondHalfStart = elapsed;
                    secondHalfFrames += 1.0;
                }
            }
            total = secondsSince(start);
            state.SetIterationTime(total);
            settledScale = scale.scale();
        }
    }
    endShow(demo, std::move(scene));

    state.counters["fps"] = frames / total;
    if (way == AUTO_SCALE) {
        state.counters["scale"] = settledScale;
        state.counters["held_fps"] = secondHalfFrames / (total - secondHalfStart);
    }
}

void liveArgs(benchmark::internal::Benchmark* bench)
{
    for (const auto& size : {std::pair<int, int>{480, 270}, {960, 540}, {1920, 1080}})
        for (int way : {SINGLE_PROGRAM, TWO_PROGRAMS, AUTO_SCALE})
            bench->Args({size.first, size.second, way});
}

}  // namespace

BENCHMARK(BM_LiveBusyStretch)->Apply(liveArgs)->ArgNames({"w", "h", "way"})->Iterations(1)->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
