#include "audio/audio_stream.h"

#include <libopenmpt/libopenmpt.h>
#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/audio_decode.h"
#include "platform/stream_file.h"

namespace {

// Where libmpg123 pulls its input from: an open file or bytes in memory.
struct ByteSource {
    OpenedFile file;
    std::vector<uint8_t> bytes;
    size_t offset = 0;  // in `bytes`

    ~ByteSource()
    {
        if (file.file)
            streamFileClose(file.file);
    }
};

ssize_t sourceRead(void* handle, void* buffer, size_t size)
{
    auto* source = static_cast<ByteSource*>(handle);
    if (source->file.file)
        return static_cast<ssize_t>(streamFileRead(source->file.file, buffer, size));
    const size_t n = std::min(size, source->bytes.size() - source->offset);
    std::memcpy(buffer, source->bytes.data() + source->offset, n);
    source->offset += n;
    return static_cast<ssize_t>(n);
}

off_t sourceSeek(void* handle, off_t offset, int whence)
{
    auto* source = static_cast<ByteSource*>(handle);
    if (source->file.file)
        return static_cast<off_t>(streamFileSeek(source->file.file, offset, whence));
    const off_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? static_cast<off_t>(source->offset)
                                            : static_cast<off_t>(source->bytes.size());
    const off_t target = base + offset;
    if (target < 0 || target > static_cast<off_t>(source->bytes.size()))
        return -1;
    source->offset = static_cast<size_t>(target);
    return target;
}

// Reads in a row that may give no samples (a header, a tag, a skipped
// frame) before a stream that gives none is taken for broken.
constexpr int MAX_EMPTY_READS = 1000;

std::string secondsText(uint64_t frames, uint32_t rate)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", rate ? static_cast<double>(frames) / rate : 0.0);
    return text;
}

class Mp3Stream : public AudioStream {
public:
    ~Mp3Stream() override
    {
        if (decoder_)
            mpg123_delete(decoder_);
    }

    bool open(std::unique_ptr<ByteSource> source, std::string& reason)
    {
        source_ = std::move(source);
        int error = MPG123_OK;
        decoder_ = mpg123_new(nullptr, &error);
        if (!decoder_) {
            reason = mpg123_plain_strerror(error);
            return false;
        }
        // The flags of the whole-file decoder, so both give the same samples.
        mpg123_param(decoder_, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FORCE_FLOAT | MPG123_GAPLESS, 0.0);
        if (mpg123_replace_reader_handle(decoder_, sourceRead, sourceSeek, nullptr) != MPG123_OK ||
            mpg123_open_handle(decoder_, source_.get()) != MPG123_OK) {
            reason = mpg123_strerror(decoder_);
            return false;
        }
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (mpg123_getformat(decoder_, &rate, &channels, &encoding) != MPG123_OK) {
            reason = "not an MP3 stream";
            return false;
        }
        if (encoding != MPG123_ENC_FLOAT_32 || channels < 1 || channels > 2 || rate <= 0) {
            reason = "unsupported sample format";
            return false;
        }
        rate_ = static_cast<uint32_t>(rate);
        channels_ = channels;
        // The length the header gives (or libmpg123's guess from the file's
        // size); it is replaced by the length found once the end is reached.
        claimedFrames_ = std::max<off_t>(mpg123_length(decoder_), 0);
        return true;
    }

    size_t read(float* out) override
    {
        const size_t room = AUDIO_STREAM_BLOCK_FRAMES * channels_ * sizeof(float);
        size_t bytes = 0;
        for (int tries = 0; !ended_ && bytes == 0; ++tries) {
            if (tries == MAX_EMPTY_READS) {
                endWith("gives no sound after " + secondsText(position_, rate_));
                break;
            }
            size_t done = 0;
            const int result = mpg123_read(decoder_, reinterpret_cast<unsigned char*>(out), room, &done);
            bytes = done;
            if (result == MPG123_DONE) {
                ended_ = true;
                checkClaimedLength();
            } else if (result == MPG123_NEW_FORMAT) {
                if (!sameFormat()) {
                    endWith("format changes after " + secondsText(position_, rate_));
                    bytes = 0;
                }
            } else if (result != MPG123_OK) {
                endWith("breaks off after " + secondsText(position_, rate_) + ": " + mpg123_strerror(decoder_));
            }
        }
        // Whole frames only: a damaged tail may leave half of one.
        size_t frames = bytes / (channels_ * sizeof(float));
        if (breakFrame_ && position_ + frames >= breakFrame_) {
            frames = static_cast<size_t>(breakFrame_ - std::min(position_, breakFrame_));
            ended_ = true;
        }
        position_ += frames;
        if (!problem_.empty() && !breakFrame_)
            breakFrame_ = position_;
        return frames;
    }

    uint64_t seek(uint64_t frame) override
    {
        if (frame == position_ && !ended_)
            return position_;
        // Past a break found earlier there is nothing: the stream ends there
        // however it is reached.
        if (breakFrame_ && frame >= breakFrame_) {
            position_ = breakFrame_;
            ended_ = true;
            return position_;
        }
        const off_t at = mpg123_seek(decoder_, static_cast<off_t>(frame), SEEK_SET);
        if (at < 0) {
            endWith("cannot move to " + secondsText(frame, rate_) + ": " + mpg123_strerror(decoder_));
            return position_;
        }
        if (static_cast<uint64_t>(at) > frame) {
            // A damaged stream's index can land past the frame asked for;
            // what lies between cannot be had, so the stream ends here.
            position_ = frame;
            endWith("cannot move to " + secondsText(frame, rate_) + ": the stream goes on only at " +
                    secondsText(static_cast<uint64_t>(at), rate_));
            return position_;
        }
        position_ = static_cast<uint64_t>(at);
        ended_ = false;
        return position_;
    }

private:
    // A stream that ends well before the length its header gives was cut
    // short (or the header lies); either way it is worth one line.
    void checkClaimedLength()
    {
        if (claimedFrames_ > position_ + rate_ / 2)
            endWith("ends after " + secondsText(position_, rate_) + ", before the " +
                    secondsText(claimedFrames_, rate_) + " its header gives");
    }

    bool sameFormat()
    {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        return mpg123_getformat(decoder_, &rate, &channels, &encoding) == MPG123_OK &&
               encoding == MPG123_ENC_FLOAT_32 && channels == channels_ && rate == static_cast<long>(rate_);
    }

    std::unique_ptr<ByteSource> source_;
    mpg123_handle* decoder_ = nullptr;
    uint64_t breakFrame_ = 0;     // where a break was found; 0: none found
    uint64_t claimedFrames_ = 0;  // the length known at open
};

class ModuleStream : public AudioStream {
public:
    ~ModuleStream() override { destroy(); }

    bool open(std::vector<uint8_t> bytes, uint32_t rate, std::string& reason)
    {
        bytes_ = std::move(bytes);
        if (bytes_.empty()) {
            reason = "empty file";
            return false;
        }
        if (rate == 0) {
            reason = "no output rate";
            return false;
        }
        rate_ = rate;
        channels_ = 2;
        maxFrames_ = static_cast<uint64_t>(MODULE_MAX_SECONDS * rate);
        if (!create(reason))
            return false;
        if (openmpt_module_get_duration_seconds(module_) > MODULE_MAX_SECONDS)
            problem_ = "plays longer than " + secondsText(maxFrames_, rate_) + "; stopping there";
        return true;
    }

    size_t read(float* out) override
    {
        if (ended_)
            return 0;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(AUDIO_STREAM_BLOCK_FRAMES, maxFrames_ - position_));
        const size_t got = want ? openmpt_module_read_interleaved_float_stereo(
                                      module_, static_cast<int32_t>(rate_), want, out)
                                : 0;
        if (got == 0)
            ended_ = true;
        position_ += got;
        return got;
    }

    uint64_t seek(uint64_t frame) override
    {
        if (frame < position_) {
            std::string reason;
            destroy();
            position_ = 0;
            ended_ = false;
            if (!create(reason)) {
                ended_ = true;
                return 0;
            }
        }
        // Render on, a block at a time, to the block that holds `frame`.
        std::vector<float> scratch(AUDIO_STREAM_BLOCK_FRAMES * 2);
        while (!ended_ && position_ + AUDIO_STREAM_BLOCK_FRAMES <= frame)
            read(scratch.data());
        return position_;
    }

private:
    bool create(std::string& reason)
    {
        int error = 0;
        const char* message = nullptr;
        module_ = openmpt_module_create_from_memory2(bytes_.data(), bytes_.size(), openmpt_log_func_silent,
                                                     nullptr, openmpt_error_func_store, nullptr, &error,
                                                     &message, nullptr);
        if (!module_)
            reason = message && *message ? message : "not a tracker module";
        openmpt_free_string(message);
        return module_ != nullptr;
    }
    void destroy()
    {
        if (module_)
            openmpt_module_destroy(module_);
        module_ = nullptr;
    }

    std::vector<uint8_t> bytes_;
    openmpt_module* module_ = nullptr;
    uint64_t maxFrames_ = 0;
};

std::unique_ptr<AudioStream> openMp3Source(std::unique_ptr<ByteSource> source, std::string& reason)
{
    auto stream = std::make_unique<Mp3Stream>();
    if (!stream->open(std::move(source), reason)) {
        // libmpg123 has no words for some of its refusals.
        if (reason.empty())
            reason = "not an MP3 stream";
        return nullptr;
    }
    return stream;
}

}  // namespace

void AudioStream::endWith(const std::string& problem)
{
    ended_ = true;
    if (problem_.empty())
        problem_ = problem;
}

std::unique_ptr<AudioStream> AudioStream::openMp3(OpenedFile file, std::string& reason)
{
    auto source = std::make_unique<ByteSource>();
    source->file = file;
    if (source->file.size == 0) {
        reason = "empty file";
        return nullptr;
    }
    return openMp3Source(std::move(source), reason);
}

std::unique_ptr<AudioStream> AudioStream::openMp3(std::vector<uint8_t> bytes, std::string& reason)
{
    if (bytes.empty()) {
        reason = "empty file";
        return nullptr;
    }
    auto source = std::make_unique<ByteSource>();
    source->bytes = std::move(bytes);
    return openMp3Source(std::move(source), reason);
}

std::unique_ptr<AudioStream> AudioStream::openModule(std::vector<uint8_t> bytes, uint32_t rate, std::string& reason)
{
    auto stream = std::make_unique<ModuleStream>();
    if (!stream->open(std::move(bytes), rate, reason))
        return nullptr;
    return stream;
}
