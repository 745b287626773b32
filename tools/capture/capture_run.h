// One run of the offline renderer: finds the content, checks that the
// outputs can be written (and that ffmpeg has the encoder), opens a capture
// session, cuts the soundtrack to the written stretch, walks the frames up to
// the last one anything needs (drawing only those written, unless asked to
// draw them all), writes stills, sequence frames and video frames as they
// come, shows progress on a terminal and ends with a one-line summary. A
// stop request ends it between frames with the video finished in its .part
// and one line saying how far it got. Main thread only.
#pragma once

#include <cstdio>

struct CaptureOptions;

// Runs the capture; 0 when everything asked for was written, 1 otherwise
// (with one line on stderr saying why), 128 + the signal when a stop request
// ended it. The state report goes to `report`.
int runCapture(const CaptureOptions& options, std::FILE* report);
