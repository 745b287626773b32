#include "platform/log.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace {
std::atomic<unsigned long> lineCount{0};
}

void logMessage(const char* subsystem, const char* format, ...)
{
    char body[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(body, sizeof body, format, args);
    va_end(args);
    std::string line = std::string(subsystem) + ": " + body + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    lineCount.fetch_add(1, std::memory_order_relaxed);
}

unsigned long loggedLineCount()
{
    return lineCount.load(std::memory_order_relaxed);
}
