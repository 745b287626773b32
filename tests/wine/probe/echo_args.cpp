// echo_args.exe: a program for the Windows-side tests of starting other
// programs. Without options it prints each argument after the program name
// as "[ARG]" on a line of its own (as the C runtime parsed the command
// line); "--exit N" exits with N; "--stdin-bytes N" reads its standard
// input to the end and exits with 0 when it got exactly N bytes, else 1.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    // Bytes as they are, both ways: no CR added, no Ctrl-Z taken as the end.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 3 && std::strcmp(argv[1], "--exit") == 0)
        return std::atoi(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--stdin-bytes") == 0) {
        const unsigned long long wanted = std::strtoull(argv[2], nullptr, 10);
        unsigned long long got = 0;
        char block[65536];
        size_t n;
        while ((n = std::fread(block, 1, sizeof block, stdin)) > 0)
            got += n;
        return got == wanted ? 0 : 1;
    }
    for (int i = 1; i < argc; ++i)
        std::printf("[%s]\n", argv[i]);
    return 0;
}
