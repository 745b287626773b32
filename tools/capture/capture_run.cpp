#include "capture_run.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/demo.h"
#include "audio/audio_decode.h"
#include "audio/audio_engine.h"
#include "capture_join.h"
#include "capture_options.h"
#include "capture_output.h"
#include "capture_segments.h"
#include "capture_session.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/process.h"
#include "show/scene.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double PROGRESS_INTERVAL_S = 0.25;

struct Still {
    uint64_t frame;
    uint32_t requestedMs;  // names the file
};

// Which frames the run touches and which of them are written.
struct FramePlan {
    std::vector<Still> stills;  // by frame
    uint64_t rangeFirst = 0;    // first frame of the video and the sequence
    uint64_t rangeEnd = 0;      // one past the last; equal to rangeFirst: none
    FrameSpan whole;            // the range before a split into segments
    uint64_t lastFrame = 0;     // the run ends after this frame
};

FramePlan planFrames(const CaptureOptions& options)
{
    FramePlan plan;
    for (uint32_t still : options.stillsMs) {
        plan.stills.push_back({firstFrameAtOrAfter(still, options.fps), still});
        plan.lastFrame = std::max(plan.lastFrame, plan.stills.back().frame);
    }
    if (!options.videoPath.empty() || !options.framesDir.empty()) {
        plan.rangeFirst = firstFrameAtOrAfter(options.fromMs, options.fps);
        plan.rangeEnd = firstFrameAtOrAfter(options.toMs, options.fps);
        plan.whole = {plan.rangeFirst, plan.rangeEnd};
        if (options.segmentCount > 0) {
            const FrameSpan piece = segmentSpan(plan.whole, options.segmentIndex, options.segmentCount);
            plan.rangeFirst = piece.first;
            plan.rangeEnd = piece.end;
        }
        if (plan.rangeEnd > plan.rangeFirst)
            plan.lastFrame = std::max(plan.lastFrame, plan.rangeEnd - 1);
    }
    // The live loop's last frame is the first to start at the end of the show.
    if (options.reportState)
        plan.lastFrame = std::max(plan.lastFrame, firstFrameAtOrAfter(SHOW_END_MS, options.fps));
    return plan;
}

std::string sequencePath(const std::string& folder, uint64_t index)
{
    char name[40];
    std::snprintf(name, sizeof name, "frame_%06llu.png", static_cast<unsigned long long>(index));
    return folder + "/" + name;
}

std::string stillPath(const std::string& folder, uint32_t requestedMs)
{
    char name[32];
    std::snprintf(name, sizeof name, "still_%06u.png", requestedMs);
    return folder + "/" + name;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class Progress {
public:
    Progress(bool shown, uint64_t total) : shown_(shown), total_(total), start_(Clock::now()) {}

    void update(uint64_t done, uint32_t showTimeMs)
    {
        if (!shown_)
            return;
        const double elapsed = secondsSince(start_);
        if (elapsed - lastShown_ < PROGRESS_INTERVAL_S)
            return;
        lastShown_ = elapsed;
        const double fps = done / std::max(elapsed, 1e-9);
        const double left = (total_ - done) / std::max(fps, 1e-9);
        std::fprintf(stderr, "\rframe %llu/%llu  show %7.3f s  %7.1f fps  %5.0f s left ",
                     static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_),
                     showTimeMs / 1000.0, fps, left);
        std::fflush(stderr);
        used_ = true;
    }
    // Ends the progress line so what follows starts on a line of its own.
    void close()
    {
        if (used_)
            std::fputc('\n', stderr);
        used_ = false;
    }
    double elapsed() const { return secondsSince(start_); }

private:
    bool shown_;
    uint64_t total_;
    Clock::time_point start_;
    double lastShown_ = 0.0;
    bool used_ = false;
};

void printState(std::FILE* report, CaptureSession& session)
{
    const Demo& demo = session.demo();
    const Scene& scene = session.scene();
    std::fprintf(report, "frames %llu\n", static_cast<unsigned long long>(session.nextFrame()));
    std::fprintf(report, "timeMs %u\n", demo.timeMs);
    std::fprintf(report, "particleCount %d\n", scene.particleCount);
    std::fprintf(report, "greetIndex %d\n", scene.overlays.greetIndex);
    std::fprintf(report, "fadeDone %u %u\n", demo.fadeDone[0], demo.fadeDone[1]);
    std::fflush(report);
}

int fail(Progress* progress, const std::string& failure)
{
    if (progress)
        progress->close();
    logMessage("capture", "%s", failure.c_str());
    return 1;
}

// How far a stopped run got, for its closing line.
struct StopReport {
    uint64_t done = 0;                // frames of the range (or of the run) made
    uint64_t total = 0;
    std::vector<std::string> places;  // where they are
    std::string encoderFailure;       // empty when the video was finished well
};

// Says in one line how far the run got and where that is; 128 + `signal`.
int endStopped(int signal, const StopReport& report)
{
    std::string line = "stopped at frame " + std::to_string(report.done) + " of " + std::to_string(report.total);
    if (report.places.empty())
        line += " before anything was written";
    for (size_t i = 0; i < report.places.size(); ++i)
        line += (i == 0 ? "; what was made is in " : i + 1 == report.places.size() ? " and " : ", ") +
                report.places[i];
    if (!report.encoderFailure.empty())
        line += "; " + report.encoderFailure;
    logMessage("capture", "%s", line.c_str());
    return 128 + signal;
}

}  // namespace

int runCapture(const CaptureOptions& options, std::FILE* report)
{
    // A stop (Ctrl+C, kill, a scheduler's cancel) ends the run between
    // frames, with what was made finished properly.
    catchStopRequests();
    std::string failure;
    if (!options.dataDir.empty())
        setContentFolder(options.dataDir);
    std::string contentFolder;
    if (!findContentFolder(contentFolder, failure))
        return fail(nullptr, failure);

    const FramePlan plan = planFrames(options);
    bool video = !options.videoPath.empty();
    const bool sequence = !options.framesDir.empty();
    if ((video || sequence) && plan.rangeEnd == plan.rangeFirst)
        return fail(nullptr, "--from/--to: no frame starts in that stretch at this frame rate");
    if (!plan.stills.empty() && !makeFolder(options.outDir, failure))
        return fail(nullptr, failure);

    VideoRequest request;
    bool videoKept = false;
    if (video) {
        request.path = options.videoPath;
        request.codec = options.codec;
        request.crf = options.crf;
        request.preset = options.preset;
        request.width = options.width;
        request.height = options.height;
        request.fps = options.fps;
        SegmentTag tag{options.segmentIndex, options.segmentCount, options.fps, plan.whole};
        if (options.segmentCount > 0)
            request.segmentTag = formatSegmentTag(tag);
        if (!VideoPipe::check(request, failure))
            return fail(nullptr, failure);
        // A segment that an earlier run finished is not recorded again.
        videoKept = options.resume && segmentIsWhole(findProgram("ffprobe"), request.path, tag,
                                                     options.codec == VideoCodec::Ffv1 ? "ffv1" : "h264",
                                                     options.width, options.height);
        video = !videoKept;
    }
    if (sequence && !makeFolder(options.framesDir, failure))
        return fail(nullptr, failure);
    if (videoKept && !sequence) {
        if (!options.quiet)
            logMessage("capture", "%s: segment %u/%u is already whole; kept", options.videoPath.c_str(),
                       options.segmentIndex, options.segmentCount);
        return 0;
    }

    CaptureSession session;
    if (!session.open(options.width, options.height, options.fps, failure))
        return fail(nullptr, failure);
    session.scene().singleSpriteProgram = options.singleSpriteProgram;

    // The soundtrack as the engine decoded it, the sound the show's spectrum
    // comes from, cut to the frames' stretch of show time. A sequence's
    // audio.wav covers the whole sequence; of its segments, the first writes
    // it. A segment's video is pictures only: the join writes the sound of
    // the whole range once, so no encoder's start-up delay falls at a joint.
    const uint64_t rangeFrames = plan.rangeEnd - plan.rangeFirst;
    const bool sequenceSound = options.audio && options.segmentIndex == 0;
    const bool videoSound = video && options.segmentCount == 0;
    const uint32_t music = session.demo().music.activeHandle();
    const std::string musicPath = resolveContentPath("Data\\music.mp3");
    if ((videoSound || sequenceSound) && music == 0)
        return fail(nullptr, musicPath + ": the soundtrack did not load (see above)");
    DecodedAudio soundtrack;
    if (sequenceSound) {
        const std::string wavPath = options.framesDir + "/audio.wav";
        if (!readSoundtrack(music, plan.whole, options.fps, soundtrack, failure))
            return fail(nullptr, musicPath + ": " + failure);
        if (!(options.resume && isWholeWav(wavPath, soundtrack)) && !writeWav(wavPath, soundtrack, failure))
            return fail(nullptr, failure);
    }
    const uint32_t videoStartMs = frameTimeMs(plan.rangeFirst, options.fps);
    if (videoSound && !readSoundtrack(music, {plan.rangeFirst, plan.rangeEnd}, options.fps, soundtrack, failure))
        return fail(nullptr, musicPath + ": " + failure);
    VideoPipe pipe;
    if (video && !pipe.open(request, videoSound ? &soundtrack : nullptr, videoStartMs, failure))
        return fail(nullptr, failure);

    Progress progress(!options.quiet && stderrIsTerminal(), plan.lastFrame + 1);
    // A failure after the encoder started still finishes the video of the
    // frames so far in its .part.
    auto failWithVideo = [&](const std::string& why) {
        std::string ignored;
        if (video)
            pipe.stop(ignored);
        return fail(&progress, why);
    };
    std::vector<uint8_t> pixels;
    size_t nextStill = 0;
    uint64_t drawn = 0;
    uint64_t kept = 0;    // sequence frames already whole
    size_t stillsWritten = 0;
    int stopSignal = 0;
    uint64_t frame = 0;
    for (; frame <= plan.lastFrame; ++frame) {
        if ((stopSignal = stopRequest()) != 0)
            break;
        const bool isStill = nextStill < plan.stills.size() && plan.stills[nextStill].frame == frame;
        const bool inRange = frame >= plan.rangeFirst && frame < plan.rangeEnd;
        const std::string framePath = inRange && sequence ? sequencePath(options.framesDir, frame - plan.whole.first)
                                                          : std::string();
        const bool frameThere = !framePath.empty() && options.resume &&
                                isWholePng(framePath, options.width, options.height);
        kept += frameThere ? 1 : 0;
        const bool needed = isStill || (inRange && (video || (sequence && !frameThere)));
        const bool drawing = needed || options.drawEveryFrame;
        session.runFrame(drawing);
        drawn += drawing ? 1 : 0;
        if (needed)
            session.readFrame(pixels);
        for (; nextStill < plan.stills.size() && plan.stills[nextStill].frame == frame; ++nextStill, ++stillsWritten) {
            if (!writePng(stillPath(options.outDir, plan.stills[nextStill].requestedMs), pixels,
                          options.width, options.height, failure))
                return failWithVideo(failure + "; nothing was left under that name");
        }
        if (!framePath.empty() && !frameThere &&
            !writePng(framePath, pixels, options.width, options.height, failure))
            return failWithVideo(failure + "; nothing was left under that name");
        if (inRange && video && !pipe.write(pixels, failure))
            return fail(&progress, failure);
        progress.update(frame + 1, session.demo().timeMs);
    }

    if (stopSignal != 0) {
        progress.close();
        StopReport stop;
        const bool ranged = video || sequence;
        stop.done = ranged ? std::min(std::max(frame, plan.rangeFirst), plan.rangeEnd) - plan.rangeFirst : frame;
        stop.total = ranged ? rangeFrames : plan.lastFrame + 1;
        if (video) {
            pipe.stop(stop.encoderFailure);
            stop.places.push_back(pipe.partPath());
        }
        if (sequence && frame > plan.rangeFirst)
            stop.places.push_back(options.framesDir);
        if (stillsWritten > 0)
            stop.places.push_back(options.outDir);
        return endStopped(stopSignal, stop);
    }
    if (video && !pipe.finish(rangeFrames, failure))
        return fail(&progress, failure);
    progress.close();

    if (options.reportState)
        printState(report, session);
    if (!options.quiet) {
        const double seconds = progress.elapsed();
        std::string written = std::to_string(plan.stills.size()) + " still(s)";
        if (video)
            written += ", video " + options.videoPath;
        if (videoKept)
            written += ", segment " + options.videoPath + " kept";
        if (sequence)
            written += ", " + std::to_string(rangeFrames) + " frames in " + options.framesDir +
                       (kept > 0 ? " (" + std::to_string(kept) + " already there)" : "");
        logMessage("capture", "%s at %dx%d, %d fps: %llu frames (%llu drawn) in %.1f s, %.1f frames/s",
                   written.c_str(), options.width, options.height, options.fps,
                   static_cast<unsigned long long>(plan.lastFrame + 1), static_cast<unsigned long long>(drawn),
                   seconds, (plan.lastFrame + 1) / std::max(seconds, 1e-9));
    }
    return 0;
}
