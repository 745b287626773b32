#include "capture_options.h"

#include <algorithm>

#include "app/demo.h"
#include "app/fixed_step.h"
#include "app/option_reader.h"
#include "capture_segments.h"

namespace {

constexpr int MAX_FPS = 1000;
constexpr int MIN_SIDE = 16;     // pixels
constexpr int MAX_SIDE = 8192;   // pixels

bool parseStillList(const std::string& text, std::vector<uint32_t>& times)
{
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        uint32_t timeMs = 0;
        if (!parseShowTime(text.substr(start, comma - start), timeMs))
            return false;
        times.push_back(timeMs);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

bool endsWith(const std::string& text, const char* tail)
{
    const std::string end = tail;
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Options that were given, for the checks of what goes with what.
struct Given {
    bool codec = false;
    bool crf = false;
    bool preset = false;
    bool other = false;  // anything but --join, --data, --quiet and segments
};

// A join takes its segments, where the content is, and --quiet.
bool checkJoin(const CaptureOptions& options, const Given& given, std::string& error)
{
    if (given.other) {
        error = "--join: takes the segments' videos, --data and --quiet only (the segments say the rest)";
        return false;
    }
    if (!endsWith(options.joinPath, ".mkv") && !endsWith(options.joinPath, ".mp4")) {
        error = "--join " + quoteOptionValue(options.joinPath) + ": name the joined video .mkv (FFV1 segments) or .mp4 (H.264)";
        return false;
    }
    if (options.joinSegments.empty()) {
        error = "--join: name the segments' videos after it";
        return false;
    }
    return true;
}

// --segment splits the frames of --video or --frames, and needs at least
// one frame per segment.
bool checkSegment(const CaptureOptions& options, std::string& error)
{
    if (options.videoPath.empty() && options.framesDir.empty()) {
        error = "--segment: applies to --video or --frames, and neither is given";
        return false;
    }
    if (!options.stillsMs.empty() || options.reportState) {
        error = std::string("--segment: ") + (options.reportState ? "--report-state" : "--still") +
                " cannot be split; record it in a run of its own";
        return false;
    }
    const uint64_t frames = firstFrameAtOrAfter(options.toMs, options.fps) -
                            firstFrameAtOrAfter(options.fromMs, options.fps);
    if (options.segmentCount > frames) {
        error = "--segment " + std::to_string(options.segmentIndex) + "/" + std::to_string(options.segmentCount) +
                ": only " + std::to_string(frames) + " frame(s) from --from to --to at " +
                std::to_string(options.fps) + " fps, fewer than the segments";
        return false;
    }
    return true;
}

// Every check that needs more than one option.
bool checkTogether(CaptureOptions& options, const Given& given, std::string& error)
{
    if (!options.joinPath.empty())
        return checkJoin(options, given, error);
    if (!options.joinSegments.empty()) {
        error = quoteOptionValue(options.joinSegments.front()) + ": unknown option (see --help)";
        return false;
    }
    if (options.stillsMs.empty() && options.videoPath.empty() && options.framesDir.empty() &&
        !options.reportState) {
        error = "nothing to do: give --still, --video, --frames or --report-state (see --help)";
        return false;
    }
    const bool h264 = options.codec == VideoCodec::H264;
    const char* videoOnly = given.codec ? "--codec" : given.crf ? "--crf" : given.preset ? "--preset" : nullptr;
    if (videoOnly && options.videoPath.empty()) {
        error = std::string(videoOnly) + ": applies to --video, which is not given";
        return false;
    }
    if (!h264 && (given.crf || given.preset)) {
        error = std::string(given.crf ? "--crf" : "--preset") + ": applies to H.264 only; FFV1 is lossless";
        return false;
    }
    if (!options.videoPath.empty() && !h264 && !endsWith(options.videoPath, ".mkv")) {
        error = "--video " + quoteOptionValue(options.videoPath) + ": FFV1 video is written as Matroska; name the file .mkv";
        return false;
    }
    if (!options.videoPath.empty() && h264 && endsWith(options.videoPath, ".mkv")) {
        error = "--video " + quoteOptionValue(options.videoPath) + ": H.264 video is written as MP4; name the file .mp4";
        return false;
    }
    if (options.audio && options.framesDir.empty()) {
        error = "--audio: goes with --frames (a video carries the soundtrack already)";
        return false;
    }
    if (options.fromMs >= options.toMs) {
        error = "--from must come before --to";
        return false;
    }
    if (options.segmentCount > 0 && !checkSegment(options, error))
        return false;
    if (options.resume && options.framesDir.empty() && (options.videoPath.empty() || options.segmentCount == 0)) {
        error = "--resume: picks up a PNG sequence (--frames) or a video segment (--segment K/N --video); "
                "a whole video is recorded again, or in segments";
        return false;
    }
    std::sort(options.stillsMs.begin(), options.stillsMs.end());
    options.stillsMs.erase(std::unique(options.stillsMs.begin(), options.stillsMs.end()),
                           options.stillsMs.end());
    for (uint32_t still : options.stillsMs) {
        if (still < options.fromMs || still >= options.toMs) {
            error = "--still " + std::to_string(still) + "ms: outside the range --from/--to allows";
            return false;
        }
    }
    if (!options.videoPath.empty() && h264 && (options.width % 2 != 0 || options.height % 2 != 0)) {
        error = "--size: H.264 video needs an even width and height";
        return false;
    }
    return true;
}

// The capture tool's options, in the order --help lists them, reading into
// `options`.
std::vector<OptionSpec> captureOptionTable(CaptureOptions& options)
{
    return {
        underHeading("What to write (at least one):\n",
                     customOption(
                         "--still",
                         [&options](const std::string& value, std::string&) {
                             return parseStillList(value, options.stillsMs);
                         },
                         "show times in ms (or seconds with \"s\") before 153000, separated by commas",
                         "  --still T[,T...]    PNG stills of the first frame at or after each show time T,\n"
                         "                      named still_TTTTTT.png after T in ms (e.g. still_056000.png)\n")),
        textOption("--video", options.videoPath, "a file name",
                   "  --video FILE        video of the frames from --from to --to with the soundtrack,\n"
                   "                      written by the ffmpeg command-line tool on PATH:\n"
                   "                      H.264 (yuv420p) with AAC sound in MP4 (FILE.mp4), or with\n"
                   "                      --codec ffv1 lossless FFV1 (RGB) with PCM sound in\n"
                   "                      Matroska (FILE.mkv)\n"),
        textOption("--frames", options.framesDir, "a folder",
                   "  --frames DIR        the frames from --from to --to as DIR/frame_000000.png,\n"
                   "                      frame_000001.png ... (DIR is made if missing)\n"),
        flagOption("--report-state", options.reportState, true,
                   "  --report-state      run to the end of the show and print its final state\n"),
        underHeading("\n"
                     "A video is made as FILE.part and takes its name only when ffmpeg has finished\n"
                     "it with every frame; PNG and WAV files appear whole or not at all. Stopped\n"
                     "(Ctrl+C, SIGTERM, SIGHUP), the run finishes what it has: FILE.part then plays\n"
                     "up to the last frame written, with the sound cut there, and whatever was at\n"
                     "FILE before stays as it was. The exit status is then 128 + the signal.\n",
                     flagOption("--resume", options.resume, true,
                                "  --resume            with --frames: keep the frames already in DIR that read\n"
                                "                      back whole at this size and draw only the others (and\n"
                                "                      audio.wav only when it is not already right); with\n"
                                "                      --segment and --video: keep a segment video that is\n"
                                "                      already whole (as the join checks it)\n")),
        underHeading("\n"
                     "A recording across machines:\n",
                     customOption(
                         "--segment",
                         [&options](const std::string& value, std::string& why) {
                             return parseSegment(value, options.segmentIndex, options.segmentCount, why);
                         },
                         "",
                         "  --segment K/N       with --video or --frames: only the K-th (from 0) of N\n"
                         "                      contiguous pieces of the frames from --from to --to,\n"
                         "                      split by frame index the same way on every machine.\n"
                         "                      A video holds that piece's pictures (no sound), tagged\n"
                         "                      with which piece of which recording it is; a sequence gets\n"
                         "                      the piece's frames under their numbers in the whole\n"
                         "                      sequence (with --audio, piece 0 writes audio.wav for all)\n")),
        textOption("--join", options.joinPath, "the name of the joined video",
                   "  --join OUT SEG...   joins the N segment videos (any order) into OUT without\n"
                   "                      re-encoding the pictures, with the sound of the whole\n"
                   "                      range written once; OUT.mkv for FFV1, OUT.mp4 for H.264.\n"
                   "                      Every segment is checked first (all there, same size,\n"
                   "                      rate and recording, the frame count each should have);\n"
                   "                      on any fault nothing is written. Takes --data, --quiet\n"),
        underHeading("\n"
                     "How:\n",
                     wholeOption("--fps", options.fps, 1, MAX_FPS, "a whole number of frames per second, 1 to 1000",
                                 "  --fps N             frames per second, 1 to 1000 (default 60)\n")),
        sizeOption("--size", options.width, options.height, MIN_SIDE, MAX_SIDE, "WIDTHxHEIGHT, each 16 to 8192 pixels",
                   "  --size WxH          picture size in pixels (default 1920x1080); the show keeps\n"
                   "                      its 16:9 view, with black bars when WxH is not 16:9\n"),
        textOption("--out", options.outDir, "a folder",
                   "  --out DIR           folder for the stills, made if missing (default: the\n"
                   "                      current folder)\n"),
        showTimeOption("--from", options.fromMs, SHOW_END_MS - 1,
                       "a show time in ms (or seconds with \"s\"), 0 to 153000",
                       "  --from T, --to T    write only frames starting at or after --from and before\n"
                       "                      --to (defaults 0 and 153000); frames before are simulated\n"),
        showTimeOption("--to", options.toMs, SHOW_END_MS, "a show time in ms (or seconds with \"s\"), 0 to 153000",
                       nullptr),
        customOption(
            "--codec",
            [&options](const std::string& value, std::string&) {
                options.codec = value == "ffv1" ? VideoCodec::Ffv1 : VideoCodec::H264;
                return value == "h264" || value == "ffv1";
            },
            "h264 or ffv1",
            "  --codec h264|ffv1   video codec (default h264); FFV1 frames decode to exactly\n"
            "                      the pixels of the PNG stills\n"),
        wholeOption("--crf", options.crf, 0, 51, "a whole number from 0 (lossless) to 51",
                    "  --crf N             H.264 quality, 0 (lossless) to 51 (default 18)\n"),
        choiceOption("--preset", options.preset,
                     {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower", "veryslow",
                      "placebo"},
                     "one of ultrafast, superfast, veryfast, faster, fast, medium, slow, slower, veryslow, placebo",
                     "  --preset NAME       H.264 speed: ultrafast, superfast, veryfast, faster, fast,\n"
                     "                      medium (default), slow, slower, veryslow, placebo\n"),
        flagOption("--audio", options.audio, true,
                   "  --audio             with --frames: the soundtrack of the same stretch as\n"
                   "                      DIR/audio.wav (16-bit PCM), starting with frame_000000.png\n"),
        textOption("--data", options.dataDir, "a folder",
                   "  --data DIR          the content folder (default: Data/ beside the program, or\n"
                   "                      share/games/quillmoor/ under the prefix it is installed in)\n"),
        flagOption("--draw-every-frame", options.drawEveryFrame, true,
                   "  --draw-every-frame  draw the frames that are not written as well (slower; the\n"
                   "                      result is the same)\n"),
        flagOption("--single-sprite-program", options.singleSpriteProgram, true,
                   "  --single-sprite-program\n"
                   "                      draw every sprite with the full depth-of-field program,\n"
                   "                      none with the cheaper one for sprites wholly out of focus\n"
                   "                      (slower; the result is the same)\n"),
        flagOption("--quiet", options.quiet, true, "  --quiet             no progress line and no summary\n"),
        stopOption("--help", static_cast<int>(ParseResult::Help), "  --help              this text\n"),
        stopOption("-h", static_cast<int>(ParseResult::Help), nullptr),
    };
}

}  // namespace

bool parseShowTime(const std::string& text, uint32_t& timeMs)
{
    return readShowTime(text, SHOW_END_MS - 1, timeMs);
}

ParseResult parseCaptureOptions(int argc, char** argv, CaptureOptions& options, std::string& error)
{
    Given given;
    OptionReading reading;
    // Only a join takes names of its own: the segments.
    reading.positional = [&options](const std::string& argument) { options.joinSegments.push_back(argument); };
    reading.seen = [&given](const OptionSpec& option) {
        const std::string name = option.name;
        given.codec = given.codec || name == "--codec";
        given.crf = given.crf || name == "--crf";
        given.preset = given.preset || name == "--preset";
        given.other = given.other || (name != "--quiet" && name != "--data" && name != "--join");
    };
    const OptionsOutcome outcome = readOptions(argc, argv, captureOptionTable(options), reading, error);
    if (outcome.failed)
        return ParseResult::Error;
    if (outcome.stopped)
        return static_cast<ParseResult>(outcome.stopOutcome);
    return checkTogether(options, given, error) ? ParseResult::Run : ParseResult::Error;
}

const char* captureUsage()
{
    static const std::string usage = [] {
        CaptureOptions unused;
        return "usage: quillmoor-capture [options]\n"
               "\n"
               "Renders the show offline, frame by frame at a fixed frame rate, with the\n"
               "spectrum of the soundtrack at each frame's show time: frame n starts at\n"
               "round(n x 1000 / fps) ms. The same options always give the same pixels.\n"
               "Frames that are not written are simulated without drawing, so a still at\n"
               "any time shows exactly what playback at that frame rate shows.\n"
               "\n" +
               optionHelp(captureOptionTable(unused)) +
               "\n"
               "Show times are milliseconds (\"56000\") or seconds with an s (\"56s\", \"96.5s\"),\n"
               "before the show ends at 153000.\n"
               "Progress (frame, show time, fps, time left) goes to stderr when it is a terminal.\n"
               "The exit status is 0 when everything asked for was written, 1 when something\n"
               "could not be (checked before the first frame where it can be), 2 for a bad option,\n"
               "128 + the signal when one stopped the run.\n";
    }();
    return usage.c_str();
}
