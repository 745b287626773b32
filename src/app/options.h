// The show's command line: how a viewer asks for a window instead of the
// fullscreen mode, a size, a monitor, no vsync, a start part-way through, a
// show that starts again at its end, or another content folder. Parsing
// checks only the options themselves and touches nothing else; it runs
// before any window opens. The options are one table read by the reader the
// capture tool shares (app/option_reader.h), so both read the same values
// the same way and word their refusals alike. Any thread.
#pragma once

#include <cstdint>
#include <string>

#include "app/option_reader.h"

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
