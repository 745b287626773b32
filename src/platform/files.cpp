// Reading an opened file: the same on both backends (plain stdio once
// openOrdinaryFile has handed over a FILE*).
#include "platform/files.h"

#include <cerrno>
#include <cstring>

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
