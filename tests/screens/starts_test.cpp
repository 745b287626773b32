// Start after start of the real program on an Xvfb server run as a viewer
// runs it, resetting whenever its last client leaves, with and without a
// window manager: every one reaches a visible window and ends with status 0
// on SIGTERM. A start that drops the display connection and makes a new one
// races the server's reset and fails now and then; only a run of starts
// shows it. Skipped (failed where every real part is required), with the
// reason, where Xvfb or openbox cannot be started.
#include <gtest/gtest.h>

#include <signal.h>

#include <ostream>

#include "support/real_parts.h"
#include "support/show_on_display.h"
#include "support/x_session.h"

namespace {

using std::chrono::seconds;

struct StartRun {
    const char* name;
    bool windowManager;
    int starts;
};

void PrintTo(const StartRun& run, std::ostream* out)
{
    *out << run.starts << " starts, " << (run.windowManager ? "under openbox" : "no window manager");
}

class Starts : public ::testing::TestWithParam<StartRun> {};

TEST_P(Starts, EveryStartReachesAWindow)
{
    const StartRun& run = GetParam();
    XvfbOptions options;
    options.windowManager = run.windowManager;
    options.resetsWhenIdle = true;
    XSession session(1280, 720, options);
    if (!session.ok())
        REAL_PART_MISSING() << "no X server for this test: " << session.why();
    for (int start = 1; start <= run.starts; ++start) {
        // A small window: its frames are cheap, so SIGTERM ends it at once.
        ShowOnDisplay show(session, {"--window", "--size", "320x180"});
        ASSERT_TRUE(show.started());
        const std::string window = show.waitForWindow(seconds(30));
        ASSERT_FALSE(window.empty()) << "start " << start << " of " << run.starts << " reached no window\n"
                                     << show.log();
        show.signal(SIGTERM);
        ASSERT_EQ(show.waitForExit(seconds(30)), 0) << "start " << start << "\n" << show.log();
    }
}

INSTANTIATE_TEST_SUITE_P(Xvfb, Starts,
                         ::testing::Values(StartRun{"Alone", false, 50}, StartRun{"UnderOpenbox", true, 20}),
                         [](const ::testing::TestParamInfo<StartRun>& info) { return info.param.name; });

}  // namespace
