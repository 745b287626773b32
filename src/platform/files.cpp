// What both backends share: resolving the show's "Data\\x" names once the
// content folder is found, and reading an opened file (plain stdio once
// openOrdinaryFile has handed over a FILE*).
#include "platform/files.h"

#include <cerrno>
#include <cstring>

#include "platform/log.h"

namespace {
#ifdef _WIN32
constexpr char SEPARATOR = '\\';
#else
constexpr char SEPARATOR = '/';
#endif
}  // namespace

std::string resolveContentPath(const char* showPath)
{
    std::string relative = showPath;
    for (char& c : relative)
        if (c == '\\' || c == '/')
            c = SEPARATOR;

    std::string folder, failure;
    if (!findContentFolder(folder, failure)) {
        // Once per distinct problem: the show resolves several names in a row.
        static std::string reported;
        if (failure != reported)
            logMessage("content", "%s", failure.c_str());
        reported = failure;
    }
    if (relative.compare(0, 5, std::string("Data") + SEPARATOR) == 0)
        return folder + relative.substr(4);
    // Names outside the content folder are taken from beside the executable.
    return executableFolder() + relative;
}

bool readOpenFile(std::FILE* file, uint64_t maxBytes, std::vector<uint8_t>& bytes, std::string& reason)
{
    bytes.clear();
    uint8_t chunk[65536];
    size_t got;
    errno = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (got > maxBytes - bytes.size()) {
            // Grown since it was opened, or a pipe that goes on: stop here.
            reason = "more than the " + std::to_string(maxBytes) + " bytes allowed";
            std::vector<uint8_t>().swap(bytes);
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (std::ferror(file) == 0)
        return true;
    reason = errno ? std::strerror(errno) : "read error";
    std::vector<uint8_t>().swap(bytes);
    return false;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason, uint64_t maxBytes)
{
    bytes.clear();
    OpenedFile opened;
    if (!openOrdinaryFile(path, maxBytes, opened, reason))
        return false;
    bytes.reserve(static_cast<size_t>(opened.size));
    const bool ok = readOpenFile(opened.file, maxBytes, bytes, reason);
    std::fclose(opened.file);
    return ok;
}
