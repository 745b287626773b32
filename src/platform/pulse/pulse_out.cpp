#include "platform/pulse/pulse_out.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr size_t FRAME_BYTES = AUDIO_OUT_CHANNELS * sizeof(float);
constexpr uint32_t BLOCK_FRAMES = 4096;  // the most one fill call writes
// What the server is asked to hold: more than two of the longest graph
// cycle PipeWire runs at (2048 frames), so its bridge always asks for one
// whole cycle at a time. A move flushes it, so it costs no delay there.
constexpr pa_usec_t TARGET_LATENCY_US = 100000;
// The least the server asks for at a time: small, so that PipeWire's
// bridge asks once a graph cycle, one cycle at a time.
constexpr pa_usec_t REQUEST_US = 1000;
constexpr auto CONNECT_TIMEOUT = std::chrono::seconds(3);

struct PulseOutput {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    AudioOutFill fill = nullptr;
    void* user = nullptr;
    uint32_t rate = 0;
    uint64_t heldFrames = 0;    // what the server held at its last report; under the loop's lock
    bool bridged = false;       // PipeWire's bridge, not PulseAudio
    // The last few requests (frames), under the loop's lock: the least of
    // them is the bridge's graph cycle (a refill after a start or a flush
    // asks for more at once).
    uint64_t requests[8] = {};
    unsigned nextRequest = 0;
    std::atomic<uint32_t> latencyFrames{0};
    std::vector<float> block;  // BLOCK_FRAMES stereo frames
};
PulseOutput output;

// The server wants `bytes` more: on libpulse's thread, with its lock held.
void streamWants(pa_stream* stream, size_t bytes, void*)
{
    // PipeWire's bridge reports what it holds but not the graph cycle it
    // has already taken into the graph; it asks for one cycle at a time.
    output.requests[output.nextRequest++ % 8] = bytes / FRAME_BYTES;
    uint64_t inGraph = 0;
    if (output.bridged)
        for (uint64_t request : output.requests)
            if (request && (!inGraph || request < inGraph))
                inGraph = request;
    for (size_t frames = bytes / FRAME_BYTES; frames > 0;) {
        const uint32_t count = static_cast<uint32_t>(std::min<size_t>(frames, BLOCK_FRAMES));
        // What the stream holds before this block: written and not yet
        // heard, the sink's own delay included (until the server has said,
        // after a start or a flush, what it said last).
        pa_usec_t held = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream, &held, &negative) == 0)
            output.heldFrames = negative ? 0 : held * output.rate / 1000000;
        output.latencyFrames.store(static_cast<uint32_t>(output.heldFrames + inGraph + count),
                                   std::memory_order_relaxed);
        output.fill(output.block.data(), static_cast<int>(count), output.user);
        pa_stream_write(stream, output.block.data(), count * FRAME_BYTES, nullptr, 0, PA_SEEK_RELATIVE);
        frames -= count;
    }
}

// Waits, with the loop's lock held, until `state` answers 1 (ready) or -1
// (failed); false when it fails or takes too long.
template <typename State>
bool waitFor(State state)
{
    const auto deadline = std::chrono::steady_clock::now() + CONNECT_TIMEOUT;
    for (;;) {
        const int answer = state();
        if (answer != 0)
            return answer > 0;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        pa_threaded_mainloop_unlock(output.loop);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        pa_threaded_mainloop_lock(output.loop);
    }
}

bool connect(std::string& reason)
{
    if (pa_context_connect(output.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        reason = std::string("no PulseAudio server: ") + pa_strerror(pa_context_errno(output.context));
        return false;
    }
    const bool ready = waitFor([] {
        const pa_context_state_t state = pa_context_get_state(output.context);
        return state == PA_CONTEXT_READY ? 1 : PA_CONTEXT_IS_GOOD(state) ? 0 : -1;
    });
    if (!ready) {
        reason = std::string("no PulseAudio server: ") + pa_strerror(pa_context_errno(output.context));
        return false;
    }
    pa_operation* asked = pa_context_get_server_info(
        output.context,
        [](pa_context*, const pa_server_info* info, void*) {
            output.bridged = info && info->server_name && std::strstr(info->server_name, "PipeWire");
        },
        nullptr);
    if (asked) {
        waitFor([asked] { return pa_operation_get_state(asked) == PA_OPERATION_RUNNING ? 0 : 1; });
        pa_operation_unref(asked);
    }
    return true;
}

bool openStream(std::string& reason)
{
    const pa_sample_spec spec = {PA_SAMPLE_FLOAT32NE, output.rate, AUDIO_OUT_CHANNELS};
    output.stream = pa_stream_new(output.context, "quillmoor", &spec, nullptr);
    if (!output.stream) {
        reason = std::string("the server refused a stream: ") + pa_strerror(pa_context_errno(output.context));
        return false;
    }
    pa_stream_set_write_callback(output.stream, streamWants, nullptr);
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(TARGET_LATENCY_US, &spec));
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(pa_usec_to_bytes(REQUEST_US, &spec));
    attributes.fragsize = static_cast<uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                                      PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(output.stream, nullptr, &attributes, flags, nullptr, nullptr) < 0) {
        reason = std::string("the server refused a stream: ") + pa_strerror(pa_context_errno(output.context));
        return false;
    }
    const bool ready = waitFor([] {
        const pa_stream_state_t state = pa_stream_get_state(output.stream);
        return state == PA_STREAM_READY ? 1 : PA_STREAM_IS_GOOD(state) ? 0 : -1;
    });
    if (!ready)
        reason = std::string("the stream did not start: ") + pa_strerror(pa_context_errno(output.context));
    return ready;
}

}  // namespace

bool pulseOutOpen(uint32_t rate, AudioOutFill fill, void* user, std::string& reason)
{
    if (output.loop) {
        reason = "output already open";
        return false;
    }
    output.fill = fill;
    output.user = user;
    output.rate = rate;
    output.heldFrames = TARGET_LATENCY_US * rate / 1000000;
    output.latencyFrames.store(static_cast<uint32_t>(output.heldFrames), std::memory_order_relaxed);
    output.block.assign(BLOCK_FRAMES * AUDIO_OUT_CHANNELS, 0.0f);
    output.loop = pa_threaded_mainloop_new();
    if (!output.loop) {
        reason = "libpulse cannot make a main loop";
        return false;
    }
    output.context = pa_context_new(pa_threaded_mainloop_get_api(output.loop), "quillmoor");
    if (!output.context || pa_threaded_mainloop_start(output.loop) < 0) {
        reason = "libpulse cannot start";
        pulseOutClose();
        return false;
    }
    pa_threaded_mainloop_lock(output.loop);
    const bool opened = connect(reason) && openStream(reason);
    pa_threaded_mainloop_unlock(output.loop);
    if (!opened)
        pulseOutClose();
    return opened;
}

void pulseOutFlush()
{
    if (!output.stream)
        return;
    pa_threaded_mainloop_lock(output.loop);
    if (pa_operation* operation = pa_stream_flush(output.stream, nullptr, nullptr))
        pa_operation_unref(operation);
    output.heldFrames = 0;
    pa_threaded_mainloop_unlock(output.loop);
}

uint32_t pulseOutLatencyFrames()
{
    return output.stream ? output.latencyFrames.load(std::memory_order_relaxed) : 0;
}

void pulseOutSetPaused(bool paused)
{
    if (!output.stream)
        return;
    pa_threaded_mainloop_lock(output.loop);
    if (pa_operation* operation = pa_stream_cork(output.stream, paused ? 1 : 0, nullptr, nullptr))
        pa_operation_unref(operation);
    pa_threaded_mainloop_unlock(output.loop);
}

void pulseOutClose()
{
    if (!output.loop)
        return;
    pa_threaded_mainloop_lock(output.loop);
    if (output.stream) {
        pa_stream_set_write_callback(output.stream, nullptr, nullptr);
        pa_stream_disconnect(output.stream);
        pa_stream_unref(output.stream);
        output.stream = nullptr;
    }
    if (output.context) {
        pa_context_disconnect(output.context);
        pa_context_unref(output.context);
        output.context = nullptr;
    }
    pa_threaded_mainloop_unlock(output.loop);
    pa_threaded_mainloop_stop(output.loop);
    pa_threaded_mainloop_free(output.loop);
    output.loop = nullptr;
    output.fill = nullptr;
    output.user = nullptr;
    output.latencyFrames.store(0, std::memory_order_relaxed);
}
