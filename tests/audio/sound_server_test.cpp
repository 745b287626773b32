// The device path through real sound servers, as desktops run them: our
// libpulse output against a private PulseAudio daemon and against PipeWire
// (through pipewire-pulse, its bridge). SDL's own drivers, the fallback,
// are proven on SDL's "disk" driver (device_output_test.cpp).
// The null sink's monitor is recorded and held against an independent
// decode by ffmpeg:
//  - between a viewer's actions (a start part-way through, a jump forward,
//    a pause, a jump back) every 10 ms of the recording is the soundtrack at
//    one offset, and the engine's feed never ran dry;
//  - the play position is what is heard, at every graph cycle PipeWire may
//    run at.
// A sound server that cannot be started is a missing real part.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_engine.h"
#include "audio_fixtures.h"
#include "platform/audio_out.h"
#include "support/monitor_recorder.h"
#include "support/real_parts.h"
#include "support/sound_match.h"
#include "support/sound_server.h"

namespace {

constexpr int RATE = 44100;
using Clock = std::chrono::steady_clock;

struct ServerCase {
    const char* name;
    SoundServer::Kind kind;
};

// The case's name, not its bytes, in the test's name.
void PrintTo(const ServerCase& server, std::ostream* out)
{
    *out << server.name;
}

// Beside the engine's position, the recording's frame the sink plays then.
struct Reading {
    uint64_t position;
    double heard;
};

// A stretch of playing between two actions: soundtrack frames [from, to).
struct Stretch {
    uint64_t from = 0, to = 0;
    uint64_t starvedBefore = 0, starvedAfter = 0;  // the engine's count, once settled and at the end
    std::vector<Reading> readings;
};

class SoundServerTest : public ::testing::TestWithParam<ServerCase> {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.path().empty());
        music = std::string(QUILLMOOR_BINARY_DIR) + "/Data/music.mp3";
        struct stat info;
        ASSERT_EQ(stat(music.c_str(), &info), 0) << music << ": the soundtrack is not built";
        server = std::make_unique<SoundServer>(GetParam().kind, scratch.path(), RATE);
        if (!server->ok())
            REAL_PART_MISSING() << server->why();
        server->useInThisProcess();
        unsetenv("SDL_AUDIODRIVER");  // the outputs' own order
        std::string errors;
        reference = decodeWithFfmpeg(music, scratch.path() + "/ffmpeg.raw", RATE, errors);
        ASSERT_GT(reference.size(), 2u * 100 * RATE) << errors;
    }

    void TearDown() override
    {
        audioFree();
        server.reset();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("PULSE_SERVER");
    }

    // Opens the output and the soundtrack's channel, recording the sink.
    uint32_t startPlaying()
    {
        recorder = std::make_unique<MonitorRecorder>(server->pulseServer(), std::string(SoundServer::SINK) + ".monitor",
                                                     RATE);
        if (!recorder->ok()) {
            ADD_FAILURE() << recorder->why();
            return 0;
        }
        if (!audioInit(-1, RATE) || !audioHasDevice()) {
            ADD_FAILURE() << "the sound server's output did not open";
            return 0;
        }
        const uint32_t handle = audioStreamCreateFile(music.c_str(), AUDIO_STREAM_PRESCAN);
        EXPECT_NE(handle, 0u);
        audioStart();
        return handle;
    }

    std::vector<float> stopPlaying()
    {
        audioStop();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        audioFree();
        std::vector<float> heard = recorder->stop();
        recorder.reset();
        return heard;
    }

    // Plays on for `ms`, reading the position beside the frame heard every
    // 2 ms; the stretch ends where the position stands then.
    void playFor(uint32_t handle, int ms, Stretch& stretch)
    {
        const auto start = Clock::now();
        bool settled = false;
        while (Clock::now() < start + std::chrono::milliseconds(ms)) {
            if (!settled && Clock::now() > start + std::chrono::milliseconds(200)) {
                settled = true;
                stretch.starvedBefore = audioStarvedFrames();
            }
            const uint64_t position = audioChannelPosition(handle);
            const double heard = recorder->heardNow();
            if (heard >= 0)
                stretch.readings.push_back({position, heard});
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        stretch.starvedAfter = audioStarvedFrames();
        stretch.to = audioChannelPosition(handle);
    }

    ScratchFolder scratch;
    std::unique_ptr<SoundServer> server;
    std::unique_ptr<MonitorRecorder> recorder;
    std::string music;
    std::vector<float> reference;
};

// What is heard against the play position (ms, positive when the position
// lags), over the readings of a stretch past its first 200 ms.
Spread heardAhead(const Stretch& stretch, long offset)
{
    std::vector<double> ms;
    for (const Reading& reading : stretch.readings)
        if (reading.position >= stretch.from + RATE / 5)
            ms.push_back((reading.heard - offset - static_cast<double>(reading.position)) * 1000.0 / RATE);
    return spreadOf(ms);
}

// How stretch `what` came through: its offset in the recording, whether
// every 10 ms of it is the soundtrack there, and how far the position is
// from what was heard.
struct Heard {
    SoundMatch match;
    StretchCheck check;
    Spread ahead;
};

Heard hear(const std::vector<float>& recording, const std::vector<float>& reference, const Stretch& stretch,
           const std::string& what)
{
    Heard heard;
    heard.match = findSoundtrack(recording, reference, (stretch.from + RATE / 10) / double(RATE), RATE, what.c_str());
    // The first and last 50 ms are the action's own.
    heard.check = checkStretch(recording, reference, heard.match.offset, stretch.from + RATE / 20,
                               stretch.to - RATE / 20, RATE);
    heard.ahead = heardAhead(stretch, heard.match.offset);
    std::printf("%s: %zu of %zu windows broken (first at soundtrack frame %ld, worst correlation %.4f); heard "
                "minus position median %.1f ms (10%% %.1f, 90%% %.1f) over %zu readings\n",
                what.c_str(), heard.check.broken, heard.check.windows, heard.check.firstBroken, heard.check.worst,
                heard.ahead.median, heard.ahead.low, heard.ahead.high, heard.ahead.count);
    return heard;
}

}  // namespace

TEST_P(SoundServerTest, SoundtrackHoldsUnbrokenBetweenTheViewersActions)
{
    // A start at 50 s, a jump forward, a pause, a jump back: the actions of
    // the show's own playback (a jump pauses, moves and plays again).
    const char* names[] = {"from 50 s", "after a jump forward", "after a pause", "after a jump back"};
    std::vector<Stretch> stretches;
    std::vector<float> heard;
    // A machine busy with other work can starve the sound server itself into
    // an underrun, which breaks the recording though the engine fed it in
    // time; such a run is tried again, and said so.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        stretches.assign(4, Stretch());
        const uint32_t handle = startPlaying();
        ASSERT_NE(handle, 0u);
        for (int k = 0; k < 4; ++k) {
            Stretch& stretch = stretches[k];
            const uint64_t heardNow = audioChannelPosition(handle);
            if (k > 0)
                audioChannelPause(handle);
            if (k == 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
            stretch.from = k == 0 ? 50u * RATE : k == 1 ? heardNow + 5u * RATE : k == 3 ? heardNow - 5u * RATE
                                                                                        : audioChannelPosition(handle);
            audioChannelSetPosition(handle, stretch.from);
            audioChannelPlay(handle, false);
            playFor(handle, 1500, stretch);
        }
        heard = stopPlaying();
        ASSERT_GT(heard.size(), 2u * 5 * RATE);

        bool whole = true;
        for (int k = 0; k < 4; ++k) {
            const Heard result = hear(heard, reference, stretches[k], names[k]);
            whole = whole && result.check.broken == 0;
            EXPECT_EQ(stretches[k].starvedAfter, stretches[k].starvedBefore)
                << names[k] << ": the engine's feed ran dry while playing on";
        }
        if (whole)
            return;
        std::printf("attempt %d: the soundtrack is not whole in the recording (an underrun?)\n", attempt);
    }
    ADD_FAILURE() << "the soundtrack broke between the actions in every attempt";
}

TEST_P(SoundServerTest, PositionIsWhatIsHeardAtEveryGraphCycle)
{
    const bool pipeWire = GetParam().kind == SoundServer::Kind::PipeWire;
    // PulseAudio has no graph cycle; its null sink plays at its own pace.
    const std::vector<uint32_t> cycles = pipeWire ? std::vector<uint32_t>{64, 256, 1024, 2048}
                                                  : std::vector<uint32_t>{0};
    for (uint32_t cycle : cycles) {
        if (pipeWire) {
            ASSERT_TRUE(server->forceGraphCycle(cycle));
        }
        const std::string what = pipeWire ? "cycle of " + std::to_string(cycle) + " frames" : "PulseAudio";
        // Twice the figures an idle machine gives (see the README), for a
        // busy one; a position a graph cycle off fails from 1024 frames on.
        constexpr double MEDIAN_MS = 10.0, WANDER_MS = 20.0;
        const auto wander = [](const Spread& ahead) { return std::max(std::fabs(ahead.low), std::fabs(ahead.high)); };
        const auto inSync = [&](const Spread& ahead) {
            return std::fabs(ahead.median) <= MEDIAN_MS && wander(ahead) <= WANDER_MS;
        };
        Spread ahead;
        // As above, a run that a busy machine broke off, or held up so long
        // that the server's own account of what it played slipped, is tried
        // again.
        for (int attempt = 1; attempt <= 3; ++attempt) {
            const uint32_t handle = startPlaying();
            ASSERT_NE(handle, 0u);
            Stretch stretch;
            stretch.from = 30u * RATE;
            audioChannelSetPosition(handle, stretch.from);
            audioChannelPlay(handle, false);
            playFor(handle, 1500, stretch);
            const std::vector<float> heard = stopPlaying();
            const Heard result = hear(heard, reference, stretch, what);
            ahead = result.ahead;
            const bool whole = result.check.broken == 0 && result.match.correlation > 0.99;
            if (whole && inSync(ahead))
                break;
            std::printf("attempt %d: %s\n", attempt,
                        whole ? "the position is off what is heard" : "the soundtrack is not whole in the recording (an underrun?)");
        }
        ASSERT_GT(ahead.count, 100u) << what;
        EXPECT_LE(std::fabs(ahead.median), MEDIAN_MS) << what << ": the play position is not what is heard";
        EXPECT_LE(wander(ahead), WANDER_MS) << what << ": the position wanders";
    }
    if (pipeWire)
        server->forceGraphCycle(0);
}

TEST_P(SoundServerTest, PositionMovesBetweenCallbacksAndNeverGoesBack)
{
    ASSERT_TRUE(audioInit(-1, RATE));
    ASSERT_TRUE(audioHasDevice()) << "the sound server's output did not open";
    const uint32_t handle = audioStreamCreateFile(music.c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(handle, 0u);
    audioStart();
    audioChannelPlay(handle, false);
    std::vector<uint64_t> positions;
    const auto start = Clock::now();
    while (Clock::now() < start + std::chrono::milliseconds(2000)) {
        positions.push_back(audioChannelPosition(handle));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    audioStop();
    uint64_t largest = 0, changes = 0;
    for (size_t i = 1; i < positions.size(); ++i) {
        ASSERT_GE(positions[i], positions[i - 1]) << "the position never goes back";
        if (positions[i] != positions[i - 1]) {
            ++changes;
            largest = std::max(largest, positions[i] - positions[i - 1]);
        }
    }
    std::printf("position: %zu reads, %llu changes, largest step %llu frames; latency now %u frames (%.1f ms)\n",
                positions.size(), static_cast<unsigned long long>(changes),
                static_cast<unsigned long long>(largest), audioOutLatencyFrames(),
                audioOutLatencyFrames() * 1000.0 / RATE);
    // A device that took 1024-frame blocks would change it about 86 times.
    EXPECT_GT(changes, 2 * 86u) << "the position moves between callbacks";
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SoundServerTest,
    ::testing::Values(ServerCase{"PulseAudio", SoundServer::Kind::PulseAudio},
                      ServerCase{"PipeWire", SoundServer::Kind::PipeWire}),
    [](const auto& info) { return std::string(info.param.name); });
