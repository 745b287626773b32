// The desktop's aspect class: the width-to-height ratio of the desktop mode,
// classified by exact single-precision equality with four known ratios. The
// projection is set up only for a known class. Main thread only.
#pragma once

#include <cstdint>

enum AspectClass : int32_t {
    AspectOther = 0,
    Aspect4x3 = 1,
    Aspect5x4 = 2,
    Aspect16x9 = 3,
    Aspect16x10 = 4,
};

// Class of a width / height ratio (4:3, 5:4, 16:10, 16:9 tested in that order).
AspectClass classifyAspect(float ratio);
// Class of the desktop's current mode; AspectOther when it cannot be read.
AspectClass readDesktopAspect();
