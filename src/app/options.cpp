#include "app/options.h"

#include <vector>

#include "app/demo.h"
#include "app/option_reader.h"

namespace {

constexpr int MIN_SIDE = 16;      // pixels
constexpr int MAX_SIDE = 16384;   // pixels, the largest GL drawable Mesa allows
constexpr int MAX_DISPLAY = 63;

// "auto" (0) or a decimal share from 0.25 to 1.
bool readRenderScale(const std::string& text, float& scale)
{
    if (text == "auto") {
        scale = 0.0f;
        return true;
    }
    double value = 0.0;
    if (!readDecimal(text, value) || !(value >= 0.25 && value <= 1.0))
        return false;
    scale = static_cast<float>(value);
    return true;
}

// The show's options, in the order --help lists them, reading into `options`.
std::vector<OptionSpec> showOptionTable(ShowOptions& options)
{
    return {
        flagOption("--window", options.window, true,
                   "  --window          a resizable window (1280x720 unless --size says\n"
                   "                    otherwise) instead of fullscreen; no mode change\n"),
        sizeOption("--size", options.width, options.height, MIN_SIDE, MAX_SIDE,
                   "WIDTHxHEIGHT, each 16 to 16384 pixels",
                   "  --size WxH        the window's size with --window, otherwise the\n"
                   "                    fullscreen mode to ask for (16 to 16384 pixels a side)\n"),
        wholeOption("--display", options.display, 0, MAX_DISPLAY, "a monitor number, 0 to 63 (0 is the primary)",
                    "  --display N       the monitor to play on (0, the primary, by default)\n"),
        flagOption("--no-vsync", options.vsync, false,
                   "  --no-vsync        present frames without waiting for the display\n"),
        showTimeOption("--from", options.fromMs, SHOW_END_MS - 1,
                       "a show time in ms (or seconds with \"s\") before 153000",
                       "  --from T          start at show time T: milliseconds (\"56000\") or\n"
                       "                    seconds with an s (\"56s\"); the show before it is\n"
                       "                    simulated without drawing and the music starts at T\n"),
        flagOption("--loop", options.loop, true,
                   "  --loop            start again from the beginning at the end, with the\n"
                   "                    music, until Escape\n"),
        textOption("--data", options.dataFolder, "a folder",
                   "  --data DIR        read the content from DIR instead of the Data folder\n"
                   "                    beside the program\n"),
        customOption(
            "--render-scale",
            [&options](const std::string& value, std::string&) { return readRenderScale(value, options.renderScale); },
            "auto or a number from 0.25 to 1",
            "  --render-scale S  draw the picture at S (0.25 to 1) times the screen's\n"
            "                    width and height and scale it up; \"auto\" (the default)\n"
            "                    starts at 1 and steps down only while the frames come\n"
            "                    slower than the display (at least 30 a second)\n"),
        stopOption("--help", static_cast<int>(OptionsResult::Help), "  --help            this text\n"),
        stopOption("-h", static_cast<int>(OptionsResult::Help), nullptr),
        stopOption("--version", static_cast<int>(OptionsResult::Version), "  --version         the version\n"),
    };
}

}  // namespace

OptionsResult parseShowOptions(int argc, char** argv, ShowOptions& options, std::string& error)
{
    OptionReading reading;
    reading.missingValueSaysExpected = true;
    const OptionsOutcome outcome = readOptions(argc, argv, showOptionTable(options), reading, error);
    if (outcome.failed)
        return OptionsResult::Error;
    return outcome.stopped ? static_cast<OptionsResult>(outcome.stopOutcome) : OptionsResult::Run;
}

const char* showVersion()
{
    return "quillmoor " QUILLMOOR_VERSION;
}

const char* showUsage()
{
    static const std::string usage = [] {
        ShowOptions unused;
        return "usage: quillmoor [options]\n"
               "\n"
               "Plays the 153-second show once, with its soundtrack, and exits. Without\n"
               "options it fills the screen at 1920x1080 and 120 Hz (or the nearest the\n"
               "display offers), letterboxed to 16:9, with vsync.\n"
               "\n"
               "Keys: Escape ends it; F11 or Alt+Enter switches between fullscreen and a\n"
               "window; Space pauses and resumes picture and music together; Left and\n"
               "Right jump 5 seconds back and on, Home back to the start.\n"
               "\n" +
               optionHelp(showOptionTable(unused)) +
               "\n"
               "With no display reachable the show says so and exits with status 1; a bad\n"
               "option gives status 2.\n";
    }();
    return usage.c_str();
}
