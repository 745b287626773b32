#include "app/controls.h"

#include "app/demo.h"
#include "app/playback.h"
#include "app/show_window.h"

namespace {

enum class AltKey { Either, Held };

struct KeyBinding {
    uint32_t virtualKey;
    AltKey alt;
    ViewerAction action;
};

const KeyBinding KEY_BINDINGS[] = {
    {VK_ESCAPE_CODE, AltKey::Either, ViewerAction::EndShow},
    {VK_F11_CODE, AltKey::Either, ViewerAction::ToggleFullscreen},
    {VK_RETURN_CODE, AltKey::Held, ViewerAction::ToggleFullscreen},
    {VK_SPACE_CODE, AltKey::Either, ViewerAction::TogglePause},
    {VK_LEFT_CODE, AltKey::Either, ViewerAction::SeekBack},
    {VK_RIGHT_CODE, AltKey::Either, ViewerAction::SeekForward},
    {VK_HOME_CODE, AltKey::Either, ViewerAction::SeekStart},
    {VK_M_CODE, AltKey::Either, ViewerAction::ToggleMute},
};

}  // namespace

ViewerAction actionForKey(uint32_t virtualKey, bool alt)
{
    for (const KeyBinding& binding : KEY_BINDINGS)
        if (binding.virtualKey == virtualKey && (binding.alt == AltKey::Either || alt))
            return binding.action;
    return ViewerAction::None;
}

uint32_t seekTargetMs(ViewerAction action, uint32_t nowMs)
{
    switch (action) {
    case ViewerAction::SeekBack:
        return nowMs > SEEK_STEP_MS ? nowMs - SEEK_STEP_MS : 0;
    case ViewerAction::SeekForward:
        return nowMs < SHOW_END_MS ? nowMs + SEEK_STEP_MS : SHOW_END_MS;
    case ViewerAction::SeekStart:
        return 0;
    default:
        return nowMs;
    }
}

void applyViewerAction(Demo& demo, ViewerAction action)
{
    switch (action) {
    case ViewerAction::None:
        break;
    case ViewerAction::EndShow:
        demo.endRequested = true;
        break;
    case ViewerAction::ToggleFullscreen:
        toggleFullscreen(demo);
        break;
    case ViewerAction::TogglePause:
        pauseShow(demo, !demo.playback.paused);
        break;
    case ViewerAction::ToggleMute:
        muteShow(demo, !demo.playback.muted);
        break;
    case ViewerAction::SeekBack:
    case ViewerAction::SeekForward:
    case ViewerAction::SeekStart:
        jumpShow(demo, seekTargetMs(action, demo.timeMs));
        break;
    }
}
