// What a test does when a real part it runs the show under (an X server, a
// window manager, a sound server, a compositor, a browser, a scheduler, Wine)
// is missing or will not start. On a developer's machine it skips and says
// why; where every part is installed (CI sets QUILLMOOR_REQUIRE_REAL_PARTS=1)
// a missing part is a failure, so a suite can never pass by skipping.
#pragma once

#include <gtest/gtest.h>

// True when this run must have every real part (QUILLMOOR_REQUIRE_REAL_PARTS=1).
bool realPartsRequired();

// Ends the current test: skipped, or failed when real parts are required,
// with the reason streamed after it. A statement for a test body or a
// fixture's SetUp, used like GTEST_SKIP(): REAL_PART_MISSING() << "no Xvfb";
#define REAL_PART_MISSING()                                                               \
    return GTEST_MESSAGE_(realPartsRequired() ? "a real part this run requires is missing" : "Skipped", \
                          realPartsRequired() ? ::testing::TestPartResult::kFatalFailure        \
                                              : ::testing::TestPartResult::kSkip)
