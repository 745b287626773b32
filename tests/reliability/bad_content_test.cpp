// The real show, headless, on damaged copies of its content folder. Every
// case must play on (exit 0 once asked to close, no crash, no hang) and name
// each damaged file once, with the reason, and no other file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "show_process.h"

namespace fs = std::filesystem;

namespace {

const char* const CONTENT_FILES[] = {"music.mp3",  "dot_sharp.pcx", "dot_blurred.pcx", "groups.pcx",
                                     "title.pcx", "greets.pcx",    "credits.pcx"};

// How many cases run at once: two cores, and CTest may run another test.
constexpr int PARALLEL_RUNS = 2;

// A file the show must report, and a fragment of the reason it must give.
struct Expected {
    std::string file;
    std::string reason;
};

struct ContentCase {
    ShowRun run;
    std::string dataFolder;
    std::vector<Expected> expected;
};

ContentCase makeCase(const std::string& name)
{
    ContentCase c;
    c.run.name = name;
    c.run.program = binaryFolder() + "/quillmoor";
    c.dataFolder = copyContent(scratchFolder(name));
    c.run.settle = std::chrono::milliseconds(1500);
    c.run.env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "QUILLMOOR_DATA=" + c.dataFolder};
    return c;
}

void expect(ContentCase& c, const std::string& file, const std::string& reason)
{
    c.expected.push_back({file, reason});
    // Stop once the last report is out: the main loop starts right after.
    c.run.stopAfterText.push_back(file + ": ");
}

// Played, closed cleanly, and named exactly the damaged files.
void checkCase(const ContentCase& c)
{
    const ShowRun& run = c.run;
    SCOPED_TRACE(run.name + "\n" + run.stderrText);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.hung) << "no close within the limit";
    EXPECT_FALSE(run.signalled) << "signal " << run.signal;
    EXPECT_FALSE(run.exitedBeforeStop) << "ended before it was asked to close";
    EXPECT_EQ(run.exitCode, 0);
    for (const Expected& e : c.expected) {
        const std::string path = c.dataFolder + "/" + e.file;
        std::vector<std::string> lines = linesWith(run.stderrText, path + ": ");
        ASSERT_EQ(lines.size(), 1u) << e.file << " must be reported once";
        EXPECT_NE(lines[0].find(e.reason), std::string::npos) << lines[0];
    }
    size_t named = 0;
    for (const char* file : CONTENT_FILES)
        named += linesWith(run.stderrText, c.dataFolder + "/" + file).size();
    EXPECT_EQ(named, c.expected.size()) << "a file that was not damaged was reported";
    if (c.expected.empty() || c.expected[0].file != "music.mp3") {
        EXPECT_TRUE(linesWith(run.stderrText, "plays silently").empty());
    }
}

void runCases(std::vector<ContentCase>& cases)
{
    std::vector<ShowRun> runs;
    for (ContentCase& c : cases)
        runs.push_back(c.run);
    runShows(runs, PARALLEL_RUNS);
    for (size_t i = 0; i < cases.size(); ++i) {
        cases[i].run = runs[i];
        checkCase(cases[i]);
    }
}

std::string at(const ContentCase& c, const std::string& file) { return c.dataFolder + "/" + file; }

void setLittle16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value)
{
    bytes.at(offset) = static_cast<uint8_t>(value & 0xFF);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void patchPicture(const ContentCase& c, const std::string& file, void (*patch)(std::vector<uint8_t>&))
{
    std::vector<uint8_t> bytes = readBytes(at(c, file));
    patch(bytes);
    writeBytes(at(c, file), bytes);
}

// A four-channel tracker module of one pattern: a short square-wave
// instrument played on the first row. Nothing in it looks like an MP3 frame.
std::vector<uint8_t> smallModule()
{
    std::vector<uint8_t> mod(20 + 31 * 30 + 2 + 128 + 4, 0);
    const char title[] = "reliability";
    std::copy(title, title + sizeof title - 1, mod.begin());
    uint8_t* sample = &mod[20];
    const char name[] = "square";
    std::copy(name, name + sizeof name - 1, sample);
    sample[22] = 0;   // length in words, big-endian: 64 words
    sample[23] = 64;
    sample[25] = 64;  // volume
    sample[26] = 0;   // loop start 0, loop length 32 words
    sample[27] = 0;
    sample[28] = 0;
    sample[29] = 32;
    for (int s = 1; s < 31; ++s)
        mod[20 + s * 30 + 29] = 1;  // empty samples: loop length 1
    size_t songAt = 20 + 31 * 30;
    mod[songAt] = 1;         // one position
    mod[songAt + 1] = 127;
    const char tag[] = "M.K.";
    std::copy(tag, tag + 4, mod.begin() + static_cast<std::ptrdiff_t>(songAt + 2 + 128));

    std::vector<uint8_t> pattern(64 * 4 * 4, 0);
    const uint16_t period = 428;
    pattern[0] = static_cast<uint8_t>((period >> 8) & 0x0F);  // sample 1: high nibble 0
    pattern[1] = static_cast<uint8_t>(period & 0xFF);
    pattern[2] = 0x10;                                          // sample 1: low nibble, no effect
    mod.insert(mod.end(), pattern.begin(), pattern.end());
    for (int i = 0; i < 128; ++i)
        mod.push_back((i / 8) % 2 ? 0x40 : 0xC0);
    return mod;
}

}  // namespace

TEST(BadContent, UntouchedCopyPlaysWithoutAReport)
{
    // The control: the copy itself, run the same way, draws no complaint.
    std::vector<ContentCase> cases{makeCase("untouched")};
    cases[0].run.settle = std::chrono::milliseconds(3500);
    runCases(cases);
}

TEST(BadContent, NoFolderAndEachFileMissingInTurn)
{
    std::vector<ContentCase> cases;
    ContentCase none = makeCase("no_data_folder");
    fs::remove_all(none.dataFolder);
    for (const char* file : CONTENT_FILES)
        expect(none, file, "No such file or directory");
    cases.push_back(none);

    for (const char* file : CONTENT_FILES) {
        ContentCase c = makeCase(std::string("missing_") + file);
        fs::remove(at(c, file));
        expect(c, file, "No such file or directory");
        cases.push_back(c);
    }
    runCases(cases);
}

TEST(BadContent, EmptyFiles)
{
    ContentCase c = makeCase("all_empty");
    for (const char* file : CONTENT_FILES) {
        writeBytes(at(c, file), {});
        expect(c, file, file == std::string("music.mp3") ? "empty file" : "too short for a PCX header");
    }
    std::vector<ContentCase> cases{c};
    runCases(cases);
}

TEST(BadContent, DamagedMusic)
{
    std::vector<ContentCase> cases;

    // Cut in half: what is there plays, the rest is silence; nothing to say.
    ContentCase half = makeCase("music_cut_in_half");
    std::vector<uint8_t> music = readBytes(at(half, "music.mp3"));
    ASSERT_GT(music.size(), 100000u);
    music.resize(music.size() / 2);
    writeBytes(at(half, "music.mp3"), music);
    half.run.settle = std::chrono::milliseconds(3500);
    cases.push_back(half);

    // Cut inside the first frame: no sound at all.
    ContentCase stub = makeCase("music_cut_in_first_frame");
    music = readBytes(at(stub, "music.mp3"));
    music.resize(3);
    writeBytes(at(stub, "music.mp3"), music);
    expect(stub, "music.mp3", "not an MP3 stream");
    cases.push_back(stub);

    ContentCase noise = makeCase("music_random_bytes");
    std::mt19937 random(20150403);
    std::vector<uint8_t> bytes(256 * 1024);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random() & 0x7F);  // never a frame sync
    writeBytes(at(noise, "music.mp3"), bytes);
    expect(noise, "music.mp3", "");  // the decoder's own words
    cases.push_back(noise);

    // A tracker module under the stream's name is still read as a stream.
    ContentCase module = makeCase("music_is_a_module");
    writeBytes(at(module, "music.mp3"), smallModule());
    expect(module, "music.mp3", "not an MP3 stream");
    cases.push_back(module);

    ContentCase folder = makeCase("music_is_a_folder");
    fs::remove(at(folder, "music.mp3"));
    fs::create_directory(at(folder, "music.mp3"));
    expect(folder, "music.mp3", "is a directory");
    cases.push_back(folder);

    runCases(cases);
}

TEST(BadContent, DamagedPictures)
{
    std::vector<ContentCase> cases;

    // Six header faults at once, one per picture.
    ContentCase headers = makeCase("picture_headers");
    patchPicture(headers, "dot_sharp.pcx", [](std::vector<uint8_t>& b) { b[64] = 1; });
    expect(headers, "dot_sharp.pcx", "header byte 64 is not 0");
    patchPicture(headers, "dot_blurred.pcx", [](std::vector<uint8_t>& b) { setLittle16(b, 66, 0); });
    expect(headers, "dot_blurred.pcx", "zero width");
    patchPicture(headers, "groups.pcx", [](std::vector<uint8_t>& b) {
        setLittle16(b, 6, 10);  // top row below the bottom one
        setLittle16(b, 10, 0);
    });
    expect(headers, "groups.pcx", "zero or negative height");
    patchPicture(headers, "title.pcx", [](std::vector<uint8_t>& b) { setLittle16(b, 66, 0xFFFF); });
    expect(headers, "title.pcx", "larger than 16384");
    patchPicture(headers, "greets.pcx", [](std::vector<uint8_t>& b) {
        setLittle16(b, 6, 0);
        setLittle16(b, 10, 0xFFFF);
    });
    expect(headers, "greets.pcx", "larger than 16384");
    patchPicture(headers, "credits.pcx", [](std::vector<uint8_t>& b) { b.resize(100); });
    expect(headers, "credits.pcx", "too short for a PCX header");
    cases.push_back(headers);

    // Another picture's bytes: a sound file of the wrong size for its texture.
    ContentCase swapped = makeCase("picture_wrong_size");
    writeBytes(at(swapped, "groups.pcx"), readBytes(at(swapped, "dot_sharp.pcx")));
    expect(swapped, "groups.pcx", "picture is 256x256, its texture needs 512x256");
    cases.push_back(swapped);

    // The picture data cut short, the palette kept at the end.
    ContentCase cut = makeCase("picture_data_cut");
    patchPicture(cut, "title.pcx", [](std::vector<uint8_t>& b) {
        std::vector<uint8_t> palette(b.end() - 769, b.end());
        b.resize(128 + 600);
        b.insert(b.end(), palette.begin(), palette.end());
    });
    expect(cut, "title.pcx", "picture data ends before the last row");
    // Only a palette's worth of bytes after the header.
    patchPicture(cut, "credits.pcx", [](std::vector<uint8_t>& b) { b.resize(128 + 100); });
    expect(cut, "credits.pcx", "too short for a 256-colour palette");
    cases.push_back(cut);

    // Every data byte a 63-pixel run: runs cross every row end and run past
    // the picture's last pixel. The picture is whole (one colour); nothing
    // may be written past it, and there is nothing to report.
    ContentCase runs = makeCase("picture_runs_past_the_end");
    patchPicture(runs, "greets.pcx", [](std::vector<uint8_t>& b) {
        for (size_t i = 128; i + 1 < b.size() - 769; i += 2) {
            b[i] = 0xFF;
            b[i + 1] = 0x07;
        }
    });
    patchPicture(runs, "dot_sharp.pcx", [](std::vector<uint8_t>& b) {
        b[b.size() - 770] = 0xFF;  // a run count as the last data byte, its value missing
    });
    cases.push_back(runs);

    ContentCase folder = makeCase("picture_is_a_folder");
    fs::remove(at(folder, "title.pcx"));
    fs::create_directory(at(folder, "title.pcx"));
    expect(folder, "title.pcx", "");
    cases.push_back(folder);

    runCases(cases);
}

TEST(BadContent, UnreadableFiles)
{
    ContentCase c = makeCase("unreadable");
    // File permissions do not stop root: run the show as an unprivileged user.
    if (geteuid() == 0) {
        ASSERT_EQ(chmod(c.dataFolder.c_str(), 0755), 0);
        c.run.args = {"--reuid=65534", "--regid=65534", "--clear-groups", c.run.program};
        c.run.program = "/usr/bin/setpriv";
        c.run.env.push_back("MESA_SHADER_CACHE_DISABLE=true");
        c.run.env.push_back("HOME=/nonexistent");
    }
    for (const char* file : {"music.mp3", "greets.pcx"}) {
        ASSERT_EQ(chmod(at(c, file).c_str(), 0), 0);
        expect(c, file, "Permission denied");
    }
    std::vector<ContentCase> cases{c};
    runCases(cases);
}
