// The view: the largest centred 16:9 viewport that fits the window (bars
// above and below, or left and right) and the fixed 93.1-degree perspective
// projection. Set once when the window opens, only for a known desktop
// aspect class. Main thread, GL context current.
#pragma once

#include "app/aspect.h"

constexpr float SHOW_ASPECT = 1.7777778f;  // 16:9
constexpr float FIELD_OF_VIEW = 93.1f;     // degrees, vertical

struct ViewportRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The centred 16:9 rectangle for a window of width x height.
ViewportRect fitShowViewport(int width, int height);
// Sets viewport and projection; false (nothing set) for class 0 or height 0.
bool setViewport(int width, int height, AspectClass aspect);
