// The view: the largest centred 16:9 viewport that fits the window's
// drawable (bars above and below, or left and right) and the fixed
// 93.1-degree perspective projection. Set when the window opens and again
// whenever its size changes, for every shape of window. Main thread, GL
// context current.
#pragma once

constexpr float SHOW_ASPECT = 1.7777778f;  // 16:9
constexpr float FIELD_OF_VIEW = 93.1f;     // degrees, vertical

struct ViewportRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The centred 16:9 rectangle for a window of width x height.
ViewportRect fitShowViewport(int width, int height);
// Sets viewport and projection for a width x height drawable; false (nothing
// set) when either side is not positive.
bool setViewport(int width, int height);
