// Output failures that only show when the data is flushed: a still or a WAV
// written to a full disk is an error naming the file, not a silent short file,
// and leaves what was at the name as it was, with no partial file anywhere.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_decode.h"
#include "capture_output.h"
#include "support/real_parts.h"
#include "support/small_disk.h"

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

TEST(CaptureOutput, AFullDiskKeepsTheEarlierFileAndLeavesNoPartOfTheNewOne)
{
    const SmallDisk disk(256 << 10);
    if (!disk.ok())
        REAL_PART_MISSING() << disk.why();
    const std::string png = disk.folder() + "/frame_000000.png", wav = disk.folder() + "/audio.wav";
    for (const std::string& path : {png, wav})
        std::ofstream(path) << "earlier";
    disk.fill();

    std::string failure;
    std::vector<uint8_t> rgba(320 * 180 * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = static_cast<uint8_t>(i * 2654435761u >> 13);  // does not compress to nothing
    EXPECT_FALSE(writePng(png, rgba, 320, 180, failure));
    EXPECT_EQ(failure, png + ": No space left on device");
    DecodedAudio pcm;
    pcm.rate = 44100;
    pcm.channels = 2;
    pcm.samples.assign(44100, 0.25f);
    EXPECT_FALSE(writeWav(wav, pcm, failure));
    EXPECT_EQ(failure, wav + ": No space left on device");

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(disk.folder())) {
        names.push_back(entry.path().filename());
        if (names.back() != "filler") {
            std::ostringstream text;
            text << std::ifstream(entry.path()).rdbuf();
            EXPECT_EQ(text.str(), "earlier") << entry.path();
        }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"audio.wav", "filler", "frame_000000.png"}));
}
