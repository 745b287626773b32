// window_probe.exe CLASS TITLE [WAIT_MS]: looks, from the Windows side, for
// a top-level window of window class CLASS and title TITLE, waiting up to
// WAIT_MS milliseconds (default: none) for it to be there and visible.
// Found: prints one line "client WIDTH HEIGHT visible 0|1" (its client
// area, pixels; visible 0 when it stayed hidden) and exits with 0; not
// found: exits with 1; wrong use: 2. The wine suite runs it beside the show
// to see the window that the show registered, which X11 knows only by its
// title.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);  // "\n" ends the line, as on Linux
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: window_probe CLASS TITLE [WAIT_MS]\n");
        return 2;
    }
    const DWORD waitMs = argc == 4 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 0;
    const ULONGLONG end = GetTickCount64() + waitMs;
    HWND window = FindWindowA(argv[1], argv[2]);
    while (!(window && IsWindowVisible(window)) && GetTickCount64() < end) {
        Sleep(100);
        window = FindWindowA(argv[1], argv[2]);
    }
    if (!window)
        return 1;
    RECT client{};
    GetClientRect(window, &client);
    std::printf("client %ld %ld visible %d\n", client.right - client.left, client.bottom - client.top,
                IsWindowVisible(window) ? 1 : 0);
    return 0;
}
