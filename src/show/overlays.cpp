#include "show/overlays.h"

#include "gl/gl_api.h"

#include <cmath>

#include "resources/texture_registry.h"
#include "show/scene.h"

const float GREET_STRIP_EDGES[10] = {
    0.0f, 0.0958f, 0.1955f, 0.293f, 0.389f, 0.4884f, 0.5842f, 0.682f, 0.7813f, 0.8793f,
};

namespace {

constexpr float PLATE_FULL_LEVEL = 0.75f;
constexpr int32_t GREET_LAST_STRIP = 8;
constexpr float GREET_ENERGY_THRESHOLD = 0.1f;
constexpr float GREET_READY_ABOVE = 0.95f;
constexpr float GREET_HALF_HEIGHT = 0.18359375f;
constexpr float GREET_LEVEL = 0.75f;

// An inclusive range of show time, in ms.
struct TimeWindow {
    uint32_t from;
    uint32_t until;
    bool contains(uint32_t t) const { return t >= from && t <= until; }
};

// One plate's schedule: it is updated and drawn only inside `draw`.
struct PlateTimes {
    TimeWindow draw;
    TimeWindow fadeIn;
    TimeWindow fadeOut;
};

constexpr PlateTimes GROUPS_TIMES = {{4000, 14000}, {4001, 7999}, {11001, 13999}};
constexpr PlateTimes TITLE_TIMES = {{54000, 64000}, {54001, 57999}, {61001, 63999}};
constexpr TimeWindow CREDITS_WINDOW = {125000, 142000};
constexpr PlateTimes CREDITS_FIRST_TIMES = {{125001, 132999}, {125001, 128999}, {130001, 132999}};
constexpr PlateTimes CREDITS_SECOND_TIMES = {{135001, 141999}, {135001, 138999}, {139001, 141999}};
constexpr TimeWindow GREETS_WINDOW = {95000, 200000};
constexpr uint32_t GROUPS_JUMP_AFTER_MS = 9100;

// Rises by the step inside the fade-in window, falls inside the fade-out
// window, and always stays within 0..0.75.
void fadeLevel(float& level, const PlateTimes& times, uint32_t t, float step)
{
    if (times.fadeIn.contains(t)) {
        level = level + step;
        if (level >= PLATE_FULL_LEVEL) {
            level = PLATE_FULL_LEVEL;
        }
    }
    if (times.fadeOut.contains(t)) {
        level = level - step;
        if (level <= 0.0f) {
            level = 0.0f;
        }
    }
}

// Additive blending with the picture on unit 0, if there is one.
void beginPlate(const Scene& scene, const char* textureName)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    const Texture* texture = scene.textures != nullptr ? scene.textures->find(textureName) : nullptr;
    if (texture != nullptr) {
        texture->bind(0);
    }
}

void endPlate()
{
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}

// One eye-space quad at z = -3, counter-clockwise seen from the camera.
void drawPlateQuad(float halfHeight, float topT, float bottomT)
{
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, bottomT);
    glVertex3f(-2.0f, -halfHeight, -3.0f);
    glTexCoord2f(1.0f, bottomT);
    glVertex3f(2.0f, -halfHeight, -3.0f);
    glTexCoord2f(1.0f, topT);
    glVertex3f(2.0f, halfHeight, -3.0f);
    glTexCoord2f(0.0f, topT);
    glVertex3f(-2.0f, halfHeight, -3.0f);
    glEnd();
}

void drawWholePlate(const Scene& scene, const char* textureName, float x, float y, float z, float level)
{
    glLoadIdentity();
    glTranslatef(x, y, z);
    beginPlate(scene, textureName);
    glColor4f(level, level, level, level);
    drawPlateQuad(1.0f, 0.0f, 1.0f);
    endPlate();
}

}  // namespace

void drawGroupsPlate(Scene& scene, uint32_t t, float step)
{
    if (!GROUPS_TIMES.draw.contains(t)) {
        return;
    }
    OverlayState& o = scene.overlays;
    fadeLevel(o.groupsAlpha, GROUPS_TIMES, t, step);
    o.groupsDepth = o.groupsDepth + 2.0f * step;
    if (t > GROUPS_JUMP_AFTER_MS) {
        o.groupsDepth = 0.25f;
    }
    if (scene.drawing) {
        drawWholePlate(scene, "GROUPS", 0.0f, 0.0f, o.groupsDepth, o.groupsAlpha);
    }
}

void drawTitlePlate(Scene& scene, uint32_t t, float step)
{
    if (!TITLE_TIMES.draw.contains(t)) {
        return;
    }
    OverlayState& o = scene.overlays;
    fadeLevel(o.titleAlpha, TITLE_TIMES, t, step);
    if (scene.drawing) {
        drawWholePlate(scene, "TITLE", 2.5f, -2.0f, 0.0f, o.titleAlpha);
    }
}

void drawCreditsPlates(Scene& scene, uint32_t t, float step)
{
    if (!CREDITS_WINDOW.contains(t)) {
        return;
    }
    OverlayState& o = scene.overlays;
    fadeLevel(o.creditsFirstAlpha, CREDITS_FIRST_TIMES, t, step);
    fadeLevel(o.creditsSecondAlpha, CREDITS_SECOND_TIMES, t, step);
    if (!scene.drawing) {
        return;
    }
    glLoadIdentity();
    beginPlate(scene, "CREDITS");
    // The two halves' windows never overlap, so each translation starts from identity.
    if (CREDITS_FIRST_TIMES.draw.contains(t)) {
        glTranslatef(4.25f, -2.0f, 0.0f);
        const float a = o.creditsFirstAlpha;
        glColor4f(a, a, a, a);
        drawPlateQuad(1.0f, 0.0f, 0.5f);
    }
    if (CREDITS_SECOND_TIMES.draw.contains(t)) {
        glTranslatef(-2.75f, -2.0f, 0.0f);
        const float a = o.creditsSecondAlpha;
        glColor4f(a, a, a, a);
        drawPlateQuad(1.0f, 0.5f, 1.0f);
    }
    endPlate();
}

void drawGreets(Scene& scene, uint32_t t, float step)
{
    OverlayState& o = scene.overlays;
    if (!GREETS_WINDOW.contains(t) || o.greetIndex > GREET_LAST_STRIP) {
        return;
    }
    const float energy = scene.spectrum != nullptr ? bassEnergy(scene.spectrum) : 0.0f;
    if (energy > GREET_ENERGY_THRESHOLD && o.greetCooldown > GREET_READY_ABOVE) {
        o.greetIndex = o.greetIndex + 1;
        o.greetCooldown = 0.0f;
        if (o.greetIndex > GREET_LAST_STRIP) {
            return;
        }
        const float u1 = unitFromDraw(scene.random.next());
        const float u2 = unitFromDraw(scene.random.next());
        const float u3 = unitFromDraw(scene.random.next());
        o.greetOffset[0] = (u1 - 0.5f) * 3.0f;
        o.greetOffset[1] = (u2 - 0.5f) * 3.0f;
        o.greetOffset[2] = u3 - 0.5f;
    }
    o.greetCooldown = o.greetCooldown + step;
    if (std::fabs(o.greetCooldown) >= 1.0f) {
        o.greetCooldown = 1.0f;
    }
    if (!scene.drawing) {
        return;
    }
    glLoadIdentity();
    glTranslatef(o.greetOffset[0], o.greetOffset[1], o.greetOffset[2] - 2.0f);
    glScalef(3.0f, 3.0f, 1.0f);
    beginPlate(scene, "GREETS");
    glColor4f(GREET_LEVEL, GREET_LEVEL, GREET_LEVEL, GREET_LEVEL);
    const int32_t k = o.greetIndex;
    drawPlateQuad(GREET_HALF_HEIGHT, GREET_STRIP_EDGES[k], GREET_STRIP_EDGES[k + 1]);
    endPlate();
}
