// The offline renderer's command line: what to render (stills at chosen
// show times, a video with the soundtrack in H.264 or lossless FFV1, a
// numbered PNG sequence with the soundtrack beside it, or the show's state
// at its end), at which frame rate and size, where to put it and where the
// content is; or one segment of such a recording, or the join of
// segments; or the rest of a sequence or segment that was stopped. The
// options are one table read by the reader the show shares
// (app/option_reader.h); parsing checks them and how they go together,
// and whether the outputs can be written is checked by the run, before the
// first frame. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class VideoCodec {
    H264,  // libx264, yuv420p, with AAC sound, in MP4
    Ffv1,  // lossless FFV1, RGB, with 16-bit PCM sound, in Matroska
};

struct CaptureOptions {
    int fps = 60;                      // frames per second of show time
    int width = 1920;                  // pixels
    int height = 1080;                 // pixels
    std::vector<uint32_t> stillsMs;    // show times of the stills, ms, ascending
    std::string outDir = ".";          // folder for the stills
    std::string videoPath;             // empty: no video
    VideoCodec codec = VideoCodec::H264;
    int crf = 18;                      // H.264 constant rate factor, 0..51
    std::string preset = "medium";     // H.264 speed preset
    std::string framesDir;             // folder for the PNG sequence; empty: none
    bool audio = false;                // with framesDir: the soundtrack as audio.wav
    std::string dataDir;               // the content folder; empty: look for it
    uint32_t fromMs = 0;               // first show time written, ms
    uint32_t toMs = 153000;            // written frames start before this, ms
    bool drawEveryFrame = false;       // draw skipped frames too (for comparison)
    bool singleSpriteProgram = false;  // every sprite through the full program (for comparison)
    bool reportState = false;          // run to the end, print the show's state
    bool quiet = false;                // no progress line and no summary
    bool resume = false;               // keep the sequence frames (or the video segment) already whole
    unsigned segmentIndex = 0;         // with segmentCount: which segment, from 0
    unsigned segmentCount = 0;         // segments the range is split into; 0: not split
    std::string joinPath;              // the video the segments join into; empty: no join
    std::vector<std::string> joinSegments;  // the segments' videos, in any order
};

enum class ParseResult { Run, Help, Error };

// Reads argv into `options`; on Error, `error` holds one line naming the option.
ParseResult parseCaptureOptions(int argc, char** argv, CaptureOptions& options, std::string& error);
// Parses a show time: seconds ("56", "96.5") or milliseconds ("56000ms").
bool parseShowTime(const std::string& text, uint32_t& timeMs);
// The --help text.
const char* captureUsage();
