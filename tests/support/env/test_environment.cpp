// Linked into every test program: runs before main() and gives the tests a
// headless environment (SDL's offscreen video and dummy audio drivers, Mesa's
// software renderer, the build's Data folder) unless the caller chose otherwise.
#include <cstdlib>

#include "platform/files.h"

namespace {

struct HeadlessDefaults {
    HeadlessDefaults()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
        setContentFolder(QUILLMOOR_BINARY_DIR "/Data");
        setenv("QUILLMOOR_BIN", QUILLMOOR_BINARY_DIR, 0);
    }
} headlessDefaults;

}  // namespace
