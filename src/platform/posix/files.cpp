// Content files on a POSIX file system (Linux, and the browser's in-memory
// one): the content-folder search, and opening only ordinary files.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>


namespace {
// The content folder named by setContentFolder, or empty; a function so
// that a test's start-up code may set it before anything else is built.
std::string& contentFolder()
{
    static std::string folder;
    return folder;
}
}  // namespace

void setContentFolder(const std::string& dataFolder)
{
    contentFolder() = dataFolder;
}

namespace {

// What a path that is not an ordinary file is, in words; null for an
// ordinary file.
const char* notOrdinary(mode_t mode)
{
    if (S_ISREG(mode))
        return nullptr;
    if (S_ISDIR(mode))
        return "is a directory";
    if (S_ISFIFO(mode))
        return "is a FIFO";
    if (S_ISSOCK(mode))
        return "is a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device";
    return "is not an ordinary file";
}

// Checks what `info` describes against what may be read; false with a reason.
bool acceptable(const struct stat& info, uint64_t maxBytes, std::string& reason)
{
    if (const char* kind = notOrdinary(info.st_mode)) {
        reason = kind;
        return false;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (size > maxBytes) {
        reason = "is " + std::to_string(size) + " bytes, more than the " + std::to_string(maxBytes) + " allowed";
        return false;
    }
    return true;
}

}  // namespace

bool openOrdinaryFile(const std::string& path, uint64_t maxBytes, OpenedFile& out, std::string& reason)
{
    out = OpenedFile{};
    // A look at the path first, so that a device or a FIFO is never opened
    // at all (opening some devices does something).
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!acceptable(info, maxBytes, reason))
        return false;
    // The path may have changed since: what counts is what the descriptor
    // is. Non-blocking and never a controlling terminal, so that whatever
    // was swapped in cannot hang the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (::fstat(fd, &info) != 0) {
        reason = std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (!acceptable(info, maxBytes, reason)) {
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    out.file = ::fdopen(fd, "rb");
    if (!out.file) {
        reason = std::strerror(errno);
        ::close(fd);
        return false;
    }
    out.size = static_cast<uint64_t>(info.st_size);
    return true;
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
    if (!contentFolder().empty()) {
        folder = withoutTrailingSlashes(contentFolder());
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
