// SDL key codes as the Windows virtual-key codes the show reads (Escape =
// 27, Space = 32, Home = 0x24, Left = 0x25, Right = 0x27, F11 = 0x7A,
// letters as their capitals). SDL backend only; the Windows
// backend gets virtual-key codes from the system as they are.
#pragma once

#include <cstdint>

// Windows virtual-key code for an SDL key code (0 when it has none).
uint32_t virtualKeyFromSdlKey(int32_t sdlKey);
