// A recording stopped part way, as users and schedulers stop one: SIGINT,
// SIGTERM or SIGKILL to the tool, or SIGINT to its whole process group (a
// terminal's Ctrl+C), for H.264, FFV1 and a PNG sequence, with and without
// an earlier recording at the name. Whatever the ending: the earlier
// recording is byte for byte what it was, the encoder ends with the tool,
// no temporary file is left, and no file carries a frame's or the video's
// name unless it is whole. A stop (not a kill) ends within a second with
// 128 + the signal and an OUT.part that plays, its sound as long as its
// pictures; a PNG sequence stopped part way and resumed equals one run.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/process.h"
#include "support/real_parts.h"
#include "support/x_session.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

enum class Ending { Interrupt, Terminate, Kill, GroupInterrupt };
enum class Format { H264, Ffv1, Png };
const char* const FORMAT_NAMES[] = {"h264", "ffv1", "png"};
const char* const OUTPUT_NAMES[] = {"out.mp4", "out.mkv", "seq"};
constexpr int FRAME_BYTES = 160 * 90 * 3;
constexpr int SAMPLES_PER_FRAME = 44100 / 30;

std::string readText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string scratch(std::string name)
{
    std::replace(name.begin(), name.end(), '/', '_');
    const std::string folder = ::testing::TempDir() + "capture_stop_" + name + "_" + std::to_string(getpid());
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// 160x90 at 30 fps from `from` for 20 s (600 frames), into `out`.
std::vector<std::string> recording(Format format, const std::string& out, const std::string& from = "0")
{
    std::vector<std::string> arguments = {QUILLMOOR_BINARY_DIR "/quillmoor-capture", "--quiet", "--size", "160x90",
                                          "--fps", "30", "--from", from, "--to", from == "0" ? "20s" : "61s"};
    if (format == Format::Png)
        arguments.insert(arguments.end(), {"--audio", "--frames", out});
    else
        arguments.insert(arguments.end(), {"--codec", FORMAT_NAMES[static_cast<int>(format)], "--video", out});
    return arguments;
}

// Made once: a whole run of the sequence ("0"), and a short earlier
// recording of each format at other show times ("60s").
const std::string& made(Format format, const std::string& from)
{
    static std::map<std::string, std::string> done;
    const std::string what = FORMAT_NAMES[static_cast<int>(format)] + std::string("_") + from;
    std::string& path = done[what];
    if (path.empty()) {
        path = scratch("made_" + what) + "/" + OUTPUT_NAMES[static_cast<int>(format)];
        int status = 0;
        const std::string output = runCommand(recording(format, path, from), {}, 120s, status);
        EXPECT_EQ(status, 0) << what << ": " << output;
    }
    return path;
}

// How the programs the tool left behind ended: this process adopts them (a
// child subreaper), so an encoder that outlived the tool would end later
// with a status of its own; one that died with it ends by SIGKILL.
std::vector<std::string> orphanEndings()
{
    std::vector<std::string> endings;
    for (const auto end = Clock::now() + 500ms;;) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid > 0)
            endings.push_back((WIFSIGNALED(status) ? "signal " : "exit ") +
                              std::to_string(WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status)));
        else if (pid < 0 || Clock::now() >= end)
            return endings;
        else
            std::this_thread::sleep_for(5ms);
    }
}

// Bytes of a video's decoded pictures (RGB) or sound (16-bit stereo).
uint64_t decodedBytes(const std::string& video, bool pictures)
{
    std::vector<std::string> command = {"ffmpeg", "-v", "error", "-nostdin", "-i", video, "-map"};
    const std::vector<std::string> what =
        pictures ? std::vector<std::string>{"0:v", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"}
                 : std::vector<std::string>{"0:a", "-f", "s16le", "-"};
    command.insert(command.end(), what.begin(), what.end());
    int status = 0;
    const std::string out = runCommand(command, {}, 60s, status);
    return status == 0 ? out.size() : 0;
}

// True once the run has made some 20 frames: new PNG files, or OUT.part's bytes.
bool madeSomeFrames(Format format, const std::string& out, fs::file_time_type since)
{
    for (const auto end = Clock::now() + 30s; Clock::now() < end; std::this_thread::sleep_for(10ms)) {
        std::error_code error;
        size_t frames = 0;
        if (format != Format::Png)
            frames = fs::exists(out + ".part", error) ? fs::file_size(out + ".part", error) / 1000 : 0;
        else
            for (const auto& entry : fs::directory_iterator(out, error))
                frames += fs::last_write_time(entry.path(), error) > since;
        if (frames >= 20)
            return true;
    }
    return false;
}

using StopCase = std::tuple<Ending, Format, bool>;

class CaptureStop : public ::testing::TestWithParam<StopCase> {
protected:
    static void SetUpTestSuite() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
};

TEST_P(CaptureStop, KeepsTheEarlierRecordingLeavesNothingBehindAndFinishesWhatItMade)
{
    const auto [ending, format, earlier] = GetParam();
    const bool png = format == Format::Png;
    if (findProgram("ffmpeg").empty() || findProgram("ffprobe").empty())
        REAL_PART_MISSING() << "ffmpeg is not installed";
    const std::string folder = scratch(testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string out = folder + "/" + OUTPUT_NAMES[static_cast<int>(format)];
    if (earlier)
        fs::copy(made(format, "60s"), out, fs::copy_options::recursive);
    const std::string before = png ? "" : readText(out);
    const std::string temporary = folder + "/tmp";
    fs::create_directories(temporary);

    // setsid gives the tool a process group of its own, as a shell gives a
    // foreground job, so that the group can be signalled as Ctrl+C does.
    std::vector<std::string> arguments = recording(format, out);
    arguments.insert(arguments.begin(), "setsid");
    const auto started = fs::file_time_type::clock::now();
    Child tool;
    ASSERT_TRUE(tool.start(arguments, {"TMPDIR=" + temporary}, folder + "/stderr.txt"));
    ASSERT_TRUE(madeSomeFrames(format, out, started)) << readText(folder + "/stderr.txt");
    const int number = ending == Ending::Terminate ? SIGTERM : ending == Ending::Kill ? SIGKILL : SIGINT;
    const auto signalled = Clock::now();
    kill(ending == Ending::GroupInterrupt ? -tool.pid() : tool.pid(), number);
    const int status = tool.wait(20s);
    const double seconds = std::chrono::duration<double>(Clock::now() - signalled).count();
    const std::string err = readText(folder + "/stderr.txt");

    EXPECT_EQ(status, 128 + number) << err;
    EXPECT_EQ(orphanEndings(), ending == Ending::Kill && !png ? std::vector<std::string>{"signal 9"}
                                                              : std::vector<std::string>())
        << "the encoder did not end with the tool";
    EXPECT_TRUE(fs::is_empty(temporary)) << "a temporary file is left in TMPDIR";
    if (ending != Ending::Kill) {
        EXPECT_LE(seconds, 1.0) << "from the signal to the exit";
        EXPECT_EQ(err.rfind("capture: stopped at frame ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find(" of 600; what was made is in " + out + (png ? "" : ".part")), std::string::npos) << err;
    }
    fs::remove(temporary);
    fs::remove(folder + "/stderr.txt");

    if (!png) {
        // The earlier recording as it was, if any, and the new one in its .part.
        std::vector<std::string> names, expected = {fs::path(out).filename().string() + ".part"};
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        if (earlier)
            expected.insert(expected.begin(), fs::path(out).filename());
        EXPECT_EQ(names, expected);
        EXPECT_TRUE(!earlier || readText(out) == before) << "the earlier recording changed";
        if (ending == Ending::Kill)
            return;
        int played = 0;
        EXPECT_EQ(runCommand({"ffmpeg", "-v", "error", "-nostdin", "-i", out + ".part", "-f", "null", "-"}, {}, 60s,
                             played) + std::to_string(played),
                  "0");
        const uint64_t pictures = decodedBytes(out + ".part", true) / FRAME_BYTES;
        const int64_t sound = static_cast<int64_t>(decodedBytes(out + ".part", false) / 4);
        EXPECT_GT(pictures, 10u);
        // The same length, to within the sound's packets of 1024 samples.
        EXPECT_NEAR(sound, static_cast<int64_t>(pictures * SAMPLES_PER_FRAME), 1023);
        return;
    }

    // Every file with a frame's name is whole: the new run's or the earlier one's.
    const std::string& whole = made(Format::Png, "0");
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename();
        const std::string bytes = readText(entry.path());
        const bool frame = name.rfind("frame_", 0) == 0;
        EXPECT_TRUE(name == "audio.wav" || (frame && bytes == readText(whole + "/" + name)) ||
                    (frame && earlier && bytes == readText(made(Format::Png, "60s") + "/" + name)))
            << name << " is neither a whole frame of this run nor one of the earlier";
    }
    if (earlier)
        return;
    std::vector<std::string> resume = recording(format, out);
    resume.push_back("--resume");
    int resumed = 0, differs = 0;
    const std::string output = runCommand(resume, {}, 120s, resumed);
    ASSERT_EQ(resumed, 0) << output;
    EXPECT_EQ(runCommand({"diff", "-r", whole, out}, {}, 60s, differs), "") << "the resumed sequence differs";
    EXPECT_EQ(differs, 0);
}

std::string caseName(const testing::TestParamInfo<StopCase>& info)
{
    static const char* const endings[] = {"Sigint", "Sigterm", "Sigkill", "SigintToGroup"};
    static const char* const formats[] = {"H264", "Ffv1", "Png"};
    return std::string(endings[static_cast<int>(std::get<0>(info.param))]) +
           formats[static_cast<int>(std::get<1>(info.param))] + (std::get<2>(info.param) ? "OverEarlier" : "");
}

INSTANTIATE_TEST_SUITE_P(Endings, CaptureStop,
                         testing::Combine(testing::Values(Ending::Interrupt, Ending::Terminate, Ending::Kill,
                                                          Ending::GroupInterrupt),
                                          testing::Values(Format::H264, Format::Ffv1, Format::Png), testing::Bool()),
                         caseName);

}  // namespace
