// Checks on screenshots of the running show, shared by the suites that run
// the real program on a display (screens, and wine for the Windows build):
// where the 16:9 picture lies in a drawable, whether a frame has been drawn
// there, and whether the bars around it are exactly black.
#pragma once

#include <string>

#include "support/x_session.h"

// Where the show's picture is in a top-row-first screenshot of a drawable.
struct Area {
    int left, top, width, height;
    bool contains(int x, int y) const { return x >= left && x < left + width && y >= top && y < top + height; }
};

// The viewport the show computes for a width x height drawable, top row first.
Area pictureArea(int width, int height);

// Share (0..1) of the non-black pixels in [x0, x1) x [y0, y1).
double litShare(const Screenshot& shot, int x0, int y0, int x1, int y1);

// A frame has been drawn into the picture area (more than half of it lit).
bool hasPicture(const Screenshot& shot);

// The frame on screen was drawn for the screenshot's size: its bars (if
// any) are black just outside the picture area and lit just inside. A frame
// drawn for an earlier size may still show for a while after a change.
bool barsInPlace(const Screenshot& shot);

// Black exactly outside the picture area; inside, a picture that reaches
// each of the area's edges and has many colours. Fails the running test
// (naming `what`) otherwise.
void expectLetterboxed(const Screenshot& shot, const std::string& what);
