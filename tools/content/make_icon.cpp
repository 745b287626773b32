// Draws the menu icon from the show's own pictures: three particles (the
// sharp and the blurred sprite, as the show draws them, white with the
// picture's brightness as cover) over the fog's sky blue, in a square with
// rounded corners. Reads the pictures with the show's PCX reader and writes
// an RGBA PNG.
//
// Usage: quillmoor_make_icon <Data folder> <output .png> <side in pixels>
#include "resources/pcx_image.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The fog's colour in the show, 0..255.
constexpr float FOG_RGB[3] = {0.411f * 255.0f, 0.867f * 255.0f, 255.0f};
constexpr float CORNER_RADIUS = 0.18f;  // of the side

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<float> cover;  // brightness 0..1, top row first
};

bool readPicture(const std::string& path, Picture& picture)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        std::fprintf(stderr, "icon: %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    PcxImage image;
    if (!image.read(file)) {
        std::fprintf(stderr, "icon: %s: %s\n", path.c_str(), image.failure);
        return false;
    }
    picture.width = image.width;
    picture.height = image.height;
    picture.cover.resize(static_cast<size_t>(image.width) * image.height);
    for (size_t i = 0; i < picture.cover.size(); ++i) {
        const uint8_t* p = image.pixels.get() + 4 * i;
        picture.cover[i] = std::max({p[0], p[1], p[2]}) / 255.0f;
    }
    return true;
}

// Bilinear sample at (u, v) in 0..1.
float sample(const Picture& picture, float u, float v)
{
    const float x = std::clamp(u * picture.width - 0.5f, 0.0f, picture.width - 1.0f);
    const float y = std::clamp(v * picture.height - 0.5f, 0.0f, picture.height - 1.0f);
    const int x0 = static_cast<int>(x);
    const int y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, picture.width - 1);
    const int y1 = std::min(y0 + 1, picture.height - 1);
    const float fx = x - x0;
    const float fy = y - y0;
    auto at = [&](int px, int py) { return picture.cover[static_cast<size_t>(py) * picture.width + px]; };
    return (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) + (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
}

struct Particle {
    const Picture* picture;
    float centreX, centreY;  // of the side, 0..1
    float size;              // of the side
    float opacity;           // 0..1
};

// 0..1: how much of the pixel at (x, y) lies inside the rounded square.
float insideRoundedSquare(float x, float y, float side)
{
    const float radius = CORNER_RADIUS * side;
    const float dx = std::max({radius - x, x - (side - radius), 0.0f});
    const float dy = std::max({radius - y, y - (side - radius), 0.0f});
    return std::clamp(radius - std::sqrt(dx * dx + dy * dy) + 0.5f, 0.0f, 1.0f);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: quillmoor_make_icon <Data folder> <output .png> <side in pixels>\n");
        return 2;
    }
    const std::string data = argv[1];
    const std::string output = argv[2];
    const int side = std::atoi(argv[3]);
    if (side < 16 || side > 1024) {
        std::fprintf(stderr, "icon: side %s: expected 16 to 1024 pixels\n", argv[3]);
        return 2;
    }
    Picture sharp, blurred;
    if (!readPicture(data + "/dot_sharp.pcx", sharp) || !readPicture(data + "/dot_blurred.pcx", blurred))
        return 1;

    const Particle particles[] = {
        {&blurred, 0.30f, 0.34f, 0.95f, 0.55f},
        {&blurred, 0.76f, 0.70f, 0.60f, 0.45f},
        {&sharp, 0.58f, 0.52f, 0.62f, 1.0f},
    };
    std::vector<uint8_t> rgba(static_cast<size_t>(side) * side * 4);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const float px = (x + 0.5f) / side;
            const float py = (y + 0.5f) / side;
            float rgb[3] = {FOG_RGB[0], FOG_RGB[1], FOG_RGB[2]};
            for (const Particle& particle : particles) {
                const float u = (px - particle.centreX) / particle.size + 0.5f;
                const float v = (py - particle.centreY) / particle.size + 0.5f;
                if (u < 0.0f || u > 1.0f || v < 0.0f || v > 1.0f)
                    continue;
                const float cover = sample(*particle.picture, u, v) * particle.opacity;
                for (float& c : rgb)
                    c += (255.0f - c) * cover;
            }
            uint8_t* out = &rgba[(static_cast<size_t>(y) * side + x) * 4];
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<uint8_t>(std::lround(std::clamp(rgb[c], 0.0f, 255.0f)));
            out[3] = static_cast<uint8_t>(std::lround(255.0f * insideRoundedSquare(x + 0.5f, y + 0.5f, side)));
        }
    }

    // The simplified interface reports errors through the image record.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(side);
    image.height = static_cast<png_uint_32>(side);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, output.c_str(), 0, rgba.data(), side * 4, nullptr)) {
        std::fprintf(stderr, "icon: %s: %s\n", output.c_str(), image.message);
        png_image_free(&image);
        return 1;
    }
    return 0;
}
