// What a viewer's jump costs: the show started again from 0 and simulated
// without drawing up to the landing, each step reading the soundtrack's
// spectrum at its own time (the built soundtrack, on the silent output),
// then clock and music put there. The longest jump back is Left near the
// end of the show (150 s to 145 s); Home costs nothing to simulate. No
// window is needed: nothing is drawn.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/demo.h"
#include "app/playback.h"
#include "audio/audio_engine.h"
#include "show/scene.h"

namespace {

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
BENCHMARK(BM_Jump)->Arg(145000)->Arg(75000)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
