#include "platform/mode_guard.h"

// A page changes no display mode: the browser's fullscreen is the canvas
// filling the screen, given back when the page leaves it or closes.
bool platformModeGuardMain(int, char**, int&)
{
    return false;
}
