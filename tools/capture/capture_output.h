// Where the offline renderer's frames go: PNG stills and sequences (libpng,
// RGB, no time stamp, so identical frames give identical files), the
// soundtrack's stretch as a WAV file, and video made by the ffmpeg
// command-line tool (ffmpeg.exe on Windows), started from PATH with an
// argument list, fed raw RGBA frames through a pipe and the matching WAV to
// mux in: H.264 in MP4, or lossless FFV1 (RGB) in Matroska; a segment's
// video carries its segment tag. Folders, files
// and the program go through the platform layer. Every failure comes back
// as one line saying which file and why. Main thread only.
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

// Writes `pcm` whole as 16-bit PCM WAV.
bool writeWav(const std::string& path, const DecodedAudio& pcm, std::string& failure);

struct VideoRequest {
    std::string path;       // the video to write
    std::string audioPath;  // the WAV of its stretch of the soundtrack; empty: no sound
    VideoCodec codec{};
    int crf = 18;           // H.264 only
    std::string preset = "medium";
    int width = 0;          // pixels
    int height = 0;
    int fps = 60;
    std::string segmentTag;  // a segment's SEGMENT_TAG; empty: not a segment
};

// The ffmpeg arguments for a request, `ffmpeg` first.
std::vector<std::string> videoArguments(const VideoRequest& request, const std::string& ffmpeg);

// A file in the temporary folder, removed when this goes.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    bool make(const char* suffix, std::string& failure);
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class VideoPipe {
public:
    // ffmpeg on PATH with the codec's encoder, the video's folder writable.
    static bool check(const VideoRequest& request, std::string& failure);
    // Checks, then starts ffmpeg; the WAV must be written by then.
    bool open(const VideoRequest& request, std::string& failure);
    // One frame, RGBA, top row first.
    bool write(const std::vector<uint8_t>& rgba, std::string& failure);
    // Ends the input and waits for ffmpeg; false when it failed.
    bool finish(std::string& failure);

private:
    ChildProgram encoder_;
    std::string path_;
};
