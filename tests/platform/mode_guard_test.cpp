// The guard's decisions, without a display: when a fullscreen start needs a
// guard at all, and which mode found after the show's end is still the show's.
#include <gtest/gtest.h>

#include "platform/mode_guard.h"

namespace {

struct ModePair {
    DisplayMode first, second;
    bool expected;
};

}  // namespace

TEST(ModeGuard, IsNeededOnlyWhenTheModeReallyChanges)
{
    const ModePair cases[] = {
        {{1280, 720, 60}, {1920, 1080, 120}, true},
        {{1920, 1080, 60}, {1920, 1080, 120}, true},   // the rate alone
        {{1920, 1080, 60}, {1920, 1080, 60}, false},
        {{1920, 1080, 0}, {1920, 1080, 120}, false},   // a rate nobody knows is no change
        {{1920, 1080, 60}, {1920, 1080, 0}, false},
        {{1920, 1200, 60}, {1920, 1080, 60}, true},
    };
    for (const ModePair& c : cases)
        EXPECT_EQ(modeChangeNeeded(c.first, c.second), c.expected)
            << c.first.width << "x" << c.first.height << "@" << c.first.refreshHz << " to " << c.second.width
            << "x" << c.second.height << "@" << c.second.refreshHz;
}

TEST(ModeGuard, PutsBackOnlyTheShowsOwnMode)
{
    const DisplayMode shown{1920, 1080, 120};
    const ModePair cases[] = {
        {{1920, 1080, 120}, shown, true},
        {{1920, 1080, 60}, shown, false},  // the user's choice of rate is kept
        {{1680, 1050, 60}, shown, false},
        {{1280, 720, 60}, shown, false},
        {{1920, 1080, 60}, {1920, 1080, 0}, true},  // the show's rate unknown: its size decides
    };
    for (const ModePair& c : cases)
        EXPECT_EQ(isModeTheShowSet(c.first, c.second), c.expected)
            << c.first.width << "x" << c.first.height << "@" << c.first.refreshHz;
}
