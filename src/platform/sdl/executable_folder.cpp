#include "platform/files.h"

#include <SDL.h>

std::string executableFolder()
{
    char* base = SDL_GetBasePath();
    if (!base)
        return "./";
    std::string folder = base;
    SDL_free(base);
    return folder;
}
