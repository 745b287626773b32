// A recording split across machines: the frames an invocation asks for cut
// into N contiguous segments by frame index, the K-th rendered anywhere as a
// file of its own, and the tag each segment's video carries so that the join
// can tell which segment of which recording it is. The split is integer
// arithmetic only, so every machine draws the same boundaries: segments
// never overlap and never leave a gap. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

// Frames [first, end) of the show at its frame rate.
struct FrameSpan {
    uint64_t first = 0;
    uint64_t end = 0;
    uint64_t count() const { return end - first; }
};

// Segment `index` (0-based) of `count` over `whole`:
// [first + index * F / count, first + (index + 1) * F / count) with F its
// frame count, each division rounding down. count > 0, index < count.
FrameSpan segmentSpan(const FrameSpan& whole, unsigned index, unsigned count);

// "K/N" with 0 <= K < N; false with the reason in `error`.
bool parseSegment(const std::string& text, unsigned& index, unsigned& count, std::string& error);

// Name of the container tag a segment's video carries.
constexpr const char* SEGMENT_TAG = "QUILLMOOR_SEGMENT";

// What a segment's tag says: which one it is and of which recording.
struct SegmentTag {
    unsigned index = 0;  // 0-based
    unsigned count = 0;  // segments in the recording
    int fps = 0;         // frames per second
    FrameSpan whole;     // the recording's frames, all segments together
};

// "segment=K/N fps=F frames=FIRST-END" (END one past the last frame).
std::string formatSegmentTag(const SegmentTag& tag);
// Reads formatSegmentTag's text back; false for anything else.
bool parseSegmentTag(const std::string& text, SegmentTag& tag);
