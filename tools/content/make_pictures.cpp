// Draws the show's six pictures and writes them as PCX files:
//   dot_sharp.pcx, dot_blurred.pcx   256 x 256  particle sprites
//   groups.pcx, title.pcx            512 x 256  text plates
//   greets.pcx, credits.pcx          512 x 512  greeting strips, credits halves
// Every picture is light on pure black with a black margin at each edge, as
// the plates are added onto the frame and the textures repeat.
//
// Usage: quillmoor_make_pictures <output folder> <regular font> <bold font>
#include "canvas.h"
#include "pcx_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Texture t coordinates that cut the greetings picture into nine strips; the
// show reads the same table.
constexpr float STRIP_EDGES[10] = {0.0f, 0.0958f, 0.1955f, 0.293f, 0.389f,
                                   0.4884f, 0.5842f, 0.682f, 0.7813f, 0.8793f};
constexpr const char* GREETINGS[9] = {"SDL", "Mesa", "mpg123", "OpenMPT", "FFTW",
                                      "FreeType", "LAME", "DejaVu", "Debian"};

constexpr float DOT_RADIUS = 72.0f;       // pixels
constexpr float DOT_BLUR_SIGMA = 16.0f;   // pixels
constexpr float GLOW_SIGMA = 4.0f;        // pixels, halo around plate text
constexpr float GLOW_LEVEL = 0.45f;
constexpr int GREET_MARGIN = 7;           // rows kept clear inside each strip
constexpr int SIDE_MARGIN = 32;           // columns kept clear at each side
// The upper credits half is drawn right of centre, and only its columns up
// to about 432 of 512 are on screen; its text (halo included) ends well
// before, at column 430 less room for the halo.
constexpr int CREDITS_UPPER_RIGHT = 430 - 4 * static_cast<int>(GLOW_SIGMA);

struct Line {
    const TextRenderer* font;
    std::string text;
    int size;     // pixels per em
    float level;  // brightness 0..1
};

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "content: %s: cannot open for writing\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!ok || !closed) {
        std::fprintf(stderr, "content: %s: write failed\n", path.c_str());
        return false;
    }
    return true;
}

bool writePicture(const std::string& folder, const char* name, const Canvas& canvas)
{
    return writeFile(folder + "/" + name, encodePcx(toIndexedPicture(canvas)));
}

// Largest size up to `size` whose rendering fits `maxWidth` x `maxHeight`.
int fitSize(const TextRenderer& font, const std::string& text, int size, int maxWidth,
            int maxHeight)
{
    while (size > 6) {
        const TextBitmap bitmap = font.render(text, size);
        if (bitmap.width <= maxWidth && bitmap.height <= maxHeight) {
            break;
        }
        --size;
    }
    return size;
}

// Lines stacked and centred within rows [top, bottom) and columns [left,
// right) (right 0: the whole width), `gap` rows apart, with a soft halo
// added under the text.
void drawCentredLines(Canvas& canvas, const std::vector<Line>& lines, int top, int bottom,
                      int gap, int left = 0, int right = 0)
{
    if (right <= left) {
        left = 0;
        right = canvas.width;
    }
    std::vector<TextBitmap> bitmaps;
    int total = 0;
    for (const Line& line : lines) {
        bitmaps.push_back(line.font->render(line.text, line.size));
        total += bitmaps.back().height;
    }
    total += gap * int(lines.size() - 1);
    Canvas text(canvas.width, canvas.height);
    int y = top + (bottom - top - total) / 2;
    for (size_t i = 0; i < lines.size(); ++i) {
        addBitmap(text, bitmaps[i], left + (right - left - bitmaps[i].width) / 2, y, lines[i].level);
        y += bitmaps[i].height + gap;
    }
    Canvas glow = text;
    gaussianBlur(glow, GLOW_SIGMA);
    for (size_t i = 0; i < canvas.light.size(); ++i) {
        const float v = canvas.light[i] + text.light[i] + GLOW_LEVEL * glow.light[i];
        canvas.light[i] = v < 1.0f ? v : 1.0f;
    }
}

Canvas drawGreetings(const TextRenderer& font)
{
    Canvas canvas(512, 512);
    int tops[9], bottoms[9];
    int smallest = canvas.height;
    for (int k = 0; k < 9; ++k) {
        tops[k] = int(std::ceil(STRIP_EDGES[k] * canvas.height));
        bottoms[k] = int(STRIP_EDGES[k + 1] * canvas.height);
        smallest = std::min(smallest, bottoms[k] - tops[k]);
    }
    // One size for every line: the largest at which each line's ink, and the
    // font's full capital-to-descender extent, fit the narrowest strip.
    int size = 64;
    for (; size > 6; --size) {
        int extent = 0, baseline = 0;
        font.lineExtent(size, extent, baseline);
        bool fits = extent <= smallest - 2 * GREET_MARGIN;
        for (const char* text : GREETINGS) {
            fits = fits && font.render(text, size).width <= canvas.width - 2 * SIDE_MARGIN;
        }
        if (fits) {
            break;
        }
    }
    int extent = 0, baseline = 0;
    font.lineExtent(size, extent, baseline);
    for (int k = 0; k < 9; ++k) {
        const TextBitmap bitmap = font.render(GREETINGS[k], size);
        // Baselines sit at the same place in every strip, whatever the ink.
        const int lineTop = tops[k] + (bottoms[k] - tops[k] - extent) / 2;
        const int y = lineTop + baseline - bitmap.baseline;
        addBitmap(canvas, bitmap, (canvas.width - bitmap.width) / 2, y, 1.0f);
    }
    return canvas;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <output folder> <regular font> <bold font>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    TextRenderer regular, bold;
    std::string reason;
    if (!regular.open(argv[2], reason)) {
        std::fprintf(stderr, "content: %s: %s\n", argv[2], reason.c_str());
        return 1;
    }
    if (!bold.open(argv[3], reason)) {
        std::fprintf(stderr, "content: %s: %s\n", argv[3], reason.c_str());
        return 1;
    }

    Canvas sharp(256, 256);
    drawDisc(sharp, 128.0f, 128.0f, DOT_RADIUS, 1.0f);
    Canvas blurred = sharp;
    gaussianBlur(blurred, DOT_BLUR_SIGMA);

    const int wide = 512 - 2 * SIDE_MARGIN;
    Canvas groups(512, 256);
    drawCentredLines(groups,
                     {{&bold, "kestrune", fitSize(bold, "kestrune", 104, wide - 40, 120), 1.0f},
                      {&regular, "presents", 38, 0.8f}},
                     0, groups.height, 22);

    Canvas title(512, 256);
    drawCentredLines(title,
                     {{&bold, "quillmoor", fitSize(bold, "quillmoor", 120, wide, 140), 1.0f}},
                     0, title.height, 0);

    Canvas credits(512, 512);
    const int upperWide = CREDITS_UPPER_RIGHT - SIDE_MARGIN;
    drawCentredLines(credits,
                     {{&regular, "code & visuals", 36, 0.8f},
                      {&bold, "kestrune", fitSize(bold, "kestrune", 80, upperWide, 100), 1.0f}},
                     0, 256, 20, SIDE_MARGIN, CREDITS_UPPER_RIGHT);
    drawCentredLines(credits,
                     {{&regular, "soundtrack", 36, 0.8f},
                      {&bold, "synthesised in code",
                       fitSize(bold, "synthesised in code", 80, wide, 100), 1.0f}},
                     256, 512, 20);

    const Canvas greets = drawGreetings(bold);

    bool ok = writePicture(folder, "dot_sharp.pcx", sharp);
    ok = writePicture(folder, "dot_blurred.pcx", blurred) && ok;
    ok = writePicture(folder, "groups.pcx", groups) && ok;
    ok = writePicture(folder, "title.pcx", title) && ok;
    ok = writePicture(folder, "greets.pcx", greets) && ok;
    ok = writePicture(folder, "credits.pcx", credits) && ok;
    return ok ? 0 : 1;
}
