#include "app/option_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

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

bool readDecimal(const std::string& text, double& value)
{
    bool digit = false, point = false;
    for (const char c : text) {
        if (c == '.' && !point)
            point = true;
        else if (std::isdigit(static_cast<unsigned char>(c)))
            digit = true;
        else
            return false;
    }
    if (!digit)
        return false;
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(parsed))
        return false;
    value = parsed;
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
    double value = 0.0;
    if (!readDecimal(number, value))
        return false;
    const double ms = std::round(value * scale);
    if (ms < 0.0 || ms > static_cast<double>(lastMs))
        return false;
    timeMs = static_cast<uint32_t>(ms);
    return true;
}

std::string quoteOptionValue(const std::string& value)
{
    if (value.size() <= OPTION_QUOTE_LIMIT)
        return value;
    return value.substr(0, OPTION_QUOTE_LIMIT - 3) + "...";
}

namespace {

OptionSpec valueOption(const char* name, OptionKind kind, const char* expected, const char* help,
                       std::function<bool(const std::string&, std::string&)> read)
{
    OptionSpec option;
    option.name = name;
    option.kind = kind;
    option.expected = expected;
    option.help = help;
    option.read = std::move(read);
    return option;
}

bool takesValue(const OptionSpec& option)
{
    return option.kind != OptionKind::Flag && option.kind != OptionKind::Stop;
}

const OptionSpec* findOption(const std::vector<OptionSpec>& table, const std::string& name)
{
    for (const OptionSpec& option : table)
        if (name == option.name)
            return &option;
    return nullptr;
}

}  // namespace

OptionSpec flagOption(const char* name, bool& target, bool setTo, const char* help)
{
    return valueOption(name, OptionKind::Flag, "", help, [&target, setTo](const std::string&, std::string&) {
        target = setTo;
        return true;
    });
}

OptionSpec stopOption(const char* name, int outcome, const char* help)
{
    OptionSpec option = valueOption(name, OptionKind::Stop, "", help, nullptr);
    option.stopOutcome = outcome;
    return option;
}

OptionSpec wholeOption(const char* name, int& target, long low, long high, const char* expected,
                       const char* help)
{
    OptionSpec option = valueOption(name, OptionKind::Whole, expected, help,
                                    [&target, low, high](const std::string& value, std::string&) {
                                        return readWholeNumber(value, low, high, target);
                                    });
    option.low = low;
    option.high = high;
    return option;
}

OptionSpec sizeOption(const char* name, int& width, int& height, int minSide, int maxSide,
                      const char* expected, const char* help)
{
    OptionSpec option = valueOption(name, OptionKind::Size, expected, help,
                                    [&width, &height, minSide, maxSide](const std::string& value, std::string&) {
                                        return readPictureSize(value, minSide, maxSide, width, height);
                                    });
    option.low = minSide;
    option.high = maxSide;
    return option;
}

OptionSpec showTimeOption(const char* name, uint32_t& target, uint32_t lastMs, const char* expected,
                          const char* help)
{
    OptionSpec option = valueOption(name, OptionKind::ShowTime, expected, help,
                                    [&target, lastMs](const std::string& value, std::string&) {
                                        return readShowTime(value, lastMs, target);
                                    });
    option.high = lastMs;
    return option;
}

OptionSpec textOption(const char* name, std::string& target, const char* expected, const char* help)
{
    return valueOption(name, OptionKind::Text, expected, help, [&target](const std::string& value, std::string&) {
        target = value;
        return !value.empty();
    });
}

OptionSpec choiceOption(const char* name, std::string& target, std::vector<std::string> choices,
                        const char* expected, const char* help)
{
    OptionSpec option = valueOption(name, OptionKind::Choice, expected, help,
                                    [&target, choices](const std::string& value, std::string&) {
                                        target = value;
                                        return std::find(choices.begin(), choices.end(), value) != choices.end();
                                    });
    option.choices = std::move(choices);
    return option;
}

OptionSpec customOption(const char* name, std::function<bool(const std::string&, std::string&)> read,
                        const char* expected, const char* help)
{
    return valueOption(name, OptionKind::Custom, expected, help, std::move(read));
}

OptionSpec underHeading(const char* heading, OptionSpec option)
{
    option.heading = heading;
    return option;
}

OptionsOutcome readOptions(int argc, char** argv, const std::vector<OptionSpec>& table,
                           const OptionReading& reading, std::string& error)
{
    OptionsOutcome outcome;
    auto fail = [&](std::string message) {
        error = std::move(message);
        outcome.failed = true;
        return outcome;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (reading.positional && (argument.empty() || argument[0] != '-')) {
            reading.positional(argument);
            continue;
        }
        const OptionSpec* option = findOption(table, argument);
        if (!option)
            return fail(quoteOptionValue(argument) + ": unknown option (see --help)");
        if (reading.seen)
            reading.seen(*option);
        if (option->kind == OptionKind::Stop) {
            outcome.stopped = true;
            outcome.stopOutcome = option->stopOutcome;
            return outcome;
        }
        std::string why;
        if (!takesValue(*option)) {
            option->read(argument, why);
            continue;
        }
        if (i + 1 >= argc) {
            if (reading.missingValueSaysExpected)
                return fail(argument + ": needs a value (" + option->expected + ")");
            return fail(argument + ": needs a value");
        }
        const std::string value = argv[++i];
        if (!option->read(value, why))
            return fail(argument + " " + quoteOptionValue(value) + ": " +
                        (why.empty() ? std::string("expected ") + option->expected : why));
    }
    return outcome;
}

std::string optionHelp(const std::vector<OptionSpec>& table)
{
    std::string text;
    for (const OptionSpec& option : table) {
        if (option.heading)
            text += option.heading;
        if (option.help)
            text += option.help;
    }
    return text;
}
