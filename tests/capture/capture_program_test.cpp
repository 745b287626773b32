// The quillmoor-capture program as a user runs it: the whole show's end
// state, identical stills from identical options whether skipped frames are
// drawn or not, a short video with sound, lossless FFV1 and PNG sequences
// that equal the stills of the same frames, sound cut to the same stretch in
// every format, content found from where the program is, and one-line errors.
#include <gtest/gtest.h>

#include <unistd.h>
#include <sys/wait.h>

#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "audio/audio_decode.h"
#include "capture_output.h"
#include "platform/process.h"
#include "support/real_parts.h"
#include "support/small_disk.h"

namespace {

// Quotes `text` for /bin/sh.
std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

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

// What a command writes to stdout; empty when it fails.
std::string commandOutput(const std::string& command)
{
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return std::string();
    std::string out;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, got);
    return pclose(pipe) == 0 ? out : std::string();
}

// The pictures of an image or video file as ffmpeg decodes them: RGB, 8 bits,
// every frame one after the other.
std::string decodedRgb(const std::string& path)
{
    return commandOutput("ffmpeg -v error -nostdin -i " + shellQuote(path) + " -f rawvideo -pix_fmt rgb24 -");
}

// The sound of a media file as ffmpeg decodes it: 16-bit little-endian PCM.
std::string decodedPcm(const std::string& path)
{
    return commandOutput("ffmpeg -v error -nostdin -i " + shellQuote(path) + " -map 0:a -f s16le -");
}

bool haveFfmpeg()
{
    return !findProgram("ffmpeg").empty() && !findProgram("ffprobe").empty();
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

// stderr lines: a run that goes well says nothing (with --quiet) but its
// errors; the capture tool plays no sound, so it has nothing to say of it.
std::vector<std::string> complaints(const std::string& err)
{
    return lines(err);
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
    if (!haveFfmpeg())
        REAL_PART_MISSING() << "ffmpeg is not installed";
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

// Stills of the frames 20.0 s to 20.4 s at 10 fps (one run), against the same
// frames as an FFV1 video and as a PNG sequence (one run each): every pixel
// the same, and the sound in the video equal to the sequence's audio.wav.
TEST(CaptureProgram, FfvOneVideoAndPngSequenceEqualTheStillsOfTheSameFrames)
{
    if (!haveFfmpeg())
        REAL_PART_MISSING() << "ffmpeg is not installed";
    const std::string folder = scratchFolder("lossless");
    // FFV1 keeps RGB whole, so odd sizes work too.
    const std::string common = "--fps 10 --size 161x91 --quiet ";
    const std::string range = " --from 20s --to 20450ms";
    ASSERT_EQ(runProgram(common + "--still 20000,20100,20200,20300,20400 --out " + shellQuote(folder)).exitCode, 0);
    const ProgramRun video = runProgram(common + "--codec ffv1 --video " + shellQuote(folder + "/m.mkv") + range);
    ASSERT_EQ(video.exitCode, 0) << video.err;
    const ProgramRun sequence = runProgram(common + "--audio --frames " + shellQuote(folder + "/seq") + range);
    ASSERT_EQ(sequence.exitCode, 0) << sequence.err;

    const std::string probe = commandOutput("ffprobe -v error -show_entries stream=codec_name,pix_fmt -of compact " +
                                            shellQuote(folder + "/m.mkv"));
    EXPECT_NE(probe.find("codec_name=ffv1|pix_fmt=bgr0"), std::string::npos) << probe;
    EXPECT_NE(probe.find("codec_name=pcm_s16le"), std::string::npos) << probe;

    const size_t frameBytes = 161 * 91 * 3;
    const std::string videoFrames = decodedRgb(folder + "/m.mkv");
    ASSERT_EQ(videoFrames.size(), 5 * frameBytes);
    for (int i = 0; i < 5; ++i) {
        char still[32], numbered[32];
        std::snprintf(still, sizeof still, "/still_020%d00.png", i);
        std::snprintf(numbered, sizeof numbered, "/seq/frame_%06d.png", i);
        const std::string stillPixels = decodedRgb(folder + still);
        ASSERT_EQ(stillPixels.size(), frameBytes) << still;
        EXPECT_TRUE(videoFrames.compare(i * frameBytes, frameBytes, stillPixels) == 0)
            << "video frame " << i << " differs from " << still;
        EXPECT_TRUE(readText(folder + numbered) == readText(folder + still)) << numbered << " differs from " << still;
    }
    EXPECT_TRUE(readText(folder + "/seq/frame_000005.png").empty()) << "the frame at --to is not written";
    EXPECT_NE(readText(folder + "/still_020000.png"), readText(folder + "/still_020400.png"));

    const std::string videoSound = decodedPcm(folder + "/m.mkv");
    const std::string wav = readText(folder + "/seq/audio.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(videoSound.size(), 4u * 22050) << "half a second of 44.1 kHz stereo";
    EXPECT_TRUE(videoSound == wav.substr(44)) << "the video's sound differs from the sequence's audio.wav";
}

// audio.wav starts at the first written frame's show time and lasts as long
// as the frames do: the soundtrack as the show decodes it, from there.
TEST(CaptureProgram, SequenceSoundIsTheSoundtrackFromTheFirstWrittenFrame)
{
    const std::string folder = scratchFolder("sound");
    // At 30 fps the first frame at or after 7 s starts at 7000 ms; 45 frames
    // end at 8500 ms.
    const ProgramRun run = runProgram("--fps 30 --size 32x18 --quiet --audio --from 7s --to 8490ms --frames " +
                                      shellQuote(folder));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(readText(folder + "/frame_000044.png").empty());
    EXPECT_TRUE(readText(folder + "/frame_000045.png").empty());

    DecodedAudio soundtrack;
    std::string reason;
    ASSERT_TRUE(decodeAudioFile(QUILLMOOR_BINARY_DIR "/Data/music.mp3", AudioKind::Stream, soundtrack, reason)) << reason;
    ASSERT_EQ(soundtrack.rate, 44100u);
    ASSERT_EQ(soundtrack.channels, 2);

    const std::string wav = readText(folder + "/audio.wav");
    ASSERT_EQ(wav.size(), 44u + 4 * 66150) << "1.5 s of 16-bit stereo";
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    auto sampleAt = [&](size_t index) {
        return static_cast<int16_t>(static_cast<uint8_t>(wav[44 + 2 * index]) |
                                    static_cast<uint8_t>(wav[45 + 2 * index]) << 8);
    };
    const size_t first = 7 * 44100 * 2;  // interleaved samples before 7 s
    double biggest = 0.0;
    for (size_t i = 0; i < 2 * 66150; ++i) {
        const float expected = soundtrack.samples[first + i];
        EXPECT_NEAR(sampleAt(i) / 32767.0, expected, 1.0 / 32767) << "sample " << i;
        if (std::abs(sampleAt(i) / 32767.0 - expected) > 1.0 / 32767)
            break;
        biggest = std::max(biggest, std::abs(double(expected)));
    }
    EXPECT_GT(biggest, 0.05) << "the stretch is not silent, so the comparison means something";
}

TEST(CaptureProgram, BadFormatOptionsAreOneLineAndStatusTwo)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--video a.mp4 --codec vp9", "--codec vp9"},
        {"--video a.mp4 --crf 60", "--crf 60"},
        {"--video a.mp4 --preset turbo", "--preset turbo"},
        {"--video a.mkv --codec ffv1 --crf 10", "--crf"},
        {"--still 5 --audio", "--audio"},
        {"--video a.mp4 --codec ffv1", ".mkv"},
    };
    for (const auto& [arguments, named] : cases) {
        const ProgramRun run = runProgram(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        ASSERT_EQ(lines(run.err).size(), 1u) << arguments << ": " << run.err;
        EXPECT_NE(run.err.find(named), std::string::npos) << arguments << ": " << run.err;
    }
}

// An ffmpeg without the encoder a video needs is found out before any frame:
// one line, status 1, and nothing written.
TEST(CaptureProgram, MissingEncoderIsOneLineBeforeAnyWork)
{
    const std::string folder = scratchFolder("encoders");
    const std::string tools = folder + "/bin";
    std::system(("mkdir -p " + shellQuote(tools)).c_str());
    std::ofstream(tools + "/ffmpeg") << "#!/bin/sh\n"
                                        "echo ' V....D libx264              libx264 H.264'\n"
                                        "echo ' A....D aac                  AAC'\n";
    std::system(("chmod +x " + shellQuote(tools + "/ffmpeg")).c_str());
    const ProgramRun run = runProgram("--codec ffv1 --video " + shellQuote(folder + "/m.mkv") + " --frames " +
                                          shellQuote(folder + "/seq") + " --quiet",
                                      "PATH=" + shellQuote(tools));
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(complaints(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find("has no ffv1"), std::string::npos) << run.err;
    EXPECT_NE(std::system(("test -e " + shellQuote(folder + "/seq")).c_str()), 0) << "work began before the check";
    EXPECT_TRUE(readText(folder + "/m.mkv").empty());
}

// An output that is a folder is refused before any work; a disk that fills
// up ends the run with one line, and no name the run writes is left holding
// part of a file: a video's .part is removed, a frame appears whole or not.
TEST(CaptureProgram, OutputsThatCannotBeFinishedAreOneLineAndLeaveNothingHalfWritten)
{
    if (!haveFfmpeg())
        REAL_PART_MISSING() << "ffmpeg is not installed";
    const SmallDisk disk(384 << 10);
    if (!disk.ok())
        REAL_PART_MISSING() << disk.why();
    const std::string d = disk.folder();
    std::filesystem::create_directory(d + "/folder.mkv");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--codec ffv1 --video " + shellQuote(d + "/folder.mkv"), d + "/folder.mkv: is a folder"},
        {"--codec ffv1 --video " + shellQuote(d + "/full.mkv"), d + "/full.mkv.part removed"},
        {"--frames " + shellQuote(d + "/seq"), "No space left on device; nothing was left under that name"},
    };
    for (const auto& [output, named] : cases) {
        const ProgramRun run = runProgram("--quiet --fps 30 --size 320x180 --to 10s " + output);
        EXPECT_EQ(run.exitCode, 1) << output;
        ASSERT_EQ(lines(run.err).size(), 1u) << output << ": " << run.err;
        EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(d)) {
        const std::string name = entry.path().filename();
        names.push_back(name);
        EXPECT_TRUE(name.rfind("frame_", 0) != 0 || isWholePng(entry.path(), 320, 180)) << name << " is half-written";
    }
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& name) { return name.rfind("frame_", 0) != 0; }),
              2)
        << "only folder.mkv and seq besides the frames: " << ::testing::PrintToString(names);
    EXPECT_GT(names.size(), 2u) << "the sequence made no frame before the disk was full";
}

// A copy of the program laid out as installed under a prefix finds the
// content in <prefix>/share/games/quillmoor from any working folder; moved
// away, one line says where it looked; --data names it outright.
TEST(CaptureProgram, FindsTheContentUnderItsOwnPrefixOrWhereDataSays)
{
    const std::string prefix = scratchFolder("prefix");
    const std::string content = prefix + "/share/games/quillmoor";
    const std::string program = prefix + "/bin/quillmoor-capture";
    ASSERT_EQ(std::system(("mkdir -p " + shellQuote(prefix + "/bin") + " " + shellQuote(content) + " && cp " +
                           shellQuote(QUILLMOOR_BINARY_DIR "/quillmoor-capture") + " " + shellQuote(program) +
                           " && cp " + shellQuote(QUILLMOOR_BINARY_DIR "/Data") + "/* " + shellQuote(content))
                              .c_str()),
              0);
    const std::string elsewhere = scratchFolder("elsewhere");
    auto run = [&](const std::string& arguments) {
        const std::string err = elsewhere + "/stderr.txt";
        const int status = std::system(("cd " + shellQuote(elsewhere) + " && " +
                                        shellQuote(program) + " --still 58s --size 32x18 --fps 10 --quiet " +
                                        arguments + " 2>" + shellQuote(err))
                                           .c_str());
        return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(err));
    };

    auto [status, err] = run("");
    EXPECT_EQ(status, 0) << err;
    EXPECT_TRUE(complaints(err).empty()) << err;
    EXPECT_GT(readText(elsewhere + "/still_058000.png").size(), 100u);

    const std::string moved = prefix + "/moved";
    ASSERT_EQ(std::rename(content.c_str(), moved.c_str()), 0);
    std::remove((elsewhere + "/still_058000.png").c_str());
    std::tie(status, err) = run("");
    EXPECT_EQ(status, 1);
    ASSERT_EQ(complaints(err).size(), 1u) << err;
    EXPECT_NE(err.find(prefix + "/bin/Data"), std::string::npos) << err;
    EXPECT_NE(err.find(content), std::string::npos) << err;
    EXPECT_TRUE(readText(elsewhere + "/still_058000.png").empty());

    std::tie(status, err) = run("--data " + shellQuote(moved));
    EXPECT_EQ(status, 0) << err;
    EXPECT_TRUE(complaints(err).empty()) << err;
    EXPECT_GT(readText(elsewhere + "/still_058000.png").size(), 100u);

    std::tie(status, err) = run("--data " + shellQuote(prefix + "/nowhere"));
    EXPECT_EQ(status, 1);
    ASSERT_EQ(complaints(err).size(), 1u) << err;
    EXPECT_NE(err.find(prefix + "/nowhere"), std::string::npos) << err;
}

TEST(CaptureProgram, TheReadmesStillsExampleWorksAsWrittenFromAFreshFolder)
{
    // The README runs it in the build folder; from an empty folder with the
    // program's full path the stills' folder is just as new.
    std::string example;
    std::istringstream readme(readText(QUILLMOOR_SOURCE_DIR "/README.md"));
    for (std::string line; example.empty() && std::getline(readme, line);)
        if (line.rfind("./quillmoor-capture --still", 0) == 0)
            example = line.substr(std::string("./quillmoor-capture").size(), line.find('#') - line.find(' '));
    ASSERT_FALSE(example.empty()) << "no stills example in the README";
    ASSERT_NE(example.find("--out shots"), std::string::npos) << example;

    const std::string folder = scratchFolder("readme");
    const ProgramRun run = runProgram(example, "cd " + shellQuote(folder) + " &&");
    ASSERT_EQ(run.exitCode, 0) << example << "\n" << run.err;
    // Only the summary: no word of sound.
    ASSERT_EQ(lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("capture: 3 still(s)", 0), 0u) << run.err;
    for (const char* still : {"still_007000.png", "still_058000.png", "still_096000.png"})
        EXPECT_EQ(readText(folder + "/shots/" + still).substr(1, 3), "PNG") << still;
}
