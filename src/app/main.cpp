// quillmoor: a 153-second real-time show of lit terrain in fog, a music-
// driven particle cloud and text plates, played in sync with its soundtrack.
#include "app/demo.h"
#include "app/entry.h"

int main()
{
    // Constructed first and destroyed last: its destruction frees the audio
    // engine and the shader and texture registries.
    Demo demo;
    return demoMain(demo);
}
