// Grey drawing surface for the show's pictures: light on black, stored as
// coverage 0..1 per pixel, with the few operations the pictures need
// (anti-aliased disc, Gaussian blur, placing rendered text) and the final
// quantisation to the 256 grey levels of a PCX picture.
// Text is laid out with FreeType from a TrueType font file; glyphs are
// rendered anti-aliased and kerned. Single-threaded tool code.
#pragma once

#include "pcx_writer.h"

#include <string>
#include <vector>

struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<float> light;  // width * height, 0..1, first row first

    Canvas(int w, int h) : width(w), height(h), light(size_t(w) * h, 0.0f) {}
    float& at(int x, int y) { return light[size_t(y) * width + x]; }
    float at(int x, int y) const { return light[size_t(y) * width + x]; }
};

// A line of text rendered to a tight box around its ink.
struct TextBitmap {
    int width = 0;        // ink box, pixels
    int height = 0;
    int baseline = 0;     // rows from the box top down to the baseline
    std::vector<float> coverage;  // width * height, 0..1
};

// Disc of `radius` pixels around (cx, cy), anti-aliased by 8 x 8 supersampling.
void drawDisc(Canvas& canvas, float cx, float cy, float radius, float level);
// Separable Gaussian blur with standard deviation `sigma` pixels; light past
// the borders is lost (black surroundings).
void gaussianBlur(Canvas& canvas, float sigma);
// Adds `bitmap` * level with its box's top-left corner at (x, y), clamping
// the sum at 1 and dropping what falls outside the canvas.
void addBitmap(Canvas& canvas, const TextBitmap& bitmap, int x, int y, float level);
// The canvas as grey PCX indices (round(light * 255)) with a grey palette.
IndexedPicture toIndexedPicture(const Canvas& canvas);

class TextRenderer {
public:
    TextRenderer();
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // Loads the font; false with `reason` when it cannot be used.
    bool open(const std::string& fontPath, std::string& reason);
    // Renders `text` (ASCII) at `pixelSize` pixels per em.
    TextBitmap render(const std::string& text, int pixelSize) const;
    // Rows from the top of the tallest capital down to the lowest descender
    // at `pixelSize`, and where the baseline sits within them.
    void lineExtent(int pixelSize, int& height, int& baseline) const;

private:
    void* library_ = nullptr;  // FT_Library
    void* face_ = nullptr;     // FT_Face
};
