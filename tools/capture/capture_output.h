// Where the offline renderer's frames go: PNG stills (libpng, RGB, no time
// stamp, so identical frames give identical files) and an H.264 video made
// by the ffmpeg command-line tool, fed raw RGBA frames through a pipe and
// given the soundtrack's matching stretch to mux in. Every failure comes
// back as one line saying which file and why.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes `rgba` (width x height, top row first) as an 8-bit RGB PNG.
bool writePng(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
              std::string& failure);

// True when `folder` exists and new files can be made in it.
bool folderWritable(const std::string& folder, std::string& failure);

// Finds `program` in the folders of PATH; empty when it is not there.
std::string findOnPath(const char* program);

// Quotes `text` for /bin/sh.
std::string shellQuote(const std::string& text);

struct VideoRequest {
    std::string path;       // the .mp4 to write
    std::string audioPath;  // the soundtrack
    int width = 0;          // pixels
    int height = 0;
    int fps = 60;
    uint32_t startMs = 0;   // show time of the first frame
    uint64_t frameCount = 0;
};

// The ffmpeg command line for a request.
std::string videoCommand(const VideoRequest& request, const std::string& ffmpeg);

class VideoPipe {
public:
    ~VideoPipe();
    // ffmpeg with libx264 on PATH, the soundtrack readable, the folder writable.
    static bool check(const VideoRequest& request, std::string& failure);
    // Checks, then starts ffmpeg.
    bool open(const VideoRequest& request, std::string& failure);
    // One frame, RGBA, top row first.
    bool write(const std::vector<uint8_t>& rgba, std::string& failure);
    // Ends the input and waits for ffmpeg; false when it failed.
    bool finish(std::string& failure);

private:
    std::FILE* pipe_ = nullptr;
    std::string path_;
};
