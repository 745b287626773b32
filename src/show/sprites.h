// The particle cloud drawn as additive, camera-facing sprites with the
// "FAKEDOF" program, which blends the sharp and blurred sprite pictures by
// each fragment's distance from the focal plane and grows sprites away from
// it. Every corner of a sprite has the same depth, so a sprite a whole focal
// range or more from the plane is wholly blurred: those (told apart on the
// CPU, with a margin) go through "FAKEDOF_FAR", which reads only the blurred
// picture and gives the same pixels. Main thread, GL context current,
// camera matrices in place.
#pragma once

#include <cstdint>

struct Scene;
struct ShaderProgram;

// A sprite goes to the blurred-only program only when it lies at least this
// share beyond the focal range from the focal plane, so that rounding on
// either side never sends a partly sharp sprite there.
constexpr double SPRITE_FOCUS_MARGIN = 0.01;

// The sprite depth as the vertex stage makes it (clip-space z of any corner),
// worked out from the camera on the CPU.
struct SpriteFocus {
    bool usable = false;           // false: every sprite takes the full program
    double eye[3] = {};            // camera position
    double forward[3] = {};        // unit viewing direction
    double depthScale = 0.0;       // clip z = depthScale * distance along forward
    double depthOffset = 0.0;      //          + depthOffset
    double focalPlaneDepth = 0.0;  // as the fragment stage gets it
    double focalDist = 0.0;        // focal range, as the fragment stage gets it
};

// The scene's camera and focal range under a perspective projection with
// these near and far planes.
SpriteFocus spriteFocus(const Scene& scene, float nearPlane, float farPlane);
// True when the sprite centred at `position` is certainly wholly blurred.
bool spriteWhollyBlurred(const SpriteFocus& focus, const float position[3]);

// The whole pass: set-up, one sprite per live particle, restore.
void drawParticleSprites(Scene& scene, uint32_t t);
// Fixed state, program, textures and per-frame uniforms; the program or null.
ShaderProgram* beginSpritePass(Scene& scene);
// One billboard at `position` (x, y, z) in `colour` (r, g, b, a).
void drawSprite(const float position[3], const float colour[4]);
// Size of particle i's sprite at time t (0.125 plus the size wave).
float spriteSize(const Scene& scene, int i, uint32_t t);
