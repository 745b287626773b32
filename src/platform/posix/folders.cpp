#include "platform/folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// A hidden name beside `path` that nothing else uses now: ".NAME.PID.N".
std::string hiddenNameBeside(const std::string& path)
{
    static unsigned counter = 0;
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + "." + std::to_string(getpid()) + "." + std::to_string(counter++);
}

// Names the unnamed file `fd` as `path`, which must not be there.
bool nameUnnamed(int fd, const std::string& path)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

}  // namespace

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

bool makeFolder(const std::string& folder, std::string& failure)
{
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        failure = folder + ": " + std::strerror(errno);
        return false;
    }
    return folderWritable(folder, failure);
}

bool fileWritable(const std::string& path, std::string& failure)
{
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            failure = path + ": is a folder";
            return false;
        }
        if (::access(path.c_str(), W_OK) != 0) {
            failure = path + ": " + std::strerror(errno);
            return false;
        }
    }
    return folderWritable(parentFolder(path), failure);
}

std::string parentFolder(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::FILE* openForWriting(const std::string& path, std::string& failure)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        failure = path + ": " + std::strerror(errno);
    return file;
}

bool WholeFile::open(const std::string& path, std::string& failure)
{
    drop();
    path_ = path;
    struct stat info;
    inPlace_ = ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
    if (inPlace_) {
        stream_ = openForWriting(path, failure);
        return stream_ != nullptr;
    }
    int fd = -1;
#ifdef O_TMPFILE
    // Unnamed, so that not even a killed process leaves it; named at the end
    // through /proc, where that is there to do it.
    if (::access("/proc/self/fd", X_OK) == 0)
        fd = ::open(parentFolder(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
    if (fd < 0) {
        temporary_ = hiddenNameBeside(path);
        fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            failure = path + ": " + std::strerror(errno);
            temporary_.clear();
            return false;
        }
    }
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        failure = path + ": " + std::strerror(errno);
        ::close(fd);
        drop();
        return false;
    }
    return true;
}

bool WholeFile::commitOpen(std::string& failure)
{
    if (inPlace_) {
        const bool written = std::ferror(stream_) == 0;
        const int writeError = errno;
        const bool closed = std::fclose(stream_) == 0;
        stream_ = nullptr;
        if (written && closed)
            return true;
        failure = path_ + ": " + std::strerror(written ? errno : writeError);
        return false;
    }
    errno = 0;
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) {
        failure = path_ + ": " + std::strerror(errno ? errno : EIO);
        drop();
        return false;
    }
    const int fd = fileno(stream_);
    if (temporary_.empty()) {
        // linkat names only a name that is free; a file already there is
        // replaced through a hidden name of ours.
        if (!nameUnnamed(fd, path_)) {
            temporary_ = hiddenNameBeside(path_);
            if (errno != EEXIST || !nameUnnamed(fd, temporary_)) {
                failure = path_ + ": " + std::strerror(errno);
                temporary_.clear();
                drop();
                return false;
            }
        }
    }
    const bool closed = std::fclose(stream_) == 0;
    const int closeError = errno;
    stream_ = nullptr;
    if (!closed) {
        failure = path_ + ": " + std::strerror(closeError);
        if (temporary_.empty())
            ::unlink(path_.c_str());
        drop();
        return false;
    }
    if (!temporary_.empty() && std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        failure = path_ + ": " + std::strerror(errno);
        drop();
        return false;
    }
    temporary_.clear();
    return true;
}

bool makeTemporaryFile(const char* suffix, std::string& path, std::string& failure)
{
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/quillmoor-XXXXXX" + suffix;
    const int fd = ::mkstemps(name.data(), static_cast<int>(std::strlen(suffix)));
    if (fd < 0) {
        failure = name + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    path = name;
    return true;
}

bool removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& failure)
{
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        failure = to + ": " + std::strerror(errno);
        return false;
    }
    return true;
}
