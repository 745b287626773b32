// Frame cost of the show on the machine at hand: one whole renderFrame at
// 1280 x 720 and 1920 x 1080, the terrain pass and the sprite pass alone
// (and the sprites' per-particle uniform look-up), each split into
// the time to submit the calls (CPU) and the time glFinish then waits for
// the rasteriser. Content comes from the build's Data folder, so the frame
// is the one a viewer sees.
// Runs headless: SDL_VIDEODRIVER=offscreen.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <chrono>
#include <memory>

#include "app/demo.h"
#include "gl/gl_window.h"
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
// projection; everything it made is released, GL objects first.
struct ShowContext {
    std::unique_ptr<Demo> demo = std::make_unique<Demo>();
    std::unique_ptr<Scene> scene;
    bool ok = false;

    ShowContext(int width, int height)
    {
        setContentFolder(QUILLMOOR_BUILT_DATA);
        ok = createGlWindow(*demo, width, height, false, 32);
        if (!ok)
            return;
        KestruneConfigurator(demo.get()).configure();
        glViewport(0, 0, width, height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(93.1, static_cast<double>(width) / height, 0.01, 10000.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        scene = std::make_unique<Scene>(*demo);
    }

    ~ShowContext()
    {
        scene.reset();
        demo->shaders.release();
        demo->textures.release();
        destroyGlWindow(*demo);
    }

    ShowContext(const ShowContext&) = delete;
    ShowContext& operator=(const ShowContext&) = delete;
};

// Lets the show run, undrawn, from its start to `untilMs` at 60 frames a second.
void simulateUntil(Demo& demo, Scene& scene, uint32_t untilMs)
{
    scene.drawing = false;
    for (uint32_t frame = 0; demo.timeMs < untilMs; ++frame) {
        uint32_t next = (frame * 1000 + 30) / 60;
        demo.frameStep = frameStepFor(next - demo.timeMs);
        demo.timeMs = next;
        renderFrame(scene);
    }
    scene.drawing = true;
}

// Times one pass per iteration: `submit` is timed alone, then glFinish.
template <typename Pass>
void timeSplit(benchmark::State& state, Pass submit, bool simulateFirst = false)
{
    ShowContext show(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    if (!show.ok) {
        state.SkipWithError("no GL window (see stderr)");
        return;
    }
    Demo& demo = *show.demo;
    if (simulateFirst)
        simulateUntil(demo, *show.scene, 20000);
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

BENCHMARK(BM_SpritePass)->Args({1280, 720})->Args({1920, 1080})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SizeUniformLookups)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderFrame)->Args({1280, 720})->Args({1920, 1080})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TerrainPass)->Args({1280, 720})->Args({1920, 1080})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BackgroundOnly)->Args({1280, 720})->Args({1920, 1080})->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
