#include "canvas.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cmath>

void drawDisc(Canvas& canvas, float cx, float cy, float radius, float level)
{
    constexpr int SUB = 8;
    const int x0 = std::max(0, int(std::floor(cx - radius - 1.0f)));
    const int x1 = std::min(canvas.width - 1, int(std::ceil(cx + radius + 1.0f)));
    const int y0 = std::max(0, int(std::floor(cy - radius - 1.0f)));
    const int y1 = std::min(canvas.height - 1, int(std::ceil(cy + radius + 1.0f)));
    const float r2 = radius * radius;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            int inside = 0;
            for (int sy = 0; sy < SUB; ++sy) {
                const float py = float(y) + (float(sy) + 0.5f) / SUB - cy;
                for (int sx = 0; sx < SUB; ++sx) {
                    const float px = float(x) + (float(sx) + 0.5f) / SUB - cx;
                    inside += px * px + py * py <= r2 ? 1 : 0;
                }
            }
            float& pixel = canvas.at(x, y);
            pixel = std::min(1.0f, pixel + level * float(inside) / float(SUB * SUB));
        }
    }
}

void gaussianBlur(Canvas& canvas, float sigma)
{
    const int radius = int(std::ceil(sigma * 4.0f));
    std::vector<float> kernel(size_t(2 * radius + 1));
    double sum = 0.0;
    for (int i = -radius; i <= radius; ++i) {
        const double w = std::exp(-0.5 * double(i) * i / (double(sigma) * sigma));
        kernel[size_t(i + radius)] = float(w);
        sum += w;
    }
    for (float& w : kernel) {
        w = float(w / sum);
    }
    std::vector<float> pass(canvas.light.size(), 0.0f);
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            float acc = 0.0f;
            for (int i = -radius; i <= radius; ++i) {
                const int sx = x + i;
                if (sx >= 0 && sx < canvas.width) {
                    acc += kernel[size_t(i + radius)] * canvas.at(sx, y);
                }
            }
            pass[size_t(y) * canvas.width + x] = acc;
        }
    }
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            float acc = 0.0f;
            for (int i = -radius; i <= radius; ++i) {
                const int sy = y + i;
                if (sy >= 0 && sy < canvas.height) {
                    acc += kernel[size_t(i + radius)] * pass[size_t(sy) * canvas.width + x];
                }
            }
            canvas.at(x, y) = acc;
        }
    }
}

void addBitmap(Canvas& canvas, const TextBitmap& bitmap, int x, int y, float level)
{
    for (int by = 0; by < bitmap.height; ++by) {
        const int cy = y + by;
        if (cy < 0 || cy >= canvas.height) {
            continue;
        }
        for (int bx = 0; bx < bitmap.width; ++bx) {
            const int cx = x + bx;
            if (cx < 0 || cx >= canvas.width) {
                continue;
            }
            float& pixel = canvas.at(cx, cy);
            pixel = std::min(1.0f, pixel + level * bitmap.coverage[size_t(by) * bitmap.width + bx]);
        }
    }
}

IndexedPicture toIndexedPicture(const Canvas& canvas)
{
    IndexedPicture picture(canvas.width, canvas.height);
    setGreyPalette(picture);
    for (size_t i = 0; i < canvas.light.size(); ++i) {
        const float v = std::clamp(canvas.light[i], 0.0f, 1.0f);
        picture.indices[i] = uint8_t(std::lround(v * 255.0f));
    }
    return picture;
}

TextRenderer::TextRenderer()
{
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) == 0) {
        library_ = library;
    }
}

TextRenderer::~TextRenderer()
{
    if (face_) {
        FT_Done_Face(static_cast<FT_Face>(face_));
    }
    if (library_) {
        FT_Done_FreeType(static_cast<FT_Library>(library_));
    }
}

bool TextRenderer::open(const std::string& fontPath, std::string& reason)
{
    if (!library_) {
        reason = "FreeType could not start";
        return false;
    }
    FT_Face face = nullptr;
    const FT_Error error = FT_New_Face(static_cast<FT_Library>(library_), fontPath.c_str(), 0, &face);
    if (error != 0) {
        reason = "cannot load font (FreeType error " + std::to_string(error) + ")";
        return false;
    }
    if (face_) {
        FT_Done_Face(static_cast<FT_Face>(face_));
    }
    face_ = face;
    return true;
}

namespace {

struct PlacedGlyph {
    int left = 0;  // pen-relative pixel position of the bitmap's top-left
    int top = 0;   // rows above the baseline
    int width = 0;
    int rows = 0;
    std::vector<uint8_t> gray;
};

}  // namespace

TextBitmap TextRenderer::render(const std::string& text, int pixelSize) const
{
    TextBitmap out;
    if (!face_) {
        return out;
    }
    FT_Face face = static_cast<FT_Face>(face_);
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize));

    std::vector<PlacedGlyph> glyphs;
    long pen = 0;  // 26.6 fixed point
    FT_UInt previous = 0;
    int minX = INT_MAX, maxX = INT_MIN, minY = INT_MAX, maxY = INT_MIN;  // y down, baseline 0
    for (unsigned char c : text) {
        const FT_UInt index = FT_Get_Char_Index(face, c);
        if (previous && index && FT_HAS_KERNING(face)) {
            FT_Vector kerning;
            FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &kerning);
            pen += kerning.x;
        }
        if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0 ||
            FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) {
            previous = index;
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        PlacedGlyph g;
        g.left = int((pen + 32) >> 6) + slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = int(slot->bitmap.width);
        g.rows = int(slot->bitmap.rows);
        g.gray.resize(size_t(g.width) * g.rows);
        for (int r = 0; r < g.rows; ++r) {
            const unsigned char* src = slot->bitmap.buffer + r * slot->bitmap.pitch;
            std::copy(src, src + g.width, g.gray.begin() + size_t(r) * g.width);
        }
        if (g.width > 0 && g.rows > 0) {
            minX = std::min(minX, g.left);
            maxX = std::max(maxX, g.left + g.width);
            minY = std::min(minY, -g.top);
            maxY = std::max(maxY, -g.top + g.rows);
            glyphs.push_back(std::move(g));
        }
        pen += slot->advance.x;
        previous = index;
    }
    if (glyphs.empty()) {
        return out;
    }
    out.width = maxX - minX;
    out.height = maxY - minY;
    out.baseline = -minY;
    out.coverage.assign(size_t(out.width) * out.height, 0.0f);
    for (const PlacedGlyph& g : glyphs) {
        const int ox = g.left - minX;
        const int oy = -g.top - minY;
        for (int r = 0; r < g.rows; ++r) {
            for (int c = 0; c < g.width; ++c) {
                float& cell = out.coverage[size_t(oy + r) * out.width + ox + c];
                cell = std::min(1.0f, cell + float(g.gray[size_t(r) * g.width + c]) / 255.0f);
            }
        }
    }
    return out;
}

void TextRenderer::lineExtent(int pixelSize, int& height, int& baseline) const
{
    const TextBitmap reference = render("Hdgjpqy", pixelSize);
    height = reference.height;
    baseline = reference.baseline;
}
