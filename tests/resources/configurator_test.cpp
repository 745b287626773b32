#include <gtest/gtest.h>

#include <GL/gl.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "pcx_file.h"
#include "platform/files.h"
#include "resources/configurator.h"
#include "resources/pcx_image.h"
#include "support/gl_test_context.h"
#include "support/scratch_folder.h"

namespace {

struct ExpectedTexture {
    const char* name;
    int32_t width;
    int32_t height;
};

const ExpectedTexture TEXTURES[] = {
    {"SQUARE_SHARP", 256, 256}, {"SQUARE_BLURRED", 256, 256}, {"GROUPS", 512, 256},
    {"TITLE", 512, 256},        {"GREETS", 512, 512},         {"CREDITS", 512, 512},
};

// A picture of `width` x `height` whose rows are runs of one colour each.
std::vector<uint8_t> stripedPicture(int width, int height)
{
    PcxFile f;
    f.bytesPerLine = static_cast<uint16_t>(width);
    f.yMax = static_cast<uint16_t>(height - 1);
    for (int row = 0; row < height; ++row) {
        uint8_t colour = static_cast<uint8_t>(row % 250 + 1);
        for (int left = width; left > 0; left -= 63)
            f.data.insert(f.data.end(), {static_cast<uint8_t>(0xC0 | (left < 63 ? left : 63)), colour});
    }
    return f.bytes();
}

bool allZero(const Texture& texture)
{
    size_t bytes = static_cast<size_t>(texture.width) * texture.height * 4;
    for (size_t i = 0; i < bytes; ++i)
        if (texture.pixels[i] != 0)
            return false;
    return true;
}

// Runs the set-up against a content folder of its own, created empty.
class ContentSetUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch.made());
        ASSERT_EQ(0, std::system(("mkdir -p '" + root + "/Data'").c_str()));
        setContentFolder(root + "/Data");
    }
    void TearDown() override { setContentFolder(QUILLMOOR_BINARY_DIR "/Data"); }

    void writeContent(const std::string& leaf, const std::vector<uint8_t>& bytes)
    {
        std::ofstream out(root + "/Data/" + leaf, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    // Configures a fresh context's Demo; returns configure()'s result and
    // what was printed meanwhile.
    bool configure(GlTestContext& context, std::string& printed)
    {
        KestruneConfigurator configurator(&context.demo());
        ::testing::internal::CaptureStderr();
        bool result = configurator.configure();
        printed = ::testing::internal::GetCapturedStderr();
        return result;
    }

    ScratchFolder scratch{"quillmoor_content"};
    const std::string& root = scratch.path();
};

}  // namespace

TEST_F(ContentSetUp, WithoutContentEverythingElseLoadsAndTheResultIsFalse)
{
    GlTestContext context(16, 16);
    REQUIRE_GL(context);
    std::string printed;
    EXPECT_FALSE(configure(context, printed));
    Demo& demo = context.demo();

    std::vector<std::string> shaders;
    for (ShaderNode* node = demo.shaders.shadersHead; node; node = node->next)
        shaders.push_back(node->shader->name ? node->shader->name : "(failed)");
    EXPECT_EQ((std::vector<std::string>{"PP_VERT", "PP_FRAG", "FAKEDOF_VERT", "FAKEDOF_FRAG", "FAKEDOF_FAR_FRAG"}),
              shaders);

    std::vector<std::string> programs;
    for (ProgramNode* node = demo.shaders.programsHead; node; node = node->next)
        programs.push_back(node->program->name);
    EXPECT_EQ((std::vector<std::string>{"PP", "FAKEDOF", "FAKEDOF_FAR"}), programs);

    using UniformList = std::vector<std::pair<std::string, int32_t>>;
    auto uniformsOf = [&](const char* name) {
        UniformList uniforms;
        const ShaderProgram* program = demo.shaders.findProgram(name);
        for (UniformNode* node = program ? program->uniformsHead : nullptr; node; node = node->next)
            uniforms.emplace_back(node->uniform->name, node->uniform->type);
        return uniforms;
    };
    EXPECT_EQ((UniformList{{"sharp", Int1},
                           {"blurred", Int1},
                           {"focalPlaneDepth", Float1},
                           {"focalDist", Float1},
                           {"size", Float1},
                           {"camTarget", Float4}}),
              uniformsOf("FAKEDOF"));
    // The blurred-only program: no sharp picture and no focal plane.
    EXPECT_EQ((UniformList{{"blurred", Int1}, {"focalDist", Float1}, {"size", Float1}, {"camTarget", Float4}}),
              uniformsOf("FAKEDOF_FAR"));
    EXPECT_EQ(nullptr, demo.shaders.findProgram("PP")->uniformsHead);
    GLint current = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(0, current);

    size_t index = 0;
    for (TextureNode* node = demo.textures.head; node; node = node->next, ++index) {
        ASSERT_LT(index, 6u);
        const Texture& texture = *node->texture;
        EXPECT_STREQ(TEXTURES[index].name, texture.name);
        EXPECT_EQ(TEXTURES[index].width, texture.width) << texture.name;
        EXPECT_EQ(TEXTURES[index].height, texture.height) << texture.name;
        EXPECT_TRUE(allZero(texture)) << texture.name;
    }
    EXPECT_EQ(6u, index);

    // One line for the music and one per picture, each naming its file.
    EXPECT_NE(std::string::npos, printed.find("music unavailable"));
    for (const char* leaf : {"dot_sharp.pcx", "dot_blurred.pcx", "groups.pcx", "title.pcx",
                             "greets.pcx", "credits.pcx"})
        EXPECT_NE(std::string::npos, printed.find("Data/" + std::string(leaf) + ":")) << leaf;
}

TEST_F(ContentSetUp, PicturesLoadWhenRightAndStayBlankWhenWrongOrRejected)
{
    std::vector<uint8_t> sharp = stripedPicture(256, 256);
    writeContent("dot_sharp.pcx", sharp);
    writeContent("title.pcx", stripedPicture(16, 16));   // wrong size
    std::vector<uint8_t> flagged = stripedPicture(512, 256);
    flagged[64] = 1;
    writeContent("groups.pcx", flagged);                 // rejected
    std::vector<uint8_t> greets = stripedPicture(512, 512);
    writeContent("greets.pcx", std::vector<uint8_t>(greets.begin(), greets.begin() + greets.size() / 2));  // cut short
    // A header far larger than the texture, with data enough to fill it: the
    // header alone turns it away.
    writeContent("credits.pcx", stripedPicture(PcxImage::MAX_SIDE, PcxImage::MAX_SIDE));

    GlTestContext context(16, 16);
    REQUIRE_GL(context);
    std::string printed;
    configure(context, printed);
    Demo& demo = context.demo();

    PcxImage expected;
    ASSERT_TRUE(expected.decode(sharp.data(), sharp.size())) << expected.failure;
    Texture* square = demo.textures.find("SQUARE_SHARP");
    ASSERT_NE(nullptr, square);
    const size_t bytes = 256 * 256 * 4;
    EXPECT_EQ(std::vector<uint8_t>(expected.pixels.get(), expected.pixels.get() + bytes),
              std::vector<uint8_t>(square->pixels, square->pixels + bytes));
    std::vector<uint8_t> uploaded(bytes);
    glBindTexture(GL_TEXTURE_2D, square->id);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, uploaded.data());
    EXPECT_EQ(std::vector<uint8_t>(expected.pixels.get(), expected.pixels.get() + bytes), uploaded);

    for (const char* name : {"TITLE", "GROUPS", "GREETS", "CREDITS"}) {
        Texture* texture = demo.textures.find(name);
        ASSERT_NE(nullptr, texture) << name;
        EXPECT_TRUE(allZero(*texture)) << name;
    }
    EXPECT_EQ(512, demo.textures.find("TITLE")->width);
    EXPECT_NE(std::string::npos, printed.find("title.pcx: picture is 16x16")) << printed;
    EXPECT_NE(std::string::npos, printed.find("groups.pcx: header byte 64")) << printed;
    EXPECT_NE(std::string::npos, printed.find("greets.pcx: picture data ends")) << printed;
    EXPECT_NE(std::string::npos, printed.find("credits.pcx: picture is 16384x16384, its texture needs 512x512"))
        << printed;
    EXPECT_EQ(std::string::npos, printed.find("dot_sharp.pcx")) << printed;
}

TEST_F(ContentSetUp, WithTheMusicPresentTheResultIsTrue)
{
    const std::string music = root + "/Data/music.mp3";
    ASSERT_EQ(0, std::system(("ffmpeg -loglevel error -f lavfi -i sine=frequency=110:duration=1 "
                              "-c:a libmp3lame -y '" + music + "'").c_str()));
    GlTestContext context(16, 16);
    REQUIRE_GL(context);
    std::string printed;
    EXPECT_TRUE(configure(context, printed)) << printed;
    EXPECT_NE(0u, context.demo().music.activeHandle());
    EXPECT_EQ(std::string::npos, printed.find("music unavailable")) << printed;
    EXPECT_NE(nullptr, context.demo().textures.find("CREDITS"));
}
