// Timed fades: full-screen colour washes laid over the finished frame, from
// black over the first two seconds and to black over the last eight. Each
// row of FADE_TABLE plays once per run; Demo::fadeDone remembers which
// finished. Main thread, GL context current (unless drawing is false).
#pragma once

#include <cstdint>

struct Demo;

struct FadeRecord {
    float start, end;                       // ms, compared as unsigned integers
    float fromRed, fromGreen, fromBlue;
    float toRed, toGreen, toBlue;
    float fromAlpha, toAlpha;
};

extern const FadeRecord FADE_TABLE[2];

// Walks the table at demo.timeMs; with drawing false it only updates the flags.
void drawFades(Demo& demo, bool drawing = true);
// One quad over the whole viewport in from * (1 - t) + to * t.
void drawColourQuad(float fromRed, float fromGreen, float fromBlue,
                    float toRed, float toGreen, float toBlue,
                    float fromAlpha, float toAlpha, float t);
