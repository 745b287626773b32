#include "support/letterbox.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "gl/viewport.h"

Area pictureArea(int width, int height)
{
    const ViewportRect rect = fitShowViewport(width, height);
    // GL counts rows from the bottom.
    return {rect.x, height - rect.y - rect.height, rect.width, rect.height};
}

double litShare(const Screenshot& shot, int x0, int y0, int x1, int y1)
{
    long lit = 0, all = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++all)
            lit += !shot.black(x, y);
    return all ? static_cast<double>(lit) / static_cast<double>(all) : 0.0;
}

bool hasPicture(const Screenshot& shot)
{
    const Area a = pictureArea(shot.width, shot.height);
    return litShare(shot, a.left, a.top, a.left + a.width, a.top + a.height) > 0.5;
}

bool barsInPlace(const Screenshot& shot)
{
    if (!hasPicture(shot))
        return false;
    const Area a = pictureArea(shot.width, shot.height);
    const int right = a.left + a.width, bottom = a.top + a.height;
    const int midX = a.left + a.width / 2, midY = a.top + a.height / 2;
    // Each bar: black just outside the picture, lit just inside.
    if ((a.top > 0 && !(shot.black(midX, a.top - 1) && !shot.black(midX, a.top))) ||
        (bottom < shot.height && !(shot.black(midX, bottom) && !shot.black(midX, bottom - 1))) ||
        (a.left > 0 && !(shot.black(a.left - 1, midY) && !shot.black(a.left, midY))) ||
        (right < shot.width && !(shot.black(right, midY) && !shot.black(right - 1, midY))))
        return false;
    // A drawn scene, not a window cleared to one colour before its first frame.
    std::set<uint32_t> colours;
    for (int x = a.left; x < right; x += 4) {
        const uint8_t* p = shot.at(x, midY);
        colours.insert(static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
    }
    return colours.size() > 20;
}

void expectLetterboxed(const Screenshot& shot, const std::string& what)
{
    const Area a = pictureArea(shot.width, shot.height);
    long litOutside = 0;
    std::set<uint32_t> colours;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            if (!a.contains(x, y)) {
                litOutside += !shot.black(x, y);
            } else if ((x + y) % 7 == 0) {
                const uint8_t* p = shot.at(x, y);
                colours.insert(static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
            }
        }
    EXPECT_EQ(litOutside, 0) << what << ": lit pixels in the bars";
    const int right = a.left + a.width, bottom = a.top + a.height;
    EXPECT_GT(litShare(shot, a.left, a.top, right, a.top + 1), 0.9) << what << ": top edge";
    EXPECT_GT(litShare(shot, a.left, bottom - 1, right, bottom), 0.9) << what << ": bottom edge";
    EXPECT_GT(litShare(shot, a.left, a.top, a.left + 1, bottom), 0.9) << what << ": left edge";
    EXPECT_GT(litShare(shot, right - 1, a.top, right, bottom), 0.9) << what << ": right edge";
    EXPECT_GT(colours.size(), 100u) << what << ": a picture, not a flat colour";
}
