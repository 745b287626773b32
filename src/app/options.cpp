#include "app/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "app/demo.h"

namespace {

constexpr int MIN_SIDE = 16;      // pixels
constexpr int MAX_SIDE = 16384;   // pixels, the largest GL drawable Mesa allows
constexpr int MAX_DISPLAY = 63;

// Options that take a value, with what a good value looks like.
struct ValueOption {
    const char* name;
    const char* expected;
};
const ValueOption VALUE_OPTIONS[] = {
    {"--size", "WIDTHxHEIGHT, each 16 to 16384 pixels"},
    {"--display", "a monitor number, 0 to 63 (0 is the primary)"},
    {"--from", "a show time in ms (or seconds with \"s\") before 153000"},
    {"--data", "a folder"},
    {"--render-scale", "auto or a number from 0.25 to 1"},
};

const ValueOption* findValueOption(const std::string& name)
{
    for (const ValueOption& option : VALUE_OPTIONS)
        if (name == option.name)
            return &option;
    return nullptr;
}

// "auto" (0) or a decimal share from 0.25 to 1.
bool readRenderScale(const std::string& text, float& scale)
{
    if (text == "auto") {
        scale = 0.0f;
        return true;
    }
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.'))
        return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(value >= 0.25 && value <= 1.0))
        return false;
    scale = static_cast<float>(value);
    return true;
}

bool readValue(const std::string& option, const std::string& value, ShowOptions& options)
{
    if (option == "--size")
        return readPictureSize(value, MIN_SIDE, MAX_SIDE, options.width, options.height);
    if (option == "--display")
        return readWholeNumber(value, 0, MAX_DISPLAY, options.display);
    if (option == "--from")
        return readShowTime(value, SHOW_END_MS - 1, options.fromMs);
    if (option == "--render-scale")
        return readRenderScale(value, options.renderScale);
    options.dataFolder = value;
    return !value.empty();
}

}  // namespace

bool readWholeNumber(const std::string& text, long low, long high, int& value)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool readPictureSize(const std::string& text, int minSide, int maxSide, int& width, int& height)
{
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        return false;
    int w = 0, h = 0;
    if (!readWholeNumber(text.substr(0, x), minSide, maxSide, w) ||
        !readWholeNumber(text.substr(x + 1), minSide, maxSide, h))
        return false;
    width = w;
    height = h;
    return true;
}

bool readShowTime(const std::string& text, uint32_t lastMs, uint32_t& timeMs)
{
    std::string number = text;
    double scale = 1.0;
    if (number.size() > 2 && number.compare(number.size() - 2, 2, "ms") == 0) {
        number.resize(number.size() - 2);
    } else if (number.size() > 1 && number.back() == 's') {
        number.pop_back();
        scale = 1000.0;
    }
    if (number.empty() || !(std::isdigit(static_cast<unsigned char>(number[0])) || number[0] == '.'))
        return false;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(number.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value))
        return false;
    const double ms = std::round(value * scale);
    if (ms < 0.0 || ms > static_cast<double>(lastMs))
        return false;
    timeMs = static_cast<uint32_t>(ms);
    return true;
}

OptionsResult parseShowOptions(int argc, char** argv, ShowOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h")
            return OptionsResult::Help;
        if (option == "--version")
            return OptionsResult::Version;
        if (option == "--window") {
            options.window = true;
            continue;
        }
        if (option == "--no-vsync") {
            options.vsync = false;
            continue;
        }
        if (option == "--loop") {
            options.loop = true;
            continue;
        }
        const ValueOption* valueOption = findValueOption(option);
        if (!valueOption) {
            error = option + ": unknown option (see --help)";
            return OptionsResult::Error;
        }
        if (i + 1 >= argc) {
            error = option + ": needs a value (" + valueOption->expected + ")";
            return OptionsResult::Error;
        }
        const std::string value = argv[++i];
        if (!readValue(option, value, options)) {
            error = option + " " + value + ": expected " + valueOption->expected;
            return OptionsResult::Error;
        }
    }
    return OptionsResult::Run;
}

const char* showVersion()
{
    return "quillmoor " QUILLMOOR_VERSION;
}

const char* showUsage()
{
    return "usage: quillmoor [options]\n"
           "\n"
           "Plays the 153-second show once, with its soundtrack, and exits. Without\n"
           "options it fills the screen at 1920x1080 and 120 Hz (or the nearest the\n"
           "display offers), letterboxed to 16:9, with vsync.\n"
           "\n"
           "Keys: Escape ends it; F11 or Alt+Enter switches between fullscreen and a\n"
           "window; Space pauses and resumes picture and music together; Left and\n"
           "Right jump 5 seconds back and on, Home back to the start.\n"
           "\n"
           "  --window          a resizable window (1280x720 unless --size says\n"
           "                    otherwise) instead of fullscreen; no mode change\n"
           "  --size WxH        the window's size with --window, otherwise the\n"
           "                    fullscreen mode to ask for (16 to 16384 pixels a side)\n"
           "  --display N       the monitor to play on (0, the primary, by default)\n"
           "  --no-vsync        present frames without waiting for the display\n"
           "  --from T          start at show time T: milliseconds (\"56000\") or\n"
           "                    seconds with an s (\"56s\"); the show before it is\n"
           "                    simulated without drawing and the music starts at T\n"
           "  --loop            start again from the beginning at the end, with the\n"
           "                    music, until Escape\n"
           "  --data DIR        read the content from DIR instead of the Data folder\n"
           "                    beside the program\n"
           "  --render-scale S  draw the picture at S (0.25 to 1) times the screen's\n"
           "                    width and height and scale it up; \"auto\" (the default)\n"
           "                    starts at 1 and steps down only while the frames come\n"
           "                    slower than the display (at least 30 a second)\n"
           "  --help            this text\n"
           "  --version         the version\n"
           "\n"
           "With no display reachable the show says so and exits with status 1; a bad\n"
           "option gives status 2.\n";
}
