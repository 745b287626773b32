#include "platform/stream_file.h"

#include <sys/types.h>

namespace {

// 64-bit offsets on both backends: on Windows a long is 32 bits, and so is
// mingw's off_t.
int seekTo(std::FILE* file, int64_t offset, int whence)
{
#ifdef _WIN32
    return ::_fseeki64(file, offset, whence);
#else
    return ::fseeko(file, static_cast<off_t>(offset), whence);
#endif
}

int64_t tellPosition(std::FILE* file)
{
#ifdef _WIN32
    return ::_ftelli64(file);
#else
    return static_cast<int64_t>(::ftello(file));
#endif
}

}  // namespace

int64_t streamFileRead(std::FILE* file, void* buffer, size_t bytes)
{
    const size_t got = std::fread(buffer, 1, bytes, file);
    if (got == 0 && std::ferror(file))
        return -1;
    return static_cast<int64_t>(got);
}

int64_t streamFileSeek(std::FILE* file, int64_t offset, int whence)
{
    if (seekTo(file, offset, whence) != 0)
        return -1;
    return tellPosition(file);
}

void streamFileClose(std::FILE* file)
{
    if (file)
        std::fclose(file);
}
