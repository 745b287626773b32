// The browser build's page, played in Debian's headless Chromium on
// SwiftShader by tests/web/drive_page.py (which serves the page itself on
// 127.0.0.1): the picture after the viewer's click at several window sizes,
// a start part-way through from the address, and what the viewer is told
// when something is missing or goes wrong.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/letterbox.h"
#include "support/png_file.h"
#include "support/real_parts.h"
#include "support/scratch_folder.h"
#include "support/sound_match.h"
#include "support/x_session.h"

namespace {

// The page the tests play carries the tests' hooks; the shipped one must not.
const std::string SITE = std::string(QUILLMOOR_WEB_BUILD_DIR) + "/quillmoor-web-test";
const std::string SHIPPED_SITE = std::string(QUILLMOOR_WEB_BUILD_DIR) + "/quillmoor-web";
constexpr const char* TEST_HOOK_PREFIX = "quillmoorTest";

// What the driver saw of one visit to the page.
struct Visit {
    int status = -1;
    std::string skip;
    std::string message;                // what the page told the viewer
    std::string poster;                 // what it offered before any Escape
    std::string offer;                  // what it offered after Escape
    std::vector<std::string> console;   // console lines
    std::vector<std::string> uncaught;  // uncaught exceptions
    std::vector<Screenshot> shots;
    double firstFrameMs = -1.0;
    double fps = -1.0;        // animation frames a second while listening
    double soundRms = -1.0;   // of what the page's audio graph played then
    std::vector<float> recording;  // what the page's audio graph played, stereo
    int recordRate = 0;
    double outputLatency = -1.0;   // seconds, as the audio context reports it
    struct Reading {
        double position;  // the music's play position (frames)
        double heard;     // the recording's frame heard at that moment
    };
    std::vector<Reading> readings;
    std::string audioState;    // the audio context's state, when watched
    double movedFrames = -1.0;  // how far the play position moved
    double movedMs = -1.0;      // in this much of the page's clock
    bool responsive = false;
    std::string log;                    // the driver's whole report
};

bool exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

Visit visit(const std::vector<std::string>& options)
{
    const ScratchFolder scratch("quillmoor-web-test");
    const std::string out = scratch.made() ? scratch.path() : "/tmp";
    std::vector<std::string> argv = {"/usr/bin/python3", QUILLMOOR_SOURCE_DIR "/tests/web/drive_page.py",
                                     "--site", SITE, "--out", out};
    argv.insert(argv.end(), options.begin(), options.end());
    Visit visit;
    visit.log = runCommand(argv, {}, std::chrono::minutes(5), visit.status);
    std::istringstream lines(visit.log);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "skip")
            visit.skip = value;
        else if (key == "poster")
            visit.poster = value;
        else if (key == "offer")
            visit.offer = value;
        else if (key == "message")
            visit.message = value;
        else if (key == "console")
            visit.console.push_back(value);
        else if (key == "uncaught")
            visit.uncaught.push_back(value);
        else if (key == "first_frame_ms")
            visit.firstFrameMs = std::stod(value);
        else if (key == "fps")
            visit.fps = std::stod(value);
        else if (key == "sound_rms")
            visit.soundRms = std::stod(value);
        else if (key == "recording") {
            visit.recording = readFloatFile(value);
            std::remove(value.c_str());
        } else if (key == "record_rate")
            visit.recordRate = std::stoi(value);
        else if (key == "audio_state")
            visit.audioState = value;
        else if (key == "moved")
            std::sscanf(value.c_str(), "%lf %lf", &visit.movedFrames, &visit.movedMs);
        else if (key == "output_latency")
            visit.outputLatency = std::stod(value);
        else if (key == "reading") {
            Visit::Reading reading;
            if (std::sscanf(value.c_str(), "%lf %lf", &reading.position, &reading.heard) == 2)
                visit.readings.push_back(reading);
        } else if (key == "responsive")
            visit.responsive = true;
        else if (key == "shot") {
            Screenshot shot;
            std::string failure;
            if (readPngFile(value, shot, failure))
                visit.shots.push_back(shot);
            else
                ADD_FAILURE() << failure;
            std::remove(value.c_str());
        }
    }
    return visit;
}

int linesNaming(const std::vector<std::string>& lines, const std::string& what)
{
    int count = 0;
    for (const std::string& line : lines)
        count += line.find(what) != std::string::npos;
    return count;
}

class WebPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!exists(SITE + "/index.html"))
            REAL_PART_MISSING() << "no browser build in " << SITE << " (make web builds it)";
    }
};

std::string fileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The hooks' names are in the test page's program and in neither file of
// the shipped one (the runtime's exports list names every export).
TEST_F(WebPage, ShippedProgramCarriesNoTestHook)
{
    ASSERT_NE(fileText(SITE + "/quillmoor.js").find(TEST_HOOK_PREFIX), std::string::npos)
        << "the test page's program has lost its hooks";
    for (const char* name : {"/quillmoor.js", "/quillmoor.wasm"}) {
        const std::string shipped = fileText(SHIPPED_SITE + name);
        ASSERT_FALSE(shipped.empty()) << SHIPPED_SITE << name << " is missing";
        EXPECT_EQ(shipped.find(TEST_HOOK_PREFIX), std::string::npos) << SHIPPED_SITE << name;
    }
}

#define SKIP_WHEN_MISSING(visit) \
    if (!(visit).skip.empty())   \
    REAL_PART_MISSING() << (visit).skip

struct WindowSize {
    int width, height;
};

class WebScreens : public WebPage, public ::testing::WithParamInterface<WindowSize> {};

TEST_P(WebScreens, LivingPictureLetterboxedAfterTheClick)
{
    const WindowSize size = GetParam();
    const Visit page = visit({"--size", std::to_string(size.width) + "x" + std::to_string(size.height),
                              "--wait", "12", "--shots", "2", "--interval", "1", "--listen", "3"});
    SKIP_WHEN_MISSING(page);
    ASSERT_EQ(page.status, 0) << page.log;
    ASSERT_EQ(page.shots.size(), 2u) << page.log;
    EXPECT_TRUE(page.uncaught.empty()) << page.log;
    const Screenshot& first = page.shots[0];
    ASSERT_EQ(first.width, size.width);
    ASSERT_EQ(first.height, size.height);
    expectLetterboxed(first, "the page at " + std::to_string(size.width) + "x" + std::to_string(size.height));
    EXPECT_GT(differingShare(first, page.shots[1], 8), 0.01) << "the picture stood still for a second";
    // The soundtrack is loud there (its bass drives the particles).
    EXPECT_GT(page.soundRms, 0.01) << "the page played no sound\n" << page.log;
    RecordProperty("first_frame_ms", std::to_string(page.firstFrameMs));
    RecordProperty("fps", std::to_string(page.fps));
}

INSTANTIATE_TEST_SUITE_P(Sizes, WebScreens,
                         ::testing::Values(WindowSize{1280, 720}, WindowSize{1366, 768}, WindowSize{1280, 1024}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

// Neutral white (the plates' text), as against the fog and the warm sprites.
bool plateWhite(const uint8_t* p)
{
    return p[0] > 215 && p[1] > 215 && p[2] > 215 && std::abs(int(p[0]) - int(p[2])) < 30;
}

TEST_F(WebPage, StartFromTheAddressShowsTheTitlePlate)
{
    // 56 s, simulated in a second or two after the click, then playing: the
    // title is fully in from 58 s to 61 s, somewhere among these shots.
    // At full size: the browser here draws a frame or two a second, which
    // would take the automatic render scale down and soften the letters.
    const Visit page = visit({"--query", "?from=56s&render-scale=1", "--wait", "2", "--shots", "8", "--interval", "0.5"});
    SKIP_WHEN_MISSING(page);
    ASSERT_FALSE(page.shots.empty()) << page.log;
    const ScratchFolder scratch("quillmoor-web-test");
    const std::string& stills = scratch.path();
    int status = -1;
    const std::string captureLog = runCommand({QUILLMOOR_BINARY_DIR "/quillmoor-capture", "--still", "60s",
                                               "--size", "1280x720", "--out", stills},
                                              {"SDL_VIDEODRIVER=offscreen"}, std::chrono::minutes(2), status);
    Screenshot still;
    std::string failure;
    ASSERT_TRUE(readPngFile(stills + "/still_060000.png", still, failure)) << failure << captureLog;

    // The title's letters: where the capture tool draws them white, the page does too.
    double best = 0.0;
    for (const Screenshot& shot : page.shots) {
        ASSERT_EQ(shot.width, still.width);
        long inStill = 0, inBoth = 0;
        for (int y = still.height / 2; y < still.height; ++y)
            for (int x = still.width / 2; x < still.width; ++x)
                if (plateWhite(still.at(x, y))) {
                    ++inStill;
                    inBoth += plateWhite(shot.at(x, y));
                }
        ASSERT_GT(inStill, 1000) << "the still at 60 s shows no title";
        best = std::max(best, double(inBoth) / double(inStill));
    }
    EXPECT_GT(best, 0.5) << page.log;
}

class WebStills : public WebPage, public ::testing::WithParamInterface<int> {};

// The rasterizers differ (SwiftShader in the browser, llvmpipe for the
// capture tool): a few edge pixels may, the picture may not.
TEST_P(WebStills, MatchTheCaptureToolsStills)
{
    const int seconds = GetParam();
    const Visit page = visit({"--still", std::to_string(seconds * 1000)});
    SKIP_WHEN_MISSING(page);
    ASSERT_EQ(page.shots.size(), 1u) << page.log;
    const ScratchFolder scratch("quillmoor-web-test");
    const std::string& stills = scratch.path();
    int status = -1;
    const std::string captureLog =
        runCommand({QUILLMOOR_BINARY_DIR "/quillmoor-capture", "--still", std::to_string(seconds) + "s", "--size",
                    "1280x720", "--out", stills},
                   {"SDL_VIDEODRIVER=offscreen"}, std::chrono::minutes(2), status);
    char name[32];
    std::snprintf(name, sizeof name, "/still_%06d.png", seconds * 1000);
    Screenshot still;
    std::string failure;
    ASSERT_TRUE(readPngFile(stills + name, still, failure)) << failure << captureLog;
    const double share = differingShare(page.shots[0], still, 8);
    RecordProperty("differing_share", std::to_string(share));
    EXPECT_LE(share, 0.02) << page.log;
}

INSTANTIATE_TEST_SUITE_P(ShowTimes, WebStills, ::testing::Values(20, 58, 96, 120),
                         [](const auto& info) { return std::to_string(info.param) + "s"; });

class WebSound : public WebPage, public ::testing::WithParamInterface<int> {};

// Five seconds of the page's sound from the click, recorded on the audio
// thread: the soundtrack, sample for sample, as ffmpeg decodes it, and the
// music's play position is what is being heard. A small window at full
// scale, so that frames come quickly on the software rasterizer: the main
// thread feeds the sound, and a frame that holds it up for longer than the
// output's block leaves a gap in the sound, which the position follows only
// at the next block. (The automatic render scale's first frames at a new
// size took up to 195 ms here, against 60 to 90 ms for the others.) A run
// with a gap (other work on a busy machine) is tried again, and said so.
TEST_P(WebSound, RecordingIsTheSoundtrackAndThePlayPositionIsWhatIsHeard)
{
    const int from = GetParam();
    std::vector<float> reference;
    SoundMatch match;
    double worst = 0.0;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const Visit page = visit({"--size", "320x180", "--query",
                                  "?render-scale=1" + (from ? "&from=" + std::to_string(from) + "s" : std::string()),
                                  "--record", "5", "--wait", "0"});
        SKIP_WHEN_MISSING(page);
        ASSERT_GT(page.recordRate, 0) << "nothing recorded\n" << page.log;
        ASSERT_GT(page.recording.size(), 2u * 4 * page.recordRate) << page.log;
        if (reference.empty()) {
            std::string errors;
            const ScratchFolder scratch("quillmoor-web-test");
            reference = decodeWithFfmpeg(QUILLMOOR_BINARY_DIR "/Data/music.mp3", scratch.file("ffmpeg.raw"),
                                         page.recordRate, errors);
            ASSERT_FALSE(reference.empty()) << errors;
        }
        // Past the start-up between the click and the recorder's start.
        match = findSoundtrack(page.recording, reference, from + 1.5, page.recordRate, "page");
        std::vector<double> lagMs;
        worst = 0.0;
        for (const Visit::Reading& reading : page.readings)
            if (reading.position > (from + 1.5) * page.recordRate) {
                lagMs.push_back((reading.heard - match.offset - reading.position) * 1000.0 / page.recordRate);
                worst = std::max(worst, std::fabs(lagMs.back()));
            }
        const Spread lag = spreadOf(lagMs);
        std::printf("heard minus play position: median %.1f ms (10%% %.1f ms, 90%% %.1f ms, worst %.1f ms) over "
                    "%zu readings; output latency %.1f ms\n",
                    lag.median, lag.low, lag.high, worst, lag.count, page.outputLatency * 1000.0);
        ASSERT_GT(lag.count, 100u) << page.log;
        if (match.correlation > 0.99 && worst <= 30.0)
            break;
        std::printf("attempt %d: the sound or the position broke off (the main thread held up?)\n", attempt);
    }
    EXPECT_GT(match.correlation, 0.99);
    EXPECT_LE(worst, 30.0) << "the play position is not what is heard";
}

INSTANTIATE_TEST_SUITE_P(Starts, WebSound, ::testing::Values(0, 56),
                         [](const auto& info) { return "From" + std::to_string(info.param) + "s"; });

// Started by a script, which the browser takes for no gesture, the show's
// audio context stays suspended: nothing pulls the sound, and the show plays
// silently on its clock, the music's position (and with it the spectrum the
// particles follow) moving on as in a run without a sound device.
TEST_F(WebPage, ShowWhoseSoundTheBrowserHoldsBackPlaysOnItsClock)
{
    const Visit page = visit({"--size", "480x270", "--script-click", "--wait", "3", "--watch-position", "2",
                              "--shots", "1"});
    SKIP_WHEN_MISSING(page);
    ASSERT_EQ(page.audioState, "suspended") << page.log;
    ASSERT_GT(page.movedMs, 1000.0) << page.log;
    EXPECT_NEAR(page.movedFrames / 44.1, page.movedMs, 0.1 * page.movedMs) << page.log;
    ASSERT_EQ(page.shots.size(), 1u) << page.log;
    EXPECT_TRUE(hasPicture(page.shots[0])) << page.log;
    EXPECT_TRUE(page.uncaught.empty()) << page.log;
}

TEST_F(WebPage, EscapeEndsTheShowAndItPlaysAgainOnTheNextClick)
{
    const Visit page = visit({"--wait", "3", "--escape"});
    SKIP_WHEN_MISSING(page);
    EXPECT_EQ(page.offer, "play again") << page.log;
    ASSERT_EQ(page.shots.size(), 1u) << page.log;
    EXPECT_TRUE(hasPicture(page.shots[0])) << "no picture the second time\n" << page.log;
    EXPECT_TRUE(page.uncaught.empty()) << page.log;
}

TEST_F(WebPage, ShowPlaysToItsEndAndThePageOffersToPlayAgain)
{
    // The last 3 s of the show, and the closing fade to black.
    const Visit page = visit({"--size", "480x270", "--query", "?from=150s", "--wait", "8"});
    SKIP_WHEN_MISSING(page);
    EXPECT_EQ(page.poster, "play again") << page.log;
    EXPECT_TRUE(page.uncaught.empty()) << page.log;
}

TEST_F(WebPage, BadStartTimeIsOneLineOnThePageAndInTheConsole)
{
    const Visit page = visit({"--query", "?from=soon", "--wait", "1"});
    SKIP_WHEN_MISSING(page);
    EXPECT_NE(page.message.find("--from"), std::string::npos) << page.log;
    EXPECT_EQ(linesNaming(page.console, "--from"), 1) << page.log;
    EXPECT_TRUE(page.uncaught.empty()) << page.log;
}

TEST_F(WebPage, MissingPictureIsOneConsoleLineAndTheShowGoesOn)
{
    const Visit page = visit({"--without", "greets.pcx", "--content", QUILLMOOR_BINARY_DIR "/Data",
                              "--wait", "4", "--shots", "1"});
    SKIP_WHEN_MISSING(page);
    ASSERT_EQ(page.shots.size(), 1u) << page.log;
    EXPECT_EQ(linesNaming(page.console, "greets.pcx"), 1) << page.log;
    EXPECT_TRUE(hasPicture(page.shots[0])) << page.log;
    EXPECT_TRUE(page.uncaught.empty()) << page.log;
}

TEST_F(WebPage, BrowserWithoutWebglIsToldSoWithoutAnException)
{
    const Visit page = visit({"--disable-webgl", "--no-click", "--wait", "1"});
    SKIP_WHEN_MISSING(page);
    EXPECT_NE(page.message.find("WebGL"), std::string::npos) << page.log;
    EXPECT_TRUE(page.uncaught.empty()) << page.log;
}

TEST_F(WebPage, LostContextIsToldAndThePageStaysResponsive)
{
    const Visit page = visit({"--wait", "3", "--lose-context"});
    SKIP_WHEN_MISSING(page);
    EXPECT_NE(page.message.find("context lost"), std::string::npos) << page.log;
    EXPECT_TRUE(page.responsive) << page.log;
    EXPECT_TRUE(page.uncaught.empty()) << page.log;
}

}  // namespace
