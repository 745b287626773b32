#include "support/monitor_recorder.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <thread>

// What the recording asks the server for at a time. PipeWire's graph cycle
// follows its smallest client, and a few milliseconds' cycle on an idle
// virtual machine misses its wake-ups now and then (a test that wants one
// forces it); 25 ms gives the graph's usual 1024 frames.
constexpr pa_usec_t FRAGMENT_US = 25000;

struct MonitorRecorder::State {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    uint32_t rate = 0;
    std::vector<float> samples;  // under the loop's lock
};

namespace {

// On libpulse's thread, with its lock held.
void captured(pa_stream* stream, size_t, void* user)
{
    auto& samples = *static_cast<std::vector<float>*>(user);
    const void* data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        const size_t count = bytes / sizeof(float);
        if (data)
            samples.insert(samples.end(), static_cast<const float*>(data), static_cast<const float*>(data) + count);
        else
            samples.resize(samples.size() + count, 0.0f);  // a hole in the capture
        pa_stream_drop(stream);
    }
}

// Polls with the lock held until `state` is 1 (ready) or -1, 5 s at most.
template <typename Ready>
bool waitReady(pa_threaded_mainloop* loop, Ready state)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        const int answer = state();
        if (answer != 0)
            return answer > 0;
        pa_threaded_mainloop_unlock(loop);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        pa_threaded_mainloop_lock(loop);
    }
    return false;
}

}  // namespace

MonitorRecorder::MonitorRecorder(const std::string& server, const std::string& source, uint32_t rate)
    : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.rate = rate;
    s.samples.reserve(size_t(rate) * 2 * 30);
    s.loop = pa_threaded_mainloop_new();
    s.context = pa_context_new(pa_threaded_mainloop_get_api(s.loop), "quillmoor test recorder");
    pa_threaded_mainloop_start(s.loop);
    pa_threaded_mainloop_lock(s.loop);
    const bool connected =
        pa_context_connect(s.context, server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
        waitReady(s.loop, [&] {
            const pa_context_state_t state = pa_context_get_state(s.context);
            return state == PA_CONTEXT_READY ? 1 : PA_CONTEXT_IS_GOOD(state) ? 0 : -1;
        });
    if (connected) {
        const pa_sample_spec spec = {PA_SAMPLE_FLOAT32NE, rate, 2};
        s.stream = pa_stream_new(s.context, "monitor", &spec, nullptr);
        pa_stream_set_read_callback(s.stream, captured, &s.samples);
        pa_buffer_attr attributes = {};
        attributes.maxlength = static_cast<uint32_t>(-1);
        attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(FRAGMENT_US, &spec));
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                                          PA_STREAM_ADJUST_LATENCY);
        ok_ = pa_stream_connect_record(s.stream, source.c_str(), &attributes, flags) >= 0 &&
              waitReady(s.loop, [&] {
                  const pa_stream_state_t state = pa_stream_get_state(s.stream);
                  return state == PA_STREAM_READY ? 1 : PA_STREAM_IS_GOOD(state) ? 0 : -1;
              });
    }
    if (!ok_)
        why_ = std::string("cannot record ") + source + ": " + pa_strerror(pa_context_errno(s.context));
    pa_threaded_mainloop_unlock(s.loop);
}

MonitorRecorder::~MonitorRecorder()
{
    stop();
    pa_context_disconnect(state_->context);
    pa_context_unref(state_->context);
    pa_threaded_mainloop_stop(state_->loop);
    pa_threaded_mainloop_free(state_->loop);
}

double MonitorRecorder::heardNow()
{
    State& s = *state_;
    pa_threaded_mainloop_lock(s.loop);
    pa_usec_t held = 0;
    int negative = 0;
    double heard = -1;
    if (s.stream && pa_stream_get_latency(s.stream, &held, &negative) == 0) {
        const double heldFrames = double(held) * s.rate / 1e6;
        heard = double(s.samples.size() / 2) + (negative ? -heldFrames : heldFrames);
    }
    pa_threaded_mainloop_unlock(s.loop);
    return heard;
}

std::vector<float> MonitorRecorder::stop()
{
    State& s = *state_;
    pa_threaded_mainloop_lock(s.loop);
    if (s.stream) {
        pa_stream_set_read_callback(s.stream, nullptr, nullptr);
        pa_stream_disconnect(s.stream);
        pa_stream_unref(s.stream);
        s.stream = nullptr;
    }
    std::vector<float> samples = std::move(s.samples);
    s.samples.clear();
    pa_threaded_mainloop_unlock(s.loop);
    return samples;
}
