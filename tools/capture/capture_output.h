// Where the offline renderer's frames go: PNG stills and sequences (libpng,
// RGB, no time stamp, so identical frames give identical files), the
// soundtrack's stretch as a WAV file, and video made by the ffmpeg
// command-line tool, fed raw RGBA frames through a pipe and the matching
// WAV to mux in: H.264 in MP4, or lossless FFV1 (RGB) in Matroska. Every
// failure comes back as one line saying which file and why. Main thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "capture_options.h"

// Writes `rgba` (width x height, top row first) as an 8-bit RGB PNG.
bool writePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
              std::string& failure);

// True when `folder` exists and new files can be made in it.
bool folderWritable(const std::string& folder, std::string& failure);

// Finds `program` in the folders of PATH; empty when it is not there.
std::string findOnPath(const char* program);

// Quotes `text` for /bin/sh.
std::string shellQuote(const std::string& text);

// True when `folder` is a folder that new files can be made in, making it
// (one level, its parent must exist) when it is not there.
bool makeFolder(const std::string& folder, std::string& failure);

struct DecodedAudio;

// The soundtrack samples that frames [0, frameCount) at `fps` cover when
// the first starts at show time `startMs`: from sample
// round(startMs * rate / 1000), round(frameCount * rate / fps) samples long.
struct SampleStretch {
    uint64_t first = 0;
    uint64_t count = 0;
};
SampleStretch soundStretch(uint32_t rate, uint32_t startMs, uint64_t frameCount, int fps);

// Writes `pcm` whole as 16-bit PCM WAV.
bool writeWav(const std::string& path, const DecodedAudio& pcm, std::string& failure);

struct VideoRequest {
    std::string path;       // the video to write
    std::string audioPath;  // the WAV of its stretch of the soundtrack
    VideoCodec codec{};
    int crf = 18;           // H.264 only
    std::string preset = "medium";
    int width = 0;          // pixels
    int height = 0;
    int fps = 60;
};

// The ffmpeg command line for a request.
std::string videoCommand(const VideoRequest& request, const std::string& ffmpeg);

class VideoPipe {
public:
    ~VideoPipe();
    // ffmpeg on PATH with the codec's encoder, the video's folder writable.
    static bool check(const VideoRequest& request, std::string& failure);
    // Checks, then starts ffmpeg; the WAV must be written by then.
    bool open(const VideoRequest& request, std::string& failure);
    // One frame, RGBA, top row first.
    bool write(const std::vector<uint8_t>& rgba, std::string& failure);
    // Ends the input and waits for ffmpeg; false when it failed.
    bool finish(std::string& failure);

private:
    std::FILE* pipe_ = nullptr;
    std::string path_;
};
