// Fuzz entry point for the audio engine's loading path: any byte string is
// decoded as an MP3 stream and rendered as a tracker module, as the engine
// does with a file's bytes. Accepted audio must be whole frames of finite
// samples in a format the output can take; a refusal must leave nothing
// decoded and say why.
#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/audio_decode.h"

namespace {

// Modules are rendered at a low rate to keep each input quick.
constexpr uint32_t FUZZ_MODULE_RATE = 8000;
// Longer modules are legal but only cost time here; the length cap itself
// is not what this target looks for.
constexpr double FUZZ_MODULE_MAX_SECONDS = 120.0;

void checkDecoded(bool accepted, const DecodedAudio& out, const std::string& reason)
{
    if (!accepted) {
        if (!out.samples.empty() || reason.empty())
            std::abort();
        return;
    }
    if (out.channels < 1 || out.channels > 2 || out.rate == 0 || out.frames() == 0 ||
        out.samples.size() != out.frames() * static_cast<size_t>(out.channels))
        std::abort();
    for (float sample : out.samples)
        if (!std::isfinite(sample))
            std::abort();
}

double moduleSeconds(const std::vector<uint8_t>& bytes)
{
    openmpt_module* module = openmpt_module_create_from_memory2(
        bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr,
        nullptr, nullptr, nullptr);
    if (!module)
        return 0.0;
    const double seconds = openmpt_module_get_duration_seconds(module);
    openmpt_module_destroy(module);
    return seconds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    DecodedAudio out;
    std::string reason;
    checkDecoded(decodeMp3(bytes, out, reason), out, reason);

    if (!bytes.empty() && moduleSeconds(bytes) > FUZZ_MODULE_MAX_SECONDS)
        return 0;
    reason.clear();
    checkDecoded(renderModule(bytes, FUZZ_MODULE_RATE, out, reason), out, reason);
    return 0;
}
