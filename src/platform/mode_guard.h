// The desktop's display mode, kept safe while the show has changed it. Before
// the fullscreen window changes the mode, the show starts a guard: this same
// program again, with a flag of its own, in a session of its own, holding its
// own connection to the window system and the desktop's configuration as it
// was. The two are joined by a socket. When the show has put the desktop
// back it says so and the guard leaves; when the socket closes without that
// (the show crashed, was killed, or its terminal went away) or the show is
// gone, the guard puts back every output still in the mode the show set (a
// mode the user chose in between is kept), then exits. Linux on X11 only
// (RandR 1.2); Windows gives back a CDS_FULLSCREEN mode itself when the
// program ends, and Wayland never lets a program change the mode.
// Main thread only.
#pragma once

#include <string>

#include "platform/window.h"

// True when going fullscreen in `chosen` changes the display mode away from
// `desktop` (another size, or another rate where both rates are known).
bool modeChangeNeeded(const DisplayMode& desktop, const DisplayMode& chosen);
// True when `current`, an output's mode once the show is gone, is still the
// mode the show set: the same size, and the same rate when the show's is known.
bool isModeTheShowSet(const DisplayMode& current, const DisplayMode& shown);

// The show's mode as the guard's argument ("1920x1080@120") and back.
std::string modeGuardArgument(const DisplayMode& shown);
bool readModeGuardArgument(const std::string& text, DisplayMode& shown);

// Starts the guard before a change to `shown`, and returns once it holds the
// desktop's configuration; false with a reason when it cannot, or when this
// program's main() does not run platformModeGuardMain. Does nothing when a
// guard already runs. X11 only (platform/x11/).
bool platformStartModeGuard(const DisplayMode& shown, std::string& failure);
// Tells the guard the desktop has its mode back, and waits for it to leave.
void platformEndModeGuard();

// Runs the guard when argv asks for it (called first thing in the show's
// main): true, with the exit status in `status`; false for an ordinary start.
bool platformModeGuardMain(int argc, char** argv, int& status);
