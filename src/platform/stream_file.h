// Reading an open file piece by piece, for decoders that pull their input as
// they go (the audio engine's streams) instead of taking it whole. The file
// comes from openOrdinaryFile (files.h); whoever holds it closes it here.
// Any thread, one thread per file at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Reads up to `bytes` into `buffer`; the count read (0 at the end), -1 on a
// read error.
int64_t streamFileRead(std::FILE* file, void* buffer, size_t bytes);
// Moves the read position (whence as for fseek); the new offset, or -1.
int64_t streamFileSeek(std::FILE* file, int64_t offset, int whence);
// Closes the file (null is ignored).
void streamFileClose(std::FILE* file);
