#include "capture_output.h"

#include "app/fixed_step.h"
#include "audio/audio_decode.h"
#include "audio/audio_engine.h"
#include "platform/files.h"
#include "platform/folders.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

bool writePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
              std::string& failure)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i)
        std::memcpy(&rgb[i * 3], &rgba[i * 4], 3);

    // Opened here rather than by libpng, so that a name outside the system's
    // narrow code page still works on Windows; written whole or not at all.
    WholeFile whole;
    if (!whole.open(path, failure))
        return false;
    std::FILE* file = whole.stream();
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
    if (!encoded) {
        failure = path + ": " + (writeError != 0 ? std::strerror(writeError) : image.message);
        png_image_free(&image);
        return false;
    }
    return whole.commit(failure);
}

bool isWholePng(const std::string& path, int width, int height)
{
    OpenedFile opened;
    std::string reason;
    if (!openOrdinaryFile(path, PNG_MAX_BYTES, opened, reason))
        return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    bool whole = png_image_begin_read_from_stdio(&image, opened.file) != 0 &&
                 image.width == static_cast<png_uint_32>(width) && image.height == static_cast<png_uint_32>(height);
    if (whole) {
        // Decoding every row checks every chunk's CRC and the whole
        // compressed stream, so a cut or damaged file fails here.
        image.format = PNG_FORMAT_RGB;
        std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
        whole = png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
    }
    // The decoder stops at the picture's last row; the file must go on to
    // its closing chunk and end there.
    static const uint8_t END_CHUNK[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    uint8_t tail[12];
    whole = whole && opened.size >= sizeof tail &&
            std::fseek(opened.file, static_cast<long>(opened.size - sizeof tail), SEEK_SET) == 0 &&
            std::fread(tail, 1, sizeof tail, opened.file) == sizeof tail &&
            std::memcmp(tail, END_CHUNK, sizeof tail) == 0;
    png_image_free(&image);
    std::fclose(opened.file);
    return whole;
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

bool wavFile(const DecodedAudio& pcm, std::vector<uint8_t>& bytes)
{
    const uint64_t rate = pcm.rate;
    const int channels = pcm.channels;
    const uint64_t dataBytes = pcm.samples.size() * 2;
    if (channels <= 0 || rate == 0 || dataBytes > 0xFFFFFFFFull - 36)
        return false;
    bytes.clear();
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
    return true;
}

bool writeWav(const std::string& path, const DecodedAudio& pcm, std::string& failure)
{
    std::vector<uint8_t> bytes;
    if (!wavFile(pcm, bytes)) {
        failure = path + ": the soundtrack has no samples to write";
        return false;
    }
    WholeFile whole;
    if (!whole.open(path, failure))
        return false;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), whole.stream()) != bytes.size()) {
        failure = path + ": " + std::strerror(errno ? errno : EIO);
        return false;
    }
    return whole.commit(failure);
}

bool isWholeWav(const std::string& path, const DecodedAudio& pcm)
{
    std::vector<uint8_t> expected, found;
    std::string reason;
    return wavFile(pcm, expected) && readWholeFile(path, found, reason, expected.size()) && found == expected;
}

bool countVideoFrames(const std::string& ffprobe, const std::string& path, uint64_t& frames)
{
    int status = 0;
    const std::string report =
        programOutput({ffprobe, "-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                       "stream=nb_read_packets", "-of", "default=noprint_wrappers=1:nokey=1", path},
                      status);
    if (status != 0 || report.empty() || !std::isdigit(static_cast<unsigned char>(report[0])))
        return false;
    frames = std::strtoull(report.c_str(), nullptr, 10);
    return true;
}

std::vector<std::string> videoArguments(const VideoRequest& request, const std::string& ffmpeg,
                                        const std::string& outPath)
{
    std::vector<std::string> arguments = {
        ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
        "-f", "rawvideo", "-pix_fmt", "rgba",
        "-video_size", std::to_string(request.width) + "x" + std::to_string(request.height),
        "-framerate", std::to_string(request.fps), "-i", "pipe:0"};
    const bool sound = !request.audioPath.empty();
    // The WAV holds exactly the frames' stretch of the soundtrack, so sound
    // and picture start and end together whatever --from and --to say. A
    // stopped run cuts the WAV to the frames written; what ffmpeg has read
    // ahead of that by then (a read, its queue) ends with the pictures.
    if (sound)
        arguments.insert(arguments.end(), {"-blocksize", "4096", "-i", request.audioPath, "-map", "0:v:0", "-map",
                                           "1:a:0", "-shortest"});
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
    arguments.push_back(outPath);
    return arguments;
}

namespace {

// The last line ffmpeg wrote: its summary of what went wrong.
std::string lastLine(const std::string& text)
{
    const size_t end = text.find_last_not_of("\r\n");
    if (end == std::string::npos)
        return "it ended without a word";
    const size_t newline = text.find_last_of('\n', end);
    const size_t start = newline == std::string::npos ? 0 : newline + 1;
    return text.substr(start, end + 1 - start);
}

}  // namespace

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
    if (findProgram("ffprobe").empty()) {
        failure = request.path + ": the ffprobe tool, which checks the finished video, is not on PATH (Debian "
                                 "package ffmpeg)";
        return false;
    }
    return fileWritable(request.path, failure) && fileWritable(request.path + ".part", failure);
}

bool VideoPipe::open(const VideoRequest& request, const DecodedAudio* sound, uint32_t soundStartMs,
                     std::string& failure)
{
    path_ = request.path;
    fps_ = request.fps;
    frames_ = 0;
    soundRate_ = 0;
    if (!check(request, failure) || !errors_.make(".log", failure))
        return false;
    ffprobe_ = findProgram("ffprobe");
    VideoRequest withSound = request;
    ChildFiles files;
    files.errors = &errors_;
    if (sound) {
        // The sound goes in a scratch file that the encoder reads as it
        // goes, so that a stop can cut it to the pictures written.
        std::vector<uint8_t> bytes;
        if (!wavFile(*sound, bytes)) {
            failure = path_ + ": the soundtrack has no samples to write";
            return false;
        }
        if (!sound_.make(".wav", failure))
            return false;
        if (std::fwrite(bytes.data(), 1, bytes.size(), sound_.stream()) != bytes.size() ||
            std::fflush(sound_.stream()) != 0) {
            failure = path_ + ": the soundtrack cannot be handed to the encoder: " + std::strerror(errno);
            return false;
        }
        withSound.audioPath = sound_.childName();
        files.input = &sound_;
        soundRate_ = sound->rate;
        soundChannels_ = sound->channels;
        soundStartMs_ = soundStartMs;
    }
    // A dying encoder becomes an error message, not the end of this process.
    return encoder_.start(videoArguments(withSound, findProgram("ffmpeg"), partPath()), ChildProgram::Pipe::ToChild,
                          failure, files);
}

bool VideoPipe::write(const std::vector<uint8_t>& rgba, std::string& failure)
{
    if (std::fwrite(rgba.data(), 1, rgba.size(), encoder_.stream()) != rgba.size()) {
        endEncoder(failure);
        failure = path_ + ": the encoder stopped taking frames: " + failure;
        return false;
    }
    ++frames_;
    return true;
}

bool VideoPipe::endEncoder(std::string& failure)
{
    if (encoder_.finish() == 0)
        return true;
    failure = "ffmpeg: " + lastLine(errors_.contents()) + " (" + partPath() + " removed)";
    removeFile(partPath());
    return false;
}

bool VideoPipe::finish(uint64_t frames, std::string& failure)
{
    std::string why;
    if (!endEncoder(why)) {
        failure = path_ + ": " + why;
        return false;
    }
    uint64_t counted = 0;
    if (!countVideoFrames(ffprobe_, partPath(), counted) || counted != frames) {
        failure = partPath() + ": holds " + std::to_string(counted) + " frame(s), not the " + std::to_string(frames) +
                  " written; left under that name";
        return false;
    }
    return replaceFile(partPath(), path_, failure);
}

bool VideoPipe::stop(std::string& failure)
{
    // The sound cut to the pictures written; what ffmpeg read ahead of the
    // cut, it ends with the last picture (-shortest).
    if (soundRate_ != 0) {
        const SampleStretch stretch = soundStretch(soundRate_, soundStartMs_, frames_, fps_);
        sound_.truncate(WAV_HEADER_BYTES + stretch.count * static_cast<uint64_t>(soundChannels_) * 2);
    }
    // A stop that reached ffmpeg too (a scheduler signals every process of
    // a job) still has it write what it has, with a status of its own; its
    // .part stays for the user to judge, with ffmpeg's word on it. Asked to
    // stop again while ffmpeg encodes the frames it holds, we stop at once.
    bool cutShort = false;
    if (encoder_.finishUnlessStopped(cutShort) != 0) {
        failure = cutShort ? partPath() + " is unfinished: ffmpeg was ended by the second stop request"
                           : path_ + ": ffmpeg: " + lastLine(errors_.contents());
        return false;
    }
    return true;
}
