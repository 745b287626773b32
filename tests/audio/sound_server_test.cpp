// The device path through a real sound server: a private PulseAudio daemon
// (user mode, its runtime folder in a scratch folder, one null sink, no
// network modules) takes the engine's output through SDL's "pulseaudio"
// driver, parec records the null sink's monitor, and the soundtrack must be
// found in the recording sample for sample against an independent decode by
// ffmpeg, from the start and after a start part-way through. Skipped, with
// the reason, only when the daemon cannot be started.
//
// It also prints the play position's step size and the server's latency
// beside the engine's own estimate (figures, not checks).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_engine.h"
#include "audio_fixtures.h"
#include "platform/audio_out.h"

extern char** environ;

namespace {

constexpr int RATE = 44100;
constexpr const char* SINK = "quillmoor_test";

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Starts `argv` with stdout and stderr going to `output`; its pid, or -1.
pid_t spawn(const std::vector<std::string>& argv, const std::string& output)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void stop(pid_t& pid)
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
    }
}

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<float> readFloats(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::copy(bytes.begin(), bytes.begin() + samples.size() * sizeof(float), reinterpret_cast<char*>(samples.data()));
    return samples;
}

std::string run(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

// Normalised correlation of `count` stereo frames of a and b.
double correlation(const float* a, const float* b, size_t count)
{
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < 2 * count; ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The stereo frame of `recording` where reference frames [from, from + n)
// fit best, by the left channel over a short stretch; -1 when none fits.
long findInRecording(const std::vector<float>& recording, const std::vector<float>& reference, size_t from,
                     size_t n)
{
    const size_t frames = recording.size() / 2;
    if (reference.size() / 2 < from + n || frames < n)
        return -1;
    long best = -1;
    double bestScore = 0.5;
    for (size_t at = 0; at + n <= frames; ++at) {
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 0; i < n; ++i) {
            const double a = recording[2 * (at + i)];
            const double b = reference[2 * (from + i)];
            ab += a * b;
            aa += a * a;
            bb += b * b;
        }
        const double score = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
        if (score > bestScore) {
            bestScore = score;
            best = static_cast<long>(at);
        }
    }
    return best;
}

// The loudest 20 ms of reference frames [from, to): a stretch to look for.
size_t loudestStretch(const std::vector<float>& reference, size_t from, size_t to, size_t n)
{
    size_t best = from;
    double bestEnergy = -1;
    for (size_t at = from; at + n <= to; at += n / 2) {
        double energy = 0;
        for (size_t i = 0; i < 2 * n; ++i)
            energy += double(reference[2 * at + i]) * reference[2 * at + i];
        if (energy > bestEnergy) {
            bestEnergy = energy;
            best = at;
        }
    }
    return best;
}

class PulseOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(scratch.path().empty());
        music = std::string(QUILLMOOR_BINARY_DIR) + "/Data/music.mp3";
        struct stat info;
        ASSERT_EQ(stat(music.c_str(), &info), 0) << music << ": the soundtrack is not built";

        const std::string runtime = scratch.path() + "/runtime";
        const std::string home = scratch.path() + "/home";
        mkdir(runtime.c_str(), 0700);
        mkdir(home.c_str(), 0700);
        socket = runtime + "/native";
        daemonLog = scratch.path() + "/pulseaudio.log";
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("HOME", home.c_str(), 1);
        // As root PulseAudio warns but runs in user mode with -n (no default
        // script): only the modules named here are loaded.
        daemon = spawn({"pulseaudio", "--daemonize=no", "-n", "--system=no", "--exit-idle-time=-1",
                        "--disallow-exit", "--use-pid-file=no", "--log-target=stderr",
                        std::string("--load=module-null-sink sink_name=") + SINK +
                            " rate=44100 channels=2 format=float32le norewinds=1",
                        "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket},
                       daemonLog);
        if (daemon < 0)
            GTEST_SKIP() << "cannot start pulseaudio (is it installed?)";
        for (int i = 0; i < 100 && !serverAnswers(); ++i)
            sleepMs(50);
        if (!serverAnswers()) {
            stop(daemon);
            GTEST_SKIP() << "the PulseAudio daemon did not start: " << readText(daemonLog);
        }
        setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
        setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    }

    void TearDown() override
    {
        audioFree();
        stop(recorder);
        stop(daemon);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("PULSE_SERVER");
    }

    bool serverAnswers()
    {
        return run("pactl -s unix:" + socket + " list short sinks 2>/dev/null").find(SINK) != std::string::npos;
    }

    void startRecording()
    {
        recording = scratch.path() + "/monitor.raw";
        recorder = spawn({"sh", "-c",
                          "exec parec -s unix:" + socket + " -d " + SINK +
                              ".monitor --raw --format=float32le --rate=44100 --channels=2 --latency-msec=5 > " +
                              recording + " 2>" + scratch.path() + "/parec.log"},
                         "/dev/null");
        ASSERT_GT(recorder, 0);
        sleepMs(500);  // parec connected and running
    }

    // ffmpeg's decode of the soundtrack, stereo float at 44100 Hz.
    std::vector<float> independentDecode()
    {
        const std::string out = scratch.path() + "/ffmpeg.raw";
        const std::string command = "ffmpeg -v error -nostdin -i '" + music + "' -f f32le -ac 2 -ar 44100 '" + out +
                                    "' 2>&1";
        const std::string errors = run(command);
        std::vector<float> pcm = readFloats(out);
        EXPECT_FALSE(pcm.empty()) << command << ": " << errors;
        return pcm;
    }

    struct Match {
        long offset = 0;         // recording frame minus soundtrack frame
        double correlation = 0;  // over half a second from there
    };
    // Looks for reference frames from `seconds` on in the recording, a few
    // places a third of a second apart (a gap from an underrun spoils one
    // place, not all), and compares half a second from each sample for
    // sample; the best match.
    Match find(const std::vector<float>& heard, const std::vector<float>& reference, double seconds,
               const char* what)
    {
        const size_t stretch = RATE / 50;
        const size_t length = RATE / 2;
        Match best;
        for (int place = 0; place < 4; ++place) {
            const double start = seconds + place / 3.0;
            const size_t from = loudestStretch(reference, size_t(start * RATE), size_t((start + 0.3) * RATE), stretch);
            const long at = findInRecording(heard, reference, from, stretch);
            if (at < 0 || size_t(at) + length > heard.size() / 2)
                continue;
            const double r = correlation(heard.data() + 2 * at, reference.data() + 2 * from, length);
            std::printf("%s: soundtrack frame %zu found at recording frame %ld, correlation over 0.5 s %.6f\n",
                        what, from, at, r);
            if (r > best.correlation) {
                best.offset = at - static_cast<long>(from);
                best.correlation = r;
            }
        }
        return best;
    }

    ScratchFolder scratch;
    std::string music, socket, daemonLog, recording;
    pid_t daemon = -1;
    pid_t recorder = -1;
};

}  // namespace

TEST_F(PulseOutputTest, SoundtrackIsHeardSampleForSampleFromTheStartAndFromPartWay)
{
    const std::vector<float> reference = independentDecode();
    ASSERT_GT(reference.size(), 2u * 60 * RATE);
    // Beside the engine's position, the frames parec has written so far:
    // the recording's end is what the sink played last.
    struct Reading {
        uint64_t position;
        uint64_t recorded;
    };
    std::vector<Reading> readings;
    Match fromStart, partWay;
    // A machine busy with other work can starve the daemon or SDL's audio
    // thread into an underrun, which puts a gap into the recording; such a
    // run is tried again, and said so.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        startRecording();
        ASSERT_TRUE(audioInit(-1, RATE));
        ASSERT_TRUE(audioHasDevice()) << "SDL did not open the PulseAudio output";
        const uint32_t handle = audioStreamCreateFile(music.c_str(), AUDIO_STREAM_PRESCAN);
        ASSERT_NE(handle, 0u);

        audioStart();
        audioChannelPlay(handle, false);
        sleepMs(2500);
        audioStop();
        sleepMs(300);
        // A start part-way through, as the show's start at 56 s does.
        ASSERT_TRUE(audioChannelSetPosition(handle, 56u * RATE));
        audioStart();
        readings.clear();
        const auto partWayStart = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() < partWayStart + std::chrono::milliseconds(2500)) {
            struct stat info;
            const uint64_t position = audioChannelPosition(handle);
            if (stat(recording.c_str(), &info) == 0)
                readings.push_back({position, static_cast<uint64_t>(info.st_size) / (2 * sizeof(float))});
            sleepMs(2);
        }
        audioStop();
        sleepMs(300);
        audioFree();
        stop(recorder);

        const std::vector<float> heard = readFloats(recording);
        ASSERT_GT(heard.size(), 2u * 4 * RATE) << readText(scratch.path() + "/parec.log");
        fromStart = find(heard, reference, 0.3, "from the start");
        partWay = find(heard, reference, 56.3, "from 56 s");
        if (fromStart.correlation > 0.99 && partWay.correlation > 0.99)
            break;
        std::printf("attempt %d: the soundtrack is not whole in the recording (an underrun?)\n", attempt);
    }
    EXPECT_GT(fromStart.correlation, 0.99) << "from the start";
    ASSERT_GT(partWay.correlation, 0.99) << "from 56 s";

    // The lag of the position behind the sound: the last frame recorded is
    // at most parec's 5 ms fragment behind what the sink played.
    double sum = 0, least = 1e9, most = -1e9;
    int count = 0;
    for (const Reading& reading : readings) {
        if (reading.position < 56u * RATE + RATE / 5)
            continue;  // starting
        const double lagMs =
            (static_cast<double>(reading.recorded) - partWay.offset - reading.position) * 1000.0 / RATE;
        sum += lagMs;
        least = std::min(least, lagMs);
        most = std::max(most, lagMs);
        ++count;
    }
    if (count)
        std::printf("last recorded frame ahead of the position: mean %.1f ms, least %.1f ms, most %.1f ms "
                    "over %d readings\n", sum / count, least, most, count);
}

TEST_F(PulseOutputTest, PositionMovesBetweenCallbacksAndNeverGoesBack)
{
    ASSERT_TRUE(audioInit(-1, RATE));
    ASSERT_TRUE(audioHasDevice()) << "SDL did not open the PulseAudio output";
    const uint32_t handle = audioStreamCreateFile(music.c_str(), AUDIO_STREAM_PRESCAN);
    ASSERT_NE(handle, 0u);
    audioStart();
    audioChannelPlay(handle, false);
    // Read the position every millisecond or so and note each step; ask the
    // server now and then how far behind what it was given the sink plays.
    std::vector<uint64_t> positions;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < start + std::chrono::milliseconds(2000)) {
        positions.push_back(audioChannelPosition(handle));
        if (positions.size() % 400 == 200) {
            const std::string inputs = run("pactl -s unix:" + socket + " list sink-inputs 2>/dev/null");
            for (const char* field : {"Buffer Latency", "Sink Latency"}) {
                const size_t at = inputs.find(field);
                if (at != std::string::npos)
                    std::printf("server %s\n", inputs.substr(at, inputs.find('\n', at) - at).c_str());
            }
        }
        sleepMs(1);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    audioStop();
    uint64_t largest = 0, changes = 0;
    for (size_t i = 1; i < positions.size(); ++i) {
        ASSERT_GE(positions[i], positions[i - 1]) << "the position never goes back";
        if (positions[i] != positions[i - 1]) {
            ++changes;
            largest = std::max(largest, positions[i] - positions[i - 1]);
        }
    }
    std::printf("position: %zu reads in %.2f s, %llu changes, mean step %.1f frames, largest %llu frames, "
                "%.2f s of sound played; engine's latency estimate %u frames (%.1f ms)\n",
                positions.size(), seconds, static_cast<unsigned long long>(changes),
                changes ? double(positions.back() - positions.front()) / changes : 0.0,
                static_cast<unsigned long long>(largest), double(positions.back()) / RATE,
                audioOutLatencyFrames(), audioOutLatencyFrames() * 1000.0 / RATE);
    // A device that took 1024-frame blocks would change it about 86 times.
    EXPECT_GT(changes, 2 * 86u) << "the position moves between callbacks";
}
