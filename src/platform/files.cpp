#include "platform/files.h"

#include <SDL.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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
    const char* dataOverride = std::getenv("QUILLMOOR_DATA");
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
