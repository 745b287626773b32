#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

namespace {

struct Parsed {
    OptionsResult result;
    ShowOptions options;
    std::string error;
};

Parsed parse(std::vector<std::string> args)
{
    std::vector<char*> argv{const_cast<char*>("quillmoor")};
    for (std::string& arg : args)
        argv.push_back(arg.data());
    Parsed parsed;
    parsed.result = parseShowOptions(static_cast<int>(argv.size()), argv.data(), parsed.options, parsed.error);
    return parsed;
}

}  // namespace

TEST(ShowOptions, NoArgumentsKeepTheShowAsItIs)
{
    Parsed p = parse({});
    ASSERT_EQ(p.result, OptionsResult::Run);
    EXPECT_FALSE(p.options.window);
    EXPECT_EQ(p.options.width, 0);
    EXPECT_EQ(p.options.display, 0);
    EXPECT_TRUE(p.options.vsync);
    EXPECT_EQ(p.options.fromMs, 0u);
    EXPECT_FALSE(p.options.loop);
    EXPECT_TRUE(p.options.dataFolder.empty());
}

TEST(ShowOptions, EveryOptionSetsWhatItNames)
{
    Parsed p = parse({"--window", "--size", "960x540", "--display", "1", "--no-vsync", "--from", "56s",
                      "--loop", "--data", "/tmp/content"});
    ASSERT_EQ(p.result, OptionsResult::Run) << p.error;
    EXPECT_TRUE(p.options.window);
    EXPECT_EQ(p.options.width, 960);
    EXPECT_EQ(p.options.height, 540);
    EXPECT_EQ(p.options.display, 1);
    EXPECT_FALSE(p.options.vsync);
    EXPECT_EQ(p.options.fromMs, 56000u);
    EXPECT_TRUE(p.options.loop);
    EXPECT_EQ(p.options.dataFolder, "/tmp/content");

    EXPECT_EQ(parse({"--from", "96500"}).options.fromMs, 96500u);
    EXPECT_EQ(parse({"--from", "96.5s"}).options.fromMs, 96500u);
    EXPECT_EQ(parse({"--from", "152999ms"}).options.fromMs, 152999u);
    EXPECT_EQ(parse({"--size", "16X16"}).options.width, 16);
    EXPECT_EQ(parse({"--render-scale", "0.5"}).options.renderScale, 0.5f);
    EXPECT_EQ(parse({"--render-scale", "1"}).options.renderScale, 1.0f);
    EXPECT_EQ(parse({"--render-scale", "auto"}).options.renderScale, 0.0f) << "0 is automatic";
    EXPECT_EQ(parse({}).options.renderScale, 0.0f) << "automatic unless asked";
    EXPECT_EQ(parse({"--help"}).result, OptionsResult::Help);
    EXPECT_EQ(parse({"--window", "--version"}).result, OptionsResult::Version);
}

TEST(ShowOptions, BadValuesAreOneLineNamingTheOption)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--size", "0x0"},     {"--size", "99999x1"}, {"--size", "15x100"}, {"--size", "100x"},
        {"--size", "-5x100"},  {"--size", "+5x100"},  {"--from", "-1"},     {"--from", "200s"},
        {"--from", "153000"},  {"--from", "nan"},     {"--from", "5 s"},    {"--display", "64"},
        {"--display", "-1"},   {"--display", "one"},  {"--data", ""},       {"--from"},
        {"--unknown"},         {"-w"},                {"--render-scale", "0.2"}, {"--render-scale", "1.5"},
        {"--render-scale", "0"}, {"--render-scale", "nan"}, {"--render-scale", "0.5x"},
    };
    for (const auto& args : cases) {
        Parsed p = parse(args);
        EXPECT_EQ(p.result, OptionsResult::Error) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_EQ(p.error.rfind(args[0], 0), 0u) << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << p.error;
    }
}

TEST(ShowOptions, ShowTimesReadTheSameForEveryCaller)
{
    uint32_t ms = 7;
    EXPECT_TRUE(readShowTime("0", 100, ms));
    EXPECT_EQ(ms, 0u);
    EXPECT_TRUE(readShowTime(".5s", 1000, ms));
    EXPECT_EQ(ms, 500u);
    EXPECT_TRUE(readShowTime("0.0005s", 1000, ms));
    EXPECT_EQ(ms, 1u) << "rounded to the nearest millisecond";
    EXPECT_TRUE(readShowTime("100", 100, ms));
    EXPECT_FALSE(readShowTime("101", 100, ms));
    EXPECT_FALSE(readShowTime("s", 100, ms));
    EXPECT_FALSE(readShowTime("ms", 100, ms));
    EXPECT_FALSE(readShowTime("1e3", 100, ms));
    EXPECT_FALSE(readShowTime("inf", 1000, ms));
    EXPECT_EQ(ms, 100u) << "a refused value leaves the old one";

    int width = 3, height = 4;
    EXPECT_FALSE(readPictureSize("20x2", 16, 64, width, height));
    EXPECT_EQ(width, 3) << "a refused size leaves both sides";
    EXPECT_TRUE(readPictureSize("64x16", 16, 64, width, height));
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 16);
}

// Show times and scales are decimal only: a hexadecimal or exponent form
// that strtod would take is no value of either.
TEST(ShowOptions, OnlyDecimalNumbersAreTimesOrScales)
{
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--from", "0x10"},   {"--from", "0X10ms"}, {"--from", "0x1p4s"},
                                               {"--from", "1e3"},    {"--from", "1.5.5s"}, {"--render-scale", "0x0.8"},
                                               {"--render-scale", "5e-1"}}) {
        Parsed p = parse(args);
        EXPECT_EQ(p.result, OptionsResult::Error) << args[0] << " " << args[1];
        EXPECT_EQ(p.error.rfind(args[0] + " " + args[1] + ": expected ", 0), 0u) << p.error;
    }
}

// However long the refused value, the line quotes at most 80 characters of
// it, its start and "..."; a short one is quoted whole.
TEST(ShowOptions, RefusedValueIsQuotedAtMostEightyCharactersLong)
{
    struct Case {
        std::vector<std::string> args;
        std::string quoted;
    };
    const std::string longTime(5000, '9');
    const std::string eighty(80, '7');
    for (const Case& c : {Case{{"--from", longTime}, std::string(77, '9') + "..."},
                          Case{{"--display", eighty}, eighty},
                          Case{{"--display", eighty + "7"}, std::string(77, '7') + "..."},
                          Case{{std::string(200, '-')}, std::string(77, '-') + "..."}}) {
        Parsed p = parse(c.args);
        ASSERT_EQ(p.result, OptionsResult::Error);
        const std::string lead = c.args.size() > 1 ? c.args[0] + " " : "";
        EXPECT_EQ(p.error.rfind(lead + c.quoted + ":", 0), 0u) << p.error;
        EXPECT_LE(p.error.size(), lead.size() + 80 + 80) << "the value, and the words after it";
    }
}
