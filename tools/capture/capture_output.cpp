#include "capture_output.h"

#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

std::string videoCommand(const VideoRequest& request, const std::string& ffmpeg)
{
    char numbers[256];
    // The audio input is cut to the frames' stretch of show time, so sound
    // and picture start together whatever --from says.
    std::snprintf(numbers, sizeof numbers,
                  " -f rawvideo -pix_fmt rgba -video_size %dx%d -framerate %d -i pipe:0"
                  " -ss %u.%03u -t %llu.%09llu -i ",
                  request.width, request.height, request.fps, request.startMs / 1000,
                  request.startMs % 1000,
                  static_cast<unsigned long long>(request.frameCount / request.fps),
                  static_cast<unsigned long long>(request.frameCount % request.fps * 1000000000ull /
                                                  request.fps));
    return shellQuote(ffmpeg) + " -nostdin -hide_banner -loglevel error -y" + numbers +
           shellQuote(request.audioPath) +
           " -map 0:v:0 -map 1:a:0 -c:v libx264 -pix_fmt yuv420p -preset medium -crf 18"
           " -c:a aac -b:a 192k -movflags +faststart -f mp4 " +
           shellQuote(request.path);
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
    const std::string probe = shellQuote(ffmpeg) + " -hide_banner -encoders 2>/dev/null";
    std::FILE* encoders = popen(probe.c_str(), "r");
    bool hasX264 = false;
    if (encoders) {
        char line[512];
        while (std::fgets(line, sizeof line, encoders))
            hasX264 = hasX264 || std::strstr(line, " libx264 ") != nullptr;
        pclose(encoders);
    }
    if (!hasX264) {
        failure = request.path + ": no video encoder: " + ffmpeg + " has no libx264";
        return false;
    }
    if (access(request.audioPath.c_str(), R_OK) != 0) {
        failure = request.audioPath + ": " + std::strerror(errno);
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
