// Frame timing at a fixed rate and the command line, without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture_options.h"
#include "capture_session.h"

namespace {

ParseResult parse(std::vector<std::string> args, CaptureOptions& options, std::string& error)
{
    args.insert(args.begin(), "quillmoor-capture");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    return parseCaptureOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

}  // namespace

TEST(FrameSchedule, FrameTimesRoundToTheNearestMillisecond)
{
    EXPECT_EQ(frameTimeMs(0, 60), 0u);
    EXPECT_EQ(frameTimeMs(1, 60), 17u);   // 16.67
    EXPECT_EQ(frameTimeMs(2, 60), 33u);   // 33.33
    EXPECT_EQ(frameTimeMs(3, 60), 50u);
    EXPECT_EQ(frameTimeMs(1, 30), 33u);
    EXPECT_EQ(frameTimeMs(2, 30), 67u);
    EXPECT_EQ(frameTimeMs(1, 16), 63u);   // 62.5 rounds up
    EXPECT_EQ(frameTimeMs(9180, 60), 153000u);
    // Far past the show the arithmetic must not overflow or drift.
    EXPECT_EQ(frameTimeMs(60ull * 3600 * 24, 60), 86400000u);
}

TEST(FrameSchedule, FirstFrameAtOrAfterIsTheInverseOfFrameTimes)
{
    for (int fps : {1, 7, 24, 30, 60, 144, 1000}) {
        for (uint32_t t : {0u, 1u, 16u, 17u, 999u, 1000u, 7000u, 56000u, 96001u, 152999u, 153000u}) {
            const uint64_t n = firstFrameAtOrAfter(t, fps);
            EXPECT_GE(frameTimeMs(n, fps), t) << fps << " fps, " << t << " ms";
            if (n > 0) {
                EXPECT_LT(frameTimeMs(n - 1, fps), t) << fps << " fps, " << t << " ms";
            }
        }
    }
}

TEST(CaptureOptions, ReadsEveryOptionAndSortsTheStills)
{
    CaptureOptions options;
    std::string error;
    ASSERT_EQ(parse({"--fps", "30", "--size", "640x360", "--still", "96s,7.5s,1000ms,7500", "--out", "/tmp",
                     "--video", "a.mp4", "--from", "1s", "--to", "153000", "--draw-every-frame", "--quiet"},
                    options, error),
              ParseResult::Run)
        << error;
    EXPECT_EQ(options.fps, 30);
    EXPECT_EQ(options.width, 640);
    EXPECT_EQ(options.height, 360);
    EXPECT_EQ(options.stillsMs, (std::vector<uint32_t>{1000, 7500, 96000}));
    EXPECT_EQ(options.outDir, "/tmp");
    EXPECT_EQ(options.videoPath, "a.mp4");
    EXPECT_EQ(options.fromMs, 1000u);
    EXPECT_EQ(options.toMs, 153000u);
    EXPECT_TRUE(options.drawEveryFrame);
    EXPECT_TRUE(options.quiet);
}

TEST(CaptureOptions, ReadsTheFormatOptionsWithTheirDefaults)
{
    CaptureOptions plain;
    std::string error;
    ASSERT_EQ(parse({"--video", "a.mp4"}, plain, error), ParseResult::Run) << error;
    EXPECT_EQ(plain.codec, VideoCodec::H264);
    EXPECT_EQ(plain.crf, 18);
    EXPECT_EQ(plain.preset, "medium");
    EXPECT_TRUE(plain.framesDir.empty());
    EXPECT_FALSE(plain.audio);
    EXPECT_TRUE(plain.dataDir.empty());

    CaptureOptions h264;
    ASSERT_EQ(parse({"--video", "a.mp4", "--codec", "h264", "--crf", "0", "--preset", "veryslow"}, h264, error),
              ParseResult::Run)
        << error;
    EXPECT_EQ(h264.crf, 0);
    EXPECT_EQ(h264.preset, "veryslow");

    // FFV1 takes any size: it keeps RGB, with no chroma halving.
    CaptureOptions ffv1;
    ASSERT_EQ(parse({"--codec", "ffv1", "--video", "m.mkv", "--size", "161x91", "--frames", "seq", "--audio",
                     "--data", "/opt/content"},
                    ffv1, error),
              ParseResult::Run)
        << error;
    EXPECT_EQ(ffv1.codec, VideoCodec::Ffv1);
    EXPECT_EQ(ffv1.framesDir, "seq");
    EXPECT_TRUE(ffv1.audio);
    EXPECT_EQ(ffv1.dataDir, "/opt/content");

    // A sequence alone is something to do.
    CaptureOptions frames;
    EXPECT_EQ(parse({"--frames", "seq"}, frames, error), ParseResult::Run) << error;
}

TEST(CaptureOptions, RejectsBadValuesNamingTheOption)
{
    const std::vector<std::vector<std::string>> bad = {
        {},                                           // nothing to do
        {"--still"},                                  // value missing
        {"--still", "-1"},
        {"--still", "153000"},                        // the show has ended
        {"--still", "153s"},
        {"--still", "5,,6"},
        {"--still", "abc"},
        {"--still", "nan"},
        {"--fps", "0", "--still", "5"},
        {"--fps", "30.5", "--still", "5"},
        {"--fps", "99999999999999999999", "--still", "5"},
        {"--size", "640", "--still", "5"},
        {"--size", "8x8", "--still", "5"},
        {"--size", "641x360", "--video", "a.mp4"},    // yuv420p needs even sides
        {"--from", "10000", "--to", "5000", "--video", "a.mp4"},
        {"--from", "10s", "--still", "5000"},         // still outside the range
        {"--frobnicate"},
        {"--codec", "vp9", "--video", "a.mp4"},
        {"--codec", "H264", "--video", "a.mp4"},
        {"--codec", "ffv1", "--still", "5"},          // no video to apply it to
        {"--crf", "52", "--video", "a.mp4"},
        {"--crf", "-1", "--video", "a.mp4"},
        {"--crf", "18.5", "--video", "a.mp4"},
        {"--crf", "18", "--frames", "seq"},           // no video
        {"--crf", "18", "--codec", "ffv1", "--video", "a.mkv"},  // FFV1 is lossless
        {"--preset", "turbo", "--video", "a.mp4"},
        {"--preset", "", "--video", "a.mp4"},
        {"--preset", "slow", "--codec", "ffv1", "--video", "a.mkv"},
        {"--audio", "--still", "5"},                  // goes with --frames only
        {"--frames", ""},
        {"--data", "", "--still", "5"},
        {"--video", "a.mp4", "--codec", "ffv1"},      // FFV1 is written as Matroska
        {"--video", "a.mkv"},                         // H.264 is written as MP4
    };
    for (const std::vector<std::string>& args : bad) {
        CaptureOptions options;
        std::string error;
        std::string joined;
        for (const std::string& a : args)
            joined += a + " ";
        EXPECT_EQ(parse(args, options, error), ParseResult::Error) << joined;
        EXPECT_FALSE(error.empty()) << joined;
        EXPECT_EQ(error.find('\n'), std::string::npos) << joined;
        if (!args.empty()) {
            EXPECT_NE(error.find(args[0].substr(0, 4)), std::string::npos) << joined << ": " << error;
        }
    }
    CaptureOptions options;
    std::string error;
    EXPECT_EQ(parse({"--still", "5", "--help"}, options, error), ParseResult::Help);
}

// The capture tool reads its values as the show does: a hexadecimal time is
// refused, and a refused still list is quoted at most 80 characters long.
TEST(CaptureOptions, HexTimesAreRefusedAndLongRefusedValuesAreCut)
{
    std::string stills;
    for (int i = 0; i < 5000; ++i)
        stills += "1s,";
    stills += "x";
    struct Case {
        std::vector<std::string> args;
        std::string start;
    };
    for (const Case& c : {Case{{"--from", "0x10", "--still", "1s"}, "--from 0x10: expected "},
                          Case{{"--to", "0x10", "--still", "1ms"}, "--to 0x10: expected "},
                          Case{{"--still", "0x10"}, "--still 0x10: expected "},
                          Case{{"--still", stills}, "--still " + stills.substr(0, 77) + "...: expected "}}) {
        CaptureOptions options;
        std::string error;
        EXPECT_EQ(parse(c.args, options, error), ParseResult::Error) << c.start;
        EXPECT_EQ(error.rfind(c.start, 0), 0u) << error.substr(0, 200);
        EXPECT_LT(error.size(), 200u);
    }
}
