// The particle cloud's motion: twelve attractors placed on fixed paths, armed
// one after another by the bass and by a fixed side window, and every live
// particle falling, respawning at the top below y = -24, and pushed or pulled
// by the armed attractors. Also advances the sprite size wave.
// Pure scene logic; main thread.
#pragma once

#include <cstdint>

struct Scene;

constexpr float ATTRACTOR_THRESHOLD = 0.15f;

// Attractors, then every particle 0 .. particleCount - 1. step in seconds.
void stepParticles(Scene& scene, uint32_t t, float step);
// Placement, beat trigger, side window, pulse recovery, size wave.
void updateAttractors(Scene& scene, const float* spectrum, uint32_t t, float phase, float step);
// New random position and fall speed for particle i (four draws).
void respawnParticle(Scene& scene, int i);
