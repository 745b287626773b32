// What the Windows backend's modules tell each other, and nothing above the
// platform layer sees: a headless run's choice of no sound, made with the
// window's platformUseHeadless.
#pragma once

// From now on audioOutOpen answers false, as with no device.
void win32SetSilentOutput(bool silent);
