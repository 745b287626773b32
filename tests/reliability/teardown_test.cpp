// Ending the show at awkward moments, on the real main loop, passes and
// teardown: Escape in the very first frame, a close request during the
// fade-in, a quit in the last millisecond before the end. Each must end the
// loop as the show defines it and leave nothing behind: the window and video
// subsystem released, a second release harmless, and a fresh show able to
// open in the same process afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/demo.h"
#include "app/entry.h"
#include "app/show_window.h"
#include "platform/log.h"
#include "show/scene.h"
#include "support/show_loops.h"
#include "show_harness.h"

namespace {

constexpr int WIDTH = 64;
constexpr int HEIGHT = 36;

const Message ESCAPE{Message::KeyDown, VK_ESCAPE_CODE};
const Message CLOSE{Message::Close, 0};

// A fresh harness must open and draw a frame: proof that the last teardown
// left no window, context or audio state behind that gets in the way.
void expectShowOpensAgain()
{
    ShowHarness again;
    std::string failure;
    ASSERT_TRUE(again.open(WIDTH, HEIGHT, true, failure)) << failure;
    std::vector<ScriptedFrame> script(3);
    script[0].gapMs = 0;
    script[2].messages.push_back(ESCAPE);
    ScriptedShowIo io(again, script);
    EXPECT_EQ(runMainLoop(again.demo(), io), 2u);
}

}  // namespace

TEST(Teardown, EscapeInTheFirstFrameRendersItButPresentsNothing)
{
    ShowHarness harness;
    std::string failure;
    ASSERT_TRUE(harness.open(WIDTH, HEIGHT, true, failure)) << failure;
    std::vector<ScriptedFrame> script(1);
    script[0].gapMs = 0;
    script[0].messages.push_back(ESCAPE);
    ScriptedShowIo io(harness, script);
    std::vector<std::string> faults{"passes never ran"};
    io.afterPasses = [&faults](ShowHarness& h) { faults = sceneFaults(h.scene()); };
    EXPECT_EQ(runMainLoop(harness.demo(), io), 0u);
    EXPECT_EQ(io.framesStarted(), 1u);
    EXPECT_TRUE(faults.empty()) << faults[0];
    EXPECT_EQ(harness.demo().timeMs, 0u);
    EXPECT_FLOAT_EQ(harness.demo().frameStep, 1e-8f);

    harness.close();
    expectShowOpensAgain();
}

TEST(Teardown, CloseDuringTheFadeInPresentsThatFrameThenEnds)
{
    ShowHarness harness;
    std::string failure;
    ASSERT_TRUE(harness.open(WIDTH, HEIGHT, true, failure)) << failure;
    std::vector<ScriptedFrame> script(50);
    script[0].gapMs = 0;
    for (size_t i = 1; i < script.size(); ++i)
        script[i].gapMs = 16;
    script[40].messages.push_back(CLOSE);  // at 640 ms, a third into the fade-in
    ScriptedShowIo io(harness, script);
    EXPECT_EQ(runMainLoop(harness.demo(), io), 41u);
    EXPECT_EQ(io.lastFrameTimeMs(), 640u);
    EXPECT_EQ(harness.demo().fadeDone[0], 0u);
    EXPECT_TRUE(sceneFaults(harness.scene()).empty());
    harness.close();
    expectShowOpensAgain();
}

TEST(Teardown, QuitInTheLastMillisecondAndEscapeAtTheEnd)
{
    for (bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "escape" : "close");
        ShowHarness harness;
        std::string failure;
        ASSERT_TRUE(harness.open(WIDTH, HEIGHT, true, failure)) << failure;
        // To 152 999 ms in 50 ms frames without drawing, then one drawn frame
        // that brings the message.
        std::vector<ScriptedFrame> script;
        uint32_t time = 0;
        while (time + 50 < 152999) {
            ScriptedFrame frame;
            frame.gapMs = script.empty() ? 0 : 50;
            frame.draw = false;
            time += frame.gapMs;
            script.push_back(frame);
        }
        ScriptedFrame last;
        last.gapMs = 152999 - time;
        last.messages.push_back(escape ? ESCAPE : CLOSE);
        script.push_back(last);
        ScriptedShowIo io(harness, script);
        const uint64_t presented = runMainLoop(harness.demo(), io);
        EXPECT_EQ(io.lastFrameTimeMs(), 152999u);
        EXPECT_EQ(io.framesStarted(), script.size()) << "the loop went past the message";
        // A close is presented (the quit ends the loop after the frame);
        // Escape ends it before presenting.
        EXPECT_EQ(presented, escape ? script.size() - 1 : script.size());
        EXPECT_TRUE(sceneFaults(harness.scene()).empty());
        harness.close();
    }
}

TEST(Teardown, ReleasingTheWindowTwiceIsHarmless)
{
    ShowHarness harness;
    std::string failure;
    ASSERT_TRUE(harness.open(WIDTH, HEIGHT, true, failure)) << failure;
    Demo& demo = harness.demo();
    ASSERT_NE(demo.window, nullptr);
    EXPECT_TRUE(destroyGlWindow(demo));
    EXPECT_EQ(demo.window, nullptr);
    EXPECT_FALSE(demo.classRegistered);
    const unsigned long lines = loggedLineCount();
    EXPECT_FALSE(destroyGlWindow(demo)) << "nothing was left to release";
    EXPECT_EQ(demo.window, nullptr);
    EXPECT_EQ(loggedLineCount(), lines);
    harness.close();  // the entry point's teardown releases it a third time
    expectShowOpensAgain();
}

TEST(Teardown, NoDisplayTearsDownAndFailsWithoutTouchingGl)
{
    const char* saved = std::getenv("SDL_VIDEODRIVER");
    const std::string savedDriver = saved ? saved : "";
    setenv("SDL_VIDEODRIVER", "no_such_driver", 1);
    int status = 0;
    {
        Demo demo;
        const unsigned long lines = loggedLineCount();
        status = demoMain(demo);
        EXPECT_EQ(loggedLineCount(), lines + 1) << "one line saying why";
        EXPECT_EQ(demo.window, nullptr);
        EXPECT_FALSE(demo.classRegistered);
        EXPECT_EQ(demo.configurator, nullptr);
        EXPECT_FALSE(demo.musicPlaying);
        EXPECT_FALSE(demo.extensions.loaded);
    }
    if (saved)
        setenv("SDL_VIDEODRIVER", savedDriver.c_str(), 1);
    else
        unsetenv("SDL_VIDEODRIVER");
    EXPECT_EQ(status, 1);
    expectShowOpensAgain();
}
