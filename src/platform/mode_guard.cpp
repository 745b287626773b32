#include "platform/mode_guard.h"

#include <cstdio>

bool modeChangeNeeded(const DisplayMode& desktop, const DisplayMode& chosen)
{
    if (desktop.width != chosen.width || desktop.height != chosen.height)
        return true;
    return desktop.refreshHz > 0 && chosen.refreshHz > 0 && desktop.refreshHz != chosen.refreshHz;
}

bool isModeTheShowSet(const DisplayMode& current, const DisplayMode& shown)
{
    if (current.width != shown.width || current.height != shown.height)
        return false;
    return shown.refreshHz <= 0 || current.refreshHz == shown.refreshHz;
}

std::string modeGuardArgument(const DisplayMode& shown)
{
    return std::to_string(shown.width) + "x" + std::to_string(shown.height) + "@" + std::to_string(shown.refreshHz);
}

bool readModeGuardArgument(const std::string& text, DisplayMode& shown)
{
    int width = 0, height = 0, rate = 0, used = 0;
    if (std::sscanf(text.c_str(), "%dx%d@%d%n", &width, &height, &rate, &used) != 3 ||
        used != static_cast<int>(text.size()))
        return false;
    if (width <= 0 || height <= 0 || rate < 0)
        return false;
    shown = DisplayMode{width, height, rate};
    return true;
}
