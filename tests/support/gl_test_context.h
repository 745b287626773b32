// A hidden offscreen window with a compatibility GL context, current on the
// calling thread, with the extension table loaded: what GL tests draw into.
// Runs on SDL's offscreen driver (Mesa llvmpipe) with no display.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/demo.h"

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

class GlTestContext {
public:
    // Opens a width x height context; viewport covers it, matrices identity.
    explicit GlTestContext(int width = 64, int height = 36);
    ~GlTestContext();

    bool ok() const { return window_ != nullptr; }
    const std::string& failure() const { return failure_; }
    Demo& demo() { return *demo_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // The back buffer, RGBA8, bottom row first.
    std::vector<uint8_t> readPixels() const;
    // One pixel; (0, 0) is the bottom-left corner.
    Rgba pixel(int x, int y) const;

private:
    std::unique_ptr<Demo> demo_;
    struct PlatformWindow* window_ = nullptr;
    std::string failure_;
    int width_ = 0;
    int height_ = 0;
};

// Fails the current test when no GL context could be made.
#define REQUIRE_GL(context) \
    do { \
        ASSERT_TRUE((context).ok()) << "no GL context: " << (context).failure(); \
    } while (0)
