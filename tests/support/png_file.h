// Reading a PNG file (a browser's screenshot, a capture still) into the
// Screenshot the picture checks of letterbox.h take, and comparing two.
#pragma once

#include <string>

#include "support/x_session.h"

// Reads `path` as 8-bit RGB; false with "<path>: <reason>" otherwise.
bool readPngFile(const std::string& path, Screenshot& picture, std::string& failure);

// Share (0..1) of the pixels of two same-sized pictures where some channel
// differs by more than `levels`; 1 when the sizes differ.
double differingShare(const Screenshot& a, const Screenshot& b, int levels);
