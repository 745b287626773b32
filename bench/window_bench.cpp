// The live show where the viewer watches it: the program's own start on the
// X server that DISPLAY names (its window, GLX context and the window's own
// swap), from 19 s (the busy stretch), stepped by the live loop and the
// show's clock. Fullscreen when the desktop is the size asked for, a window
// of that size otherwise. Per size, at scale 1 and with the automatic scale:
//   free   the loop as the show runs it: frames a second, the worst gap
//          between two presented frames and the gaps over 100 ms, all after
//          the first 2 s, and the scale the automatic one settled on;
//   split  the same loop with the renderer drained after each step, so each
//          step's time is its own (ms a frame): the wait for the frame
//          before, the passes (frame and fades), the upscale of a scaled
//          frame, the swap, and the rest (clock and messages). At the
//          scale the free run settled on; the drains cost some overlap, so
//          its frames are slower than the free run's.
// Both give the processor time a frame took, all threads together, which
// other work on the machine disturbs less than the wall clock.
// See the README for a run under Xvfb with openbox.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <utility>

#include "app/demo.h"
#include "app/entry.h"
#include "app/live_frame_io.h"
#include "app/main_loop.h"
#include "app/show_window.h"
#include "platform/files.h"
#include "platform/window.h"
#include "show/scene.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t START_MS = 19000;
constexpr double FREE_SECONDS = 12.0;
constexpr double SPLIT_SECONDS = 6.0;
constexpr double SETTLE_SECONDS = 2.0;  // not counted: the first frames and the scale's first steps
constexpr double LONG_GAP_MS = 100.0;   // a gap a viewer sees as a stall

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The scale each size's automatic free run settled on, for its split run.
std::map<std::pair<int, int>, float>& settledScales()
{
    static std::map<std::pair<int, int>, float> scales;
    return scales;
}

// The live frame io with each step timed; with `drain`, the renderer
// finishes each step before the next begins.
class TimedFrameIo : public FrameIo {
public:
    TimedFrameIo(LiveFrameIo& live, bool drain) : live_(live), drain_(drain) {}

    // From now on frames and times count; what came before is dropped.
    void startCounting()
    {
        counting = true;
        counted = 0;
        cpuStart = std::clock();
        longGaps = 0;
        worstGapMs = waitMs = passesMs = upscaleMs = swapMs = 0.0;
    }

    void readFrameTime() override { live_.readFrameTime(); }
    bool peekMessage(Message& message) override { return live_.peekMessage(message); }
    void renderFrame() override
    {
        if (drain_) {
            const Clock::time_point before = Clock::now();
            glFinish();
            waitMs += msBetween(before, Clock::now());
        }
        passesStart_ = Clock::now();
        live_.renderFrame();
    }
    void drawFades() override { live_.drawFades(); }
    void bindWindowFramebuffer() override
    {
        if (drain_)
            glFinish();
        const Clock::time_point upscaleStart = Clock::now();
        passesMs += msBetween(passesStart_, upscaleStart);
        live_.bindWindowFramebuffer();
        if (drain_)
            glFinish();
        upscaleMs += msBetween(upscaleStart, Clock::now());
    }
    void present() override
    {
        const Clock::time_point before = Clock::now();
        live_.present();
        const Clock::time_point shown = Clock::now();
        swapMs += msBetween(before, shown);
        if (presents > 0 && counting) {
            const double gapMs = msBetween(lastShown, shown);
            worstGapMs = std::max(worstGapMs, gapMs);
            longGaps += gapMs > LONG_GAP_MS ? 1 : 0;
        }
        lastShown = shown;
        ++presents;
        if (counting)
            ++counted;
    }

    bool counting = false;  // after the settling time
    uint64_t presents = 0;
    uint64_t counted = 0;   // presents while counting
    Clock::time_point lastShown;
    std::clock_t cpuStart = 0;  // the process's processor time when counting began
    double worstGapMs = 0.0;
    int longGaps = 0;       // gaps over LONG_GAP_MS
    double waitMs = 0.0, passesMs = 0.0, upscaleMs = 0.0, swapMs = 0.0;  // summed over the frames

private:
    LiveFrameIo& live_;
    bool drain_;
    Clock::time_point passesStart_;
};

void BM_WindowBusyStretch(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const bool automatic = state.range(2) == 0;
    const bool split = state.range(3) != 0;

    setContentFolder(QUILLMOOR_BUILT_DATA);
    // As the program does: the display first, then the Demo reads the desktop.
    if (!openDisplay()) {
        state.SkipWithError("no display (DISPLAY must name an X server; see stderr)");
        return;
    }
    Demo demo;
    DisplayMode desktop;
    ShowOptions options;
    options.window = !(platformDesktopMode(desktop) && desktop.width == width && desktop.height == height);
    options.width = width;
    options.height = height;
    options.fromMs = START_MS;
    storeLaunchSettings(demo, options);
    std::unique_ptr<Scene> scene = beginShow(demo, true);
    if (!scene) {
        state.SkipWithError("the show did not start (see stderr)");
        endShow(demo, nullptr);
        return;
    }
    float scale = automatic ? 0.0f : 1.0f;
    if (automatic && split)
        scale = settledScales()[{width, height}];

    double seconds = 0.0, frameMs = 0.0;
    uint64_t frames = 0;
    {
        LiveFrameIo live(demo, *scene, scale);
        TimedFrameIo timed(live, split);
        for (auto _ : state) {
            const Clock::time_point start = Clock::now();
            Clock::time_point countFrom = start;
            const double runSeconds = split ? SPLIT_SECONDS : FREE_SECONDS;
            for (double elapsed = 0.0; elapsed < runSeconds; elapsed = msBetween(start, Clock::now()) / 1000.0) {
                if (!timed.counting && elapsed >= SETTLE_SECONDS) {
                    timed.startCounting();
                    countFrom = Clock::now();
                }
                if (!runFrame(demo, timed).goOn)
                    break;
            }
            seconds = msBetween(countFrom, timed.lastShown) / 1000.0;
            state.SetIterationTime(msBetween(start, Clock::now()) / 1000.0);
        }
        frames = timed.counted;
        frameMs = frames > 0 ? seconds * 1000.0 / static_cast<double>(frames) : 0.0;
        if (automatic && !split)
            settledScales()[{width, height}] = live.renderScale();
        state.counters["scale"] = live.renderScale();
        state.counters["fps"] = seconds > 0.0 ? static_cast<double>(frames) / seconds : 0.0;
        state.counters["fullscreen"] = options.window ? 0.0 : 1.0;
        // Processor time of all threads (the renderer's included): less
        // disturbed than wall time by other work on the machine.
        if (frames > 0)
            state.counters["cpu_ms"] = 1000.0 * static_cast<double>(std::clock() - timed.cpuStart) /
                                       CLOCKS_PER_SEC / static_cast<double>(frames);
        if (!split) {
            state.counters["worst_gap_ms"] = timed.worstGapMs;
            state.counters["gaps_over_100ms"] = timed.longGaps;
        } else if (frames > 0) {
            const double n = static_cast<double>(frames);
            state.counters["wait_ms"] = timed.waitMs / n;
            state.counters["passes_ms"] = timed.passesMs / n;
            state.counters["upscale_ms"] = timed.upscaleMs / n;
            state.counters["swap_ms"] = timed.swapMs / n;
            state.counters["rest_ms"] =
                frameMs - (timed.waitMs + timed.passesMs + timed.upscaleMs + timed.swapMs) / n;
        }
    }
    endShow(demo, std::move(scene));
}

void windowArgs(benchmark::internal::Benchmark* bench)
{
    for (const auto& size : {std::pair<int, int>{1280, 720}, {1920, 1080}})
        for (int scalePercent : {100, 0})
            for (int split : {0, 1})
                bench->Args({size.first, size.second, scalePercent, split});
}

}  // namespace

BENCHMARK(BM_WindowBusyStretch)->Apply(windowArgs)->ArgNames({"w", "h", "scale", "split"})->Iterations(1)
    ->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
