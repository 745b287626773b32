#include "support/display_modes.h"

#include <cstdlib>
#include <sstream>
#include <thread>

std::string dummyXorgConf(bool with120Hz)
{
    std::string conf =
        "Section \"ServerFlags\"\n"
        "    Option \"AutoAddDevices\" \"false\"\n"
        "EndSection\n"
        "Section \"Device\"\n"
        "    Identifier \"dummy\"\n"
        "    Driver \"dummy\"\n"
        "    VideoRam 256000\n"
        "EndSection\n"
        "Section \"Monitor\"\n"
        "    Identifier \"monitor\"\n"
        "    HorizSync 5.0 - 1000.0\n"
        "    VertRefresh 5.0 - 200.0\n"
        "    Modeline \"1280x720_60\" 74.25 1280 1390 1430 1650 720 725 730 750 +hsync +vsync\n"
        "    Modeline \"1920x1080_60\" 148.50 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync\n";
    if (with120Hz)
        conf += "    Modeline \"1920x1080_120\" 297.00 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync\n";
    conf +=
        "EndSection\n"
        "Section \"Screen\"\n"
        "    Identifier \"screen\"\n"
        "    Device \"dummy\"\n"
        "    Monitor \"monitor\"\n"
        "    DefaultDepth 24\n"
        "    SubSection \"Display\"\n"
        "        Depth 24\n"
        "        Virtual 1920 1080\n"
        "        Modes \"1280x720_60\"";
    conf += with120Hz ? " \"1920x1080_60\" \"1920x1080_120\"\n" : " \"1920x1080_60\"\n";
    conf +=
        "    EndSubSection\n"
        "EndSection\n";
    return conf;
}

Mode currentMode(const XSession& session)
{
    int status = 0;
    std::istringstream lines(session.tool({"xrandr"}, status));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t star = line.find('*');
        if (star == std::string::npos || line.rfind("Screen", 0) == 0)
            continue;
        std::istringstream words(line);
        Mode mode;
        words >> mode.name;
        std::string word;
        while (words >> word)
            if (word.find('*') != std::string::npos)
                mode.rate = std::atof(word.c_str());
        return mode;
    }
    return {};
}

bool setMode(const XSession& session, const std::string& name)
{
    int status = 0;
    std::istringstream lines(session.tool({"xrandr"}, status));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t connected = line.find(" connected");
        if (connected == std::string::npos)
            continue;
        session.tool({"xrandr", "--output", line.substr(0, connected), "--mode", name}, status);
        return status == 0;
    }
    return false;
}

bool isDesktopMode(const Mode& mode) { return mode.name.rfind("1280x720", 0) == 0; }

bool isShowMode(const Mode& mode, double minHz, double maxHz)
{
    return mode.name.rfind("1920x1080", 0) == 0 && mode.rate >= minHz && mode.rate <= maxHz;
}

bool waitForMode(const XSession& session, const std::function<bool(const Mode&)>& wanted,
                 std::chrono::milliseconds limit, Mode& seen)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        seen = currentMode(session);
        if (wanted(seen))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}
