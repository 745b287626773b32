// A recording split into segments, rendered apart and joined: the same
// decoded pictures, PNG files and sound as one run, whether the segments
// are run one by one, by GNU parallel or by a real Slurm job array (also
// one cancelled part way and submitted again); the split's pieces tile the
// range; bad splits are refused before any frame, and a join with a segment
// missing or of another kind writes nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "capture_segments.h"
#include "support/real_parts.h"
#include "support/slurm_cluster.h"
#include "support/x_session.h"

namespace {

using namespace std::chrono_literals;

const std::string CAPTURE = QUILLMOOR_BINARY_DIR "/quillmoor-capture";
const std::string CLUSTER_TOOLS = QUILLMOOR_SOURCE_DIR "/tools/cluster/";

std::string readText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string scratch(const std::string& name)
{
    const std::string folder = ::testing::TempDir() + "segments_" + name + "_" + std::to_string(getpid());
    int status = 0;
    runCommand({"sh", "-c", "rm -rf \"$0\" && mkdir -p \"$0\"", folder}, {}, 10s, status);
    return folder;
}

struct Ran {
    int status;
    std::string output;  // stdout and stderr
};

Ran capture(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), CAPTURE);
    Ran ran;
    ran.output = runCommand(arguments, {}, 300s, ran.status);
    return ran;
}

// The lines of `output` other than the engine's note that it plays silently.
std::vector<std::string> complaints(const std::string& output)
{
    std::vector<std::string> lines;
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);)
        if (line.rfind("audio: no audio output", 0) != 0)
            lines.push_back(line);
    return lines;
}

// Decoded pictures (one MD5 per frame) or sound (16-bit PCM) of a video.
std::string decoded(const std::string& video, bool pictures)
{
    int status = 0;
    const std::string out =
        runCommand(pictures ? std::vector<std::string>{"ffmpeg", "-v", "error", "-nostdin", "-i", video, "-map",
                                                       "0:v", "-f", "framemd5", "-"}
                            : std::vector<std::string>{"ffmpeg", "-v", "error", "-nostdin", "-i", video, "-map",
                                                       "0:a", "-f", "s16le", "-"},
                   {}, 60s, status);
    if (status != 0)
        return "ffmpeg failed: " + out;
    if (!pictures)
        return out;
    std::string frames;  // without the header, which names the input
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind('#', 0) != 0)
            frames += line + "\n";
    return frames;
}

bool haveFfmpeg()
{
    int status = 0;
    runCommand({"sh", "-c", "command -v ffmpeg && command -v ffprobe"}, {}, 5s, status);
    return status == 0;
}

// 320x180 at 30 fps, lossless, over a stretch of the show.
std::vector<std::string> recording(const std::string& from, const std::string& to)
{
    return {"--quiet", "--size", "320x180", "--fps", "30", "--from", from, "--to", to, "--codec", "ffv1"};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One run's FFV1 video and PNG sequence with audio.wav, made once per range.
const std::string& singleRun(const std::string& from, const std::string& to)
{
    static std::map<std::string, std::string> folders;
    std::string& folder = folders[from + "-" + to];
    if (folder.empty()) {
        folder = scratch("single_" + from + "_" + to);
        const Ran ran = capture(recording(from, to) + std::vector<std::string>{"--video", folder + "/whole.mkv",
                                                                                "--frames", folder + "/seq", "--audio"});
        EXPECT_EQ(ran.status, 0) << ran.output;
    }
    return folder;
}

// `joined` decodes to exactly the single run's pictures and sound.
void expectSameAsSingleRun(const std::string& joined, const std::string& from, const std::string& to)
{
    const std::string single = singleRun(from, to) + "/whole.mkv";
    const std::string pictures = decoded(single, true);
    ASSERT_GT(pictures.size(), 100u) << pictures;
    EXPECT_EQ(decoded(joined, true), pictures) << joined;
    const std::string sound = decoded(single, false);
    ASSERT_GT(sound.size(), 1000u);
    EXPECT_TRUE(decoded(joined, false) == sound) << joined << ": the sound differs from the single run's";
}

}  // namespace

TEST(SegmentSplit, PiecesTileTheRangeAndDifferByAtMostOneFrame)
{
    for (const auto& [first, frames, count] : {std::tuple<uint64_t, uint64_t, unsigned>{570, 60, 3},
                                               {570, 60, 7}, {0, 9180, 64}, {17, 5, 5}, {3, 1000003, 999}}) {
        uint64_t next = first, smallest = frames, largest = 0;
        for (unsigned k = 0; k < count; ++k) {
            const FrameSpan piece = segmentSpan({first, first + frames}, k, count);
            ASSERT_EQ(piece.first, next) << k << "/" << count;
            next = piece.end;
            smallest = std::min(smallest, piece.count());
            largest = std::max(largest, piece.count());
        }
        EXPECT_EQ(next, first + frames) << count;
        EXPECT_GE(smallest, 1u);
        EXPECT_LE(largest - smallest, 1u) << count;
    }
}

class SegmentsJoin : public ::testing::TestWithParam<std::tuple<unsigned, const char*, const char*>> {};

// Each segment writes its piece as FFV1 and into one shared PNG sequence;
// the join, given the segments in reverse order, equals the single run.
TEST_P(SegmentsJoin, EqualsOneRunPictureForPictureAndSampleForSample)
{
    if (!haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    const auto [count, from, to] = GetParam();
    const std::string folder = scratch("join_" + std::to_string(count));
    std::vector<std::string> segments;
    for (unsigned k = 0; k < count; ++k) {
        const std::string video = folder + "/segment_" + std::to_string(k) + ".mkv";
        const Ran ran = capture(recording(from, to) + std::vector<std::string>{
                                    "--segment", std::to_string(k) + "/" + std::to_string(count), "--video", video,
                                    "--frames", folder + "/seq", "--audio"});
        ASSERT_EQ(ran.status, 0) << ran.output;
        segments.insert(segments.begin(), video);
    }
    const Ran join = capture(std::vector<std::string>{"--quiet", "--join", folder + "/joined.mkv"} + segments);
    ASSERT_EQ(join.status, 0) << join.output;
    EXPECT_TRUE(complaints(join.output).empty()) << join.output;
    expectSameAsSingleRun(folder + "/joined.mkv", from, to);

    int status = 0;
    const std::string differences =
        runCommand({"diff", "-r", singleRun(from, to) + "/seq", folder + "/seq"}, {}, 60s, status);
    EXPECT_EQ(status, 0) << "the segments' PNG sequence differs from the single run's:\n" << differences;
}

// 60 frames in 3 and in 7 (not a multiple); 39 frames in 4.
INSTANTIATE_TEST_SUITE_P(Splits, SegmentsJoin,
                         ::testing::Values(std::make_tuple(3u, "19s", "21s"), std::make_tuple(7u, "19s", "21s"),
                                           std::make_tuple(4u, "19s", "20300ms")));

TEST(SegmentsOnAScheduler, GnuParallelOnThisMachineGivesTheSingleRun)
{
    if (!haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    int status = 0;
    runCommand({"sh", "-c", "command -v parallel"}, {}, 5s, status);
    if (status != 0)
        REAL_PART_MISSING() << "GNU parallel is not installed";
    const std::string joined = scratch("parallel") + "/joined.mkv";
    const std::string output =
        runCommand({CLUSTER_TOOLS + "parallel_record.sh", "--sshlogin", ":", "--jobs", "2", "--capture", CAPTURE,
                    "--size", "320x180", "--fps", "30", "--from", "19s", "--to", "21s", "--segments", "3", joined},
                   {}, 300s, status);
    ASSERT_EQ(status, 0) << output;
    expectSameAsSingleRun(joined, "19s", "21s");
}

TEST(SegmentsOnAScheduler, SlurmArrayAndJoinJobGiveTheSingleRun)
{
    if (!haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    const SlurmCluster slurm;
    if (!slurm.ok())
        REAL_PART_MISSING() << slurm.why();
    const std::string joined = scratch("slurm") + "/joined.mkv";
    int status = 0;
    const std::string submitted =
        runCommand({CLUSTER_TOOLS + "slurm_record.sh", "--capture", CAPTURE, "--size", "320x180", "--fps", "30",
                    "--from", "19s", "--to", "21s", "--segments", "3", joined},
                   slurm.environment(), 60s, status);
    ASSERT_EQ(status, 0) << submitted;
    std::istringstream ids(submitted);
    std::string array, join;
    ASSERT_TRUE(ids >> array >> join) << submitted;
    ASSERT_TRUE(slurm.waitForJobs({array, join}, 300s)) << slurm.logs();
    EXPECT_EQ(slurm.jobState(join), "COMPLETED") << readText(joined + ".segments/join.log") << slurm.logs();
    expectSameAsSingleRun(joined, "19s", "21s");
}

// scancel part way (SIGTERM to every process of the tasks) leaves the
// unfinished segments in their .part; the same submission again renders only
// those, keeps the finished ones as they are, and joins to the single run.
TEST(SegmentsOnAScheduler, SlurmRecordingCancelledAndSubmittedAgainGivesTheSingleRun)
{
    if (!haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    const SlurmCluster slurm;
    if (!slurm.ok())
        REAL_PART_MISSING() << slurm.why();
    const std::string joined = scratch("slurm_cancel") + "/joined.mkv";
    const std::string work = joined + ".segments";
    const std::vector<std::string> submit = {CLUSTER_TOOLS + "slurm_record.sh", "--capture", CAPTURE, "--size",
                                             "320x180", "--fps", "30", "--from", "19s", "--to", "21s",
                                             "--segments", "4", joined};
    auto submitted = [&] {
        int status = 0;
        const std::string ids = runCommand(submit, slurm.environment(), 60s, status);
        EXPECT_EQ(status, 0) << ids;
        std::istringstream words(ids);
        std::vector<std::string> jobs(2);
        words >> jobs[0] >> jobs[1];
        return jobs;
    };
    auto finished = [&](int k) {
        char name[32];
        std::snprintf(name, sizeof name, "/segment_%04d.mkv", k);
        struct stat info;
        return stat((work + name).c_str(), &info) == 0 ? info.st_mtim.tv_sec * 1000000000ll + info.st_mtim.tv_nsec
                                                       : 0ll;
    };

    // Two tasks at a time on this node: cancelled as the first ends, the
    // last two have not finished.
    const std::vector<std::string> first = submitted();
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (finished(0) == 0 && finished(1) == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    int status = 0;
    runCommand({"scancel", first[0], first[1]}, slurm.environment(), 20s, status);
    ASSERT_TRUE(slurm.waitForJobs(first, 120s)) << slurm.logs();
    std::vector<long long> kept;
    for (int k = 0; k < 4; ++k)
        kept.push_back(finished(k));
    ASSERT_NE(std::count(kept.begin(), kept.end(), 0ll), 0) << "every segment finished before the cancel";
    EXPECT_TRUE(readText(joined).empty()) << "joined although cancelled";

    const std::vector<std::string> again = submitted();
    ASSERT_TRUE(slurm.waitForJobs(again, 300s)) << slurm.logs();
    EXPECT_EQ(slurm.jobState(again[1]), "COMPLETED") << readText(work + "/join.log") << slurm.logs();
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(kept[k] == 0 || finished(k) == kept[k]) << "segment " << k << " was whole and was rendered again";
    expectSameAsSingleRun(joined, "19s", "21s");
}

// Refused at the command line: status 2, one line naming the fault, and no
// output made, so no frame was drawn.
TEST(SegmentsBadInput, IsOneLineAndStatusTwoBeforeAnyFrame)
{
    const std::string folder = scratch("bad");
    const std::string video = folder + "/piece.mkv";
    const std::vector<std::string> range = {"--fps", "30", "--from", "19s", "--to", "21s", "--codec", "ffv1",
                                            "--video", video};
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {range + std::vector<std::string>{"--segment", "3/3"}, "--segment 3/3"},
        {range + std::vector<std::string>{"--segment", "0/0"}, "--segment 0/0"},
        {range + std::vector<std::string>{"--segment", "0/61"}, "only 60 frame(s)"},
        {range + std::vector<std::string>{"--segment", "-1/3"}, "--segment -1/3"},
        {range + std::vector<std::string>{"--segment", "2"}, "--segment 2"},
        {range + std::vector<std::string>{"--segment", "1/2", "--still", "20s"}, "--still"},
        {{"--segment", "0/2", "--still", "20s"}, "--segment"},
        {{"--join", folder + "/out.avi", video}, "out.avi"},
        {{"--join", folder + "/out.mkv"}, "--join"},
        {{"--join", folder + "/out.mkv", "--fps", "30", video}, "--join"},
    };
    for (const auto& [arguments, named] : cases) {
        const Ran ran = capture(arguments);
        const std::string shown = ::testing::PrintToString(arguments);
        EXPECT_EQ(ran.status, 2) << shown;
        ASSERT_EQ(complaints(ran.output).size(), 1u) << shown << ": " << ran.output;
        EXPECT_NE(ran.output.find(named), std::string::npos) << shown << ": " << ran.output;
    }
    int status = 0;
    EXPECT_EQ(runCommand({"ls", "-A", folder}, {}, 5s, status), "") << "a refused run made files";
}

// Segments of 6 frames at 64x36 and 10 fps; each faulty set is refused with
// one line naming the segment, status 1, and no joined file, not even in part.
TEST(SegmentsBadInput, JoinRefusesAMissingOrMismatchedSegmentAndWritesNothing)
{
    if (!haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    const std::string folder = scratch("refused");
    auto piece = [&](const std::string& name, const std::string& size, const std::string& fps,
                     const std::string& segment) {
        const std::string video = folder + "/" + name;
        const Ran ran = capture({"--quiet", "--size", size, "--fps", fps, "--from", "20s", "--to", "20600ms",
                                 "--segment", segment, "--video", video});
        EXPECT_EQ(ran.status, 0) << ran.output;
        return video;
    };
    const std::string a0 = piece("a0.mp4", "64x36", "10", "0/2"), a1 = piece("a1.mp4", "64x36", "10", "1/2");
    const std::string wide = piece("wide.mp4", "96x36", "10", "1/2");
    const std::string faster = piece("faster.mp4", "64x36", "15", "1/2");
    int status = 0;
    const std::string cut = folder + "/cut.mp4", plain = folder + "/plain.mp4";
    runCommand({"ffmpeg", "-v", "error", "-i", a1, "-frames:v", "2", "-c", "copy", "-movflags",
                "use_metadata_tags", cut},
               {}, 30s, status);
    runCommand({"ffmpeg", "-v", "error", "-i", a1, "-c", "copy", "-map_metadata", "-1", plain}, {}, 30s, status);

    const std::string out = folder + "/joined.mp4";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{a0}, "segment 1/2"},
        {{a0, a1, a1}, "segment 1/2 again"},
        {{a0, folder + "/none.mp4"}, "none.mp4: No such file"},
        {{a0, wide}, "wide.mp4: segment 1/2 is 96x36"},
        {{a0, faster}, "faster.mp4: segment 1/2 of another recording"},
        {{a0, cut}, "cut.mp4: segment 1/2 holds 2 frame(s), not the 3"},
        {{a0, plain}, "plain.mp4: not a segment"},
    };
    for (const auto& [segments, named] : cases) {
        const Ran ran = capture(std::vector<std::string>{"--join", out} + segments);
        EXPECT_EQ(ran.status, 1) << named;
        ASSERT_EQ(complaints(ran.output).size(), 1u) << named << ": " << ran.output;
        EXPECT_NE(ran.output.find(named), std::string::npos) << ran.output;
        EXPECT_TRUE(readText(out).empty() && readText(out + ".part").empty()) << named;
    }

    // The same pieces, complete, join: H.264 copied as it is, 6 frames.
    const Ran join = capture({"--quiet", "--join", out, a1, a0});
    ASSERT_EQ(join.status, 0) << join.output;
    const std::string probe = runCommand({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                          "stream=codec_name,nb_read_frames", "-of", "csv", out},
                                         {}, 30s, status);
    EXPECT_EQ(probe.rfind("stream,h264,6\nstream,aac,", 0), 0u) << probe;
}
