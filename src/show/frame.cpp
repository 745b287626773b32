#include "show/frame.h"

#include "gl/gl_api.h"

#include <cstdint>

#include "app/demo.h"
#include "show/beat.h"
#include "show/overlays.h"
#include "show/particles.h"
#include "show/scene.h"
#include "show/sprites.h"
#include "show/terrain.h"

namespace {

constexpr float CAMERA_PHASE_RATE = 0.125f;     // per unit of frame step
constexpr float ATTRACTOR_PHASE_RATE = 0.5f;
constexpr float ORBIT_HALF_AXIS = 6.5f;         // z half-axis; x adds focalDistance
constexpr float ORBIT_CENTRE = 0.5f;            // x and z of the ellipse's centre
constexpr float ORBIT_HEIGHT_SWING = 0.5f;
constexpr float ORBIT_HEIGHT = -0.7f;

void fetchSpectrum(Scene& scene)
{
    scene.music->updateSpectrum();
    scene.spectrum = scene.music->spectrum;
}

}  // namespace

void setCameraView(const Scene& scene)
{
    const Vec4& eye = scene.cameraEye;
    const Vec4& target = scene.cameraTarget;
    glLoadIdentity();
    glRotatef(scene.rollAngle, 0.0f, 0.0f, -1.0f);
    gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, 0.0, 1.0, 0.0);
}

void placeCamera(Scene& scene)
{
    const float c = showCos(scene.cameraPhase);
    const float s = showSin(scene.cameraPhase);
    scene.cameraEye.x = c * (scene.focalDistance + ORBIT_HALF_AXIS) + ORBIT_CENTRE;
    scene.cameraEye.z = s * ORBIT_HALF_AXIS + ORBIT_CENTRE;
    scene.cameraEye.y = s * ORBIT_HEIGHT_SWING + ORBIT_HEIGHT;
    scene.cameraEye.w = 1.0f;
    scene.cameraTarget = Vec4{0.0f, 0.0f, 0.0f, 1.0f};
}

void renderFrame(Scene& scene)
{
    fetchSpectrum(scene);
    const uint32_t t = scene.demo->timeMs;
    const float s = scene.demo->frameStep;

    scene.cameraPhase += s * CAMERA_PHASE_RATE;
    scene.attractorPhase += s * ATTRACTOR_PHASE_RATE;

    if (scene.drawing) {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawBackground(scene);
    }

    placeCamera(scene);
    if (scene.drawing) {
        setCameraView(scene);
        drawTerrain(scene);
    }

    // Show time is compared as a signed value.
    if (static_cast<int32_t>(t) > static_cast<int32_t>(SHOW_MOTION_START_MS)) {
        stepParticles(scene, t, s * 0.5f);
        updateBeatResponse(scene, s * 0.5f);
        if (scene.drawing) {
            drawParticleSprites(scene, t);
        }
    }

    const float plateStep = s * 0.25f;
    drawGroupsPlate(scene, t, plateStep);
    drawTitlePlate(scene, t, plateStep);
    drawGreets(scene, t, plateStep);
    drawCreditsPlates(scene, t, plateStep);
}
