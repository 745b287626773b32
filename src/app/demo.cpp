#include "app/demo.h"

#include "audio/audio_engine.h"

Demo::Demo()
{
    desktopAspect = readDesktopAspect();
    extensions.contextVersion = &glVersion;
    extensions.loaded = false;
    musicPlaying = false;
}

Demo::~Demo()
{
    if (audioInitialised()) {
        audioStop();
        audioFree();
    }
    shaders.release();
    textures.release();
}
