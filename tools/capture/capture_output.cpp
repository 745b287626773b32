#include "capture_output.h"

#include "app/fixed_step.h"
#include "audio/audio_decode.h"
#include "audio/audio_engine.h"
#include "platform/folders.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

bool writePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
              std::string& failure)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i)
        std::memcpy(&rgb[i * 3], &rgba[i * 4], 3);

    // Opened here rather than by libpng, so that a name outside the system's
    // narrow code page still works on Windows.
    std::FILE* file = openForWriting(path, failure);
    if (!file)
        return false;
    // The simplified interface reports errors through the image record.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    errno = 0;
    const bool encoded = png_image_write_to_stdio(&image, file, 0, rgb.data(), width * 3, nullptr) != 0;
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!encoded || !closed) {
        const int error = !encoded ? writeError : errno;
        failure = path + ": " + (error != 0 || encoded ? std::strerror(error) : image.message);
        png_image_free(&image);
        return false;
    }
    return true;
}

namespace {

void putLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

SampleStretch soundStretch(uint32_t rate, uint32_t startMs, uint64_t frameCount, int fps)
{
    SampleStretch stretch;
    stretch.first = (static_cast<uint64_t>(startMs) * rate + 500) / 1000;
    stretch.count = (2 * frameCount * rate + static_cast<uint64_t>(fps)) / (2 * static_cast<uint64_t>(fps));
    return stretch;
}

bool readSoundtrack(uint32_t channel, const FrameSpan& frames, int fps, DecodedAudio& pcm, std::string& reason)
{
    const SampleStretch stretch =
        soundStretch(audioChannelRate(channel), frameTimeMs(frames.first, fps), frames.count(), fps);
    return audioChannelReadStretch(channel, stretch.first, stretch.count, pcm, reason);
}

bool writeWav(const std::string& path, const DecodedAudio& pcm, std::string& failure)
{
    const uint64_t rate = pcm.rate;
    const int channels = pcm.channels;
    const uint64_t dataBytes = pcm.samples.size() * 2;
    if (channels <= 0 || rate == 0 || dataBytes > 0xFFFFFFFFull - 36) {
        failure = path + ": the soundtrack has no samples to write";
        return false;
    }

    std::vector<uint8_t> bytes;
    bytes.reserve(44 + static_cast<size_t>(dataBytes));
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    putLittleEndian(bytes, static_cast<uint32_t>(36 + dataBytes), 4);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLittleEndian(bytes, 16, 4);                                          // format chunk size
    putLittleEndian(bytes, 1, 2);                                           // integer PCM
    putLittleEndian(bytes, static_cast<uint32_t>(channels), 2);
    putLittleEndian(bytes, static_cast<uint32_t>(rate), 4);
    putLittleEndian(bytes, static_cast<uint32_t>(rate * channels * 2), 4);  // bytes per second
    putLittleEndian(bytes, static_cast<uint32_t>(channels * 2), 2);         // bytes per frame
    putLittleEndian(bytes, 16, 2);                                          // bits per sample
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    putLittleEndian(bytes, static_cast<uint32_t>(dataBytes), 4);
    for (const float sample : pcm.samples) {
        const long value = std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f);
        putLittleEndian(bytes, static_cast<uint32_t>(static_cast<int16_t>(value)), 2);
    }

    std::FILE* file = openForWriting(path, failure);
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written) {
        failure = path + ": " + std::strerror(written ? errno : writeError);
        return false;
    }
    return true;
}

std::vector<std::string> videoArguments(const VideoRequest& request, const std::string& ffmpeg)
{
    std::vector<std::string> arguments = {
        ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgba",
        "-video_size", std::to_string(request.width) + "x" + std::to_string(request.height),
        "-framerate", std::to_string(request.fps), "-i", "pipe:0"};
    const bool sound = !request.audioPath.empty();
    // The WAV holds exactly the frames' stretch of the soundtrack, so sound
    // and picture start and end together whatever --from and --to say.
    if (sound)
        arguments.insert(arguments.end(), {"-i", request.audioPath, "-map", "0:v:0", "-map", "1:a:0"});
    else
        arguments.insert(arguments.end(), {"-map", "0:v:0"});
    std::vector<std::string> codec;
    if (request.codec == VideoCodec::Ffv1) {
        // Every frame a key frame, for editing; bgr0 keeps the RGB exactly.
        codec = {"-c:v", "ffv1", "-level", "3", "-g", "1", "-pix_fmt", "bgr0", "-f", "matroska"};
        if (sound)
            codec.insert(codec.end(), {"-c:a", "pcm_s16le"});
    } else {
        codec = {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-preset", request.preset, "-crf", std::to_string(request.crf),
                 "-f", "mp4"};
        if (sound)
            codec.insert(codec.end(), {"-c:a", "aac", "-b:a", "192k"});
        // MP4 keeps a tag of its own naming only when told to.
        arguments.insert(arguments.end(), {"-movflags", request.segmentTag.empty() ? "+faststart"
                                                                                   : "+faststart+use_metadata_tags"});
    }
    arguments.insert(arguments.end(), codec.begin(), codec.end());
    if (!request.segmentTag.empty())
        arguments.insert(arguments.end(), {"-metadata", std::string(SEGMENT_TAG) + "=" + request.segmentTag});
    arguments.push_back(request.path);
    return arguments;
}

TemporaryFile::~TemporaryFile()
{
    if (!path_.empty())
        removeFile(path_);
}

bool TemporaryFile::make(const char* suffix, std::string& failure)
{
    return makeTemporaryFile(suffix, path_, failure);
}

bool VideoPipe::check(const VideoRequest& request, std::string& failure)
{
    const std::string ffmpeg = findProgram("ffmpeg");
    if (ffmpeg.empty()) {
        failure = request.path +
                  ": no video encoder: the ffmpeg tool is not on PATH (Debian package ffmpeg; ffmpeg.exe on Windows)";
        return false;
    }
    const char* encoder = request.codec == VideoCodec::Ffv1 ? "ffv1" : "libx264";
    int status = 0;
    const std::string listing = programOutput({ffmpeg, "-hide_banner", "-encoders"}, status);
    if (listing.find(std::string(" ") + encoder + " ") == std::string::npos) {
        failure = request.path + ": no video encoder: " + ffmpeg + " has no " + encoder;
        return false;
    }
    return folderWritable(parentFolder(request.path), failure);
}

bool VideoPipe::open(const VideoRequest& request, std::string& failure)
{
    path_ = request.path;
    if (!check(request, failure))
        return false;
    // A dying encoder becomes an error message, not the end of this process.
    return encoder_.start(videoArguments(request, findProgram("ffmpeg")), ChildProgram::Pipe::ToChild, failure);
}

bool VideoPipe::write(const std::vector<uint8_t>& rgba, std::string& failure)
{
    if (std::fwrite(rgba.data(), 1, rgba.size(), encoder_.stream()) != rgba.size()) {
        failure = path_ + ": the encoder stopped taking frames (see its message above)";
        return false;
    }
    return true;
}

bool VideoPipe::finish(std::string& failure)
{
    if (encoder_.finish() != 0) {
        failure = path_ + ": ffmpeg failed (see its message above)";
        return false;
    }
    return true;
}
