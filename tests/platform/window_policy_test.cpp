// The fullscreen modes every window backend tries, in order, how the
// desktop's own mode meets a request where no mode can be set, and the loop
// that tries the pixel formats in turn.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/window_policy.h"

namespace {

struct AttemptCase {
    int requestedHz;
    int desktopHz;  // 0: unknown
    std::vector<std::pair<int, FullscreenFit>> expected;
};

void PrintTo(const AttemptCase& c, std::ostream* out)
{
    *out << c.requestedHz << " Hz asked, desktop at " << c.desktopHz << " Hz";
}

class FullscreenOrder : public ::testing::TestWithParam<AttemptCase> {};

TEST_P(FullscreenOrder, RequestedRateThenDesktopRateThenAnyWithoutRepeats)
{
    std::vector<std::pair<int, FullscreenFit>> got;
    for (const FullscreenAttempt& attempt : fullscreenAttempts(GetParam().requestedHz, GetParam().desktopHz))
        got.emplace_back(attempt.refreshHz, attempt.fit);
    EXPECT_EQ(GetParam().expected, got);
}

constexpr FullscreenFit EXACT = FullscreenFit::Exact;
constexpr FullscreenFit RATE = FullscreenFit::DesktopRate;

INSTANTIATE_TEST_SUITE_P(Rates, FullscreenOrder,
                         ::testing::Values(AttemptCase{120, 60, {{120, EXACT}, {60, RATE}, {0, RATE}}},
                                           AttemptCase{60, 60, {{60, EXACT}, {0, RATE}}},
                                           AttemptCase{120, 0, {{120, EXACT}, {0, RATE}}},
                                           AttemptCase{0, 60, {{0, EXACT}, {60, RATE}}},
                                           AttemptCase{0, 0, {{0, EXACT}}}),
                         [](const ::testing::TestParamInfo<AttemptCase>& info) {
                             return "Asked" + std::to_string(info.param.requestedHz) + "Desktop" +
                                    std::to_string(info.param.desktopHz);
                         });

TEST(DesktopModeFit, SizeDecidesThenRate)
{
    WindowRequest request;
    request.width = 1280;
    request.height = 720;
    request.refreshHz = 120;
    EXPECT_EQ(FullscreenFit::Exact, desktopModeFit(request, DisplayMode{1280, 720, 120}));
    EXPECT_EQ(FullscreenFit::DesktopRate, desktopModeFit(request, DisplayMode{1280, 720, 0}));
    EXPECT_EQ(FullscreenFit::DesktopSize, desktopModeFit(request, DisplayMode{1280, 1024, 120}));
    EXPECT_EQ(FullscreenFit::DesktopSize, desktopModeFit(request, DisplayMode{}));
    request.refreshHz = 0;
    EXPECT_EQ(FullscreenFit::Exact, desktopModeFit(request, DisplayMode{1280, 720, 75}));
}

// The loop, over an attempt that gives a window from the `works`-th format
// on (0: none does), each failure naming its format.
struct CreationCase {
    bool videoUp;
    int works;
    int expectedAttempts;
    int expectedIndex;
    std::string expectedFailure;
};

class WindowCreation : public ::testing::TestWithParam<CreationCase> {};

TEST_P(WindowCreation, FormatsInTurnUntilOneGivesAWindow)
{
    const CreationCase c = GetParam();
    WindowRequest request;
    request.pixelFormat.alphaBits = 1;
    request.pixelFormat.stencilBits = 16;
    PlatformWindow* const made = reinterpret_cast<PlatformWindow*>(&request);  // never dereferenced
    std::vector<PixelFormatAttempt> tried;
    const WindowResult result = createWindowInTurn(
        request, c.videoUp, [&](const PixelFormatAttempt& format, WindowResult& result, std::string& failure) {
            tried.push_back(format);
            if (c.works && static_cast<int>(tried.size()) >= c.works) {
                result.fit = FullscreenFit::Windowed;
                return made;
            }
            failure = "no format " + std::to_string(tried.size());
            return static_cast<PlatformWindow*>(nullptr);
        });
    ASSERT_EQ(static_cast<int>(tried.size()), c.expectedAttempts);
    if (!tried.empty()) {
        EXPECT_EQ(tried[0].format.stencilBits, 16) << "the request itself comes first";
        EXPECT_TRUE(tried[0].atLeast);
    }
    if (tried.size() > 1) {
        EXPECT_EQ(tried[1].format.stencilBits, 8) << "then the nearest most systems have";
    }
    EXPECT_EQ(result.window, c.expectedIndex ? made : nullptr);
    EXPECT_EQ(result.pixelFormatIndex, c.expectedIndex);
    EXPECT_EQ(result.failure, c.expectedFailure);
    if (result.window) {
        EXPECT_EQ(result.fit, FullscreenFit::Windowed) << "what the attempt filled in stays";
    }
}

INSTANTIATE_TEST_SUITE_P(Attempts, WindowCreation,
                         ::testing::Values(CreationCase{true, 1, 1, 1, ""}, CreationCase{true, 2, 2, 2, ""},
                                           CreationCase{true, 0, 2, 0, "no format 2"},
                                           CreationCase{false, 1, 0, 0, "video subsystem not initialised"}));

}  // namespace
