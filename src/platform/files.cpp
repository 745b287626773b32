#include "platform/files.h"

#include <SDL.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
std::string contentFolder;  // the Data folder named by setContentFolder, or empty
}  // namespace

void setContentFolder(const std::string& dataFolder)
{
    contentFolder = dataFolder;
}

bool openOrdinaryFile(const std::string& path, uint64_t maxBytes, OpenedFile& out, std::string& reason)
{
    out = OpenedFile{};
    // Non-blocking, so that opening a FIFO with no writer cannot hang; what
    // the path is decides before a byte is read.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        reason = std::strerror(errno);
        ::close(fd);
        return false;
    }
    const char* kind = nullptr;
    if (S_ISDIR(info.st_mode))
        kind = "is a directory";
    else if (S_ISFIFO(info.st_mode))
        kind = "is a FIFO";
    else if (S_ISSOCK(info.st_mode))
        kind = "is a socket";
    else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        kind = "is a device";
    else if (!S_ISREG(info.st_mode))
        kind = "is not an ordinary file";
    if (kind) {
        reason = kind;
        ::close(fd);
        return false;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (size > maxBytes) {
        reason = "is " + std::to_string(size) + " bytes, more than the " + std::to_string(maxBytes) + " allowed";
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    out.file = ::fdopen(fd, "rb");
    if (!out.file) {
        reason = std::strerror(errno);
        ::close(fd);
        return false;
    }
    out.size = size;
    return true;
}

std::string executableFolder()
{
    char* base = SDL_GetBasePath();
    if (!base)
        return "./";
    std::string folder = base;
    SDL_free(base);
    return folder;
}

std::string resolveContentPath(const char* showPath)
{
    std::string relative = showPath;
    for (char& c : relative)
        if (c == '\\')
            c = '/';

    // QUILLMOOR_DATA names the Data folder itself; the show's names start
    // with "Data/", so the root is its parent.
    const char* dataOverride = !contentFolder.empty() ? contentFolder.c_str() : std::getenv("QUILLMOOR_DATA");
    std::string root;
    if (dataOverride && *dataOverride) {
        std::string data = dataOverride;
        while (data.size() > 1 && data.back() == '/')
            data.pop_back();
        size_t slash = data.find_last_of('/');
        root = slash == std::string::npos ? std::string("./") : data.substr(0, slash + 1);
        std::string leaf = slash == std::string::npos ? data : data.substr(slash + 1);
        if (relative.compare(0, 5, "Data/") == 0)
            relative = leaf + relative.substr(4);
    } else {
        root = executableFolder();
    }
    return root + relative;
}

std::FILE* openContentFile(const std::string& path)
{
    return std::fopen(path.c_str(), "rb");
}

bool readOpenFile(std::FILE* file, std::vector<uint8_t>& bytes, std::string& reason)
{
    bytes.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    if (std::ferror(file) == 0)
        return true;
    reason = errno ? std::strerror(errno) : "read error";
    bytes.clear();
    return false;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason)
{
    bytes.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    errno = 0;
    bool ok = readOpenFile(file, bytes, reason);
    std::fclose(file);
    return ok;
}
