// The Windows window: made with the show's class and title, a client area of
// exactly the size asked for, and the message pump's view of what happens
// to it (a close request, a new size, keys), and the fullscreen switch.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/window.h"

namespace {

constexpr const char* CLASS_NAME = "demo_zel";
constexpr const char* TITLE = "quillmoor window test";

class WindowsWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string reason;
        ASSERT_TRUE(platformInitVideo(reason, CLASS_NAME)) << reason;
        WindowRequest request;
        request.title = TITLE;
        request.width = 320;
        request.height = 240;
        request.resizable = true;
        request.visible = false;
        result = platformCreateWindow(request);
        ASSERT_NE(nullptr, result.window) << result.failure;
        handle = FindWindowA(CLASS_NAME, TITLE);
        ASSERT_NE(nullptr, handle) << "no window of class " << CLASS_NAME << " with the title asked for";
        drain();
    }
    void TearDown() override
    {
        platformDestroyWindow(result.window);
        platformQuitVideo();
    }

    void drain()
    {
        PlatformEvent event;
        while (platformPollEvent(event)) {
        }
    }

    // Polls for up to a second until an event of `kind` comes; false if none.
    bool waitFor(PlatformEvent::Kind kind, PlatformEvent& found)
    {
        for (int i = 0; i < 100; ++i) {
            while (platformPollEvent(found))
                if (found.kind == kind)
                    return true;
            Sleep(10);
        }
        return false;
    }

    WindowResult result;
    HWND handle = nullptr;
};

TEST_F(WindowsWindow, ClientAreaIsExactlyTheSizeAskedFor)
{
    EXPECT_EQ(FullscreenFit::Windowed, result.fit);
    EXPECT_EQ(320, result.drawableWidth);
    EXPECT_EQ(240, result.drawableHeight);
    int width = 0, height = 0;
    platformDrawableSize(result.window, width, height);
    EXPECT_EQ(320, width);
    EXPECT_EQ(240, height);
    EXPECT_TRUE(result.pixelFormatIndex == 1 || result.pixelFormatIndex == 2) << result.pixelFormatIndex;
    EXPECT_FALSE(IsWindowVisible(handle)) << "shown before the caller asked";
}

TEST_F(WindowsWindow, PostedCloseComesOutAsCloseRequest)
{
    ASSERT_TRUE(PostMessageA(handle, WM_CLOSE, 0, 0));
    PlatformEvent event;
    EXPECT_TRUE(waitFor(PlatformEvent::CloseRequest, event));
}

TEST_F(WindowsWindow, ResizeComesOutWithTheNewClientSize)
{
    RECT frame = {0, 0, 400, 300};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(handle, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(handle, GWL_EXSTYLE)));
    ASSERT_TRUE(SetWindowPos(handle, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    PlatformEvent event;
    ASSERT_TRUE(waitFor(PlatformEvent::Resize, event));
    EXPECT_EQ(400, event.width);
    EXPECT_EQ(300, event.height);
    int width = 0, height = 0;
    platformDrawableSize(result.window, width, height);
    EXPECT_EQ(400, width);
    EXPECT_EQ(300, height);
}

TEST_F(WindowsWindow, KeysComeOutAsVirtualKeysWithAlt)
{
    ASSERT_TRUE(PostMessageA(handle, WM_KEYDOWN, VK_ESCAPE, 1));
    PlatformEvent event;
    ASSERT_TRUE(waitFor(PlatformEvent::KeyDown, event));
    EXPECT_EQ(27u, event.virtualKey);
    EXPECT_FALSE(event.alt);

    // Alt+Enter: a system key with the context code (bit 29) set.
    ASSERT_TRUE(PostMessageA(handle, WM_SYSKEYDOWN, VK_RETURN, 1 | (1 << 29)));
    ASSERT_TRUE(waitFor(PlatformEvent::KeyDown, event));
    EXPECT_EQ(13u, event.virtualKey);
    EXPECT_TRUE(event.alt);

    ASSERT_TRUE(PostMessageA(handle, WM_KEYDOWN, VK_F11, 1));
    ASSERT_TRUE(waitFor(PlatformEvent::KeyDown, event));
    EXPECT_EQ(0x7Au, event.virtualKey);
}

TEST_F(WindowsWindow, FullscreenSwitchCoversTheMonitorAndComesBack)
{
    DisplayMode desktop;
    ASSERT_TRUE(platformDesktopMode(desktop));
    ASSERT_TRUE(platformSetFullscreen(result.window, true));
    EXPECT_TRUE(platformIsFullscreen(result.window));
    int width = 0, height = 0;
    platformDrawableSize(result.window, width, height);
    EXPECT_EQ(desktop.width, width);
    EXPECT_EQ(desktop.height, height);

    ASSERT_TRUE(platformSetFullscreen(result.window, false));
    EXPECT_FALSE(platformIsFullscreen(result.window));
    platformDrawableSize(result.window, width, height);
    EXPECT_EQ(320, width);
    EXPECT_EQ(240, height);
}

TEST(WindowsVideo, ClassIsGoneAfterQuitAndCanBeRegisteredAgain)
{
    std::string reason;
    ASSERT_TRUE(platformInitVideo(reason, CLASS_NAME)) << reason;
    WNDCLASSA found;
    EXPECT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), CLASS_NAME, &found));
    platformQuitVideo();
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), CLASS_NAME, &found));
    ASSERT_TRUE(platformInitVideo(reason, CLASS_NAME)) << reason;
    EXPECT_GE(platformDisplayCount(), 1);
    platformQuitVideo();
}

}  // namespace
