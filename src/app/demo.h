// Demo: the one application record. It holds the fixed launch settings, the
// window and context, the message-pump state, the extension loader, the
// texture and shader registries, the music track, the content set-up object,
// the per-frame time values and the viewer's playback state. The entry point
// constructs it first and destroys it last; everything else reaches it
// through a pointer.
// Main thread only (the clock's timer thread touches only FrameClock).
#pragma once

#include <cstdint>
#include <memory>

#include "app/aspect.h"
#include "app/clock.h"
#include "app/playback.h"
#include "audio/music_track.h"
#include "gl/gl_extensions.h"
#include "resources/configurator.h"
#include "resources/shader_registry.h"
#include "resources/texture_registry.h"

struct PlatformWindow;

struct DemoSettings {
    int32_t width = 0;        // pixels: asked for, then the drawable's real size
    int32_t height = 0;       // pixels
    bool fullscreen = false;
    bool vsync = false;
    int32_t colourBits = 0;
    AspectClass aspect = AspectOther;  // the desktop's, recorded; the view fits any shape
    int32_t display = 0;      // monitor index, 0 = primary
    uint32_t startMs = 0;     // show time of the first drawn frame, ms
    bool silent = false;      // no sound device is opened: nobody listens
};

// Show time (ms) at which the main loop ends the show.
constexpr uint32_t SHOW_END_MS = 153000;
// Rows of the timed fades table.
constexpr int FADE_ROW_COUNT = 2;

struct Demo {
    DemoSettings settings;
    AspectClass desktopAspect = AspectOther;
    PlatformWindow* window = nullptr;    // window and its GL context
    int32_t pixelFormat = 0;             // 1 = as asked, 2 = nearest match
    bool classRegistered = false;        // video subsystem up for the window
    bool quitPosted = false;             // a quit message waits in the queue
    bool endRequested = false;           // the viewer ended the show (Escape)
    GlVersion glVersion;
    ExtensionLoader extensions;
    TextureRegistry textures;
    ShaderRegistry shaders;
    MusicTrack music;
    std::unique_ptr<DemoConfigurator> configurator;  // content set-up, until the teardown
    bool musicOn = false;
    bool musicPlaying = false;
    uint32_t timeMs = 0;                 // show time at the start of this frame, ms
    float frameStep = 0.0f;              // elapsed ms / 500, at least 1e-8
    uint32_t fadeDone[FADE_ROW_COUNT] = {};  // a fade row has finished
    FrameClock clock;
    Playback playback;                   // pause, jumps and the loop

    // Reads the desktop's aspect class and readies the extension loader.
    Demo();
    // Stops and frees the audio engine, then releases shaders and textures.
    ~Demo();

    Demo(const Demo&) = delete;
    Demo& operator=(const Demo&) = delete;
};
