// However the show ends once it has changed the display mode (on Xorg with
// the dummy driver, root only), within a second of its end the desktop has
// its own mode back, or the one the user chose while it played, and nothing
// of the show is left running, the guard of the desktop's mode included.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
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
// once the show is gone) become this process's children, to be reaped here.
class AdoptOrphans {
public:
    AdoptOrphans() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~AdoptOrphans() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
};

std::vector<pid_t> childrenOf(pid_t parent)
{
    std::ifstream list("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
    std::vector<pid_t> children;
    for (pid_t child; list >> child;)
        children.push_back(child);
    return children;
}

// Waits until `pid` is gone (reaped here, or by the show) by `deadline`.
bool goneBy(pid_t pid, Clock::time_point deadline)
{
    struct stat info;
    do {
        const pid_t reaped = waitpid(pid, nullptr, WNOHANG);
        if (reaped == pid || (reaped < 0 && stat(("/proc/" + std::to_string(pid)).c_str(), &info) != 0))
            return true;
        std::this_thread::sleep_for(milliseconds(10));
    } while (Clock::now() < deadline);
    return false;
}

struct Ending {
    const char* name;
    int signal;              // 0: the Escape key
    bool caught;             // the show ends itself, with status 0
    const char* userMode;    // set with xrandr during the show, or null
};

void PrintTo(const Ending& ending, std::ostream* out) { *out << ending.name; }

const Ending ENDINGS[] = {
    {"SIGKILL", SIGKILL, false, nullptr}, {"SIGSEGV", SIGSEGV, false, nullptr},
    {"SIGABRT", SIGABRT, false, nullptr}, {"SIGHUP", SIGHUP, true, nullptr},
    {"SIGQUIT", SIGQUIT, true, nullptr},  {"SIGINT", SIGINT, true, nullptr},
    {"SIGTERM", SIGTERM, true, nullptr},  {"Escape", 0, true, nullptr},
    // The same size at another rate: only the rate tells it from the show's.
    {"SIGKILLAfterTheUserChoseAMode", SIGKILL, false, "1920x1080_60"},
};

}  // namespace

class DesktopModeAfter : public ::testing::TestWithParam<Ending> {};

TEST_P(DesktopModeAfter, IsTheDesktopsOrTheUsersWithNothingOfTheShowLeft)
{
    const Ending ending = GetParam();
    XSession session(dummyXorgConf(true));
    REQUIRE_XORG(session);
    AdoptOrphans adopt;
    ShowOnDisplay show(session, {"--from", "20s"});
    const std::string window = waitForFullscreen(session, show, 119.0, 121.0);
    ASSERT_FALSE(window.empty());
    const std::vector<pid_t> children = childrenOf(show.pid());
    ASSERT_EQ(children.size(), 1u) << "a show in its own mode has one child, the guard of the desktop's";
    if (ending.userMode) {
        ASSERT_TRUE(setMode(session, ending.userMode));
    }

    if (ending.signal)
        show.signal(ending.signal);
    else
        show.press(window, "Escape");
    // A show that ends itself first draws its last frame, which a software
    // renderer on a busy machine may take seconds over: the second counts
    // from the show's end. A crash ends it with a failure: the signal's own
    // status, or the one a sanitizer that catches SIGSEGV reports.
    const int status = show.waitForExit(seconds(30));
    if (ending.caught)
        EXPECT_EQ(status, 0) << show.log();
    else
        EXPECT_GT(status, 0) << show.log();
    const auto deadline = Clock::now() + seconds(1);
    EXPECT_TRUE(goneBy(children[0], deadline)) << "the guard still runs";
    Mode mode;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (ending.userMode)
        EXPECT_TRUE(isShowMode(mode = currentMode(session), 59.0, 61.0)) << "the user's mode became " << mode.name;
    else
        EXPECT_TRUE(waitForMode(session, isDesktopMode, left, mode))
            << "the desktop is still in " << mode.name << " at " << mode.rate << " Hz\n" << show.log();
}

INSTANTIATE_TEST_SUITE_P(EachEnding, DesktopModeAfter, ::testing::ValuesIn(ENDINGS),
                         [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

TEST(DesktopMode, IsLeftUnguardedWhenTheShowKeepsIt)
{
    // A window, and fullscreen on a desktop that already has the show's size.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--window", "--from", "20s"},
                                                 std::vector<std::string>{"--from", "20s"}}) {
        XSession session(1920, 1080);
        if (!session.ok())
            REAL_PART_MISSING() << "no X server for this test: " << session.why();
        ShowOnDisplay show(session, args);
        const std::string window = session.waitForWindow(SHOW_WINDOW_CLASS, seconds(30));
        ASSERT_FALSE(window.empty()) << show.log();
        EXPECT_TRUE(childrenOf(show.pid()).empty()) << "a guard was started for " << args[0];
        EXPECT_EQ(show.escape(window), 0) << show.log();
    }
}
