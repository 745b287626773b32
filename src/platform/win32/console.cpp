// The show is a windowed program: Windows starts it without a console of
// its own, so that none flashes up behind the picture. Started from a
// command prompt, it would then say nothing there (no --help, no line about
// a missing file); so when it has no standard output or error of its own,
// it writes to the console of the program that started it, if there is one.
// Runs before main, once; linked into the show alone (the capture tool is a
// console program).
#include <windows.h>

#include <cstdio>

namespace {

struct ParentConsole {
    ParentConsole()
    {
        const bool noOutput = GetStdHandle(STD_OUTPUT_HANDLE) == nullptr;
        const bool noError = GetStdHandle(STD_ERROR_HANDLE) == nullptr;
        if (!noOutput && !noError)
            return;
        if (!AttachConsole(ATTACH_PARENT_PROCESS))
            return;
        if (noOutput)
            std::freopen("CONOUT$", "w", stdout);
        if (noError)
            std::freopen("CONOUT$", "w", stderr);
    }
};

const ParentConsole parentConsole;

}  // namespace
