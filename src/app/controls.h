// The viewer's keys: one table from a key (a Windows virtual-key code, which
// every backend delivers) to what it does to the show, and the rule for where
// a seek lands. A page's player controls send the same keys. Adding a key is one entry in the table in controls.cpp. The
// main loop asks actionForKey for every key-down it drains and hands the
// action to applyViewerAction, which carries it out through the window
// (fullscreen) and playback (pause, jumps). Main thread only.
#pragma once

#include <cstdint>

struct Demo;

// Windows virtual-key codes of the keys the show answers to.
constexpr uint32_t VK_RETURN_CODE = 0x0D;
constexpr uint32_t VK_ESCAPE_CODE = 0x1B;
constexpr uint32_t VK_SPACE_CODE = 0x20;
constexpr uint32_t VK_HOME_CODE = 0x24;
constexpr uint32_t VK_LEFT_CODE = 0x25;
constexpr uint32_t VK_RIGHT_CODE = 0x27;
constexpr uint32_t VK_M_CODE = 0x4D;
constexpr uint32_t VK_F11_CODE = 0x7A;

// How far Left and Right move the show, ms.
constexpr uint32_t SEEK_STEP_MS = 5000;

enum class ViewerAction {
    None,
    EndShow,           // Escape
    ToggleFullscreen,  // F11, Alt+Enter
    TogglePause,       // Space
    SeekBack,          // Left
    SeekForward,       // Right
    SeekStart,         // Home
    ToggleMute,        // M
};

// What a key does; `alt` is whether an Alt key was held. None for keys
// without an entry.
ViewerAction actionForKey(uint32_t virtualKey, bool alt);

// Where a seek from show time `nowMs` lands, ms: 5 s back (not before 0),
// 5 s on (SHOW_END_MS or more means past the end), or 0. `nowMs` itself for
// actions that do not seek.
uint32_t seekTargetMs(ViewerAction action, uint32_t nowMs);

// Carries out an action on the running show.
void applyViewerAction(Demo& demo, ViewerAction action);
