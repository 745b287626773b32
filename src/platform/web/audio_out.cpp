// The browser backend's sound: Web Audio, through a ScriptProcessorNode
// whose audioprocess event (on the page's main thread) calls the engine's
// fill function for each block. An AudioWorklet runs on a thread of its
// own: fed from the engine's ring it would need shared memory, which a page
// has only with threads in the build and cross-origin isolation headers
// from the server, and fed by messages it would still be filled from the
// main thread. The ScriptProcessor needs neither, so any static server will
// do; its block is long enough to ride over a slow frame.
//
// The AudioContext is made at the rate the engine asks for (the browser
// resamples to the hardware), when the page has not made one already; a
// page makes it, or resumes it, in the click that starts the show, since
// browsers start sound only after a gesture.
// A context that does not run (no output device, or a browser that will not
// start sound without a gesture it accepts) pulls nothing: the engine's
// sound is then handed out at the clock's pace before each frame and
// dropped (webAudioKeepTime), so that the play position, and the spectrum
// the particles follow, move on as in a run without a device; once the
// context runs, its node takes over from there.
//
// What is heard lies behind what was handed by the block just written and
// the wait from the context time being heard now (the context's output
// timestamp) to the block's playbackTime. The output timestamp, where the
// browser gives one, includes all of the output's delay; the reported
// output latency alone left the position 15 to 20 ms ahead of what is heard
// in Chromium.
#include "platform/audio_out.h"

#include "platform/web/backend.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int BLOCK_FRAMES = 8192;  // 186 ms at 44100 Hz

struct OutputState {
    bool open = false;
    bool paused = true;
    uint32_t rate = 0;
    double keptMs = 0.0;  // the clock when webAudioKeepTime last handed sound out
    AudioOutFill fill = nullptr;
    void* user = nullptr;
    uint32_t latencyFrames = 0;
    std::vector<float> block;  // interleaved stereo, BLOCK_FRAMES frames
};
OutputState output;

}  // namespace

// Called by the page's audioprocess event: fills the block and returns it.
extern "C" EMSCRIPTEN_KEEPALIVE float* quillmoorWebAudioFill(int frameCount, double latencyFrames)
{
    if (frameCount > BLOCK_FRAMES)
        frameCount = BLOCK_FRAMES;
    output.latencyFrames = latencyFrames > 0.0 ? static_cast<uint32_t>(std::lround(latencyFrames)) : 0;
    float* frames = output.block.data();
    if (!output.open || output.paused) {
        for (int i = 0; i < frameCount * AUDIO_OUT_CHANNELS; ++i)
            frames[i] = 0.0f;
    } else {
        output.fill(frames, frameCount, output.user);
    }
    return frames;
}

bool audioOutOpen(int device, uint32_t rate, AudioOutFill fill, void* user, std::string& reason)
{
    if (output.open) {
        reason = "output already open";
        return false;
    }
    if (device >= 1) {
        reason = "no such audio device";
        return false;
    }
    if (webHeadless()) {
        reason = "a run nobody hears";
        return false;
    }
    output.block.assign(BLOCK_FRAMES * AUDIO_OUT_CHANNELS, 0.0f);
    const int made = EM_ASM_INT({
        var Context = window.AudioContext || window.webkitAudioContext;
        if (!Context)
            return 0;
        var context = Module.quillmoorAudio;
        if (!context || context.state === "closed" || context.sampleRate !== $0) {
            try {
                context = new Context({sampleRate: $0, latencyHint: "playback"});
            } catch (e) {
                return -1;
            }
            Module.quillmoorAudio = context;
        }
        if (context.sampleRate !== $0)
            return -2;
        var node = context.createScriptProcessor($1, 0, 2);
        node.onaudioprocess = function(event) {
            var out = event.outputBuffer;
            var frames = out.length;
            // The context time being heard now: the output timestamp's,
            // carried forward to this moment; before the output reports
            // one, the context time less the reported output latency.
            var stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
            var heard = stamp && stamp.contextTime > 0
                ? stamp.contextTime + Math.max(0, performance.now() - stamp.performanceTime) / 1000
                : context.currentTime - (context.outputLatency || context.baseLatency || 0);
            var latency = frames + Math.max(0, event.playbackTime - heard) * context.sampleRate;
            var at = Module["_quillmoorWebAudioFill"](frames, latency) >> 2;
            var left = out.getChannelData(0);
            var right = out.getChannelData(1);
            for (var i = 0; i < frames; ++i) {
                left[i] = HEAPF32[at + 2 * i];
                right[i] = HEAPF32[at + 2 * i + 1];
            }
        };
        node.connect(context.destination);
        Module.quillmoorAudioNode = node;
        if (context.state !== "running")
            context.resume().catch(function() {});
        return 1;
    }, rate, BLOCK_FRAMES);
    if (made <= 0) {
        reason = made == 0 ? "this browser has no Web Audio"
               : made == -1 ? "the browser would not make an audio context"
                            : "the browser's audio will not run at the soundtrack's rate";
        std::vector<float>().swap(output.block);
        return false;
    }
    output.fill = fill;
    output.user = user;
    output.rate = rate;
    output.paused = true;
    output.latencyFrames = 2 * BLOCK_FRAMES;
    output.open = true;
    return true;
}

void webAudioKeepTime()
{
    const double nowMs = emscripten_get_now();
    const bool running = output.open && EM_ASM_INT({
        var context = Module.quillmoorAudio;
        return context && context.state === "running" ? 1 : 0;
    });
    if (!output.open || output.paused || running) {
        output.keptMs = nowMs;
        return;
    }
    // A second at most: a tab the browser stopped drawing resumes where the
    // sound would have been, without decoding all of the time it was away.
    const double elapsedMs = std::min(nowMs - output.keptMs, 1000.0);
    int frames = static_cast<int>(elapsedMs * output.rate / 1000.0);
    output.keptMs = elapsedMs < 1000.0 ? output.keptMs + frames * 1000.0 / output.rate : nowMs;
    output.latencyFrames = 0;
    while (frames > 0) {
        const int now = std::min(frames, BLOCK_FRAMES);
        output.fill(output.block.data(), now, output.user);
        frames -= now;
    }
}

uint32_t audioOutLatencyFrames()
{
    return output.open ? output.latencyFrames : 0;
}

void audioOutSetPaused(bool paused)
{
    output.paused = paused;
}

void audioOutClose()
{
    if (!output.open)
        return;
    EM_ASM({
        var node = Module.quillmoorAudioNode;
        if (node) {
            node.onaudioprocess = null;
            node.disconnect();
        }
        Module.quillmoorAudioNode = null;
    });
    output.open = false;
    output.paused = true;
    output.fill = nullptr;
}

void audioOutLock()
{
    // The fill function runs on the main thread, between other calls.
}

void audioOutUnlock()
{
}
