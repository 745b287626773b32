// A decoder that streams: an MP3 (libmpg123, pulling its input from an open
// file or from bytes in memory) or a tracker module (libopenmpt, the module
// held in memory) becomes float PCM one block at a time, and can move to any
// frame. Memory does not grow with the length of the file.
//
// What it yields is bit for bit what the whole-file decoders of
// audio_decode.h give for a good file, however it got to a frame:
//  - MP3: the seek uses the frame index libmpg123 builds from the headers it
//    has read (reading headers on, without decoding, past what it has seen;
//    never a fuzzy guess) and decodes the frames before the target again to
//    refill the bit reservoir, which gives the samples reading on gives.
//  - Modules: libopenmpt's own seek sounds different from playing there
//    (voices already ringing are not restored), so a module moves back by
//    starting over and forward by rendering on, in the same blocks a whole
//    render uses.
//
// Bad input: a stream that breaks off or turns to garbage ends there, with a
// one-line reason in problem() that the owner reports once; a module stops
// at MODULE_MAX_SECONDS.
//
// Owned by one channel and used by one thread at a time (the engine holds
// the output's feed lock around it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"

// The most frames one read() yields; callers give room for this many.
constexpr size_t AUDIO_STREAM_BLOCK_FRAMES = 4096;

class AudioStream {
public:
    virtual ~AudioStream() = default;

    // Takes `file` (closed with the stream). Null with a reason when it does
    // not start as an MP3 stream of float PCM, 1 or 2 channels.
    static std::unique_ptr<AudioStream> openMp3(OpenedFile file, std::string& reason);
    // The same over bytes in memory (the fuzz target, tests).
    static std::unique_ptr<AudioStream> openMp3(std::vector<uint8_t> bytes, std::string& reason);
    // A module rendered as stereo at `rate` Hz; null with a reason.
    static std::unique_ptr<AudioStream> openModule(std::vector<uint8_t> bytes, uint32_t rate, std::string& reason);

    uint32_t rate() const { return rate_; }
    int channels() const { return channels_; }
    // The frame the next read starts at.
    uint64_t position() const { return position_; }
    // True once the stream has nothing more to give.
    bool ended() const { return ended_; }
    // Why the stream ended before its end ("breaks off after 12.3 s: ...");
    // empty while it is whole.
    const std::string& problem() const { return problem_; }

    // Decodes the next frames into `out` (room for AUDIO_STREAM_BLOCK_FRAMES
    // x channels floats); the frame count, 0 once ended.
    virtual size_t read(float* out) = 0;
    // Moves so that reading goes on at `frame`, or as close before it as
    // the stream allows (its end, a module's block start); returns that frame.
    virtual uint64_t seek(uint64_t frame) = 0;

protected:
    void endWith(const std::string& problem);

    uint32_t rate_ = 0;
    int channels_ = 0;
    uint64_t position_ = 0;
    bool ended_ = false;
    std::string problem_;
};
