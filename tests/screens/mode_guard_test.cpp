// However the show ends once it has changed the display mode (on Xorg with
// the dummy driver, root only), within a second of its end the desktop has
// its own mode back and nothing of the show is left running, the guard of
// the desktop's mode included; and a mode the user chose while the show played is kept
// when the show is killed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "support/display_modes.h"
#include "support/real_parts.h"
#include "support/show_on_display.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;

// While it lives, the orphans of the processes this test starts (the guard,
// once the show is gone) become this process's children, so that the test
// sees them end and reaps them.
class AdoptOrphans {
public:
    AdoptOrphans() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~AdoptOrphans() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
};

bool exists(pid_t pid)
{
    struct stat info;
    return stat(("/proc/" + std::to_string(pid)).c_str(), &info) == 0;
}

std::vector<pid_t> childrenOf(pid_t parent)
{
    std::ifstream list("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
    std::vector<pid_t> children;
    for (pid_t child; list >> child;)
        children.push_back(child);
    return children;
}

// The show's only child: the guard it starts before the mode change.
pid_t guardOf(pid_t show)
{
    const std::vector<pid_t> children = childrenOf(show);
    EXPECT_EQ(children.size(), 1u) << "a show in its own mode has one child, its guard";
    return children.empty() ? -1 : children[0];
}

// Waits until `pid` is gone (reaped here, or by the show) at `deadline`;
// false when it still runs. `status` is its exit status when reaped here.
bool waitUntilGone(pid_t pid, Clock::time_point deadline, int& status)
{
    status = -1;
    for (;;) {
        int raw = 0;
        const pid_t reaped = waitpid(pid, &raw, WNOHANG);
        if (reaped == pid) {
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return true;
        }
        if (reaped < 0 && errno == ECHILD && !exists(pid))
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(10));
    }
}

struct Ending {
    const char* name;
    int signal;  // 0: the Escape key
    bool caught;  // the show ends itself, with status 0
};

const Ending ENDINGS[] = {
    {"SIGKILL", SIGKILL, false}, {"SIGSEGV", SIGSEGV, false}, {"SIGABRT", SIGABRT, false},
    {"SIGHUP", SIGHUP, true},    {"SIGQUIT", SIGQUIT, true},  {"SIGINT", SIGINT, true},
    {"SIGTERM", SIGTERM, true},  {"Escape", 0, true},
};

}  // namespace

class DesktopModeAfter : public ::testing::TestWithParam<Ending> {};

TEST_P(DesktopModeAfter, ComesBackWithinASecondWithNothingOfTheShowLeft)
{
    const Ending ending = GetParam();
    XSession session(dummyXorgConf(true));
    REQUIRE_XORG(session);
    AdoptOrphans adopt;
    ShowOnDisplay show(session, {"--from", "20s"});
    const std::string window = waitForFullscreen(session, show, 119.0, 121.0);
    ASSERT_FALSE(window.empty());
    const pid_t guard = guardOf(show.pid());
    ASSERT_GT(guard, 0) << "nothing guards the desktop's mode";

    if (ending.signal)
        show.signal(ending.signal);
    else
        show.pressEscape(window);
    // A show that ends itself first draws its last frame, which a software
    // renderer on a busy machine may take seconds over: the second counts
    // from the show's end.
    // A crash ends it with a failure: the signal's own status, or the one a
    // sanitizer that catches SIGSEGV reports with. -1: it did not end.
    const int status = show.waitForExit(seconds(30));
    if (ending.caught)
        EXPECT_EQ(status, 0) << show.log();
    else
        EXPECT_GT(status, 0) << show.log();
    const auto deadline = Clock::now() + seconds(1);
    Mode mode;
    EXPECT_TRUE(waitForMode(session, isDesktopMode, milliseconds(1000), mode))
        << "the desktop is still in " << mode.name << " at " << mode.rate << " Hz\n" << show.log();
    int guardStatus = 0;
    EXPECT_TRUE(waitUntilGone(guard, deadline, guardStatus)) << "the guard still runs";
    EXPECT_LE(guardStatus, 0) << "the guard failed";
}

INSTANTIATE_TEST_SUITE_P(EachEnding, DesktopModeAfter, ::testing::ValuesIn(ENDINGS),
                         [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

TEST(DesktopMode, ChosenByTheUserDuringTheShowIsKeptWhenItIsKilled)
{
    XSession session(dummyXorgConf(true));
    REQUIRE_XORG(session);
    AdoptOrphans adopt;
    ShowOnDisplay show(session, {"--from", "20s"});
    ASSERT_FALSE(waitForFullscreen(session, show, 119.0, 121.0).empty());
    const pid_t guard = guardOf(show.pid());
    ASSERT_GT(guard, 0);

    // The same size at another rate: only the rate tells it from the show's.
    ASSERT_TRUE(setMode(session, "1920x1080_60"));
    show.signal(SIGKILL);
    EXPECT_EQ(show.waitForExit(seconds(5)), 128 + SIGKILL);
    int status = 0;
    EXPECT_TRUE(waitUntilGone(guard, Clock::now() + seconds(1), status)) << "the guard still runs";
    EXPECT_EQ(status, 0) << "the guard failed";
    const Mode mode = currentMode(session);
    EXPECT_TRUE(isShowMode(mode, 59.0, 61.0)) << "the user's mode became " << mode.name << " at " << mode.rate << " Hz";
}

TEST(DesktopMode, IsLeftUnguardedWhenTheShowKeepsIt)
{
    // A window, and fullscreen on a desktop that already has the show's size.
    const std::vector<std::vector<std::string>> starts = {{"--window", "--size", "640x360"}, {}};
    for (const std::vector<std::string>& start : starts) {
        XSession session(1920, 1080);
        if (!session.ok())
            REAL_PART_MISSING() << "no X server for this test: " << session.why();
        std::vector<std::string> args = start;
        args.insert(args.end(), {"--from", "20s"});
        ShowOnDisplay show(session, args);
        const std::string window = session.waitForWindow(SHOW_WINDOW_CLASS, seconds(30));
        ASSERT_FALSE(window.empty()) << show.log();
        EXPECT_TRUE(childrenOf(show.pid()).empty()) << "a guard was started for " << args[0];
        EXPECT_EQ(show.escape(window), 0) << show.log();
    }
}
