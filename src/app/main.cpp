// quillmoor: a 153-second real-time show of lit terrain in fog, a music-
// driven particle cloud and text plates, played in sync with its soundtrack.
#include <cstdio>
#include <memory>
#include <string>

#include "app/demo.h"
#include "app/entry.h"
#include "app/options.h"
#include "app/show_window.h"
#include "platform/files.h"
#include "platform/mode_guard.h"

int main(int argc, char** argv)
{
    // The guard of the desktop's mode is this program, started again by it.
    int guardStatus = 0;
    if (platformModeGuardMain(argc, argv, guardStatus))
        return guardStatus;

    ShowOptions options;
    std::string error;
    switch (parseShowOptions(argc, argv, options, error)) {
    case OptionsResult::Help:
        std::fputs(showUsage(), stdout);
        return 0;
    case OptionsResult::Version:
        std::printf("%s\n", showVersion());
        return 0;
    case OptionsResult::Error:
        std::fprintf(stderr, "quillmoor: %s\n", error.c_str());
        return 2;
    case OptionsResult::Run:
        break;
    }
    if (!options.dataFolder.empty())
        setContentFolder(options.dataFolder);

    // The display comes up before the Demo reads the desktop's shape, and
    // stays up for the window.
    if (!openDisplay())
        return 1;

    // Constructed first and destroyed last: its destruction frees the audio
    // engine and the shader and texture registries. The run owns it, since
    // a browser plays the frames after main has returned.
    return playShow(std::make_unique<Demo>(), options);
}
