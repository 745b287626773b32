// The GL side of the show's window: the clip planes of its projection, the
// context's version, and the start of drawing on a context just made
// current (the GL entry points, then the extension table that doubles as
// the capability check). The window itself, its mode and what the show
// keeps of it are app/show_window.h. Main thread only, with the context
// current.
#pragma once

struct GlVersion;
struct ExtensionLoader;

// Near and far clip planes of the projection, set when the window opens.
extern float nearPlane;
extern float farPlane;

// Fills `version` from the current context's version string.
void readGlVersion(GlVersion& version);
// Reads "major.minor..." from the digits either side of the first dot.
void parseGlVersion(const char* text, int& major, int& minor);
// Readies drawing on the context just made current: its version, the GL
// entry points, the extension table. False (with a message on stderr) when
// the context cannot run the show.
bool startGlDrawing(GlVersion& version, ExtensionLoader& extensions);
