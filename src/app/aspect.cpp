#include "app/aspect.h"

#include <cmath>

#include "platform/window.h"

namespace {
// Just below 1e-9 in single precision: the tests amount to exact equality.
constexpr float ASPECT_TOLERANCE = 1e-9f;

bool near(float ratio, float reference)
{
    return std::fabs(ratio - reference) < ASPECT_TOLERANCE;
}
}  // namespace

AspectClass classifyAspect(float ratio)
{
    if (near(ratio, 1.3333334f))
        return Aspect4x3;
    if (near(ratio, 1.25f))
        return Aspect5x4;
    if (near(ratio, 1.6f))
        return Aspect16x10;
    if (near(ratio, 1.7777778f))
        return Aspect16x9;
    return AspectOther;
}

AspectClass readDesktopAspect()
{
    DisplayMode mode;
    // Without a readable desktop the class stays "other": no projection is set.
    if (!platformDesktopMode(mode) || mode.height <= 0 || mode.width <= 0)
        return AspectOther;
    float ratio = static_cast<float>(static_cast<uint32_t>(mode.width)) /
                  static_cast<float>(static_cast<uint32_t>(mode.height));
    return classifyAspect(ratio);
}
