// A private sound server for tests, with one null sink whose monitor can be
// recorded (support/monitor_recorder.h): a PulseAudio daemon (user mode, no default script: only a null
// sink and the native protocol), or PipeWire as desktops run it (pipewire,
// the wireplumber session manager on a private D-Bus, which it cannot run
// without, and pipewire-pulse for PulseAudio clients), the null sink made
// by a configuration fragment. Everything lives in a folder of the test's;
// no user or system session is touched. When a part is missing or will not
// start, ok() is false and why() says why. The destructor stops it all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/x_session.h"

class SoundServer {
public:
    enum class Kind { PulseAudio, PipeWire };
    static constexpr const char* SINK = "quillmoor_test";  // the null sink's name

    // Starts the server with its runtime files in `folder` (which must
    // exist) and the sink at `rate` Hz, stereo float.
    SoundServer(Kind kind, const std::string& folder, uint32_t rate);
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool ok() const { return ok_; }
    const std::string& why() const { return why_; }
    // The PulseAudio protocol's address ("unix:..."): the daemon's, or pipewire-pulse's.
    const std::string& pulseServer() const { return pulseServer_; }

    // Points this process's sound clients (SDL, libpulse, libpipewire) at this server.
    void useInThisProcess() const;
    // Runs a PulseAudio tool (pactl ...) against this server; its stdout.
    std::string pulseTool(std::vector<std::string> argv) const;
    // Forces PipeWire's graph cycle to `frames` (0 gives the choice back to
    // the graph); false for PulseAudio, which has none, or when refused.
    bool forceGraphCycle(uint32_t frames) const;

private:
    bool startPulseAudio(uint32_t rate);
    bool startPipeWire(uint32_t rate);
    bool startPart(Child& child, const std::vector<std::string>& argv, const std::string& name);
    // Waits until the sink answers as the default one; false with why_ set when it never does.
    bool waitForSink();

    std::string folder_;
    std::string runtime_;
    std::string pulseServer_;
    std::vector<std::string> env_;
    Child bus_, server_, sessionManager_, pulseBridge_;
    std::string why_;
    bool ok_ = false;
};
