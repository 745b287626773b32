// Messages on stderr, one line each, prefixed with the subsystem that speaks:
//   "audio: Data/music.mp3: not an MP3 stream"
// Used at start-up and teardown only; nothing logs inside the frame loop.
// Any thread may call it (each call writes one whole line).
#pragma once

#include <cstdarg>

// Writes "<subsystem>: <formatted message>\n" to stderr.
void logMessage(const char* subsystem, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Counts the lines written so far (tests use it to check that a path is quiet).
unsigned long loggedLineCount();
