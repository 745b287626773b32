#include <gtest/gtest.h>

#include <GL/gl.h>

#include <vector>

#include "resources/texture_registry.h"
#include "support/gl_test_context.h"

namespace {

class TextureRegistryTest : public ::testing::Test {
protected:
    GlTestContext context{16, 16};
    TextureRegistry& registry() { return context.demo().textures; }

    // Level `level` of a texture as GL holds it, RGBA8.
    static std::vector<uint8_t> levelPixels(const Texture& texture, int level)
    {
        glBindTexture(GL_TEXTURE_2D, texture.id);
        GLint width = 0, height = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4, 0xAB);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }
};

}  // namespace

TEST_F(TextureRegistryTest, NullPixelsGiveAnAllZeroTextureWithEveryMipLevel)
{
    REQUIRE_GL(context);
    registry().add("BLANK", 8, 4, nullptr);
    Texture* texture = registry().find("BLANK");
    ASSERT_NE(nullptr, texture);
    EXPECT_EQ(8, texture->width);
    EXPECT_EQ(4, texture->height);
    EXPECT_EQ(std::vector<uint8_t>(8 * 4 * 4, 0),
              std::vector<uint8_t>(texture->pixels, texture->pixels + 8 * 4 * 4));
    EXPECT_EQ(std::vector<uint8_t>(8 * 4 * 4, 0), levelPixels(*texture, 0));
    // 8x4, 4x2, 2x1, 1x1.
    EXPECT_EQ(std::vector<uint8_t>(4, 0), levelPixels(*texture, 3));
    EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
}

TEST_F(TextureRegistryTest, PixelsAreCopiedAndUploadedWithTheFixedParameters)
{
    REQUIRE_GL(context);
    std::vector<uint8_t> block(4 * 2 * 4);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 7 + 1);
    registry().add("PATTERN", 4, 2, block.data());
    std::vector<uint8_t> given = block;
    block.assign(block.size(), 0);  // the registry holds its own copy

    Texture* texture = registry().find("PATTERN");
    ASSERT_NE(nullptr, texture);
    EXPECT_EQ(given, std::vector<uint8_t>(texture->pixels, texture->pixels + given.size()));
    EXPECT_EQ(given, levelPixels(*texture, 0));

    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(GL_LINEAR_MIPMAP_LINEAR, value);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(GL_LINEAR, value);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(GL_REPEAT, value);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(GL_REPEAT, value);
    EXPECT_EQ(GL_MODULATE, texture->envMode);
    EXPECT_EQ(1, texture->mipmapped);
}

TEST_F(TextureRegistryTest, LookupIsExactAndFirstRegisteredWins)
{
    REQUIRE_GL(context);
    const uint8_t red[4] = {255, 0, 0, 255};
    const uint8_t green[4] = {0, 255, 0, 255};
    registry().add("TITLE", 1, 1, red);
    registry().add("GROUPS", 1, 1, nullptr);
    registry().add("TITLE", 1, 1, green);

    EXPECT_EQ(nullptr, registry().find("CREDITS"));
    EXPECT_EQ(nullptr, registry().find("title"));
    EXPECT_EQ(nullptr, registry().find("TITLE "));
    EXPECT_EQ(nullptr, registry().find("TITL"));
    Texture* title = registry().find("TITLE");
    ASSERT_NE(nullptr, title);
    EXPECT_EQ(255, title->pixels[0]);

    // Registration order is kept, duplicates included.
    std::vector<std::string> names;
    for (TextureNode* node = registry().head; node; node = node->next)
        names.push_back(node->texture->name);
    EXPECT_EQ((std::vector<std::string>{"TITLE", "GROUPS", "TITLE"}), names);
    EXPECT_EQ(registry().tail->texture, registry().head->next->next->texture);
    EXPECT_NE(title->id, registry().tail->texture->id);
}

TEST_F(TextureRegistryTest, BindActivatesTheUnitEnablesAndBinds)
{
    REQUIRE_GL(context);
    registry().add("A", 2, 2, nullptr);
    registry().add("B", 2, 2, nullptr);
    Texture* b = registry().find("B");
    ASSERT_NE(nullptr, b);

    glBindTexture(GL_TEXTURE_2D, 0);
    b->bind(1);
    GLint value = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
    EXPECT_EQ(GL_TEXTURE1, value);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(static_cast<GLint>(b->id), value);

    // Unit 0 was left alone.
    glExt.glActiveTexture(GL_TEXTURE0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(0, value);
}

TEST_F(TextureRegistryTest, ReleaseDeletesEveryTexture)
{
    REQUIRE_GL(context);
    TextureRegistry own;
    own.add("ONE", 4, 4, nullptr);
    own.add("TWO", 4, 4, nullptr);
    GLuint first = own.head->texture->id;
    GLuint second = own.tail->texture->id;
    ASSERT_TRUE(glIsTexture(first));
    ASSERT_TRUE(glIsTexture(second));
    own.release();
    EXPECT_FALSE(glIsTexture(first));
    EXPECT_FALSE(glIsTexture(second));
    EXPECT_EQ(nullptr, own.find("ONE"));
}
