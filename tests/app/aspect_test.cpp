#include <gtest/gtest.h>

#include "app/aspect.h"

namespace {

AspectClass classOf(unsigned width, unsigned height)
{
    return classifyAspect(static_cast<float>(width) / static_cast<float>(height));
}

struct Size {
    unsigned width, height;
};

void expectAll(std::initializer_list<Size> sizes, AspectClass expected)
{
    for (Size s : sizes)
        EXPECT_EQ(classOf(s.width, s.height), expected) << s.width << "x" << s.height;
}

}  // namespace

TEST(AspectClass, CommonDesktopsFallIntoTheirClass)
{
    expectAll({{1024, 768}, {800, 600}, {1600, 1200}, {1280, 960}, {1152, 864}, {1920, 1440}}, Aspect4x3);
    expectAll({{1280, 1024}}, Aspect5x4);
    expectAll({{1920, 1080}, {1280, 720}, {1600, 900}, {2560, 1440}, {3840, 2160}}, Aspect16x9);
    expectAll({{1680, 1050}, {1440, 900}, {1280, 800}, {1920, 1200}, {2560, 1600}}, Aspect16x10);
}

TEST(AspectClass, NearMissesAreOther)
{
    // 1366 x 768 is within 0.06% of 16:9, but the class asks for equality.
    expectAll({{1366, 768}, {1360, 768}, {1600, 1024}, {2560, 1080}}, AspectOther);
    EXPECT_EQ(classifyAspect(1.7777779f), AspectOther);
    EXPECT_EQ(classifyAspect(0.0f), AspectOther);
}
