// The text plates laid over the scene in eye space: the group plate that
// drifts in, the title, the greetings slide-show that steps on bass hits,
// and the two credits halves; each fades in and out on its own windows.
// State lives in Scene::overlays. Main thread, GL context current (unless
// scene.drawing is false, when only the state advances).
#pragma once

#include <cstdint>

struct Scene;

// Texture t coordinates that cut the greetings picture into nine strips.
extern const float GREET_STRIP_EDGES[10];

// step: the plate step, a quarter of frameStep.
void drawGroupsPlate(Scene& scene, uint32_t t, float step);
void drawTitlePlate(Scene& scene, uint32_t t, float step);
void drawGreets(Scene& scene, uint32_t t, float step);
void drawCreditsPlates(Scene& scene, uint32_t t, float step);
