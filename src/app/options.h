// The show's command line: how a viewer asks for a window instead of the
// fullscreen mode, a size, a monitor, no vsync, a start part-way through, a
// show that starts again at its end, or another content folder. Parsing checks only the options themselves and
// touches nothing else; it runs before any window opens. The readers of
// whole numbers, picture sizes and show times are shared with the capture
// tool, so both read the same values the same way. Any thread.
#pragma once

#include <cstdint>
#include <string>

struct ShowOptions {
    bool window = false;       // a resizable window instead of fullscreen
    int width = 0;             // pixels; 0 = the default for the mode
    int height = 0;            // pixels
    int display = 0;           // monitor index, 0 = primary
    bool vsync = true;
    uint32_t fromMs = 0;       // show time of the first drawn frame, ms
    bool loop = false;         // start again from 0 at the end, until Escape
    std::string dataFolder;    // empty: the default content folder
    float renderScale = 0.0f;  // share of the viewport drawn, 0.25..1; 0 = automatic
};

enum class OptionsResult { Run, Help, Version, Error };

// Reads argv into `options`; on Error, `error` holds one line naming the
// option and what was expected.
OptionsResult parseShowOptions(int argc, char** argv, ShowOptions& options, std::string& error);
// The --help text.
const char* showUsage();
// The --version line.
const char* showVersion();

// A whole number from low to high, digits only ("+5" and "-0" are refused).
bool readWholeNumber(const std::string& text, long low, long high, int& value);
// "WIDTHxHEIGHT" (or "WIDTHXHEIGHT"), each side from minSide to maxSide pixels.
bool readPictureSize(const std::string& text, int minSide, int maxSide, int& width, int& height);
// A show time from 0 to lastMs: milliseconds ("56000", "56000ms") or seconds
// with an "s" ("56s", "96.5s"), rounded to the nearest millisecond.
bool readShowTime(const std::string& text, uint32_t lastMs, uint32_t& timeMs);
