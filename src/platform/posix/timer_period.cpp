// Linux's clock and the browser's have no system-wide timer period to raise
// and give back, as Windows has: their timers keep to the millisecond
// anyway. Beginning or ending a period only refuses a period of 0, as
// Windows does.
#include "platform/timer.h"

uint32_t platformTimerBeginPeriod(uint32_t periodMs)
{
    return periodMs == 0 ? 1 : 0;
}

uint32_t platformTimerEndPeriod(uint32_t periodMs)
{
    return periodMs == 0 ? 1 : 0;
}
