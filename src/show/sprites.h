// The particle cloud drawn as additive, camera-facing sprites with the
// "FAKEDOF" program, which blends the sharp and blurred sprite pictures by
// each fragment's distance from the focal plane and grows sprites away from
// it. Main thread, GL context current, camera matrices in place.
#pragma once

#include <cstdint>

struct Scene;
struct ShaderProgram;

// The whole pass: set-up, one sprite per live particle, restore.
void drawParticleSprites(Scene& scene, uint32_t t);
// Fixed state, program, textures and per-frame uniforms; the program or null.
ShaderProgram* beginSpritePass(Scene& scene);
// One billboard at `position` (x, y, z) in `colour` (r, g, b, a).
void drawSprite(const float position[3], const float colour[4]);
// Size of particle i's sprite at time t (0.125 plus the size wave).
float spriteSize(const Scene& scene, int i, uint32_t t);
