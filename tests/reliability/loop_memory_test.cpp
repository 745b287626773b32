// A looping show (--loop) keeps its memory: ten times through the whole show
// on a fixed frame step, frames advancing the show without drawing, the
// process's peak resident memory after the tenth start is that after the
// first. The figures are printed for the record.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "app/demo.h"
#include "show_harness.h"

namespace {

constexpr uint32_t GAP_MS = 50;  // a coarse fixed step keeps ten shows quick
constexpr int LOOPS = 10;

// VmHWM of this process, kB (0 when unknown).
long peakResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmHWM:") == 0)
            return std::stol(line.substr(6));
    return 0;
}

}  // namespace

TEST(Loop, TenShowsPeakAtTheMemoryOfOne)
{
    ShowHarness harness;
    std::string failure;
    ASSERT_TRUE(harness.open(64, 36, true, failure)) << failure;
    harness.demo().playback.loop = true;

    const size_t framesPerShow = SHOW_END_MS / GAP_MS + 1;
    std::vector<ScriptedFrame> script(LOOPS * framesPerShow + 2, ScriptedFrame{GAP_MS, {}, false});
    script.back().messages.push_back(Message{Message::KeyDown, VK_ESCAPE_CODE});
    ScriptedShowIo io(harness, script);
    int starts = 0;
    uint32_t previousMs = 0;
    long afterFirstKb = 0, afterLastKb = 0;
    io.afterPasses = [&](ShowHarness& h) {
        const uint32_t now = h.demo().timeMs;
        if (now < previousMs && ++starts == 1)
            afterFirstKb = peakResidentKb();
        if (now < previousMs && starts == LOOPS)
            afterLastKb = peakResidentKb();
        previousMs = now;
    };
    runMainLoop(harness.demo(), io);
    harness.close();

    ASSERT_EQ(starts, LOOPS);
    std::printf("VmHWM after 1 loop: %ld kB, after %d loops: %ld kB\n", afterFirstKb, LOOPS, afterLastKb);
    RecordProperty("vmhwm_after_1_loop_kb", std::to_string(afterFirstKb));
    RecordProperty("vmhwm_after_10_loops_kb", std::to_string(afterLastKb));
    ASSERT_GT(afterFirstKb, 0);
    EXPECT_LE(afterLastKb - afterFirstKb, 1024) << "the peak grew by more than 1 MiB over nine more shows";
}
