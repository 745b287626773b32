#include "audio/music_track.h"

#include <cctype>
#include <string>

#include "audio/audio_engine.h"

bool pathNamesStream(const char* path)
{
    if (!path)
        return false;
    std::string upper = path;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper.find("MP3") != std::string::npos;
}

int MusicTrack::load(const char* path)
{
    if (!path)
        return -1;
    // The engine is given the caller's path; only the test uses the copy.
    if (pathNamesStream(path)) {
        streamHandle = audioStreamCreateFile(path, AUDIO_STREAM_PRESCAN);
        if (streamHandle == 0)
            return -1;
        kind = 0;
        return 0;
    }
    moduleHandle = audioMusicLoad(path, AUDIO_MUSIC_RAMP);
    if (moduleHandle == 0)
        return -1;
    kind = 1;
    return 0;
}

uint32_t MusicTrack::activeHandle() const
{
    return kind == 1 ? moduleHandle : streamHandle;
}

void MusicTrack::updateSpectrum()
{
    audioChannelGetData(activeHandle(), spectrum, AUDIO_DATA_FFT1024);
}
