// The content set-up: the one place where the show's content is named and
// loaded, once, after the window, context and extension table exist and
// before the scene is built. It starts the audio engine, loads the music,
// builds the "PP" and "FAKEDOF" programs (with FAKEDOF's uniforms), and turns
// six PCX pictures into named textures. A failure of one piece is reported
// on stderr and the rest is still loaded. Main thread only.
#pragma once

struct Demo;

class DemoConfigurator {
public:
    virtual ~DemoConfigurator() = default;
    // Loads everything; false when the audio engine or the music failed
    // (everything else has still been loaded).
    virtual bool configure() = 0;
};

class KestruneConfigurator : public DemoConfigurator {
public:
    explicit KestruneConfigurator(Demo* demo) : demo(demo) {}
    bool configure() override;

    Demo* demo;  // not owned
};
