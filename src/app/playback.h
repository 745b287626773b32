// Playback: the viewer's hold on the show's time, keeping picture and music
// together.
// - A pause holds the clock and the music at the time of the frame it falls
//   in, and keeps that frame: the scene as the frame began is saved, and each
//   frame of the pause starts from it again, so the picture stands still and
//   the window still redraws. A resume lets clock and music run on together
//   from that time, the show's state as if there had been no pause.
// - A jump starts the show again from 0 and simulates it without drawing up
//   to the first frame of the simulation's frame rate at or after the time
//   asked for, as a start part-way through does, then puts clock and music
//   there: the frame after it is the one the offline renderer draws at that
//   time. A jump past the end ends the show as its end does.
// - With `loop`, the end of the show is a jump to 0.
// The saved scene is allocated when playback is attached; nothing here
// allocates afterwards. Main thread only.
#pragma once

#include <cstdint>
#include <memory>

struct Demo;
struct Scene;

struct Playback {
    Scene* scene = nullptr;          // the running show's state, owned by the entry point
    std::unique_ptr<Scene> held;     // the scene as the held frame began
    uint32_t heldFadeDone[2] = {};   // the fade flags as the held frame began
    uint32_t heldTimeMs = 0;         // show time of the held frame, ms
    float heldFrameStep = 0.0f;      // its frame step
    bool paused = false;
    bool muted = false;              // the music plays silently (its spectrum still drives the show)
    bool loop = false;               // the show starts again at its end

    Playback();
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;
};

// Lets playback act on `scene` (the room to save it is made now); null lets
// go of it. Playback starts unpaused; `loop` is left as it is.
void attachPlayback(Demo& demo, Scene* scene);
// Puts the music's play cursor at show time `timeMs`, so the spectrum read
// next is the soundtrack's at that moment.
void placeMusicAt(Demo& demo, uint32_t timeMs);
// Pauses or resumes clock, music and picture together (nothing when already so).
void pauseShow(Demo& demo, bool paused);
// Silences the music or gives it its volume back; the show looks the same
// either way (a show started with the music off stays silent).
void muteShow(Demo& demo, bool muted);
// Jumps to show time `timeMs` (see above); a paused show stays paused there.
void jumpShow(Demo& demo, uint32_t timeMs);
// Called once per frame after its messages: the loop's wrap at the end, and
// the held frame back while paused.
void prepareFrame(Demo& demo);
