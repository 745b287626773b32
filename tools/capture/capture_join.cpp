#include "capture_join.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "audio/audio_decode.h"
#include "audio/audio_engine.h"
#include "audio/music_track.h"
#include "capture_output.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/process.h"

namespace {

// Segments are videos of any length the show allows; this is only a bound
// for opening them to see that they are ordinary files.
constexpr uint64_t SEGMENT_MAX_BYTES = ~0ull;

struct Segment {
    std::string path;
    SegmentProbe probe;
};

std::string frameRate(int fps)
{
    return std::to_string(fps) + "/1";
}

std::string sizeText(const SegmentProbe& probe)
{
    return std::to_string(probe.width) + "x" + std::to_string(probe.height);
}

bool probeSegment(const std::string& ffprobe, Segment& segment, std::string& failure)
{
    OpenedFile opened;
    std::string reason;
    if (!openOrdinaryFile(segment.path, SEGMENT_MAX_BYTES, opened, reason)) {
        failure = segment.path + ": " + reason;
        return false;
    }
    std::fclose(opened.file);
    int status = 0;
    const std::string report = programOutput({ffprobe, "-v", "error", "-count_packets", "-select_streams", "v:0",
                                              "-show_entries",
                                              std::string("stream=codec_name,width,height,r_frame_rate,nb_read_"
                                                          "packets:format_tags=") + SEGMENT_TAG,
                                              "-of", "default=noprint_wrappers=1", segment.path},
                                             status);
    readSegmentProbe(report, segment.probe);
    if (status != 0 || segment.probe.codec.empty()) {
        failure = segment.path + ": not a video ffprobe can read";
        return false;
    }
    if (!segment.probe.tagged) {
        failure = segment.path + ": not a segment (no " + SEGMENT_TAG + " tag; record segments with --segment)";
        return false;
    }
    return true;
}

// `segment` belongs to the same recording as `first` and has the frames its
// place in the split gives it.
bool checkSegment(const Segment& segment, const Segment& first, std::string& failure)
{
    const SegmentProbe& probe = segment.probe;
    const SegmentTag& tag = probe.tag;
    const SegmentTag& firstTag = first.probe.tag;
    const std::string name = segment.path + ": segment " + std::to_string(tag.index) + "/" + std::to_string(tag.count);
    if (tag.count != firstTag.count || tag.fps != firstTag.fps || tag.whole.first != firstTag.whole.first ||
        tag.whole.end != firstTag.whole.end) {
        failure = name + " of another recording than " + first.path + " (" + formatSegmentTag(tag) + ", not " +
                  formatSegmentTag(firstTag) + ")";
        return false;
    }
    if (probe.codec != first.probe.codec) {
        failure = name + " is " + probe.codec + ", " + first.path + " is " + first.probe.codec;
        return false;
    }
    if (probe.width != first.probe.width || probe.height != first.probe.height) {
        failure = name + " is " + sizeText(probe) + ", " + first.path + " is " + sizeText(first.probe);
        return false;
    }
    if (probe.rate != frameRate(tag.fps)) {
        failure = name + " runs at " + probe.rate + " frames per second, the recording at " + frameRate(tag.fps);
        return false;
    }
    const uint64_t expected = segmentSpan(tag.whole, tag.index, tag.count).count();
    if (probe.frames != expected) {
        failure = name + " holds " + std::to_string(probe.frames) + " frame(s), not the " +
                  std::to_string(expected) + " it should (unfinished?)";
        return false;
    }
    return true;
}

// Probes and checks every segment, and puts them in the recording's order.
bool gatherSegments(const std::string& ffprobe, const std::vector<std::string>& paths,
                    std::vector<Segment>& segments, std::string& failure)
{
    for (const std::string& path : paths) {
        segments.push_back({path, {}});
        if (!probeSegment(ffprobe, segments.back(), failure))
            return false;
    }
    for (const Segment& segment : segments)
        if (!checkSegment(segment, segments.front(), failure))
            return false;
    std::stable_sort(segments.begin(), segments.end(),
                     [](const Segment& a, const Segment& b) { return a.probe.tag.index < b.probe.tag.index; });
    const unsigned count = segments.front().probe.tag.count;
    for (unsigned index = 0, at = 0; index < count; ++index, ++at) {
        if (at >= segments.size() || segments[at].probe.tag.index != index) {
            failure = "segment " + std::to_string(index) + "/" + std::to_string(count) + " of " +
                      segments.front().path + "'s recording is missing";
            return false;
        }
        if (at + 1 < segments.size() && segments[at + 1].probe.tag.index == index) {
            failure = segments[at + 1].path + ": segment " + std::to_string(index) + "/" + std::to_string(count) +
                      " again (" + segments[at].path + " is it already)";
            return false;
        }
    }
    return true;
}

// The whole range's soundtrack, decoded by the engine as a single run's is,
// as a WAV file in `wav`.
bool writeSoundtrack(const SegmentTag& tag, const ScratchFile& wav, std::string& failure)
{
    std::string contentFolder;
    if (!findContentFolder(contentFolder, failure))
        return false;
    const std::string musicPath = resolveContentPath("Data\\music.mp3");
    if (!audioInit(0, 44100)) {
        failure = "the audio engine cannot start";
        return false;
    }
    MusicTrack music;
    DecodedAudio soundtrack;
    std::string reason;
    bool read = false;
    if (music.load(musicPath.c_str()) != 0)
        reason = "the soundtrack did not load (see above)";
    else
        read = readSoundtrack(music.activeHandle(), tag.whole, tag.fps, soundtrack, reason);
    audioFree();
    if (!read) {
        failure = musicPath + ": " + reason;
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!wavFile(soundtrack, bytes) || std::fwrite(bytes.data(), 1, bytes.size(), wav.stream()) != bytes.size() ||
        std::fflush(wav.stream()) != 0) {
        failure = musicPath + ": the soundtrack cannot be handed to ffmpeg";
        return false;
    }
    return true;
}

std::vector<std::string> joinArguments(const std::string& ffmpeg, const std::string& listPath,
                                       const std::string& wavPath, bool ffv1, const std::string& outPath)
{
    // The list comes through a pipe; the segments it names are files.
    std::vector<std::string> arguments = {
        ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
        "-f", "concat", "-safe", "0", "-protocol_whitelist", "file,pipe", "-i", listPath, "-i", wavPath,
        "-map", "0:v:0", "-map", "1:a:0", "-map_metadata", "-1", "-c:v", "copy"};
    if (ffv1)
        arguments.insert(arguments.end(), {"-c:a", "pcm_s16le", "-f", "matroska"});
    else
        arguments.insert(arguments.end(), {"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart", "-f", "mp4"});
    arguments.push_back(outPath);
    return arguments;
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The joined video under its temporary name: every frame there.
bool checkJoined(const std::string& ffprobe, const std::string& path, uint64_t frames, std::string& failure)
{
    int status = 0;
    SegmentProbe probe;
    readSegmentProbe(programOutput({ffprobe, "-v", "error", "-count_packets", "-select_streams", "v:0",
                                    "-show_entries", "stream=codec_name,nb_read_packets", "-of",
                                    "default=noprint_wrappers=1", path},
                                   status),
                     probe);
    if (status != 0 || probe.frames != frames) {
        failure = path + ": the joined video holds " + std::to_string(probe.frames) + " frame(s), not " +
                  std::to_string(frames);
        return false;
    }
    return true;
}

int fail(const std::string& failure)
{
    logMessage("capture", "%s", failure.c_str());
    return 1;
}

// A join that a stop request ended writes nothing; 128 + `signal`.
int stopped(int signal, const std::string& joinPath)
{
    logMessage("capture", "%s: stopped before the join was done; nothing was written", joinPath.c_str());
    return 128 + signal;
}

}  // namespace

void readSegmentProbe(const std::string& report, SegmentProbe& probe)
{
    std::istringstream lines(report);
    const std::string tagKey = std::string("TAG:") + SEGMENT_TAG + "=";
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "codec_name")
            probe.codec = value;
        else if (key == "width")
            probe.width = std::atoi(value.c_str());
        else if (key == "height")
            probe.height = std::atoi(value.c_str());
        else if (key == "r_frame_rate")
            probe.rate = value;
        else if (key == "nb_read_packets")
            probe.frames = std::strtoull(value.c_str(), nullptr, 10);
        else if (line.compare(0, tagKey.size(), tagKey) == 0)
            probe.tagged = parseSegmentTag(value, probe.tag);
    }
}

bool segmentIsWhole(const std::string& ffprobe, const std::string& path, const SegmentTag& tag, const char* codec,
                    int width, int height)
{
    Segment found{path, {}};
    std::string failure;
    if (!probeSegment(ffprobe, found, failure))
        return false;
    const SegmentProbe& probe = found.probe;
    Segment expected{path, {}};
    expected.probe.codec = codec;
    expected.probe.width = width;
    expected.probe.height = height;
    expected.probe.tag = tag;
    return probe.tag.index == tag.index && checkSegment(found, expected, failure);
}

bool concatList(const std::vector<std::string>& paths, std::string& list, std::string& failure)
{
    list = "ffconcat version 1.0\n";
    for (const std::string& path : paths) {
        if (path.find_first_of("\r\n") != std::string::npos) {
            failure = path + ": a name with a line break cannot be joined";
            return false;
        }
        // "file:" keeps a relative name relative to the current folder rather
        // than to the list's; inside quotes only the quote needs escaping.
        list += "file 'file:";
        for (char c : path)
            list += c == '\'' ? std::string("'\\''") : std::string(1, c);
        list += "'\n";
    }
    return true;
}

int runJoin(const CaptureOptions& options)
{
    catchStopRequests();
    std::string failure;
    if (!options.dataDir.empty())
        setContentFolder(options.dataDir);
    const std::string ffmpeg = findProgram("ffmpeg");
    const std::string ffprobe = findProgram("ffprobe");
    if (ffmpeg.empty() || ffprobe.empty())
        return fail(options.joinPath + ": the join needs the ffmpeg and ffprobe tools on PATH (Debian package ffmpeg)");
    if (!folderWritable(parentFolder(options.joinPath), failure))
        return fail(failure);

    std::vector<Segment> segments;
    if (!gatherSegments(ffprobe, options.joinSegments, segments, failure))
        return fail(failure);
    const SegmentProbe& first = segments.front().probe;
    const bool ffv1 = endsWith(options.joinPath, ".mkv");
    if (first.codec != (ffv1 ? "ffv1" : "h264"))
        return fail(options.joinPath + ": the segments are " + first.codec + "; join " +
                    (ffv1 ? "them into .mp4 (H.264)" : "FFV1 into .mkv, H.264 into .mp4"));

    std::vector<std::string> ordered;
    for (const Segment& segment : segments)
        ordered.push_back(segment.path);
    // The list goes to ffmpeg through its input, the sound as a file with no
    // name, so that no ending leaves either behind.
    std::string list;
    ScratchFile sound;
    if (!concatList(ordered, list, failure) || !sound.make(".wav", failure) ||
        !writeSoundtrack(first.tag, sound, failure))
        return fail(failure);
    if (const int signal = stopRequest())
        return stopped(signal, options.joinPath);

    const std::string partial = options.joinPath + ".part";
    ChildProgram joiner;
    ChildFiles files;
    files.input = &sound;
    if (!joiner.start(joinArguments(ffmpeg, "pipe:0", sound.childName(), ffv1, partial), ChildProgram::Pipe::ToChild,
                      failure, files))
        return fail(failure);
    std::fwrite(list.data(), 1, list.size(), joiner.stream());
    bool cutShort = false;
    const int status = joiner.finishUnlessStopped(cutShort);
    if (status != 0)
        removeFile(partial);
    if (cutShort)
        return stopped(stopRequest(), options.joinPath);
    if (status != 0)
        return fail(options.joinPath + ": ffmpeg could not join the segments (see its message above)");
    if (!checkJoined(ffprobe, partial, first.tag.whole.count(), failure) ||
        !replaceFile(partial, options.joinPath, failure)) {
        removeFile(partial);
        return fail(failure);
    }
    if (!options.quiet)
        logMessage("capture", "joined %u segments into %s: %llu frames at %d fps",
                   static_cast<unsigned>(segments.size()),
                   options.joinPath.c_str(), static_cast<unsigned long long>(first.tag.whole.count()), first.tag.fps);
    return 0;
}
