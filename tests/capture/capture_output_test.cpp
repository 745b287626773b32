// Output failures that only show when the data is flushed: a still or a WAV
// written to a full disk is an error naming the file, not a silent short file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "audio/audio_decode.h"
#include "capture_output.h"
#include "support/real_parts.h"

TEST(CaptureOutput, WritesToAFullDiskFailWithTheFileAndTheReason)
{
    struct stat info;
    if (stat("/dev/full", &info) != 0)
        REAL_PART_MISSING() << "no /dev/full here";
    std::string failure;
    const std::vector<uint8_t> rgba(64 * 36 * 4, 200);
    EXPECT_FALSE(writePng("/dev/full", rgba, 64, 36, failure));
    EXPECT_EQ(failure, "/dev/full: No space left on device");

    DecodedAudio pcm;
    pcm.rate = 44100;
    pcm.channels = 2;
    pcm.samples.assign(44100, 0.25f);
    failure.clear();
    EXPECT_FALSE(writeWav("/dev/full", pcm, failure));
    EXPECT_EQ(failure, "/dev/full: No space left on device");
}
