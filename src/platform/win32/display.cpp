#include "platform/win32/display.h"

#include <vector>

namespace {

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list)
{
    MONITORINFOEXA info;
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(monitor, &info))
        return TRUE;
    MonitorInfo entry;
    entry.deviceName = info.szDevice;
    entry.bounds = info.rcMonitor;
    entry.workArea = info.rcWork;
    auto* monitors = reinterpret_cast<std::vector<MonitorInfo>*>(list);
    // The primary monitor first: it is display 0.
    if (info.dwFlags & MONITORINFOF_PRIMARY)
        monitors->insert(monitors->begin(), entry);
    else
        monitors->push_back(entry);
    return TRUE;
}

std::vector<MonitorInfo> monitors()
{
    std::vector<MonitorInfo> list;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&list));
    return list;
}

const char* deviceOrNull(const std::string& deviceName)
{
    return deviceName.empty() ? nullptr : deviceName.c_str();
}

}  // namespace

int monitorCount()
{
    return static_cast<int>(monitors().size());
}

MonitorInfo monitorInfo(int index)
{
    const std::vector<MonitorInfo> list = monitors();
    if (index >= 0 && index < static_cast<int>(list.size()))
        return list[static_cast<size_t>(index)];
    if (!list.empty())
        return list.front();
    // No monitor the system will name: the primary screen as the metrics see it.
    MonitorInfo primary;
    primary.bounds = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    primary.workArea = primary.bounds;
    return primary;
}

int monitorIndexOf(const std::string& deviceName)
{
    const std::vector<MonitorInfo> list = monitors();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].deviceName == deviceName)
            return static_cast<int>(i);
    return -1;
}

bool findDisplayMode(const std::string& deviceName, int width, int height, int bits, int refreshHz, DEVMODEA& found)
{
    DEVMODEA mode;
    for (DWORD i = 0;; ++i) {
        mode = DEVMODEA{};
        mode.dmSize = sizeof mode;
        if (!EnumDisplaySettingsA(deviceOrNull(deviceName), i, &mode))
            return false;
        if (static_cast<int>(mode.dmPelsWidth) != width || static_cast<int>(mode.dmPelsHeight) != height)
            continue;
        if (bits > 0 && static_cast<int>(mode.dmBitsPerPel) != bits)
            continue;
        if (refreshHz != 0 && static_cast<int>(mode.dmDisplayFrequency) != refreshHz)
            continue;
        mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
        found = mode;
        return true;
    }
}

bool currentDisplayMode(const std::string& deviceName, DEVMODEA& mode)
{
    mode = DEVMODEA{};
    mode.dmSize = sizeof mode;
    return EnumDisplaySettingsA(deviceOrNull(deviceName), ENUM_CURRENT_SETTINGS, &mode) != FALSE;
}

bool changeDisplayMode(const std::string& deviceName, DEVMODEA* mode)
{
    return ChangeDisplaySettingsExA(deviceOrNull(deviceName), mode, nullptr, CDS_FULLSCREEN, nullptr) ==
           DISP_CHANGE_SUCCESSFUL;
}

void restoreDisplayMode(const std::string& deviceName)
{
    ChangeDisplaySettingsExA(deviceOrNull(deviceName), nullptr, nullptr, 0, nullptr);
}
