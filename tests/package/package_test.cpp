// The Debian package as a user gets it: made by CPack from this build tree,
// checked by lintian, laid out as Debian keeps games (the same tree as
// `cmake --install` gives under any prefix), a menu entry that validates
// with its icon, and the capture tool unpacked into a scratch root finding
// the unpacked content from its own location, run from another folder.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/real_parts.h"

namespace {

std::string quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Result {
    int status = -1;
    std::string out;  // stdout and stderr together
};

Result run(const std::string& command)
{
    Result result;
    std::FILE* pipe = popen(("(" + command + ") 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, got);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool onPath(const char* program)
{
    return run(std::string("command -v ") + program).status == 0;
}

std::string readText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

// Paths of the files (not folders) under `root`, relative to it, sorted.
std::set<std::string> filesUnder(const std::string& root)
{
    std::set<std::string> files;
    for (const std::string& line : lines(run("cd " + quote(root) + " && find . -type f").out))
        files.insert(line.substr(1));
    return files;
}

class Package : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        scratch_ = ::testing::TempDir() + "quillmoor_package_" + std::to_string(getpid());
        run("rm -rf " + quote(scratch_) + " && mkdir -p " + quote(scratch_));
        if (!onPath("dpkg-deb") || !onPath("dpkg-shlibdeps") || !onPath("file")) {
            skipReason_ = "dpkg-deb, dpkg-shlibdeps or file is missing (tools/setup.sh installs them)";
            return;
        }
        const Result made = run(std::string(QUILLMOOR_CPACK) + " -G DEB --config " +
                                quote(QUILLMOOR_BINARY_DIR "/CPackConfig.cmake") + " -B " + quote(scratch_));
        const std::string found = run("ls " + quote(scratch_) + "/quillmoor_*_*.deb").out;
        if (made.status != 0 || lines(found).size() != 1) {
            packFailure_ = "cpack failed:\n" + made.out;
            return;
        }
        deb_ = lines(found)[0];
        root_ = scratch_ + "/root";
        const Result unpacked = run("dpkg-deb -x " + quote(deb_) + " " + quote(root_));
        if (unpacked.status != 0)
            packFailure_ = "dpkg-deb -x failed:\n" + unpacked.out;
    }

    static void TearDownTestSuite() { run("rm -rf " + quote(scratch_)); }

    void SetUp() override
    {
        if (!skipReason_.empty())
            REAL_PART_MISSING() << skipReason_;
        ASSERT_TRUE(packFailure_.empty()) << packFailure_;
    }

    static std::string scratch_;
    static std::string deb_;   // the package
    static std::string root_;  // where it is unpacked
    static std::string skipReason_;
    static std::string packFailure_;
};

std::string Package::scratch_;
std::string Package::deb_;
std::string Package::root_;
std::string Package::skipReason_;
std::string Package::packFailure_;

}  // namespace

TEST_F(Package, LintianReportsNoErrors)
{
    if (!onPath("lintian"))
        REAL_PART_MISSING() << "lintian is not installed (tools/setup.sh --test installs it)";
    const Result checked = run("lintian --no-tag-display-limit " + quote(deb_));
    std::vector<std::string> errors;
    for (const std::string& line : lines(checked.out))
        if (line.rfind("E: ", 0) == 0)
            errors.push_back(line);
    EXPECT_TRUE(errors.empty()) << checked.out;
    // Errors make lintian fail; anything else it prints is a tag of a lower level.
    EXPECT_EQ(checked.status, 0) << checked.out;
}

TEST_F(Package, HoldsTheGamesLayoutThatCmakeInstallGivesUnderAnyPrefix)
{
    const std::set<std::string> packaged = filesUnder(root_);
    for (const char* path : {"/usr/games/quillmoor", "/usr/bin/quillmoor-capture",
                             "/usr/share/games/quillmoor/music.mp3", "/usr/share/games/quillmoor/title.pcx",
                             "/usr/share/games/quillmoor/dot_sharp.pcx", "/usr/share/applications/quillmoor.desktop",
                             "/usr/share/icons/hicolor/256x256/apps/quillmoor.png",
                             "/usr/share/man/man6/quillmoor.6.gz", "/usr/share/man/man1/quillmoor-capture.1.gz",
                             "/usr/share/doc/quillmoor/copyright", "/usr/share/doc/quillmoor/changelog.gz"})
        EXPECT_EQ(packaged.count(path), 1u) << path << " is not in the package";

    const std::string prefix = scratch_ + "/prefix";
    const Result installed =
        run("cmake --install " + quote(QUILLMOOR_BINARY_DIR) + " --prefix " + quote(prefix));
    ASSERT_EQ(installed.status, 0) << installed.out;
    std::set<std::string> underPrefix;
    for (const std::string& path : filesUnder(prefix))
        underPrefix.insert("/usr" + path);
    EXPECT_EQ(underPrefix, packaged);

    // What dpkg-shlibdeps found, and the fields a games package carries.
    const std::string control = run("dpkg-deb -f " + quote(deb_)).out;
    EXPECT_NE(control.find("Section: games"), std::string::npos) << control;
    EXPECT_NE(control.find("libsdl2-2.0-0"), std::string::npos) << control;
    EXPECT_NE(control.find("libmpg123-0"), std::string::npos) << control;
    EXPECT_NE(control.find("Recommends: ffmpeg"), std::string::npos) << control;
    EXPECT_NE(readText(root_ + "/usr/share/doc/quillmoor/copyright")
                  .find("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"),
              std::string::npos);
}

TEST_F(Package, MenuEntryValidatesAndItsIconIsThere)
{
    if (!onPath("desktop-file-validate"))
        REAL_PART_MISSING() << "desktop-file-validate is not installed (tools/setup.sh --test installs it)";
    const std::string entry = root_ + "/usr/share/applications/quillmoor.desktop";
    const Result validated = run("desktop-file-validate " + quote(entry));
    EXPECT_EQ(validated.status, 0) << validated.out;
    EXPECT_TRUE(validated.out.empty()) << validated.out;
    const std::string text = readText(entry);
    EXPECT_NE(text.find("\nExec=quillmoor\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=quillmoor\n"), std::string::npos) << text;

    // A PNG of the size its folder names (the width and height in IHDR).
    const std::string icon = readText(root_ + "/usr/share/icons/hicolor/256x256/apps/quillmoor.png");
    ASSERT_GT(icon.size(), 24u);
    EXPECT_EQ(icon.substr(1, 3), "PNG");
    EXPECT_EQ(icon.substr(16, 8), std::string("\0\0\1\0\0\0\1\0", 8));
}

TEST_F(Package, UnpackedCaptureToolFindsTheUnpackedContentFromAnotherFolder)
{
    const std::string elsewhere = scratch_ + "/elsewhere";
    run("mkdir -p " + quote(elsewhere));
    // No build tree to fall back on.
    const Result still = run("cd " + quote(elsewhere) + " && " +
                             quote(root_ + "/usr/bin/quillmoor-capture") +
                             " --still 58s --size 160x90 --fps 10 --quiet");
    ASSERT_EQ(still.status, 0) << still.out;
    for (const std::string& line : lines(still.out))
        EXPECT_EQ(line.rfind("audio: no audio output", 0), 0u) << "unexpected message: " << line;
    const std::string png = readText(elsewhere + "/still_058000.png");
    ASSERT_GT(png.size(), 100u);
    EXPECT_EQ(png.substr(1, 3), "PNG");

    const Result help = run(quote(root_ + "/usr/bin/quillmoor-capture") + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--codec"), std::string::npos);
}
