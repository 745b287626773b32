#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "app/demo.h"
#include "app/main_loop.h"
#include "support/show_loops.h"

namespace {

// Plays a script of frames: each frame has a show time and the messages the
// window system delivers during it. Records what the loop did. Quits posted
// by the window procedure are the loop's own business, not the script's.
class ScriptedIo : public FrameIo {
public:
    struct Frame {
        uint32_t timeMs;
        std::vector<Message> messages;
    };

    ScriptedIo(Demo& demo, std::vector<Frame> frames) : demo_(demo), frames_(std::move(frames)) {}

    void readFrameTime() override
    {
        const Frame& frame = frames_.at(frameIndex_);
        demo_.timeMs = frame.timeMs;
        pending_.assign(frame.messages.begin(), frame.messages.end());
    }
    bool peekMessage(Message& message) override
    {
        if (!pending_.empty()) {
            message = pending_.front();
            pending_.pop_front();
            ++delivered;
            return true;
        }
        return false;
    }
    void renderFrame() override { log.push_back('r'); }
    void drawFades() override { log.push_back('f'); }
    void bindWindowFramebuffer() override { log.push_back('b'); }
    void present() override
    {
        log.push_back('p');
        ++frameIndex_;
    }

    std::string log;
    int delivered = 0;  // window messages handed to the loop

private:
    Demo& demo_;
    std::vector<Frame> frames_;
    std::deque<Message> pending_;
    size_t frameIndex_ = 0;
};

Message key(uint32_t code) { return Message{Message::KeyDown, code}; }
const Message CLOSE{Message::Close, 0};

}  // namespace

TEST(MainLoop, EscapeEndsAfterRenderingWithoutPresenting)
{
    Demo demo;
    ScriptedIo io(demo, {{100, {}}, {116, {key(27)}}, {132, {}}});
    EXPECT_EQ(runMainLoop(demo, io), 1u);
    EXPECT_EQ(io.log, "rfbp" "rfb");
}

TEST(MainLoop, CloseRequestPresentsThatFrameThenEnds)
{
    Demo demo;
    ScriptedIo io(demo, {{100, {}}, {116, {CLOSE}}, {132, {}}});
    EXPECT_EQ(runMainLoop(demo, io), 2u);
    EXPECT_EQ(io.log, "rfbp" "rfbp");
}

TEST(MainLoop, ShowEndsAtItsLastMillisecondWithoutPresenting)
{
    Demo demo;
    ScriptedIo io(demo, {{152999, {}}, {153000, {}}, {153016, {}}});
    EXPECT_EQ(runMainLoop(demo, io), 1u);
    EXPECT_EQ(io.log, "rfbp" "rfb");
}

TEST(MainLoop, KeysWithoutAnActionChangeNothing)
{
    // Enter without Alt, a letter, F1.
    Demo demo;
    ScriptedIo io(demo, {{0, {key('A'), key(13), key(0x70)}}, {10, {}}, {20, {key('Z')}}, {153000, {}}});
    EXPECT_EQ(runMainLoop(demo, io), 3u) << "the show runs on to its end";
    EXPECT_EQ(io.log, "rfbp" "rfbp" "rfbp" "rfb");
    EXPECT_EQ(io.delivered, 4);
    EXPECT_FALSE(demo.endRequested);
    EXPECT_FALSE(demo.playback.paused);
    EXPECT_FALSE(demo.quitPosted);
}

TEST(MainLoop, PostedQuitComesAfterTheRestOfTheQueue)
{
    // The close request posts a quit; the key behind it in the queue is
    // still delivered, the frame is presented, and the loop then ends.
    Demo demo;
    ScriptedIo io(demo, {{100, {}}, {116, {CLOSE, key('B')}}, {132, {key('C')}}, {148, {}}});
    EXPECT_EQ(runMainLoop(demo, io), 2u);
    EXPECT_EQ(io.log, "rfbp" "rfbp");
    EXPECT_EQ(io.delivered, 2) << "the key behind the close, and no frame after the quit";
    EXPECT_FALSE(demo.quitPosted) << "the quit was taken off the queue";
}

TEST(MainLoop, QuitPostedBeforeTheLoopEndsItsFirstFrame)
{
    Demo demo;
    demo.quitPosted = true;
    ScriptedIo io(demo, {{0, {key('A')}}, {16, {}}});
    EXPECT_EQ(runMainLoop(demo, io), 1u);
    EXPECT_EQ(io.delivered, 1);
    EXPECT_FALSE(demo.quitPosted);
}
