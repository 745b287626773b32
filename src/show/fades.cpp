#include "show/fades.h"

#include "gl/gl_api.h"

#include <cmath>

#include "app/demo.h"
#include "show/screen_quad.h"

const FadeRecord FADE_TABLE[2] = {
    // start, end, from colour, to colour, from alpha, to alpha
    {0.0f, 2000.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
    {145000.0f, 153000.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f},
};

namespace {

void drawRow(const FadeRecord& row, float t)
{
    drawColourQuad(row.fromRed, row.fromGreen, row.fromBlue,
                   row.toRed, row.toGreen, row.toBlue,
                   row.fromAlpha, row.toAlpha, t);
}

}  // namespace

void drawFades(Demo& demo, bool drawing)
{
    const uint32_t now = demo.timeMs;
    if (drawing) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_TEXTURE_2D);
    }
    for (int i = 0; i < FADE_ROW_COUNT; ++i) {
        if (demo.fadeDone[i] != 0) {
            continue;
        }
        const FadeRecord& row = FADE_TABLE[i];
        const uint32_t start = static_cast<uint32_t>(row.start);
        const uint32_t end = static_cast<uint32_t>(row.end);
        if (start <= now && now <= end) {
            const float rate = std::fabs((row.toAlpha - row.fromAlpha) / (row.end - row.start));
            const float t = rate * (static_cast<float>(now) - row.start);
            if (drawing) {
                drawRow(row, t);
            }
        } else if (now > end) {
            // Finished, possibly without a frame inside it: show the end once.
            if (drawing) {
                drawRow(row, 1.0f);
            }
            demo.fadeDone[i] = 1;
        }
    }
    if (drawing) {
        glEnable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
    }
}

void drawColourQuad(float fromRed, float fromGreen, float fromBlue,
                    float toRed, float toGreen, float toBlue,
                    float fromAlpha, float toAlpha, float t)
{
    const float keep = 1.0f - t;
    glColor4f(fromRed * keep + toRed * t, fromGreen * keep + toGreen * t,
              fromBlue * keep + toBlue * t, fromAlpha * keep + toAlpha * t);
    drawScreenQuad();
}
