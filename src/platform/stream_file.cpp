#include "platform/stream_file.h"

#include <sys/types.h>

int64_t streamFileRead(std::FILE* file, void* buffer, size_t bytes)
{
    const size_t got = std::fread(buffer, 1, bytes, file);
    if (got == 0 && std::ferror(file))
        return -1;
    return static_cast<int64_t>(got);
}

int64_t streamFileSeek(std::FILE* file, int64_t offset, int whence)
{
    if (::fseeko(file, static_cast<off_t>(offset), whence) != 0)
        return -1;
    return static_cast<int64_t>(::ftello(file));
}

void streamFileClose(std::FILE* file)
{
    if (file)
        std::fclose(file);
}
