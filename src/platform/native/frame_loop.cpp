#include "platform/frame_loop.h"

void platformRunFrames(FrameFunction frame, FramesDone done, void* user)
{
    while (frame(user)) {
    }
    done(user);
}
