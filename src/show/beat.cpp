#include "show/beat.h"

#include <algorithm>
#include <cmath>

#include "show/scene.h"

namespace {

constexpr int32_t BEAT_PARTICLE_STEP = 10;
constexpr float BEAT_ROLL_STEP = 0.25f;     // degrees per beat frame
constexpr float FOCAL_RESET = 0.5f;
constexpr float FOCAL_CEILING = 4.0f;

}  // namespace

void updateBeatResponse(Scene& scene, float dt)
{
    float focalBase = scene.focalDistance;
    if (bassEnergy(scene.spectrum) > BEAT_THRESHOLD) {
        scene.particleCount = std::min(scene.particleCount + BEAT_PARTICLE_STEP, PARTICLE_CAPACITY);
        scene.rollAngle += BEAT_ROLL_STEP;
        focalBase = FOCAL_RESET;
    }
    scene.focalDistance = focalBase + dt;
    if (std::fabs(scene.focalDistance) >= FOCAL_CEILING) {
        scene.focalDistance = FOCAL_CEILING;
    }
}
