#include "capture_output.h"

#include "audio/audio_decode.h"

#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool writePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
              std::string& failure)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i)
        std::memcpy(&rgb[i * 3], &rgba[i * 4], 3);

    // The simplified interface reports errors through the image record.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    errno = 0;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), width * 3, nullptr)) {
        failure = path + ": " + (errno != 0 ? std::strerror(errno) : image.message);
        png_image_free(&image);
        return false;
    }
    return true;
}

bool folderWritable(const std::string& folder, std::string& failure)
{
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) {
        failure = folder + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        failure = folder + ": not a folder";
        return false;
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        failure = folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string findOnPath(const char* program)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return std::string();
    std::string folders = path;
    size_t start = 0;
    for (;;) {
        const size_t colon = folders.find(':', start);
        std::string folder = folders.substr(start, colon - start);
        if (folder.empty())
            folder = ".";
        const std::string candidate = folder + "/" + program;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string::npos)
            return std::string();
        start = colon + 1;
    }
}

std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool makeFolder(const std::string& folder, std::string& failure)
{
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        failure = folder + ": " + std::strerror(errno);
        return false;
    }
    return folderWritable(folder, failure);
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

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        failure = path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written) {
        failure = path + ": " + std::strerror(written ? errno : writeError);
        return false;
    }
    return true;
}

std::string videoCommand(const VideoRequest& request, const std::string& ffmpeg)
{
    char input[128];
    std::snprintf(input, sizeof input, " -f rawvideo -pix_fmt rgba -video_size %dx%d -framerate %d -i pipe:0 -i ",
                  request.width, request.height, request.fps);
    std::string codec;
    if (request.codec == VideoCodec::Ffv1) {
        // Every frame a key frame, for editing; bgr0 keeps the RGB exactly.
        codec = " -c:v ffv1 -level 3 -g 1 -pix_fmt bgr0 -c:a pcm_s16le -f matroska ";
    } else {
        codec = " -c:v libx264 -pix_fmt yuv420p -preset " + request.preset + " -crf " + std::to_string(request.crf) +
                " -c:a aac -b:a 192k -movflags +faststart -f mp4 ";
    }
    // The WAV holds exactly the frames' stretch of the soundtrack, so sound
    // and picture start and end together whatever --from and --to say.
    return shellQuote(ffmpeg) + " -nostdin -hide_banner -loglevel error -y" + input +
           shellQuote(request.audioPath) + " -map 0:v:0 -map 1:a:0" + codec + shellQuote(request.path);
}

VideoPipe::~VideoPipe()
{
    if (pipe_)
        pclose(pipe_);
}

bool VideoPipe::check(const VideoRequest& request, std::string& failure)
{
    const std::string ffmpeg = findOnPath("ffmpeg");
    if (ffmpeg.empty()) {
        failure = request.path + ": no video encoder: the ffmpeg tool is not on PATH (Debian package ffmpeg)";
        return false;
    }
    const char* encoder = request.codec == VideoCodec::Ffv1 ? "ffv1" : "libx264";
    const std::string probe = shellQuote(ffmpeg) + " -hide_banner -encoders 2>/dev/null";
    const std::string listed = std::string(" ") + encoder + " ";
    std::FILE* encoders = popen(probe.c_str(), "r");
    bool found = false;
    if (encoders) {
        char line[512];
        while (std::fgets(line, sizeof line, encoders))
            found = found || std::strstr(line, listed.c_str()) != nullptr;
        pclose(encoders);
    }
    if (!found) {
        failure = request.path + ": no video encoder: " + ffmpeg + " has no " + encoder;
        return false;
    }
    return folderWritable(folderOf(request.path), failure);
}

bool VideoPipe::open(const VideoRequest& request, std::string& failure)
{
    path_ = request.path;
    if (!check(request, failure))
        return false;
    const std::string ffmpeg = findOnPath("ffmpeg");
    // A dying encoder must become an error message, not a silent SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    pipe_ = popen(videoCommand(request, ffmpeg).c_str(), "w");
    if (!pipe_) {
        failure = request.path + ": cannot start ffmpeg: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool VideoPipe::write(const std::vector<uint8_t>& rgba, std::string& failure)
{
    if (std::fwrite(rgba.data(), 1, rgba.size(), pipe_) != rgba.size()) {
        failure = path_ + ": the encoder stopped taking frames (see its message above)";
        return false;
    }
    return true;
}

bool VideoPipe::finish(std::string& failure)
{
    const int status = pclose(pipe_);
    pipe_ = nullptr;
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        failure = path_ + ": ffmpeg failed (see its message above)";
        return false;
    }
    return true;
}
