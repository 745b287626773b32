// The show's window and extension loader on a real WGL context: the chain
// the show needs (WGL extension string, swap control, WGL_ARB_pixel_format,
// GL 2.0, framebuffer objects) is found by its real tokens, and the context
// draws.
#include <gtest/gtest.h>

#include <windows.h>
#include <GL/gl.h>

#include "app/demo.h"
#include "gl/gl_extensions.h"
#include "app/show_window.h"
#include "platform/window.h"

namespace {

class WglWindow : public ::testing::Test {
protected:
    void TearDown() override { destroyGlWindow(demo); }
    Demo demo;
};

TEST_F(WglWindow, LoaderFindsTheWholeChainOnTheRealTokens)
{
    ASSERT_TRUE(createGlWindow(demo, 320, 240, false, 32)) << demo.extensions.failure;
    EXPECT_TRUE(demo.extensions.loaded);
    EXPECT_EQ(WindowSystem::Wgl, platformWindowSystem());
    EXPECT_TRUE(demo.glVersion.major > 2 || (demo.glVersion.major == 2 && demo.glVersion.minor >= 0))
        << demo.glVersion.major << "." << demo.glVersion.minor;

    const char* wglExtensions = platformWindowSystemExtensions();
    ASSERT_NE(nullptr, wglExtensions);
    EXPECT_TRUE(hasExtensionToken(wglExtensions, "WGL_ARB_pixel_format")) << wglExtensions;
    EXPECT_NE(nullptr, glExt.choosePixelFormat) << "wglChoosePixelFormatARB was not resolved";
    EXPECT_NE(nullptr, glExt.glCreateShader);
    EXPECT_NE(nullptr, glExt.glBindFramebufferEXT);
    EXPECT_TRUE(demo.pixelFormat == 1 || demo.pixelFormat == 2) << demo.pixelFormat;
}

TEST_F(WglWindow, SwapIntervalIsSettableWhereTheDriverListsIt)
{
    ASSERT_TRUE(createGlWindow(demo, 320, 240, false, 32)) << demo.extensions.failure;
    const bool listed = hasExtensionToken(platformWindowSystemExtensions(), "WGL_EXT_swap_control");
    ASSERT_EQ(listed, glExt.swapInterval != nullptr);
    if (!listed)
        GTEST_SKIP() << "this driver has no WGL_EXT_swap_control";
    EXPECT_TRUE(glExt.swapInterval(1));
    EXPECT_TRUE(glExt.swapInterval(0));
}

TEST_F(WglWindow, ContextDrawsAndAShaderCompiles)
{
    ASSERT_TRUE(createGlWindow(demo, 64, 64, false, 32)) << demo.extensions.failure;
    glViewport(0, 0, 64, 64);
    glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    unsigned char pixel[4] = {};
    glReadPixels(32, 32, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(255, pixel[0]);
    EXPECT_NEAR(128, pixel[1], 1);
    EXPECT_EQ(0, pixel[2]);

    // A GL 2.0 entry point reached through wglGetProcAddress really works.
    const GLuint shader = glExt.glCreateShader(GL_FRAGMENT_SHADER);
    ASSERT_NE(0u, shader);
    const char* source = "void main() { gl_FragColor = vec4(1.0); }";
    glExt.glShaderSource(shader, 1, &source, nullptr);
    glExt.glCompileShader(shader);
    GLint compiled = 0;
    glExt.glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    EXPECT_EQ(GL_TRUE, compiled);
    glExt.glDeleteShader(shader);
    EXPECT_EQ(static_cast<GLenum>(GL_NO_ERROR), glGetError());
}

TEST(WglProcAddress, OpenGl11NamesComeFromOpengl32)
{
    Demo demo;
    ASSERT_TRUE(createGlWindow(demo, 64, 64, false, 32)) << demo.extensions.failure;
    // wglGetProcAddress gives only what lies beyond 1.1.
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("opengl32.dll"), "glClear")),
              platformGetProcAddress("glClear"));
    EXPECT_EQ(nullptr, platformGetProcAddress("glNoSuchFunctionQuillmoor"));
    destroyGlWindow(demo);
}

}  // namespace
