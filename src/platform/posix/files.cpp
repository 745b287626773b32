// Content files on a POSIX file system (Linux, and the browser's in-memory
// one): a look at a folder for the content-folder search, and opening only
// ordinary files.
#include "platform/content_folder.h"
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>


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

bool platformFolderCheck(const std::string& folder, std::string& reason)
{
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0)
        reason = std::strerror(errno);
    else if (!S_ISDIR(info.st_mode))
        reason = "not a folder";
    else
        return true;
    return false;
}
