// Writes PNG renderings of the show's six pictures, decoded by the show's
// own PCX reader, and a plot of the soundtrack's bass energy as the show
// sees it (decoded by the audio engine, its spectrum at 60 frames per
// second) with the beat threshold 0.1 and the attractor threshold 0.15.
//
// Usage: quillmoor_content_preview <Data folder> <output folder>
#include "audio/audio_decode.h"
#include "audio/spectrum.h"
#include "resources/pcx_image.h"
#include "show/scene.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb)
{
    // The simplified interface reports errors through the image record.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), width * 3, nullptr)) {
        std::fprintf(stderr, "content: %s: %s\n", path.c_str(), image.message);
        png_image_free(&image);
        return false;
    }
    return true;
}

bool previewPicture(const std::string& data, const std::string& out, const char* name)
{
    const std::string path = data + "/" + name + ".pcx";
    PcxImage image;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file || !image.read(file)) {
        std::fprintf(stderr, "content: %s: %s\n", path.c_str(),
                     file ? image.failure : "cannot open");
        return false;
    }
    std::vector<uint8_t> rgb(size_t(image.width) * image.height * 3);
    for (size_t i = 0; i < size_t(image.width) * image.height; ++i) {
        std::copy(&image.pixels[4 * i], &image.pixels[4 * i + 3], rgb.begin() + long(3 * i));
    }
    return writePng(out + "/" + name + ".png", image.width, image.height, rgb);
}

void fillRect(std::vector<uint8_t>& rgb, int width, int x0, int y0, int x1, int y1,
              uint8_t r, uint8_t g, uint8_t b)
{
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    }
}

bool plotBassEnergy(const std::string& data, const std::string& out)
{
    const std::string path = data + "/music.mp3";
    DecodedAudio audio;
    std::string reason;
    if (!decodeAudioFile(path.c_str(), AudioKind::Stream, audio, reason)) {
        std::fprintf(stderr, "content: %s: %s\n", path.c_str(), reason.c_str());
        return false;
    }
    constexpr int PIXELS_PER_SECOND = 20;
    constexpr int HEIGHT = 320;
    constexpr float TOP = 0.4f;  // energy at the top of the plot
    const double seconds = double(audio.frames()) / audio.rate;
    const int width = int(seconds * PIXELS_PER_SECOND) + 1;
    std::vector<uint8_t> rgb(size_t(width) * HEIGHT * 3, 16);
    auto rowOf = [&](float e) { return std::clamp(int((1.0f - e / TOP) * (HEIGHT - 1)), 0, HEIGHT - 1); };
    for (int s = 0; s < int(seconds); s += 5) {
        fillRect(rgb, width, s * PIXELS_PER_SECOND, 0, s * PIXELS_PER_SECOND + 1, HEIGHT, 60, 60, 60);
    }
    float spectrum[SPECTRUM_BIN_COUNT];
    std::vector<float> high(size_t(width), 0.0f), low(size_t(width), 1.0f);
    for (long frame = 0;; ++frame) {
        const double t = double(frame) / 60.0;
        const size_t cursor = size_t(t * audio.rate + 0.5);
        if (cursor > audio.frames()) break;
        computeSpectrum(audio.samples.data(), audio.frames(), audio.channels, cursor, spectrum);
        const float energy = bassEnergy(spectrum);
        const int x = int(t * PIXELS_PER_SECOND);
        high[size_t(x)] = std::max(high[size_t(x)], energy);
        low[size_t(x)] = std::min(low[size_t(x)], energy);
    }
    // Each column spans the lowest to the highest frame it holds; the floor
    // under it is darker, so both the hits and the level between them show.
    for (int x = 0; x < width; ++x) {
        fillRect(rgb, width, x, rowOf(low[size_t(x)]), x + 1, HEIGHT, 30, 60, 110);
        fillRect(rgb, width, x, rowOf(high[size_t(x)]), x + 1, rowOf(low[size_t(x)]) + 1, 90, 170, 255);
    }
    fillRect(rgb, width, 0, rowOf(0.1f), width, rowOf(0.1f) + 1, 255, 200, 0);
    fillRect(rgb, width, 0, rowOf(0.15f), width, rowOf(0.15f) + 1, 255, 60, 60);
    return writePng(out + "/bass_energy.png", width, HEIGHT, rgb);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <Data folder> <output folder>\n", argv[0]);
        return 2;
    }
    bool ok = true;
    for (const char* name : {"dot_sharp", "dot_blurred", "groups", "title", "greets", "credits"}) {
        ok = previewPicture(argv[1], argv[2], name) && ok;
    }
    ok = plotBassEnergy(argv[1], argv[2]) && ok;
    return ok ? 0 : 1;
}
