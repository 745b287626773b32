// A recording of a sink's monitor made in the test's own process through
// libpulse, which also says which recorded frame the sink plays now: the
// frames read so far plus what the server has captured and not yet handed
// over. That is the server's own word for what is heard, as exact at a
// 2048-frame graph cycle as at a 64-frame one, where the length of a
// recording file moves only a chunk at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class MonitorRecorder {
public:
    // Records `source` on the PulseAudio protocol server `server`
    // ("unix:..."), stereo float at `rate` Hz.
    MonitorRecorder(const std::string& server, const std::string& source, uint32_t rate);
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    bool ok() const { return ok_; }
    const std::string& why() const { return why_; }
    // The recording's frame being played now; -1 while the server has not said.
    double heardNow();
    // Stops recording; what was recorded, interleaved stereo.
    std::vector<float> stop();

private:
    struct State;
    std::unique_ptr<State> state_;
    bool ok_ = false;
    std::string why_;
};
