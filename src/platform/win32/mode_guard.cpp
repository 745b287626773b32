#include "platform/mode_guard.h"

// Windows needs no guard: a mode changed with CDS_FULLSCREEN lasts only as
// long as the program that changed it, however it ends.
bool platformModeGuardMain(int, char**, int&)
{
    return false;
}
