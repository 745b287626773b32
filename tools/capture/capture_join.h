// The join of a recording made in segments (--segment K/N on any number of
// machines): checks that every segment of the recording is there, each a
// video of the same codec, size and frame rate with exactly the frames its
// place in the split gives it (read with the ffprobe tool), then joins their
// pictures without re-encoding through ffmpeg's concat demuxer and writes the
// soundtrack of the whole range once, decoded by the audio engine as a
// single run's is. The result is made under a temporary name beside the
// output and renamed when whole, so a failure or a stop request leaves
// nothing behind; the list and the sound reach ffmpeg with no name.
// Main thread only; opens the audio engine (silent) for the soundtrack.
#pragma once

#include <string>
#include <vector>

#include "capture_options.h"
#include "capture_segments.h"

// One segment's video as ffprobe reads it.
struct SegmentProbe {
    std::string codec;      // ffprobe's codec name ("ffv1", "h264")
    int width = 0;          // pixels
    int height = 0;         // pixels
    std::string rate;       // r_frame_rate, e.g. "30/1"
    uint64_t frames = 0;    // video packets, one per frame
    bool tagged = false;    // carries a readable segment tag
    SegmentTag tag;
};

// Reads ffprobe's "key=value" lines (-show_entries ... -of
// default=noprint_wrappers=1) into `probe`.
void readSegmentProbe(const std::string& report, SegmentProbe& probe);

// The concat demuxer's list for `paths` in order, each read as a file
// relative to the current folder; false when a name cannot be written in
// the list (a line break in it).
bool concatList(const std::vector<std::string>& paths, std::string& list, std::string& failure);

// True when `path` is a finished segment video that the join would take
// as segment `tag` of that recording: tagged so, of `codec` ("ffv1",
// "h264") at width x height and the tag's frame rate, with every frame of
// its piece.
bool segmentIsWhole(const std::string& ffprobe, const std::string& path, const SegmentTag& tag, const char* codec,
                    int width, int height);

// Runs the join that `options` asks for: 0 when `joinPath` was written,
// 1 with one line on stderr naming the segment or file at fault otherwise.
int runJoin(const CaptureOptions& options);
