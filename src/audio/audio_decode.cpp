#include "audio/audio_decode.h"

#include <libopenmpt/libopenmpt.h>
#include <mpg123.h>

#include <algorithm>
#include <memory>

#include "platform/files.h"

namespace {

constexpr size_t FEED_CHUNK_BYTES = 64 * 1024;
constexpr size_t DECODE_CHUNK_BYTES = 64 * 1024;
constexpr size_t RENDER_CHUNK_FRAMES = 4096;
constexpr int MODULE_CHANNELS = 2;  // libopenmpt renders stereo here
// Far above what any MP3 frame decodes to per byte of input (about eight).
constexpr size_t MAX_FRAMES_PER_INPUT_BYTE = 64;

struct Mpg123Deleter {
    void operator()(mpg123_handle* handle) const { mpg123_delete(handle); }
};
struct ModuleDeleter {
    void operator()(openmpt_module* module) const { openmpt_module_destroy(module); }
};

// Reads the new output format; false when it is not float PCM we can use.
bool takeFormat(mpg123_handle* decoder, size_t inputBytes, DecodedAudio& out, std::string& reason)
{
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(decoder, &rate, &channels, &encoding) != MPG123_OK) {
        reason = mpg123_strerror(decoder);
        return false;
    }
    if (encoding != MPG123_ENC_FLOAT_32 || channels < 1 || channels > 2 || rate <= 0) {
        reason = "unsupported sample format";
        return false;
    }
    if (out.channels != 0 && (out.channels != channels || out.rate != static_cast<uint32_t>(rate))) {
        reason = "format changes inside the stream";
        return false;
    }
    out.channels = channels;
    out.rate = static_cast<uint32_t>(rate);
    // With a LAME/Xing header the decoder knows the length up front. The
    // header is only a claim: no MP3 frame turns one byte into more than a
    // few dozen sample frames, so the reservation never exceeds that.
    const size_t claimed = static_cast<size_t>(std::max<off_t>(mpg123_length(decoder), 0));
    const size_t possible = inputBytes * MAX_FRAMES_PER_INPUT_BYTE;
    if (out.samples.empty())
        out.samples.reserve(std::min(claimed, possible) * channels);
    return true;
}

// Decodes into `out`; on failure `out` may hold what came before the error.
bool decodeMp3Frames(const std::vector<uint8_t>& bytes, DecodedAudio& out, std::string& reason)
{
    if (bytes.empty()) {
        reason = "empty file";
        return false;
    }
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, Mpg123Deleter> decoder(mpg123_new(nullptr, &error));
    if (!decoder) {
        reason = mpg123_plain_strerror(error);
        return false;
    }
    mpg123_param(decoder.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT | MPG123_GAPLESS, 0.0);
    if (mpg123_open_feed(decoder.get()) != MPG123_OK) {
        reason = mpg123_strerror(decoder.get());
        return false;
    }

    std::vector<unsigned char> chunk(DECODE_CHUNK_BYTES);
    size_t fed = 0;
    bool formatKnown = false;
    for (;;) {
        const unsigned char* input = nullptr;
        size_t inputSize = 0;
        size_t done = 0;
        int result = mpg123_decode(decoder.get(), input, inputSize, chunk.data(), chunk.size(), &done);
        if (result == MPG123_NEW_FORMAT) {
            if (!takeFormat(decoder.get(), bytes.size(), out, reason))
                return false;
            formatKnown = true;
        } else if (result == MPG123_ERR) {
            reason = mpg123_strerror(decoder.get());
            return false;
        }
        if (done > 0) {
            if (!formatKnown) {
                reason = "samples before a format";
                return false;
            }
            const float* samples = reinterpret_cast<const float*>(chunk.data());
            out.samples.insert(out.samples.end(), samples, samples + done / sizeof(float));
        }
        if (result == MPG123_DONE)
            break;
        if (result == MPG123_NEED_MORE) {
            if (fed == bytes.size())
                break;
            size_t size = std::min(FEED_CHUNK_BYTES, bytes.size() - fed);
            if (mpg123_feed(decoder.get(), bytes.data() + fed, size) != MPG123_OK) {
                reason = mpg123_strerror(decoder.get());
                return false;
            }
            fed += size;
        }
    }

    if (!formatKnown || out.frames() == 0) {
        reason = "not an MP3 stream";
        return false;
    }
    // A whole frame count: drop a stray half frame a damaged tail may leave.
    out.samples.resize(out.frames() * out.channels);
    return true;
}

}  // namespace

bool decodeMp3(const std::vector<uint8_t>& bytes, DecodedAudio& out, std::string& reason)
{
    out = DecodedAudio();
    // A stream that breaks off into garbage is refused whole, with nothing
    // half-decoded left behind.
    if (decodeMp3Frames(bytes, out, reason))
        return true;
    out = DecodedAudio();
    return false;
}

bool renderModule(const std::vector<uint8_t>& bytes, uint32_t rate, DecodedAudio& out, std::string& reason)
{
    out = DecodedAudio();
    if (bytes.empty()) {
        reason = "empty file";
        return false;
    }
    if (rate == 0) {
        reason = "no output rate";
        return false;
    }
    int error = 0;
    const char* message = nullptr;
    std::unique_ptr<openmpt_module, ModuleDeleter> module(openmpt_module_create_from_memory2(
        bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_store, nullptr,
        &error, &message, nullptr));
    if (!module) {
        reason = message && *message ? message : "not a tracker module";
        openmpt_free_string(message);
        return false;
    }
    openmpt_free_string(message);

    out.rate = rate;
    out.channels = MODULE_CHANNELS;
    const double seconds = std::min(openmpt_module_get_duration_seconds(module.get()), MODULE_MAX_SECONDS);
    const size_t maxFrames = static_cast<size_t>(MODULE_MAX_SECONDS * rate);
    if (seconds > 0.0)
        out.samples.reserve((static_cast<size_t>(seconds * rate) + RENDER_CHUNK_FRAMES) * out.channels);

    float block[RENDER_CHUNK_FRAMES * MODULE_CHANNELS];
    while (out.frames() < maxFrames) {
        size_t want = std::min(RENDER_CHUNK_FRAMES, maxFrames - out.frames());
        size_t got = openmpt_module_read_interleaved_float_stereo(
            module.get(), static_cast<int32_t>(rate), want, block);
        if (got == 0)
            break;
        out.samples.insert(out.samples.end(), block, block + got * out.channels);
    }
    if (out.frames() == 0) {
        out = DecodedAudio();
        reason = "module renders no sound";
        return false;
    }
    return true;
}

bool decodeAudioFile(const char* path, AudioKind kind, DecodedAudio& out, std::string& reason, uint32_t moduleRate)
{
    out = DecodedAudio();
    if (!path || !*path) {
        reason = "no file named";
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, reason))
        return false;
    if (kind == AudioKind::Stream)
        return decodeMp3(bytes, out, reason);
    return renderModule(bytes, moduleRate, out, reason);
}
