// Frame cost of the show on the machine at hand: one whole renderFrame at
// 1280 x 720 and 1920 x 1080, and the terrain pass alone, each split into
// the time to submit the calls (CPU) and the time glFinish then waits for
// the rasteriser. Content comes from the built Data folder
// (QUILLMOOR_DATA=<build>/Data), so the frame is the one a viewer sees.
// Runs headless: SDL_VIDEODRIVER=offscreen.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <chrono>
#include <memory>

#include "app/demo.h"
#include "resources/configurator.h"
#include "show/fades.h"
#include "show/frame.h"
#include "show/scene.h"
#include "show/terrain.h"
#include "support/gl_test_context.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A context of the given size with the show's content loaded and its projection.
struct ShowContext {
    GlTestContext gl;
    std::unique_ptr<Scene> scene;

    ShowContext(int width, int height) : gl(width, height)
    {
        if (!gl.ok()) {
            return;
        }
        KestruneConfigurator(&gl.demo()).configure();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(93.1, static_cast<double>(width) / height, 0.01, 10000.0);
        glMatrixMode(GL_MODELVIEW);
        scene = std::make_unique<Scene>(gl.demo());
    }
};

// Times one pass per iteration: `submit` is timed alone, then glFinish.
template <typename Pass>
void timeSplit(benchmark::State& state, Pass submit)
{
    ShowContext show(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (!show.gl.ok()) {
        state.SkipWithError(show.gl.failure().c_str());
        return;
    }
    Demo& demo = show.gl.demo();
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

void BM_RenderFrame(benchmark::State& state)
{
    timeSplit(state, [](Demo& demo, Scene& scene) {
        renderFrame(scene);
        drawFades(demo);
    });
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

}  // namespace

BENCHMARK(BM_RenderFrame)->Args({1280, 720})->Args({1920, 1080})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TerrainPass)->Args({1280, 720})->Args({1920, 1080})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BackgroundOnly)->Args({1280, 720})->Args({1920, 1080})->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
