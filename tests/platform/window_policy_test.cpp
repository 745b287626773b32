// The fullscreen modes every window backend tries, in order, and how the
// desktop's own mode meets a request where no mode can be set.
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

}  // namespace
