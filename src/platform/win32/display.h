// Monitors and their display modes, for the Windows backend's window:
// monitors by index (0 = the primary, then the others in the system's
// order), the modes each one lists, and the mode change and its undoing.
// Main thread only.
#pragma once

#include <windows.h>

#include <string>

struct MonitorInfo {
    std::string deviceName;  // "\\.\DISPLAY1"; empty when the system names none
    RECT bounds{};           // the whole monitor on the desktop, pixels
    RECT workArea{};         // less the task bar, pixels
};

// Monitors attached to the desktop.
int monitorCount();
// Monitor `index`; the primary one when there is no such monitor.
MonitorInfo monitorInfo(int index);
// The index of the monitor on display device `deviceName`, -1 when none.
int monitorIndexOf(const std::string& deviceName);

// A mode the device lists of width x height at `bits` per pixel and
// `refreshHz` (0: any rate); its fields are marked for a mode change.
bool findDisplayMode(const std::string& deviceName, int width, int height, int bits, int refreshHz, DEVMODEA& found);
// The device's current mode.
bool currentDisplayMode(const std::string& deviceName, DEVMODEA& mode);
// Switches the device to `mode` for as long as the program runs (CDS_FULLSCREEN).
bool changeDisplayMode(const std::string& deviceName, DEVMODEA* mode);
// Puts the device back to the desktop's mode.
void restoreDisplayMode(const std::string& deviceName);
