// Where the offline renderer's frames go: PNG stills and sequences (libpng,
// RGB, no time stamp, so identical frames give identical files), the
// soundtrack's stretch as a WAV file, each written whole or not at all, and
// video made by the ffmpeg command-line tool (ffmpeg.exe on Windows),
// started from PATH with an argument list, fed raw RGBA frames through a
// pipe and the matching sound from a scratch file to mux in: H.264 in MP4,
// or lossless FFV1 (RGB) in Matroska; a segment's video carries its segment
// tag. A video is made as OUT.part and takes its own name only once ffmpeg
// has finished it and it holds every frame; a stopped one keeps its
// pictures in OUT.part with the sound cut to them. Folders, files and the
// program go through the platform layer. Every failure comes back as one
// line saying which file and why. Main thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "capture_options.h"
#include "capture_segments.h"
#include "platform/process.h"

// Writes `rgba` (width x height, top row first) as an 8-bit RGB PNG.
bool writePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
              std::string& failure);

// True when `path` is a PNG file that decodes whole to width x height.
bool isWholePng(const std::string& path, int width, int height);

// Ceiling for reading a PNG back: above any the tool writes (8192 x 8192 RGB
// does not compress to more than its raw size).
constexpr uint64_t PNG_MAX_BYTES = 256ull << 20;

struct DecodedAudio;

// The soundtrack samples that frames [0, frameCount) at `fps` cover when
// the first starts at show time `startMs`: from sample
// round(startMs * rate / 1000), round(frameCount * rate / fps) samples long.
struct SampleStretch {
    uint64_t first = 0;
    uint64_t count = 0;
};
SampleStretch soundStretch(uint32_t rate, uint32_t startMs, uint64_t frameCount, int fps);

// The soundtrack under `frames` at `fps` (soundStretch's samples), from the
// engine's channel `channel`; false with a reason.
bool readSoundtrack(uint32_t channel, const FrameSpan& frames, int fps, DecodedAudio& pcm, std::string& reason);

constexpr uint64_t WAV_HEADER_BYTES = 44;

// `pcm` as a 16-bit PCM WAV file; false when it has nothing to write.
bool wavFile(const DecodedAudio& pcm, std::vector<uint8_t>& bytes);
// Writes `pcm` whole as 16-bit PCM WAV.
bool writeWav(const std::string& path, const DecodedAudio& pcm, std::string& failure);
// True when `path` holds exactly what writeWav writes for `pcm`.
bool isWholeWav(const std::string& path, const DecodedAudio& pcm);

// Video frames (packets of the first video stream) in `path` as ffprobe
// counts them; false when it cannot read the file.
bool countVideoFrames(const std::string& ffprobe, const std::string& path, uint64_t& frames);

struct VideoRequest {
    std::string path;       // the video to write; made as path + ".part"
    std::string audioPath;  // the WAV of its stretch of the soundtrack; empty: no sound
    VideoCodec codec{};
    int crf = 18;           // H.264 only
    std::string preset = "medium";
    int width = 0;          // pixels
    int height = 0;
    int fps = 60;
    std::string segmentTag;  // a segment's SEGMENT_TAG; empty: not a segment
};

// The ffmpeg arguments for a request, `ffmpeg` first, writing `outPath`.
std::vector<std::string> videoArguments(const VideoRequest& request, const std::string& ffmpeg,
                                        const std::string& outPath);

class VideoPipe {
public:
    // ffmpeg (with the codec's encoder) and ffprobe on PATH, the video and
    // its .part writable.
    static bool check(const VideoRequest& request, std::string& failure);
    // Checks, then starts ffmpeg on OUT.part; `sound` (null: none) is the
    // soundtrack of the whole request, from show time `soundStartMs`.
    bool open(const VideoRequest& request, const DecodedAudio* sound, uint32_t soundStartMs, std::string& failure);
    // One frame, RGBA, top row first. On failure the encoder is finished
    // with and OUT.part removed.
    bool write(const std::vector<uint8_t>& rgba, std::string& failure);
    // Ends the input and waits for ffmpeg; once it has succeeded and OUT.part
    // holds `frames` frames, renames it to OUT. False with the reason (OUT.part
    // removed when ffmpeg failed, kept when it is only short).
    bool finish(uint64_t frames, std::string& failure);
    // Ends the input after the frames written so far, with the sound cut to
    // them, and waits for ffmpeg: OUT.part is then a playable video of them,
    // and any earlier OUT untouched. False with ffmpeg's reason when it did
    // not end well (OUT.part is left as it is).
    bool stop(std::string& failure);
    uint64_t framesWritten() const { return frames_; }
    std::string partPath() const { return path_ + ".part"; }

private:
    // Closes the input, waits for ffmpeg and returns its exit status; on
    // failure `failure` says why in one line and OUT.part is gone.
    bool endEncoder(std::string& failure);

    // Before the encoder, so that it has ended (closed them) when they go.
    ScratchFile sound_;
    ScratchFile errors_;  // ffmpeg's messages, for the one line a failure gets
    ChildProgram encoder_;
    std::string path_;
    std::string ffprobe_;
    uint64_t frames_ = 0;
    uint32_t soundRate_ = 0;   // 0: no sound
    int soundChannels_ = 0;
    uint32_t soundStartMs_ = 0;
    int fps_ = 60;
};
