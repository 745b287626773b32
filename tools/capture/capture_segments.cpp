#include "capture_segments.h"

#include <cinttypes>
#include <cstdio>

namespace {

constexpr unsigned long MAX_SEGMENTS = 1000000;

// Digits only, at most `high`.
bool readCount(const std::string& text, unsigned long high, unsigned long& value)
{
    if (text.empty() || text.size() > 9)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return value <= high;
}

}  // namespace

FrameSpan segmentSpan(const FrameSpan& whole, unsigned index, unsigned count)
{
    const uint64_t frames = whole.count();
    return {whole.first + index * frames / count, whole.first + (index + 1ull) * frames / count};
}

bool parseSegment(const std::string& text, unsigned& index, unsigned& count, std::string& error)
{
    const size_t slash = text.find('/');
    unsigned long k = 0, n = 0;
    if (slash == std::string::npos || !readCount(text.substr(0, slash), MAX_SEGMENTS, k) ||
        !readCount(text.substr(slash + 1), MAX_SEGMENTS, n)) {
        error = "expected K/N, the K-th (counting from 0) of N segments, N at most 1000000";
        return false;
    }
    if (n == 0) {
        error = "there must be at least one segment";
        return false;
    }
    if (k >= n) {
        error = "segments of " + std::to_string(n) + " are numbered 0 to " + std::to_string(n - 1);
        return false;
    }
    index = static_cast<unsigned>(k);
    count = static_cast<unsigned>(n);
    return true;
}

std::string formatSegmentTag(const SegmentTag& tag)
{
    char text[96];
    std::snprintf(text, sizeof text, "segment=%u/%u fps=%d frames=%" PRIu64 "-%" PRIu64, tag.index, tag.count,
                  tag.fps, tag.whole.first, tag.whole.end);
    return text;
}

bool parseSegmentTag(const std::string& text, SegmentTag& tag)
{
    SegmentTag read;
    int used = 0;
    if (std::sscanf(text.c_str(), "segment=%u/%u fps=%d frames=%" SCNu64 "-%" SCNu64 "%n", &read.index, &read.count,
                    &read.fps, &read.whole.first, &read.whole.end, &used) != 5 ||
        static_cast<size_t>(used) != text.size())
        return false;
    if (read.count == 0 || read.index >= read.count || read.fps <= 0 || read.whole.end <= read.whole.first ||
        read.whole.count() < read.count)
        return false;
    tag = read;
    return true;
}
