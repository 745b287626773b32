// The command-line reader the show and the capture tool share: each program
// describes its options in one table (name, kind of value, range, what a
// good value looks like, the option's lines in --help), and one loop reads
// argv against it, stores each value, and words every refusal alike:
//   "--crf 52: expected a whole number from 0 (lossless) to 51"
// A refused value is quoted at most OPTION_QUOTE_LIMIT characters long.
// The value readers below are the ones both programs use, so that a size or
// a show time reads the same whichever program is given it. Any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A whole number from low to high, digits only ("+5" and "-0" are refused).
bool readWholeNumber(const std::string& text, long low, long high, int& value);
// "WIDTHxHEIGHT" (or "WIDTHXHEIGHT"), each side from minSide to maxSide pixels.
bool readPictureSize(const std::string& text, int minSide, int maxSide, int& width, int& height);
// A show time from 0 to lastMs: milliseconds ("56000", "56000ms") or seconds
// with an "s" ("56s", "96.5s"), rounded to the nearest millisecond. Decimal
// only: "0x10" or "1e3" is no time.
bool readShowTime(const std::string& text, uint32_t lastMs, uint32_t& timeMs);
// A decimal number: digits with at most one point, at least one digit.
bool readDecimal(const std::string& text, double& value);

// The longest a value is quoted back in a message, characters.
constexpr size_t OPTION_QUOTE_LIMIT = 80;
// `value` as a message quotes it: whole when it is short enough, otherwise
// its start and "...", OPTION_QUOTE_LIMIT characters in all.
std::string quoteOptionValue(const std::string& value);

enum class OptionKind {
    Flag,      // no value: sets a bool
    Stop,      // no value: ends the reading with its own outcome (--help)
    Whole,     // a whole number from low to high
    Size,      // WIDTHxHEIGHT, each side from low to high pixels
    ShowTime,  // a show time from 0 to high ms
    Text,      // any value but an empty one
    Choice,    // one of the words in `choices`
    Custom,    // read by `custom`, which may say why it refused
};

// One option of a program's table. Made by the functions below, which name
// the kind; the table's rows then read as the option's whole description.
struct OptionSpec {
    const char* name = nullptr;      // "--size"
    OptionKind kind = OptionKind::Flag;
    long low = 0;                    // Whole, Size: the least; unused otherwise
    long high = 0;                   // Whole, Size: the most; ShowTime: the last ms
    std::vector<std::string> choices;  // Choice
    const char* expected = "";       // what a good value looks like, for messages
    const char* help = nullptr;      // the option's lines in --help; null: not listed
    const char* heading = nullptr;   // --help text before those lines (a heading, a paragraph)
    int stopOutcome = 0;             // Stop: what the reading answers
    // Stores `value` where the option keeps it; false when it is refused,
    // with the reason in `why` when the kind's own words do not fit.
    std::function<bool(const std::string& value, std::string& why)> read;
};

OptionSpec flagOption(const char* name, bool& target, bool setTo, const char* help);
OptionSpec stopOption(const char* name, int outcome, const char* help);
OptionSpec wholeOption(const char* name, int& target, long low, long high, const char* expected,
                       const char* help);
OptionSpec sizeOption(const char* name, int& width, int& height, int minSide, int maxSide,
                      const char* expected, const char* help);
OptionSpec showTimeOption(const char* name, uint32_t& target, uint32_t lastMs, const char* expected,
                          const char* help);
OptionSpec textOption(const char* name, std::string& target, const char* expected, const char* help);
OptionSpec choiceOption(const char* name, std::string& target, std::vector<std::string> choices,
                        const char* expected, const char* help);
OptionSpec customOption(const char* name, std::function<bool(const std::string&, std::string&)> read,
                        const char* expected, const char* help);
// `option` with `heading` before its lines in --help.
OptionSpec underHeading(const char* heading, OptionSpec option);

// How a program's reading differs from the other's.
struct OptionReading {
    // Takes an argument that is no option (does not start with '-'); null:
    // such an argument is an unknown option.
    std::function<void(const std::string& argument)> positional;
    // Called with each option the table knows, as it is met.
    std::function<void(const OptionSpec& option)> seen;
    // "--size: needs a value (EXPECTED)" rather than "--size: needs a value".
    bool missingValueSaysExpected = false;
};

// What the reading came to.
struct OptionsOutcome {
    bool stopped = false;  // a Stop option ended it
    int stopOutcome = 0;   // that option's outcome
    bool failed = false;   // `error` says why, in one line
};

// Reads argv[1..] against `table`. Stops at the first Stop option or the
// first refusal.
OptionsOutcome readOptions(int argc, char** argv, const std::vector<OptionSpec>& table,
                           const OptionReading& reading, std::string& error);
// The --help lines of the table's options (headings and listed options),
// in the table's order.
std::string optionHelp(const std::vector<OptionSpec>& table);
