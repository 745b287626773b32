// The browser backend's sound: Web Audio, through an AudioWorklet that
// plays from a queue of blocks the page's main thread posts to it. The
// blocks are transferred, not shared, so the page needs neither threads in
// the build nor cross-origin isolation headers, and any static server will
// do. Before each frame the main thread feeds the engine's rings a second
// ahead (webAudioFeed), and tops the worklet's queue up to WORKLET_LEAD_MS
// out of them with the engine's fill function: a frame that holds the main
// thread up for less than that does not break the sound. A move of the
// music (a jump, a pause) flushes the queue (audioOutFlush), so the old
// sound stops at once. The worklet says every few render quanta how many
// frames it has taken from the queue and at which context frame, so the
// page knows which frame is heard now.
//
// Where a browser has no AudioWorklet (or it will not load), a
// ScriptProcessorNode whose audioprocess event (on the main thread) calls
// the fill function takes its place; its block is long enough to ride over
// a slow frame.
//
// The AudioContext is made at the rate the engine asks for (the browser
// resamples to the hardware), when the page has not made one already; a
// page makes it, or resumes it, in the click that starts the show, since
// browsers start sound only after a gesture.
// A context that does not run (no output device, or a browser that will not
// start sound without a gesture it accepts), or a worklet not loaded yet,
// pulls nothing: the engine's sound is then handed out at the clock's pace
// before each frame and dropped, so that the play position, and the
// spectrum the particles follow, move on as in a run without a device; once
// the context runs, its node takes over from there.
//
// What is heard lies behind what was handed by what the output still holds:
// the worklet's queue and the wait from the context time being rendered to
// the context time being heard now (the context's output timestamp, which
// includes all of the output's delay; the reported output latency alone left
// the position 15 to 20 ms ahead of what is heard in Chromium).
#include "platform/audio_out.h"

#include "platform/web/backend.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int SCRIPT_BLOCK_FRAMES = 8192;  // 186 ms at 44100 Hz
constexpr int POST_BLOCK_FRAMES = 4096;    // frames in one block posted to the worklet
constexpr uint32_t FEED_AHEAD_MS = 1000;   // the engine's lead before each frame
constexpr uint32_t WORKLET_LEAD_MS = 750;  // the worklet's queue after each frame
constexpr int FEED_STEPS_PER_FRAME = 64;   // bounds one frame's decoding

struct OutputState {
    bool open = false;
    bool paused = true;
    uint32_t rate = 0;
    double keptMs = 0.0;  // the clock when the output last handed sound out
    AudioOutFill fill = nullptr;
    AudioOutFeed feed = nullptr;
    void* user = nullptr;
    uint32_t latencyFrames = 0;
    std::vector<float> block;  // interleaved stereo, SCRIPT_BLOCK_FRAMES frames
};
OutputState output;

// The output's modes, as the page's side reports them.
constexpr int MODE_SILENT = 0;    // nothing pulls the sound: keep time
constexpr int MODE_WORKLET = 1;   // the worklet plays what is posted
constexpr int MODE_SCRIPT = 2;    // the script processor pulls

// Makes (or takes over) the context and starts loading the worklet; 1 when
// there is one, 0 without Web Audio, -1 when no context could be made, -2
// when it will not run at `rate`.
EM_JS(int, webAudioOpen, (int rate, int scriptBlockFrames), {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context)
        return 0;
    var context = Module.quillmoorAudio;
    if (!context || context.state === "closed" || context.sampleRate !== rate) {
        try {
            context = new Context({sampleRate: rate, latencyHint: "playback"});
        } catch (e) {
            return -1;
        }
        Module.quillmoorAudio = context;
    }
    if (context.sampleRate !== rate)
        return -2;
    var out = {context: context, node: null, mode: 0, posted: 0, consumed: 0, at: -1, flushes: 0};
    Module.quillmoorAudioOut = out;

    // The context time being heard now: the output timestamp's, carried
    // forward to this moment; before the output reports one, the context
    // time less the reported output latency.
    out.heardTime = function() {
        var stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
        return stamp && stamp.contextTime > 0
            ? stamp.contextTime + Math.max(0, performance.now() - stamp.performanceTime) / 1000
            : context.currentTime - (context.outputLatency || context.baseLatency || 0);
    };

    function useScriptProcessor() {
        var node = context.createScriptProcessor(scriptBlockFrames, 0, 2);
        node.onaudioprocess = function(event) {
            var buffer = event.outputBuffer;
            var frames = buffer.length;
            var latency = frames + Math.max(0, event.playbackTime - out.heardTime()) * context.sampleRate;
            var at = Module["_quillmoorWebAudioFill"](frames, latency) >> 2;
            var left = buffer.getChannelData(0);
            var right = buffer.getChannelData(1);
            for (var i = 0; i < frames; ++i) {
                left[i] = HEAPF32[at + 2 * i];
                right[i] = HEAPF32[at + 2 * i + 1];
            }
        };
        node.connect(context.destination);
        out.node = node;
        out.mode = 2;
        Module.quillmoorAudioNode = node;
    }

    // The worklet: a queue of posted blocks, played in order; a flush drops
    // the queue; silence while it is empty. Every 8 quanta (and at once
    // after a flush) it says how many frames it has taken, where, and after
    // which flush; frames dropped by a flush count as taken.
    var processor = [
        "class QuillmoorOutput extends AudioWorkletProcessor {",
        "  constructor() {",
        "    super(); this.queue = []; this.offset = 0; this.consumed = 0; this.quanta = 0;",
        "    this.flushes = 0;",
        "    this.port.onmessage = (event) => {",
        "      var message = event.data;",
        "      if (message.flush !== undefined) {",
        "        this.queue = []; this.offset = 0; this.consumed = message.flush; this.flushes = message.flushes;",
        "        this.quanta = 0;",
        "      }",
        "      else this.queue.push(message.frames);",
        "    };",
        "  }",
        "  process(inputs, outputs) {",
        "    var left = outputs[0][0], right = outputs[0][1] || outputs[0][0], n = left.length, i = 0;",
        "    while (i < n && this.queue.length) {",
        "      var block = this.queue[0], frames = block.length / 2;",
        "      var take = Math.min(n - i, frames - this.offset);",
        "      for (var k = 0; k < take; ++k, ++i) {",
        "        left[i] = block[2 * (this.offset + k)]; right[i] = block[2 * (this.offset + k) + 1];",
        "      }",
        "      this.offset += take; this.consumed += take;",
        "      if (this.offset === frames) { this.queue.shift(); this.offset = 0; }",
        "    }",
        "    for (; i < n; ++i) left[i] = right[i] = 0;",
        "    if (this.quanta++ % 8 === 0)",
        "      this.port.postMessage({consumed: this.consumed, at: currentFrame + n, flushes: this.flushes});",
        "    return true;",
        "  }",
        "}",
        "registerProcessor('quillmoor-output', QuillmoorOutput);"].join("\n");
    if (!context.audioWorklet || typeof AudioWorkletNode === "undefined") {
        useScriptProcessor();
    } else {
        // A context takes the processor once: the page plays again on it.
        if (!context.quillmoorProcessor) {
            var url = URL.createObjectURL(new Blob([processor], {type: "text/javascript"}));
            context.quillmoorProcessor = context.audioWorklet.addModule(url);
        }
        context.quillmoorProcessor.then(function() {
            if (Module.quillmoorAudioOut !== out)
                return;  // closed meanwhile
            var node = new AudioWorkletNode(context, "quillmoor-output",
                                            {numberOfInputs: 0, outputChannelCount: [2]});
            node.port.onmessage = function(event) {
                if (event.data.flushes !== out.flushes)
                    return;  // said before the last flush reached it
                out.consumed = event.data.consumed;
                out.at = event.data.at;
            };
            node.connect(context.destination);
            out.node = node;
            out.mode = 1;
            Module.quillmoorAudioNode = node;
        }, function() {
            if (Module.quillmoorAudioOut === out)
                useScriptProcessor();
        });
    }
    if (context.state !== "running")
        context.resume().catch(function() {});
    return 1;
});

// The output's mode now (see MODE_*).
EM_JS(int, webAudioMode, (), {
    var out = Module.quillmoorAudioOut;
    return out && out.node && out.context.state === "running" ? out.mode : 0;
});

// Worklet: writes the frames posted and not yet taken, and how many frames
// lie between the last one posted and the one heard now, into `state`.
EM_JS(void, webAudioWorkletState, (double* state), {
    var out = Module.quillmoorAudioOut;
    var rate = out.context.sampleRate;
    // What the worklet has taken by now: its last word, carried on by the
    // context frames rendered since (as long as its queue lasts).
    var rendering = out.context.currentTime * rate;
    var since = out.at >= 0 ? Math.max(0, rendering - out.at) : 0;
    var taken = Math.min(out.posted, out.consumed + since);
    var heard = out.at >= 0 ? out.consumed + (out.heardTime() * rate - out.at) : -(rendering - out.heardTime() * rate);
    // Never past what it has taken: a queue that ran dry (the main thread
    // held up, its last word still waiting behind this frame) plays nothing.
    heard = Math.min(heard, taken);
    HEAPF64[state >> 3] = out.posted - taken;
    HEAPF64[(state >> 3) + 1] = Math.max(0, out.posted - heard);
});

// Worklet: posts `frames` stereo frames from `at` in the heap, transferred.
EM_JS(void, webAudioPost, (const float* at, int frames), {
    var out = Module.quillmoorAudioOut;
    var block = HEAPF32.slice(at >> 2, (at >> 2) + 2 * frames);
    out.node.port.postMessage({frames: block}, [block.buffer]);
    out.posted += frames;
});

// Worklet: drops its queue.
EM_JS(void, webAudioFlush, (), {
    var out = Module.quillmoorAudioOut;
    if (!out || out.mode !== 1 || out.posted === out.consumed)
        return;
    out.node.port.postMessage({flush: out.posted, flushes: ++out.flushes});
    out.consumed = out.posted;
    out.at = out.context.currentTime * out.context.sampleRate;
});

EM_JS(void, webAudioClose, (), {
    var out = Module.quillmoorAudioOut;
    Module.quillmoorAudioOut = null;
    if (out && out.node) {
        if (out.mode === 2)
            out.node.onaudioprocess = null;
        else
            out.node.port.onmessage = null;
        out.node.disconnect();
    }
    Module.quillmoorAudioNode = null;
});

// Hands out the sound of the time since the output last did, and drops it.
void keepTime(double nowMs)
{
    // A second at most: a tab the browser stopped drawing resumes where the
    // sound would have been, without decoding all of the time it was away.
    const double elapsedMs = std::min(nowMs - output.keptMs, 1000.0);
    int frames = static_cast<int>(elapsedMs * output.rate / 1000.0);
    output.keptMs = elapsedMs < 1000.0 ? output.keptMs + frames * 1000.0 / output.rate : nowMs;
    output.latencyFrames = 0;
    while (frames > 0) {
        const int now = std::min(frames, SCRIPT_BLOCK_FRAMES);
        output.fill(output.block.data(), now, output.user);
        frames -= now;
    }
}

// Tops the worklet's queue up to its lead.
void topUpWorklet()
{
    const int lead = static_cast<int>(WORKLET_LEAD_MS * output.rate / 1000);
    double state[2];
    webAudioWorkletState(state);
    int queued = static_cast<int>(state[0]);
    double ahead = state[1];
    while (queued < lead) {
        const int frames = std::min(POST_BLOCK_FRAMES, lead - queued);
        ahead += frames;
        output.latencyFrames = static_cast<uint32_t>(std::lround(ahead));
        output.fill(output.block.data(), frames, output.user);
        webAudioPost(output.block.data(), frames);
        queued += frames;
    }
}

}  // namespace

// Called by the page's audioprocess event: fills the block and returns it.
extern "C" EMSCRIPTEN_KEEPALIVE float* quillmoorWebAudioFill(int frameCount, double latencyFrames)
{
    if (frameCount > SCRIPT_BLOCK_FRAMES)
        frameCount = SCRIPT_BLOCK_FRAMES;
    output.latencyFrames = latencyFrames > 0.0 ? static_cast<uint32_t>(std::lround(latencyFrames)) : 0;
    float* frames = output.block.data();
    if (!output.open || output.paused)
        std::fill(frames, frames + frameCount * AUDIO_OUT_CHANNELS, 0.0f);
    else
        output.fill(frames, frameCount, output.user);
    return frames;
}

bool audioOutOpen(int device, uint32_t rate, AudioOutFill fill, AudioOutFeed feed, void* user, std::string& reason)
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
    const int made = webAudioOpen(static_cast<int>(rate), SCRIPT_BLOCK_FRAMES);
    if (made <= 0) {
        reason = made == 0 ? "this browser has no Web Audio"
               : made == -1 ? "the browser would not make an audio context"
                            : "the browser's audio will not run at the soundtrack's rate";
        return false;
    }
    output.block.assign(SCRIPT_BLOCK_FRAMES * AUDIO_OUT_CHANNELS, 0.0f);
    output.fill = fill;
    output.feed = feed;
    output.user = user;
    output.rate = rate;
    output.paused = true;
    output.latencyFrames = 2 * SCRIPT_BLOCK_FRAMES;
    // Time is kept from here: until the worklet has loaded, the sound of
    // the time since goes by with the clock.
    output.keptMs = emscripten_get_now();
    output.open = true;
    return true;
}

void webAudioFeed()
{
    if (!output.open)
        return;
    const uint32_t ahead = output.rate * FEED_AHEAD_MS / 1000;
    for (int step = 0; step < FEED_STEPS_PER_FRAME && output.feed(ahead, output.user); ++step) {
    }
    const double nowMs = emscripten_get_now();
    const int mode = output.paused ? MODE_SCRIPT : webAudioMode();
    if (mode == MODE_SILENT) {
        keepTime(nowMs);
        return;
    }
    // The script processor pulls by itself; nothing to do while paused.
    if (mode == MODE_WORKLET)
        topUpWorklet();
    output.keptMs = nowMs;
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
    webAudioClose();
    std::vector<float>().swap(output.block);
    output.open = false;
    output.paused = true;
    output.fill = nullptr;
    output.feed = nullptr;
}

void audioOutFlush()
{
    if (output.open)
        webAudioFlush();
}

void audioOutWakeFeeder()
{
    // The feeder runs before the next frame anyway.
}

void audioOutFeedLock()
{
    // The feed and fill functions run on the main thread, between other calls.
}

void audioOutFeedUnlock()
{
}
