// quillmoor-capture: renders the show offline at a fixed frame rate into PNG
// stills, numbered PNG sequences and video (H.264 or lossless FFV1) with the
// soundtrack, one segment of such a recording, or the join of segments.
// See --help.
#include <cstdio>
#include <string>

#include "capture_join.h"
#include "capture_options.h"
#include "capture_run.h"

int main(int argc, char** argv)
{
    CaptureOptions options;
    std::string error;
    switch (parseCaptureOptions(argc, argv, options, error)) {
    case ParseResult::Help:
        std::fputs(captureUsage(), stdout);
        return 0;
    case ParseResult::Error:
        std::fprintf(stderr, "quillmoor-capture: %s\n", error.c_str());
        return 2;
    case ParseResult::Run:
        break;
    }
    return options.joinPath.empty() ? runCapture(options, stdout) : runJoin(options);
}
