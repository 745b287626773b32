#include "support/show_loops.h"

#include "app/entry.h"
#include "app/main_loop.h"

uint64_t runMainLoop(Demo& demo, FrameIo& io)
{
    uint64_t presented = 0;
    for (;;) {
        const FrameOutcome outcome = runFrame(demo, io);
        presented += outcome.presented ? 1 : 0;
        if (!outcome.goOn)
            return presented;
    }
}

int demoMain(Demo& demo, const ShowOptions& options)
{
    LiveRun* run = startLiveRun(demo, options);
    if (!run)
        return 1;
    while (stepLiveRun(run)) {
    }
    finishLiveRun(run);
    return 0;
}
