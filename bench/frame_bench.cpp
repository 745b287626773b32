// Frame cost of the show on the machine at hand: one whole renderFrame at
// 480 x 270, 1280 x 720 and 1920 x 1080, the terrain pass and the sprite
// pass alone (and the sprites' per-particle uniform look-up), each split
// into the time to submit the calls (CPU) and the time glFinish then waits
// for the rasteriser. The sprite pass and the whole frame run both ways:
// every sprite through the full program (program:1) and the wholly blurred
// ones through the blurred-only program (program:2), one after the other. Content comes from the build's Data folder, so the frame
// is the one a viewer sees.
// Runs headless: SDL_VIDEODRIVER=offscreen.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <chrono>
#include <memory>
#include <utility>

#include "app/demo.h"
#include "app/entry.h"
#include "gl/gl_window.h"
#include "platform/window.h"
#include "platform/files.h"
#include "resources/configurator.h"
#include "app/clock.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/scene.h"
#include "show/sprites.h"
#include "resources/shader_registry.h"
#include "show/terrain.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A hidden window of the given size with the show's content loaded and its
// projection, started at `startMs` as the program's --from starts it (the
// show before then simulated with the soundtrack's own spectrum); the show
// ends, and everything it made goes, with this.
struct ShowContext {
    std::unique_ptr<Demo> demo = std::make_unique<Demo>();
    std::unique_ptr<Scene> scene;
    bool ok = false;

    ShowContext(int width, int height, uint32_t startMs = 0)
    {
        setContentFolder(QUILLMOOR_BUILT_DATA);
        platformUseHeadless();
        storeWindowlessSettings(*demo, width, height);
        demo->settings.startMs = startMs;
        demo->clock.service.start = [](uint32_t, uint32_t, TimerCallback, void*) { return 0u; };
        scene = beginShow(*demo);
        ok = scene != nullptr;
    }

    ~ShowContext() { endShow(*demo, std::move(scene)); }

    ShowContext(const ShowContext&) = delete;
    ShowContext& operator=(const ShowContext&) = delete;
};

// Times one pass per iteration: `submit` is timed alone, then glFinish.
template <typename Pass>
void timeSplit(benchmark::State& state, Pass submit, bool simulateFirst = false)
{
    ShowContext show(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                     simulateFirst ? 20000 : 0);
    if (!show.ok) {
        state.SkipWithError("no GL window (see stderr)");
        return;
    }
    Demo& demo = *show.demo;
    show.scene->singleSpriteProgram = state.range(2) == 1;
    demo.timeMs = 20000;  // particles and sprites running
    demo.frameStep = 0.016f;
    double submitSeconds = 0.0, finishSeconds = 0.0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        submit(demo, *show.scene);
        const double submitted = secondsSince(start);
        glFinish();
        const double total = secondsSince(start);
        submitSeconds += submitted;
        finishSeconds += total - submitted;
        state.SetIterationTime(total);
        demo.timeMs += 8;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["submit_ms"] = submitSeconds / n * 1e3;
    state.counters["finish_ms"] = finishSeconds / n * 1e3;
}

// The whole frame from the show's state at 20 s, in the busy stretch.
void BM_RenderFrame(benchmark::State& state)
{
    timeSplit(state, [](Demo& demo, Scene& scene) {
        renderFrame(scene);
        drawFades(demo);
    }, true);
}

void BM_TerrainPass(benchmark::State& state)
{
    timeSplit(state, [](Demo&, Scene& scene) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawBackground(scene);
        placeCamera(scene);
        setCameraView(scene);
        drawTerrain(scene);
    });
}

// The background and view alone: what the terrain pass costs without the mesh.
void BM_BackgroundOnly(benchmark::State& state)
{
    timeSplit(state, [](Demo&, Scene& scene) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawBackground(scene);
        placeCamera(scene);
        setCameraView(scene);
    });
}

// The sprite pass at its busiest: the cloud as it is 20 s into the show,
// all 900 particles live, the size wave running.
void BM_SpritePass(benchmark::State& state)
{
    timeSplit(state, [](Demo& demo, Scene& scene) {
        scene.particleCount = PARTICLE_CAPACITY;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        setCameraView(scene);
        drawParticleSprites(scene, demo.timeMs);
    }, true);
}

// What the sprite pass's per-particle look-up of "size" by name costs.
void BM_SizeUniformLookups(benchmark::State& state)
{
    ShowContext show(16, 16);
    ShaderProgram* program = show.ok ? show.demo->shaders.findProgram("FAKEDOF") : nullptr;
    if (!program) {
        state.SkipWithError("no FAKEDOF program");
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < PARTICLE_CAPACITY; ++i)
            benchmark::DoNotOptimize(program->findUniform("size"));
    }
}

}  // namespace

// Sizes, each with the sprites through one program and through two.
void sizesBothWays(benchmark::internal::Benchmark* bench)
{
    for (const auto& size : {std::pair<int, int>{480, 270}, {1280, 720}, {1920, 1080}})
        for (int programs : {1, 2})
            bench->Args({size.first, size.second, programs});
    bench->ArgNames({"w", "h", "program"});
}

BENCHMARK(BM_SpritePass)->Apply(sizesBothWays)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SizeUniformLookups)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderFrame)->Apply(sizesBothWays)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TerrainPass)->Args({480, 270, 2})->Args({1920, 1080, 2})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BackgroundOnly)->Args({480, 270, 2})->Args({1920, 1080, 2})->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
