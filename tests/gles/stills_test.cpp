// The show drawn through the compatibility layer on OpenGL ES 3.0 against
// the same show on desktop OpenGL: the capture tool's stills at fixed show
// times from both builds may differ in at most 2 % of their pixels by more
// than 8/255 in a channel (the two paths round differently, nothing more).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/real_parts.h"

namespace {

constexpr const char* SIZE = "640x360";
constexpr double MOST_DIFFERING = 0.02;  // share of pixels
constexpr int TOLERANCE = 8;             // per channel, of 255

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

std::string folder(const char* build)
{
    return ::testing::TempDir() + "gles_stills_" + build + "_" + std::to_string(getpid());
}

// Renders the four stills with one program of the build; its exit status.
int renderStills(const char* program, const std::string& out)
{
    const std::string command = "rm -rf " + quoted(out) + " && mkdir -p " + quoted(out) + " && " +
                                quoted(std::string(QUILLMOOR_BINARY_DIR) + "/" + program) +
                                " --still 20s,58s,96s,120s --size " + SIZE + " --quiet --out " + quoted(out) +
                                " 2>/dev/null";
    return std::system(command.c_str());
}

// The picture as 8-bit RGB, decoded by ffmpeg; empty when it cannot be read.
std::string decodedRgb(const std::string& path)
{
    std::FILE* pipe = popen(("ffmpeg -v error -nostdin -i " + quoted(path) + " -f rawvideo -pix_fmt rgb24 -").c_str(),
                            "r");
    if (!pipe)
        return std::string();
    std::string out;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, got);
    pclose(pipe);
    return out;
}

class EsStills : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite()
    {
        desktopStatus_ = renderStills("quillmoor-capture", folder("desktop"));
        esStatus_ = renderStills("quillmoor-capture-es", folder("es"));
    }

    static int desktopStatus_;
    static int esStatus_;
};

int EsStills::desktopStatus_ = -1;
int EsStills::esStatus_ = -1;

TEST_P(EsStills, MatchTheDesktopPicture)
{
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0)
        REAL_PART_MISSING() << "no ffmpeg to decode the stills";
    ASSERT_EQ(desktopStatus_, 0);
    ASSERT_EQ(esStatus_, 0);
    const std::string name = std::string("/still_") + GetParam() + ".png";
    const std::string desktop = decodedRgb(folder("desktop") + name);
    const std::string es = decodedRgb(folder("es") + name);
    ASSERT_EQ(desktop.size(), 640u * 360u * 3u) << name;
    ASSERT_EQ(es.size(), desktop.size()) << name;

    size_t differing = 0;
    int darkest = 255, brightest = 0;
    for (size_t i = 0; i < desktop.size(); i += 3) {
        int most = 0;
        for (size_t c = 0; c < 3; ++c) {
            const int d = static_cast<unsigned char>(desktop[i + c]);
            most = std::max(most, std::abs(d - static_cast<unsigned char>(es[i + c])));
            darkest = std::min(darkest, d);
            brightest = std::max(brightest, d);
        }
        differing += most > TOLERANCE ? 1 : 0;
    }
    // A blank picture on both sides would prove nothing.
    EXPECT_GT(brightest - darkest, 64) << name;
    const double share = static_cast<double>(differing) / static_cast<double>(desktop.size() / 3);
    RecordProperty("differing_per_mille", static_cast<int>(share * 1000.0 + 0.5));
    std::printf("%s: %.3f %% of pixels differ by more than %d/255\n", name.c_str() + 1, share * 100.0, TOLERANCE);
    EXPECT_LE(share, MOST_DIFFERING) << name;
}

INSTANTIATE_TEST_SUITE_P(GlCompat, EsStills, ::testing::Values("020000", "058000", "096000", "120000"));

}  // namespace
