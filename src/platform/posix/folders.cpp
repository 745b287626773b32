#include "platform/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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
