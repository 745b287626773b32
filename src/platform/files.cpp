#include "platform/files.h"

#include <SDL.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"

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

namespace {

bool isFolder(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// `relative` ("../share/games/quillmoor") taken from `folder` ("/usr/games/"),
// with each leading ".." taking off one folder: "/usr/share/games/quillmoor".
std::string joinUpwards(std::string folder, std::string relative)
{
    folder = withoutTrailingSlashes(folder);
    while (relative.compare(0, 3, "../") == 0) {
        relative.erase(0, 3);
        const size_t slash = folder.find_last_of('/');
        if (slash == std::string::npos || folder == "/")
            folder = slash == std::string::npos ? "." : "/";
        else
            folder = slash == 0 ? "/" : folder.substr(0, slash);
    }
    return folder == "/" ? "/" + relative : folder + "/" + relative;
}

}  // namespace

bool findContentFolder(std::string& folder, std::string& failure)
{
    const char* given = !contentFolder.empty() ? contentFolder.c_str() : std::getenv("QUILLMOOR_DATA");
    if (given && *given) {
        folder = withoutTrailingSlashes(given);
        struct stat info;
        if (::stat(folder.c_str(), &info) != 0)
            failure = "content folder " + folder + ": " + std::strerror(errno);
        else if (!S_ISDIR(info.st_mode))
            failure = "content folder " + folder + ": not a folder";
        else
            return true;
        return false;
    }
    const std::string executable = executableFolder();
    const std::string beside = withoutTrailingSlashes(executable + "Data");
    const std::string installed = joinUpwards(executable, QUILLMOOR_INSTALLED_CONTENT);
    for (const std::string& candidate : {beside, installed}) {
        if (isFolder(candidate)) {
            folder = candidate;
            return true;
        }
    }
    folder = beside;
    failure = "no content: looked in " + beside + " (beside the program) and " + installed +
              " (installed); name the folder with --data DIR";
    return false;
}

std::string resolveContentPath(const char* showPath)
{
    std::string relative = showPath;
    for (char& c : relative)
        if (c == '\\')
            c = '/';

    std::string folder, failure;
    if (!findContentFolder(folder, failure)) {
        // Once per distinct problem: the show resolves several names in a row.
        static std::string reported;
        if (failure != reported)
            logMessage("content", "%s", failure.c_str());
        reported = failure;
    }
    if (relative.compare(0, 5, "Data/") == 0)
        return folder + relative.substr(4);
    // Names outside the content folder are taken from beside the executable.
    return executableFolder() + relative;
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
