// The real show and the offline renderer, headless, on damaged copies of
// their content folder, and on content paths that are not files at all or
// are far larger than any real content. Every case must play on (the show
// exits 0 once asked to close, the renderer writes its still), name each
// damaged file once, with the reason, and no other file, say so within a
// few seconds of starting, and stay within a few hundred megabytes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
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

// PEAK_LIMIT_KB is what a run may take, content load included: far above
// what the show needs with its real content, far below a 2 GB file read
// whole or a 16384 x 16384 picture decoded; the sanitizers' shadow memory and
// quarantine at least double what the same run holds. REPORT_LIMIT is how
// soon after the start every report is out: it comes before the first frame
// (a few seconds on a busy two-core machine), and a path that blocks keeps
// it back until the run is killed.
#if defined(__SANITIZE_ADDRESS__)
constexpr long PEAK_LIMIT_KB = 500L * 1024;
constexpr std::chrono::seconds REPORT_LIMIT{40};
#else
constexpr long PEAK_LIMIT_KB = 300L * 1024;
constexpr std::chrono::seconds REPORT_LIMIT{20};
#endif

// A file the show must report, and a fragment of the reason it must give.
struct Expected {
    std::string file;
    std::string reason;
};

struct ContentCase {
    ShowRun run;
    std::string dataFolder;
    std::string stillsFolder;  // the offline renderer's output; empty for the show
    std::vector<Expected> expected;
};

ContentCase makeCase(const std::string& name)
{
    ContentCase c;
    c.run.name = name;
    c.run.program = binaryFolder() + "/quillmoor";
    c.dataFolder = copyContent(scratchFolder(name));
    // Soon after the reports: the headless show's memory grows with the
    // frames it draws, and this suite measures what loading costs.
    c.run.settle = std::chrono::milliseconds(1000);
    c.run.args = {"--data", c.dataFolder};
    c.run.env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy"};
    return c;
}

// The offline renderer, one small still at one second, ending by itself.
ContentCase makeCaptureCase(const std::string& name)
{
    ContentCase c;
    c.run.name = name + " (capture)";
    c.run.program = binaryFolder() + "/quillmoor-capture";
    const std::string folder = scratchFolder(name + "_capture");
    c.dataFolder = copyContent(folder);
    c.stillsFolder = folder + "/stills";
    std::filesystem::create_directories(c.stillsFolder);
    c.run.args = {"--data", c.dataFolder, "--size", "160x90", "--still", "1000", "--quiet", "--out", c.stillsFolder};
    c.run.stop = false;
    return c;
}

void expect(ContentCase& c, const std::string& file, const std::string& reason)
{
    c.expected.push_back({file, reason});
    // Stop once the last report is out: the main loop starts right after.
    c.run.stopAfterText.push_back(file + ": ");
}

// Played, closed cleanly, named exactly the damaged files, soon and within
// its memory.
void checkCase(const ContentCase& c)
{
    const ShowRun& run = c.run;
    SCOPED_TRACE(run.name + "\n" + run.stderrText);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.hung) << "no end within the limit";
    EXPECT_FALSE(run.signalled) << "signal " << run.signal;
    if (c.stillsFolder.empty()) {
        EXPECT_FALSE(run.exitedBeforeStop) << "ended before it was asked to close";
    } else {
        EXPECT_TRUE(std::filesystem::exists(c.stillsFolder + "/still_001000.png")) << "no still written";
    }
    EXPECT_EQ(run.exitCode, 0);
    std::printf("[ measured ] %s: reports after %lld ms, peak %ld kB by then, %ld kB in all\n",
                run.name.c_str(), static_cast<long long>(run.reportedAfter.count()), run.peakAtReportsKb,
                run.peakRssKb);
    EXPECT_GE(run.reportedAfter.count(), 0) << "the reports never all appeared";
    if (!c.stillsFolder.empty()) {
        // The renderer draws one small frame: its whole run is its load.
        EXPECT_GT(run.peakRssKb, 0);
        EXPECT_LT(run.peakRssKb, PEAK_LIMIT_KB) << "peak resident memory, kB";
    } else if (!c.expected.empty()) {
        // The headless show's memory grows with the frames it draws (GL
        // work left unflushed on an offscreen surface), so what loading cost
        // is read when the reports are out: the main loop starts right after.
        EXPECT_GT(run.peakAtReportsKb, 0);
        EXPECT_LT(run.peakAtReportsKb, PEAK_LIMIT_KB) << "peak resident memory at the reports, kB";
    }
    EXPECT_LT(run.reportedAfter, REPORT_LIMIT) << "reports after " << run.reportedAfter.count() << " ms";
    bool musicExpected = false;
    for (const Expected& e : c.expected) {
        const std::string path = c.dataFolder + "/" + e.file;
        std::vector<std::string> lines = linesWith(run.stderrText, path + ": ");
        ASSERT_EQ(lines.size(), 1u) << e.file << " must be reported once";
        EXPECT_NE(lines[0].find(e.reason), std::string::npos) << lines[0];
        musicExpected = musicExpected || e.file == "music.mp3";
    }
    size_t named = 0;
    for (const char* file : CONTENT_FILES)
        named += linesWith(run.stderrText, c.dataFolder + "/" + file).size();
    EXPECT_EQ(named, c.expected.size()) << "a file that was not damaged was reported";
    // A music file that cannot be read is a missing one: the show plays on
    // in silence and says so once.
    EXPECT_EQ(linesWith(run.stderrText, "plays silently").size(), musicExpected ? 1u : 0u);
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

// Puts something that is not an ordinary file where `file` was.
void replaceWithFifo(const ContentCase& c, const std::string& file)
{
    fs::remove(at(c, file));
    ASSERT_EQ(mkfifo(at(c, file).c_str(), 0644), 0) << at(c, file);
}

void replaceWithDirectory(const ContentCase& c, const std::string& file)
{
    fs::remove(at(c, file));
    fs::create_directory(at(c, file));
}

void replaceWithLink(const ContentCase& c, const std::string& file, const std::string& target)
{
    fs::remove(at(c, file));
    fs::create_symlink(target, at(c, file));
}

// A listening UNIX socket's node; it stays a socket after the listener is gone.
void replaceWithSocket(const ContentCase& c, const std::string& file)
{
    fs::remove(at(c, file));
    const std::string path = at(c, file);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path) << "socket path too long: " << path;
    std::copy(path.begin(), path.end(), address.sun_path);
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    EXPECT_EQ(listen(listener, 1), 0);
    close(listener);
}

// Makes `file` `bytes` long without writing them: the rest reads as zeros
// and costs no disk.
void growSparse(const ContentCase& c, const std::string& file, off_t bytes)
{
    ASSERT_EQ(truncate(at(c, file).c_str(), bytes), 0) << at(c, file);
}

// A picture whose header says 16384 x 16384, with run-length data enough to
// fill it (63-pixel runs, about 8.5 MB): decoding it would take a gigabyte.
std::vector<uint8_t> hugePicture()
{
    const size_t side = 16384;
    const size_t runs = (side * side + 62) / 63;
    std::vector<uint8_t> bytes(128 + 2 * runs + 769, 0);
    bytes[0] = 10;  // manufacturer, version, encoding, bits per pixel
    bytes[1] = 5;
    bytes[2] = 1;
    bytes[3] = 8;
    setLittle16(bytes, 10, side - 1);  // Ymax
    bytes[65] = 1;                     // planes
    setLittle16(bytes, 66, side);      // bytes per scanline
    for (size_t i = 0; i < runs; ++i) {
        bytes[128 + 2 * i] = 0xFF;
        bytes[128 + 2 * i + 1] = 3;
    }
    bytes[128 + 2 * runs] = 12;  // palette marker
    return bytes;
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

// What is done to one content file, and the reason the show must give
// for it (empty: the reason is the decoder's own words).
using Damage = std::function<void(const ContentCase&, const std::string& file)>;
struct Fault {
    const char* file;
    Damage damage;
    const char* reason;
};

Damage linkTo(const std::string& target)
{
    return [target](const ContentCase& c, const std::string& file) { replaceWithLink(c, file, target); };
}

Damage grownTo(off_t bytes)
{
    return [bytes](const ContentCase& c, const std::string& file) { growSparse(c, file, bytes); };
}

Damage writtenAs(std::vector<uint8_t> bytes)
{
    return [bytes](const ContentCase& c, const std::string& file) { writeBytes(at(c, file), bytes); };
}

Damage patched(void (*patch)(std::vector<uint8_t>&))
{
    return [patch](const ContentCase& c, const std::string& file) { patchPicture(c, file, patch); };
}

void applyFaults(ContentCase& c, const std::vector<Fault>& faults)
{
    for (const Fault& fault : faults) {
        fault.damage(c, fault.file);
        expect(c, fault.file, fault.reason);
    }
}

// One run of the show per fault, each case named as given.
void addOneFaultCases(std::vector<ContentCase>& cases, const std::vector<std::pair<const char*, Fault>>& faults)
{
    for (const auto& [name, fault] : faults) {
        ContentCase c = makeCase(name);
        applyFaults(c, {fault});
        cases.push_back(c);
    }
}

}  // namespace

TEST(BadContent, UntouchedCopyPlaysWithoutAReport)
{
    // The control: the copy itself, run the same way, draws no complaint.
    std::vector<ContentCase> cases{makeCase("untouched")};
    cases[0].run.settle = std::chrono::milliseconds(2500);
    cases.push_back(makeCaptureCase("untouched"));
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
    const std::vector<uint8_t> music = readBytes(at(half, "music.mp3"));
    ASSERT_GT(music.size(), 100000u);
    writeBytes(at(half, "music.mp3"), {music.begin(), music.begin() + music.size() / 2});
    half.run.settle = std::chrono::milliseconds(2500);
    cases.push_back(half);

    std::mt19937 random(20150403);
    std::vector<uint8_t> noise(256 * 1024);
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>(random() & 0x7F);  // never a frame sync
    addOneFaultCases(cases, {
        // Cut inside the first frame: no sound at all.
        {"music_cut_in_first_frame", {"music.mp3", writtenAs({music.begin(), music.begin() + 3}), "not an MP3 stream"}},
        {"music_random_bytes", {"music.mp3", writtenAs(noise), ""}},  // the decoder's own words
        // A tracker module under the stream's name is still read as a stream.
        {"music_is_a_module", {"music.mp3", writtenAs(smallModule()), "not an MP3 stream"}},
    });

    runCases(cases);
}

TEST(BadContent, DamagedPictures)
{
    std::vector<ContentCase> cases;

    // Six header faults at once, one per picture.
    ContentCase headers = makeCase("picture_headers");
    applyFaults(headers, {
        {"dot_sharp.pcx", patched([](std::vector<uint8_t>& b) { b[64] = 1; }), "header byte 64 is not 0"},
        {"dot_blurred.pcx", patched([](std::vector<uint8_t>& b) { setLittle16(b, 66, 0); }), "zero width"},
        {"groups.pcx", patched([](std::vector<uint8_t>& b) {
             setLittle16(b, 6, 10);  // top row below the bottom one
             setLittle16(b, 10, 0);
         }),
         "zero or negative height"},
        {"title.pcx", patched([](std::vector<uint8_t>& b) { setLittle16(b, 66, 0xFFFF); }), "larger than 16384"},
        {"greets.pcx", patched([](std::vector<uint8_t>& b) {
             setLittle16(b, 6, 0);
             setLittle16(b, 10, 0xFFFF);
         }),
         "larger than 16384"},
        {"credits.pcx", patched([](std::vector<uint8_t>& b) { b.resize(100); }), "too short for a PCX header"},
    });
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

    runCases(cases);
}

// Why the unprivileged user cannot reach `path` (a folder above it that
// others may not search), or empty when it can.
std::string unreachableByOthers(const fs::path& path)
{
    for (fs::path p = path.parent_path(); !p.empty(); p = p.parent_path()) {
        struct stat info;
        if (stat(p.c_str(), &info) != 0 || !(info.st_mode & S_IXOTH))
            return p.string() + " cannot be searched by other users";
        if (p == p.root_path())
            break;
    }
    return "";
}

TEST(BadContent, UnreadableFiles)
{
    ContentCase c = makeCase("unreadable");
    // File permissions do not stop root: run the show as an unprivileged
    // user, from a copy of the program beside its content, so that where
    // the build tree lives (a home folder others cannot enter) does not
    // matter.
    if (geteuid() == 0) {
        // The case's folder and the suite's folder above it are ours to open.
        const fs::path folder = fs::path(c.dataFolder).parent_path();
        for (const fs::path& p : {folder.parent_path(), folder, fs::path(c.dataFolder)})
            ASSERT_EQ(chmod(p.c_str(), 0755), 0) << p;
        const fs::path program = folder / "quillmoor";
        fs::copy_file(c.run.program, program, fs::copy_options::overwrite_existing);
        ASSERT_EQ(chmod(program.c_str(), 0755), 0);
        const std::string why = unreachableByOthers(program);
        if (!why.empty())
            GTEST_SKIP() << "the test's temporary folder cannot be reached by an unprivileged user: " << why;
        c.run.args = {"--reuid=65534", "--regid=65534", "--clear-groups", program.string(), "--data", c.dataFolder};
        c.run.program = "/usr/bin/setpriv";
        c.run.env.push_back("MESA_SHADER_CACHE_DISABLE=true");
        c.run.env.push_back("HOME=/nonexistent");
        // The leak checker's suppressions, when named, must be readable too.
        if (const char* lsan = std::getenv("LSAN_OPTIONS")) {
            std::string options = lsan;
            const std::string key = "suppressions=";
            const size_t at = options.find(key);
            if (at != std::string::npos) {
                const size_t end = options.find(':', at);
                const std::string file =
                    options.substr(at + key.size(), end == std::string::npos ? end : end - at - key.size());
                const fs::path copy = folder / "lsan.supp";
                fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
                chmod(copy.c_str(), 0644);
                options.replace(at + key.size(), file.size(), copy.string());
                c.run.env.push_back("LSAN_OPTIONS=" + options);
            }
        }
    }
    for (const char* file : {"music.mp3", "greets.pcx"}) {
        ASSERT_EQ(chmod(at(c, file).c_str(), 0), 0);
        expect(c, file, "Permission denied");
    }
    std::vector<ContentCase> cases{c};
    runCases(cases);
}

TEST(BadContent, PathsThatAreNotOrdinaryFiles)
{
    // One kind per run of the show, none of which may block or be read: a
    // FIFO with no writer, a socket, devices that never end, folders.
    std::vector<ContentCase> cases;
    addOneFaultCases(cases, {
        {"picture_fifo", {"title.pcx", replaceWithFifo, "is a FIFO"}},
        {"music_fifo", {"music.mp3", replaceWithFifo, "is a FIFO"}},
        {"picture_socket", {"greets.pcx", replaceWithSocket, "is a socket"}},
        {"picture_dev_zero", {"dot_sharp.pcx", linkTo("/dev/zero"), "is a device"}},
        {"music_dev_urandom", {"music.mp3", linkTo("/dev/urandom"), "is a device"}},
        {"picture_folder", {"groups.pcx", replaceWithDirectory, "is a directory"}},
        {"music_folder", {"music.mp3", replaceWithDirectory, "is a directory"}},
    });

    // The offline renderer with every kind at once, and a FIFO reached
    // through a link.
    ContentCase capture = makeCaptureCase("not_files");
    ASSERT_EQ(mkfifo((capture.dataFolder + "/../music.fifo").c_str(), 0644), 0);
    applyFaults(capture, {
        {"dot_sharp.pcx", linkTo("/dev/zero"), "is a device"},
        {"dot_blurred.pcx", linkTo("/dev/urandom"), "is a device"},
        {"groups.pcx", replaceWithDirectory, "is a directory"},
        {"title.pcx", replaceWithFifo, "is a FIFO"},
        {"greets.pcx", replaceWithSocket, "is a socket"},
        {"music.mp3", linkTo("../music.fifo"), "is a FIFO"},
    });
    cases.push_back(capture);

    ContentCase captureRandom = makeCaptureCase("music_dev_urandom");
    applyFaults(captureRandom, {{"music.mp3", linkTo("/dev/urandom"), "is a device"}});
    cases.push_back(captureRandom);

    runCases(cases);
}

TEST(BadContent, FilesFarLargerThanAnyContent)
{
    std::vector<ContentCase> cases;
    const std::vector<uint8_t> huge = hugePicture();
    addOneFaultCases(cases, {
        // One byte past the picture ceiling, and a 2 GB music file: refused
        // by their size alone.
        {"picture_past_its_ceiling",
         {"credits.pcx", grownTo((32 << 20) + 1), "is 33554433 bytes, more than the 33554432 allowed"}},
        {"music_2_gb", {"music.mp3", grownTo(off_t(2) << 30), "is 2147483648 bytes, more than the"}},
        // A header far larger than its texture, with data to fill it: turned
        // away by the header, before a pixel is decoded.
        {"picture_16384_square", {"title.pcx", writtenAs(huge), "picture is 16384x16384, its texture needs 512x256"}},
    });

    ContentCase capture = makeCaptureCase("too_large");
    applyFaults(capture, {
        {"credits.pcx", grownTo((32 << 20) + 1), "more than the 33554432 allowed"},
        {"music.mp3", grownTo(off_t(2) << 30), "is 2147483648 bytes, more than the"},
        {"title.pcx", writtenAs(huge), "picture is 16384x16384, its texture needs 512x256"},
        {"groups.pcx", writtenAs(readBytes(at(capture, "greets.pcx"))), "picture is 512x512, its texture needs 512x256"},
    });
    cases.push_back(capture);

    runCases(cases);
}
