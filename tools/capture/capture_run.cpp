#include "capture_run.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/demo.h"
#include "capture_options.h"
#include "capture_output.h"
#include "capture_session.h"
#include "platform/files.h"
#include "platform/log.h"
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
    uint64_t videoFirst = 0;    // first video frame
    uint64_t videoEnd = 0;      // one past the last; equal to videoFirst: no video
    uint64_t lastFrame = 0;     // the run ends after this frame
};

FramePlan planFrames(const CaptureOptions& options)
{
    FramePlan plan;
    for (uint32_t still : options.stillsMs) {
        plan.stills.push_back({firstFrameAtOrAfter(still, options.fps), still});
        plan.lastFrame = std::max(plan.lastFrame, plan.stills.back().frame);
    }
    if (!options.videoPath.empty()) {
        plan.videoFirst = firstFrameAtOrAfter(options.fromMs, options.fps);
        plan.videoEnd = firstFrameAtOrAfter(options.toMs, options.fps);
        if (plan.videoEnd > plan.videoFirst)
            plan.lastFrame = std::max(plan.lastFrame, plan.videoEnd - 1);
    }
    // The live loop's last frame is the first to start at the end of the show.
    if (options.reportState)
        plan.lastFrame = std::max(plan.lastFrame, firstFrameAtOrAfter(SHOW_END_MS, options.fps));
    return plan;
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

}  // namespace

int runCapture(const CaptureOptions& options, std::FILE* report)
{
    std::string failure;
    const FramePlan plan = planFrames(options);
    const bool video = plan.videoEnd > plan.videoFirst;
    if (!options.videoPath.empty() && !video)
        return fail(nullptr, "--from/--to: no frame starts in that stretch at this frame rate");
    if (!plan.stills.empty() && !folderWritable(options.outDir, failure))
        return fail(nullptr, failure);

    VideoRequest request;
    if (video) {
        request.path = options.videoPath;
        request.audioPath = resolveContentPath("Data\\music.mp3");
        request.width = options.width;
        request.height = options.height;
        request.fps = options.fps;
        request.startMs = frameTimeMs(plan.videoFirst, options.fps);
        request.frameCount = plan.videoEnd - plan.videoFirst;
        if (!VideoPipe::check(request, failure))
            return fail(nullptr, failure);
    }

    CaptureSession session;
    if (!session.open(options.width, options.height, options.fps, failure))
        return fail(nullptr, failure);
    VideoPipe pipe;
    if (video && !pipe.open(request, failure))
        return fail(nullptr, failure);

    Progress progress(!options.quiet && isatty(STDERR_FILENO), plan.lastFrame + 1);
    std::vector<uint8_t> pixels;
    size_t nextStill = 0;
    uint64_t drawn = 0;
    for (uint64_t frame = 0; frame <= plan.lastFrame; ++frame) {
        const bool isStill = nextStill < plan.stills.size() && plan.stills[nextStill].frame == frame;
        const bool isVideo = video && frame >= plan.videoFirst && frame < plan.videoEnd;
        const bool drawing = isStill || isVideo || options.drawEveryFrame;
        session.runFrame(drawing);
        drawn += drawing ? 1 : 0;
        if (isStill || isVideo)
            session.readFrame(pixels);
        for (; nextStill < plan.stills.size() && plan.stills[nextStill].frame == frame; ++nextStill) {
            if (!writePng(stillPath(options.outDir, plan.stills[nextStill].requestedMs), pixels,
                          options.width, options.height, failure))
                return fail(&progress, failure);
        }
        if (isVideo && !pipe.write(pixels, failure))
            return fail(&progress, failure);
        progress.update(frame + 1, session.demo().timeMs);
    }
    if (video && !pipe.finish(failure))
        return fail(&progress, failure);
    progress.close();

    if (options.reportState)
        printState(report, session);
    if (!options.quiet) {
        const double seconds = progress.elapsed();
        logMessage("capture", "%zu still(s)%s%s at %dx%d, %d fps: %llu frames (%llu drawn) in %.1f s, %.1f frames/s",
                   plan.stills.size(), video ? " and video " : "", video ? options.videoPath.c_str() : "",
                   options.width, options.height, options.fps,
                   static_cast<unsigned long long>(plan.lastFrame + 1), static_cast<unsigned long long>(drawn),
                   seconds, (plan.lastFrame + 1) / std::max(seconds, 1e-9));
    }
    return 0;
}
