// What stands behind the particles: a full-screen quad in the fog colour and
// the terrain bowl, lit per pixel by a point light at the world origin and
// faded into the fog by the "PP" program. Main thread, GL context current.
#pragma once

struct Scene;

// Fills the viewport with the fog colour; leaves culling and depth test on.
void drawBackground(const Scene& scene);
// Draws the terrain with "PP"; leaves lighting off, culling on, no program.
void drawTerrain(const Scene& scene);
// Light 0: ambient, diffuse, specular, position at the origin, attenuation.
void setupTerrainLight();
// Front-and-back material: ambient, diffuse, specular.
void setupTerrainMaterial();
