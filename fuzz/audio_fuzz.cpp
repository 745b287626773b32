// Fuzz entry point for the audio engine's loading and streaming path: any
// byte string is opened as an MP3 stream and as a tracker module, read to
// its end a block at a time, and moved about, as the engine does with a
// file. Accepted audio must be whole frames of finite samples in a format
// the output can take, never more than one block per read; a refusal must
// say why; reading after a seek must go on from where the seek said.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/audio_stream.h"

namespace {

// Modules are rendered at a low rate to keep each input quick.
constexpr uint32_t FUZZ_MODULE_RATE = 8000;
// Longer output is legal but only costs time here.
constexpr uint64_t FUZZ_MAX_SECONDS = 120;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Reads on to the end (or the time limit); returns the frames read.
uint64_t readOn(AudioStream& stream, std::vector<float>& block)
{
    const uint64_t limit = FUZZ_MAX_SECONDS * stream.rate();
    const uint64_t first = stream.position();
    while (!stream.ended() && stream.position() < limit) {
        const uint64_t before = stream.position();
        const size_t frames = stream.read(block.data());
        check(frames <= AUDIO_STREAM_BLOCK_FRAMES);
        check(stream.position() == before + frames);
        for (size_t i = 0; i < frames * static_cast<size_t>(stream.channels()); ++i)
            check(std::isfinite(block[i]));
        if (frames == 0)
            check(stream.ended());
    }
    return stream.position() - first;
}

void exercise(std::unique_ptr<AudioStream> stream, const std::string& reason)
{
    if (!stream) {
        check(!reason.empty());
        return;
    }
    check(stream->channels() >= 1 && stream->channels() <= 2 && stream->rate() > 0);
    std::vector<float> block(AUDIO_STREAM_BLOCK_FRAMES * stream->channels());
    const uint64_t length = readOn(*stream, block);
    // Back to the middle and on again, then back to the start.
    const uint64_t middle = length / 2;
    const uint64_t at = stream->seek(middle);
    check(at <= middle || stream->ended());
    check(stream->position() == at);
    readOn(*stream, block);
    check(stream->seek(0) == 0 || stream->ended());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    std::string reason;
    exercise(AudioStream::openMp3(bytes, reason), reason);
    reason.clear();
    exercise(AudioStream::openModule(bytes, FUZZ_MODULE_RATE, reason), reason);
    return 0;
}
