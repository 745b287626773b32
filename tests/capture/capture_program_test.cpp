// The quillmoor-capture program as a user runs it: the whole show's end
// state, identical stills from identical options whether skipped frames are
// drawn or not, a short video with sound, and one-line errors.
#include <gtest/gtest.h>

#include <unistd.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture_output.h"

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string scratchFolder(const std::string& name)
{
    const std::string folder = ::testing::TempDir() + "capture_" + name + "_" + std::to_string(getpid());
    std::system(("rm -rf " + shellQuote(folder) + " && mkdir -p " + shellQuote(folder)).c_str());
    return folder;
}

// Runs the program with `arguments` (already quoted where needed), after
// `environment` assignments such as "PATH=/nowhere".
ProgramRun runProgram(const std::string& arguments, const std::string& environment = "")
{
    // Per test, so tests running side by side keep their own output.
    const std::string stem = ::testing::TempDir() + "capture_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                             std::to_string(getpid());
    const std::string out = stem + "_stdout.txt";
    const std::string err = stem + "_stderr.txt";
    const std::string command = environment + " " + shellQuote(std::string(QUILLMOOR_BINARY_DIR) +
                                                                "/quillmoor-capture") +
                                " " + arguments + " >" + shellQuote(out) + " 2>" + shellQuote(err);
    ProgramRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readText(out);
    run.err = readText(err);
    return run;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

// stderr lines other than the engine's note that it plays silently.
std::vector<std::string> complaints(const std::string& err)
{
    std::vector<std::string> result;
    for (const std::string& line : lines(err))
        if (line.rfind("audio: no audio output", 0) != 0)
            result.push_back(line);
    return result;
}

}  // namespace

TEST(CaptureProgram, WholeShowAtThirtyFpsEndsInTheShowsFinalState)
{
    const ProgramRun run = runProgram("--fps 30 --size 160x90 --report-state --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(complaints(run.err).empty()) << run.err;
    // The loop's last frame is the first at 153 000 ms; at a whole frame rate
    // it falls exactly there, still inside the closing fade (drawn at full
    // black), so that row is not yet marked done.
    EXPECT_EQ(run.out,
              "frames 4591\n"
              "timeMs 153000\n"
              "particleCount 900\n"
              "greetIndex 9\n"
              "fadeDone 1 0\n");
}

TEST(CaptureProgram, SameOptionsGiveTheSameStillsWhetherSkippedFramesAreDrawnOrNot)
{
    const std::string skipA = scratchFolder("skip_a");
    const std::string skipB = scratchFolder("skip_b");
    const std::string drawn = scratchFolder("drawn");
    const std::string common = "--fps 10 --size 160x90 --still 2500,15s --quiet --out ";
    ASSERT_EQ(runProgram(common + shellQuote(skipA)).exitCode, 0);
    ASSERT_EQ(runProgram(common + shellQuote(skipB)).exitCode, 0);
    const ProgramRun everyFrame = runProgram(common + shellQuote(drawn) + " --draw-every-frame");
    ASSERT_EQ(everyFrame.exitCode, 0) << everyFrame.err;
    for (const char* name : {"/still_002500.png", "/still_015000.png"}) {
        const std::string a = readText(skipA + name);
        ASSERT_GT(a.size(), 100u) << name;
        EXPECT_EQ(a.substr(1, 3), "PNG");
        EXPECT_TRUE(a == readText(skipB + name)) << name << " differs between two identical runs";
        EXPECT_TRUE(a == readText(drawn + name)) << name << " differs when every frame is drawn";
    }
    EXPECT_NE(readText(skipA + "/still_002500.png"), readText(skipA + "/still_015000.png"));
}

TEST(CaptureProgram, ShortVideoIsH264WithTheSoundtrack)
{
    if (findOnPath("ffmpeg").empty() || findOnPath("ffprobe").empty())
        GTEST_SKIP() << "ffmpeg is not installed";
    const std::string folder = scratchFolder("video");
    const std::string video = folder + "/clip.mp4";
    const ProgramRun run = runProgram("--fps 30 --size 160x90 --from 20s --to 22000 --quiet --video " + shellQuote(video));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string probe = "ffprobe -v error -show_entries stream=codec_type,codec_name,pix_fmt,duration,nb_frames "
                              "-of default=noprint_wrappers=1 " + shellQuote(video);
    std::FILE* pipe = popen(probe.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string report;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        report += buffer;
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_NE(report.find("codec_name=h264\ncodec_type=video\npix_fmt=yuv420p"), std::string::npos) << report;
    EXPECT_NE(report.find("nb_frames=60\n"), std::string::npos) << report;
    EXPECT_NE(report.find("codec_type=audio"), std::string::npos) << report;
    std::vector<double> durations;
    for (const std::string& line : lines(report))
        if (line.rfind("duration=", 0) == 0)
            durations.push_back(std::atof(line.c_str() + 9));
    ASSERT_EQ(durations.size(), 2u) << report;
    for (double seconds : durations)
        EXPECT_NEAR(seconds, 2.0, 0.05) << report;
}

TEST(CaptureProgram, FailuresAreOneLineAndANonZeroStatus)
{
    const ProgramRun badOption = runProgram("--fps sixty --still 5");
    EXPECT_EQ(badOption.exitCode, 2);
    ASSERT_EQ(lines(badOption.err).size(), 1u) << badOption.err;
    EXPECT_NE(badOption.err.find("--fps sixty"), std::string::npos) << badOption.err;

    const std::string notAFolder = scratchFolder("not_a_folder") + "/file";
    std::ofstream(notAFolder) << "x";
    const ProgramRun unwritable = runProgram("--still 5 --quiet --out " + shellQuote(notAFolder));
    EXPECT_EQ(unwritable.exitCode, 1);
    ASSERT_EQ(complaints(unwritable.err).size(), 1u) << unwritable.err;
    EXPECT_NE(unwritable.err.find(notAFolder + ": not a folder"), std::string::npos) << unwritable.err;

    const ProgramRun missingFolder = runProgram("--still 5 --quiet --out /nonexistent/stills");
    EXPECT_EQ(missingFolder.exitCode, 1);
    EXPECT_NE(missingFolder.err.find("/nonexistent/stills: No such file"), std::string::npos) << missingFolder.err;

    const ProgramRun noEncoder = runProgram("--video " + shellQuote(scratchFolder("enc") + "/a.mp4") + " --quiet",
                                            "PATH=/nonexistent");
    EXPECT_EQ(noEncoder.exitCode, 1);
    ASSERT_EQ(complaints(noEncoder.err).size(), 1u) << noEncoder.err;
    EXPECT_NE(noEncoder.err.find("ffmpeg"), std::string::npos) << noEncoder.err;

    const ProgramRun help = runProgram("--help");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--still", "--video", "--fps", "--size", "--out", "--from", "--to",
                               "--report-state", "--draw-every-frame", "--quiet"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}
