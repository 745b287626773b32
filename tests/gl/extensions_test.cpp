#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/demo.h"
#include "gl/gl_extensions.h"
#include "gl/gl_window.h"
#include "platform/window.h"
#include "support/gl_test_context.h"

TEST(ExtensionToken, WholeWordsOnly)
{
    const char* list = "GL_EXT_foo_bar GL_ARB_one GL_EXT_blend_minmax";
    EXPECT_FALSE(hasExtensionToken(list, "GL_EXT_foo"));    // only a prefix of a longer name
    EXPECT_FALSE(hasExtensionToken(list, "EXT_foo_bar"));   // only a suffix
    EXPECT_TRUE(hasExtensionToken(list, "GL_EXT_foo_bar"));  // first word
    EXPECT_TRUE(hasExtensionToken(list, "GL_EXT_blend_minmax"));  // last word, no trailing space
    EXPECT_TRUE(hasExtensionToken(list, "GL_ARB_one"));
    EXPECT_FALSE(hasExtensionToken(list, "GL_ARB_one GL_EXT_blend_minmax"));  // a space in the name
    EXPECT_FALSE(hasExtensionToken(list, ""));
    EXPECT_FALSE(hasExtensionToken(nullptr, "GL_ARB_one"));
    // A rejected hit moves the search on; the later real one is still found.
    EXPECT_TRUE(hasExtensionToken("GL_X_yGL_X GL_X", "GL_X"));
}

TEST(GlVersionString, MajorBeforeAndMinorAfterTheFirstDot)
{
    int major, minor;
    parseGlVersion("4.6.0 Mesa 22.3.6", major, minor);
    EXPECT_EQ(major, 4);
    EXPECT_EQ(minor, 6);
    parseGlVersion("2.1 Mesa", major, minor);
    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 1);
    parseGlVersion("garbage", major, minor);
    EXPECT_EQ(major, 0);
    parseGlVersion(nullptr, major, minor);
    EXPECT_EQ(major, 0);
}

namespace {

// A pretend context and window system for the loader.
struct FakeContext {
    static inline std::string glExtensions;
    static inline std::string windowExtensions;
    static inline std::set<std::string> missing;
    static inline std::set<std::string> asked;
    static inline int lookups = 0;

    static void reset()
    {
        glExtensions = "GL_EXT_blend_minmax GL_EXT_framebuffer_object";
        windowExtensions = "GLX_SGIX_fbconfig GLX_EXT_swap_control";
        missing.clear();
        asked.clear();
        lookups = 0;
    }
    static void procStub() {}
    static LoaderEnv env()
    {
        LoaderEnv e;
        e.glExtensionString = [] { return glExtensions.c_str(); };
        e.getProcAddress = [](const char* name) -> void* {
            ++lookups;
            asked.insert(name);
            return missing.count(name) ? nullptr : reinterpret_cast<void*>(&procStub);
        };
        e.windowSystemExtensions = [] { return windowExtensions.c_str(); };
        e.setSwapInterval = [](int) { return true; };
        e.swapControlTokens[0] = "GLX_EXT_swap_control";
        e.pixelFormatToken = "GLX_SGIX_fbconfig";
        e.pixelFormatEntry = "glXChooseFBConfig";
        return e;
    }
};

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeContext::reset();
        saved = glExt;
        glExt = GlExtensions{};
        demo.glVersion = {3, 0};
    }
    void TearDown() override { glExt = saved; }

    GlExtensions saved;
    Demo demo;
};

}  // namespace

TEST_F(LoaderTest, FullChainLoadsOnceAndOnlyOnce)
{
    ASSERT_TRUE(demo.extensions.loadExtensions(FakeContext::env()));
    EXPECT_TRUE(demo.extensions.loaded);
    EXPECT_NE(glExt.glUseProgram, nullptr);
    EXPECT_NE(glExt.glBindFramebufferEXT, nullptr);
    EXPECT_NE(glExt.swapInterval, nullptr);
    EXPECT_NE(glExt.choosePixelFormat, nullptr);
    int lookups = FakeContext::lookups;
    ASSERT_TRUE(demo.extensions.loadExtensions(FakeContext::env()));
    EXPECT_EQ(FakeContext::lookups, lookups);  // nothing resolved again
}

TEST_F(LoaderTest, OldContextFailsAtTheVersionAfterMultitexture)
{
    demo.glVersion = {1, 5};
    EXPECT_FALSE(demo.extensions.loadExtensions(FakeContext::env()));
    EXPECT_FALSE(demo.extensions.loaded);
    EXPECT_NE(demo.extensions.failure.find("2.0"), std::string::npos);
    EXPECT_NE(glExt.glActiveTexture, nullptr);  // the multitexture group was resolved
    EXPECT_EQ(glExt.glUseProgram, nullptr);     // the shader group was not
    EXPECT_FALSE(FakeContext::asked.count("glCreateShader"));

    demo.glVersion = {2, 0};  // a later call starts again and passes
    EXPECT_TRUE(demo.extensions.loadExtensions(FakeContext::env()));
}

TEST_F(LoaderTest, EachRequiredLinkFailsTheChain)
{
    FakeContext::glExtensions = "GL_EXT_framebuffer_object";
    EXPECT_FALSE(demo.extensions.loadExtensions(FakeContext::env()));
    EXPECT_NE(demo.extensions.failure.find("GL_EXT_blend_minmax"), std::string::npos);

    FakeContext::reset();
    FakeContext::missing = {"glMultiTexCoord3f"};
    EXPECT_FALSE(demo.extensions.loadExtensions(FakeContext::env()));

    FakeContext::reset();
    FakeContext::glExtensions = "GL_EXT_blend_minmax";
    EXPECT_FALSE(demo.extensions.loadExtensions(FakeContext::env()));
    EXPECT_NE(demo.extensions.failure.find("framebuffer"), std::string::npos);

    FakeContext::reset();
    FakeContext::windowExtensions = "GLX_EXT_swap_control";
    EXPECT_FALSE(demo.extensions.loadExtensions(FakeContext::env()));
    EXPECT_NE(demo.extensions.failure.find("GLX_SGIX_fbconfig"), std::string::npos);

    // An entry point the show calls is never left unresolved.
    FakeContext::reset();
    FakeContext::missing = {"glUseProgram"};
    EXPECT_FALSE(demo.extensions.loadExtensions(FakeContext::env()));
    EXPECT_FALSE(demo.extensions.loaded);
}

TEST_F(LoaderTest, SwapControlIsOptional)
{
    FakeContext::windowExtensions = "GLX_SGIX_fbconfig";
    ASSERT_TRUE(demo.extensions.loadExtensions(FakeContext::env()));
    EXPECT_EQ(glExt.swapInterval, nullptr);
}

TEST(LoaderOnContext, HeadlessContextPassesTheWholeChain)
{
    GlTestContext gl(16, 16);
    REQUIRE_GL(gl);
    EXPECT_TRUE(gl.demo().extensions.loaded);
    EXPECT_GE(gl.demo().glVersion.major, 2);
    EXPECT_NE(platformWindowSystem(), WindowSystem::NoContext);
    EXPECT_NE(glExt.windowSystemExtensions, nullptr);
    EXPECT_NE(glExt.windowSystemExtensions(), nullptr);
}
