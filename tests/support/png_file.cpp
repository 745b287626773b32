#include "support/png_file.h"

#include <png.h>

#include <cstdlib>
#include <cstring>

bool readPngFile(const std::string& path, Screenshot& picture, std::string& failure)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        failure = path + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) {
        failure = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

double differingShare(const Screenshot& a, const Screenshot& b, int levels)
{
    if (a.width != b.width || a.height != b.height || a.rgb.empty())
        return 1.0;
    long differing = 0;
    const size_t pixels = a.rgb.size() / 3;
    for (size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c)
            if (std::abs(int(a.rgb[3 * i + c]) - int(b.rgb[3 * i + c])) > levels) {
                ++differing;
                break;
            }
    return static_cast<double>(differing) / static_cast<double>(pixels);
}
