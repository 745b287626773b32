// A recording stopped part way, as users and schedulers stop one: SIGINT,
// SIGTERM or SIGKILL to the tool, or SIGINT to its whole process group (a
// terminal's Ctrl+C), for H.264, FFV1 and a PNG sequence, with and without
// an earlier recording at the name. Whatever the ending: the earlier
// recording is byte for byte what it was, no ffmpeg is left running, no
// temporary file is left, and no file carries a frame's or the video's name
// unless it is whole. A stop (not a kill) ends within a second with 128 +
// the signal and an OUT.part that plays, its sound no longer than its
// pictures; a PNG sequence killed part way and resumed equals one run.
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

#include "capture_output.h"
#include "platform/process.h"
#include "support/real_parts.h"
#include "support/x_session.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string CAPTURE = QUILLMOOR_BINARY_DIR "/quillmoor-capture";
constexpr int WIDTH = 160, HEIGHT = 90, FPS = 30;
constexpr uint64_t FRAMES = 600;  // 0 s to 20 s

enum class Ending { Interrupt, Terminate, Kill, GroupInterrupt };
enum class Format { H264, Ffv1, Png };

std::string readText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string scratch(const std::string& name)
{
    const std::string folder = ::testing::TempDir() + "capture_stop_" + name + "_" + std::to_string(getpid());
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::vector<std::string> recording(Format format, const std::string& out, const std::string& to = "20s")
{
    std::vector<std::string> arguments = {CAPTURE, "--quiet", "--size", std::to_string(WIDTH) + "x" +
                                          std::to_string(HEIGHT), "--fps", std::to_string(FPS), "--to", to};
    if (format == Format::Png)
        arguments.insert(arguments.end(), {"--audio", "--frames", out});
    else
        arguments.insert(arguments.end(), {"--codec", format == Format::Ffv1 ? "ffv1" : "h264", "--video", out});
    return arguments;
}

// Made once: what one whole run of the sequence writes, and a short earlier
// recording of each format, of other show times.
const std::string& made(const std::string& what, Format format, const std::string& from)
{
    static std::map<std::string, std::string> done;
    std::string& path = done[what];
    if (path.empty()) {
        path = scratch("made_" + what) + "/" + what;
        std::vector<std::string> arguments = recording(format, path, from == "0" ? "20s" : "61s");
        arguments.insert(arguments.end(), {"--from", from});
        int status = 0;
        const std::string output = runCommand(arguments, {}, 120s, status);
        EXPECT_EQ(status, 0) << what << ": " << output;
    }
    return path;
}

// Processes whose command line names `text`, zombies aside.
std::vector<std::string> processesNaming(const std::string& text)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(getpid()))
            continue;
        std::string command = readText(entry.path() / "cmdline");
        for (char& c : command)
            c = c == '\0' ? ' ' : c;
        const std::string stat = readText(entry.path() / "stat");
        const size_t close = stat.rfind(')');
        const bool zombie = close != std::string::npos && stat.compare(close + 2, 1, "Z") == 0;
        if (!zombie && command.find(text) != std::string::npos)
            found.push_back(pid + ": " + command);
    }
    return found;
}

// How the programs orphaned by the tool ended: this process adopts them
// (as a child subreaper), so an encoder left running would end later with
// a status of its own, and one that died with the tool ends by SIGKILL.
std::vector<std::string> orphanEndings()
{
    std::vector<std::string> endings;
    const auto end = Clock::now() + 500ms;
    for (;;) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid > 0)
            endings.push_back(WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                                  : "exit " + std::to_string(WEXITSTATUS(status)));
        else if (pid < 0 || Clock::now() >= end)
            return endings;
        else
            std::this_thread::sleep_for(5ms);
    }
}

// Bytes of a video's decoded pictures (RGB) or sound (16-bit stereo).
uint64_t decodedBytes(const std::string& video, bool pictures)
{
    int status = 0;
    const std::string out =
        runCommand(pictures ? std::vector<std::string>{"ffmpeg", "-v", "error", "-nostdin", "-i", video, "-map",
                                                       "0:v", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"}
                            : std::vector<std::string>{"ffmpeg", "-v", "error", "-nostdin", "-i", video, "-map",
                                                       "0:a", "-f", "s16le", "-"},
                   {}, 60s, status);
    return status == 0 ? out.size() : 0;
}

// Waits until the run has made some frames: 20 new PNG files, or 20 frames' worth in OUT.part.
bool waitForProgress(Format format, const std::string& out, fs::file_time_type since)
{
    const auto end = Clock::now() + 30s;
    while (Clock::now() < end) {
        size_t newFrames = 0;
        std::error_code error;
        if (format == Format::Png) {
            for (const auto& entry : fs::directory_iterator(out, error))
                newFrames += entry.path().filename().string().rfind("frame_", 0) == 0 &&
                             fs::last_write_time(entry.path(), error) > since;
        } else if (fs::file_size(out + ".part", error) > 20000 && !error) {
            newFrames = 20;
        }
        if (newFrames >= 20)
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

using StopCase = std::tuple<Ending, Format, bool>;

class CaptureStop : public ::testing::TestWithParam<StopCase> {
protected:
    static void SetUpTestSuite() { prctl(PR_SET_CHILD_SUBREAPER, 1); }
};

TEST_P(CaptureStop, KeepsTheEarlierRecordingLeavesNoEncoderNorLitterAndFinishesWhatItMade)
{
    const auto [ending, format, earlier] = GetParam();
    const bool png = format == Format::Png;
    if (!png && (findProgram("ffmpeg").empty() || findProgram("ffprobe").empty()))
        REAL_PART_MISSING() << "ffmpeg is not installed";
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    const std::string folder = scratch(name);
    const std::string out = folder + (png ? "/seq" : format == Format::Ffv1 ? "/out.mkv" : "/out.mp4");
    const std::string kind = png ? "png" : format == Format::Ffv1 ? "ffv1" : "h264";
    if (earlier)
        fs::copy(made("earlier_" + kind + (png ? "" : format == Format::Ffv1 ? ".mkv" : ".mp4"), format, "60s"), out,
                 fs::copy_options::recursive);
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
    ASSERT_TRUE(waitForProgress(format, out, started)) << readText(folder + "/stderr.txt");
    const int number = ending == Ending::Terminate ? SIGTERM : ending == Ending::Kill ? SIGKILL : SIGINT;
    const auto signalled = Clock::now();
    kill(ending == Ending::GroupInterrupt ? -tool.pid() : tool.pid(), number);
    const int status = tool.wait(20s);
    const double seconds = std::chrono::duration<double>(Clock::now() - signalled).count();
    const std::string err = readText(folder + "/stderr.txt");
    fs::remove(folder + "/stderr.txt");

    EXPECT_EQ(status, 128 + number) << err;
    const bool orphan = ending == Ending::Kill && !png;
    EXPECT_EQ(orphanEndings(), orphan ? std::vector<std::string>{"signal 9"} : std::vector<std::string>())
        << "the encoder did not end with the tool";
    EXPECT_EQ(processesNaming(folder), std::vector<std::string>()) << "left running";
    EXPECT_TRUE(fs::is_empty(temporary)) << "a temporary file is left in TMPDIR";
    fs::remove(temporary);

    if (ending != Ending::Kill) {
        EXPECT_LE(seconds, 1.0) << "from the signal to the exit";
        EXPECT_EQ(err.rfind("capture: stopped at frame ", 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find(" of " + std::to_string(FRAMES) + "; what was made is in " + out + (png ? "" : ".part")),
                  std::string::npos) << err;
    }

    if (!png) {
        // Only the earlier recording, if any, under the name, and the new one in its .part.
        EXPECT_EQ(fs::exists(out), earlier);
        if (earlier) {
            EXPECT_TRUE(readText(out) == before) << "the earlier recording changed";
        }
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        const std::string video = fs::path(out).filename();
        std::vector<std::string> expected = {video + ".part"};
        if (earlier)
            expected.insert(expected.begin(), video);
        EXPECT_EQ(names, expected);
        if (ending == Ending::Kill)
            return;
        int played = 0;
        EXPECT_EQ(runCommand({"ffmpeg", "-v", "error", "-nostdin", "-i", out + ".part", "-f", "null", "-"}, {}, 60s,
                             played),
                  "");
        EXPECT_EQ(played, 0);
        const uint64_t pictures = decodedBytes(out + ".part", true) / (WIDTH * HEIGHT * 3);
        const uint64_t sound = decodedBytes(out + ".part", false) / 4;
        EXPECT_GT(pictures, 10u);
        // Both end together, to within the sound's packets of 1024 samples.
        EXPECT_LT(sound, pictures * 44100 / FPS + 1024) << "more sound than pictures";
        EXPECT_GT(sound + 1024, pictures * 44100 / FPS) << "the sound ends before the pictures";
        return;
    }

    // Every file with a frame's name is whole: the new run's or the earlier one's.
    const std::string& whole = made("whole_png", Format::Png, "0");
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename();
        if (name == "audio.wav")
            continue;
        ASSERT_EQ(name.rfind("frame_", 0), 0u) << name << " left in the sequence";
        const std::string bytes = readText(entry.path());
        EXPECT_TRUE(bytes == readText(whole + "/" + name) ||
                    (earlier && bytes == readText(made("earlier_png", Format::Png, "60s") + "/" + name)))
            << name << " is neither a whole frame of this run nor the earlier one";
    }
    if (earlier)
        return;
    std::vector<std::string> resume = recording(format, out);
    resume.push_back("--resume");
    int resumed = 0;
    const std::string output = runCommand(resume, {}, 120s, resumed);
    ASSERT_EQ(resumed, 0) << output;
    int differs = 0;
    EXPECT_EQ(runCommand({"diff", "-r", whole, out}, {}, 60s, differs), "");
    EXPECT_EQ(differs, 0) << "the resumed sequence differs from one run";
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
