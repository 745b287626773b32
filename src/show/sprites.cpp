#include "show/sprites.h"

#include "gl/gl_api.h"

#include <algorithm>
#include <cmath>

#include "gl/gl_extensions.h"
#include "gl/gl_window.h"
#include "resources/shader_registry.h"
#include "resources/texture_registry.h"
#include "show/scene.h"

namespace {

constexpr float BASE_SPRITE_SIZE = 0.125f;
constexpr double QUARTER_TURN = 1.570796326794895;
constexpr float SPRITE_RED = 1.0f;
constexpr float SPRITE_GREEN = 0.71f;
constexpr float SPRITE_BLUE = 0.0f;
constexpr float SPRITE_ALPHA = 0.75f;

// Uniforms are registered by the content set-up; one that is missing is left unset.
void setFloatUniform(const ShaderProgram& program, const char* name, float x, float y, float z, float w)
{
    if (const Uniform* uniform = program.findUniform(name)) {
        uniform->setFloat(x, y, z, w);
    }
}

void setIntUniform(const ShaderProgram& program, const char* name, int32_t v)
{
    if (const Uniform* uniform = program.findUniform(name)) {
        uniform->setInt(v);
    }
}

void bindIfPresent(const TextureRegistry* textures, const char* name, int unit)
{
    const Texture* texture = textures != nullptr ? textures->find(name) : nullptr;
    if (texture != nullptr) {
        texture->bind(unit);
    }
}

// Distance from the eye to the target, which the focal plane passes through.
float focalPlaneDepth(const Scene& scene)
{
    const Vec4& eye = scene.cameraEye;
    const Vec4& target = scene.cameraTarget;
    const float dx = target.x - eye.x;
    const float dy = target.y - eye.y;
    const float dz = target.z - eye.z;
    return showSqrt(dy * dy + dx * dx + dz * dz);
}

// Green of a particle's colour: a band of hue by height.
float spriteGreen(float y)
{
    const float half = 0.5f * y;
    const float wave = static_cast<float>(std::sin(static_cast<double>(half) + QUARTER_TURN));
    return (wave * 0.35f + 0.5f) * SPRITE_GREEN;
}

void endSpritePass()
{
    glExt.glUseProgram(0);
    glEnable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glExt.glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glExt.glActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_2D);
}

// Samplers and per-frame uniforms; a program without one leaves it out.
void setFrameUniforms(const ShaderProgram& program, const Scene& scene)
{
    setIntUniform(program, "sharp", 0);
    setIntUniform(program, "blurred", 1);
    setFloatUniform(program, "focalPlaneDepth", focalPlaneDepth(scene), 0.0f, 0.0f, 0.0f);
    setFloatUniform(program, "focalDist", scene.focalDistance, 0.0f, 0.0f, 0.0f);
    const Vec4& target = scene.cameraTarget;
    setFloatUniform(program, "camTarget", target.x, target.y, target.z, 1.0f);
}

// The blurred-only program, when the content set-up registered its uniforms.
ShaderProgram* farProgram(const Scene& scene)
{
    ShaderProgram* blurredOnly = scene.shaders != nullptr ? scene.shaders->findProgram("FAKEDOF_FAR") : nullptr;
    return blurredOnly != nullptr && blurredOnly->findUniform("size") != nullptr ? blurredOnly : nullptr;
}

// Particle indices by program, in index order; fixed arrays, so the pass
// allocates nothing.
struct SpriteBatches {
    int32_t full[PARTICLE_CAPACITY];
    int32_t blurred[PARTICLE_CAPACITY];
    int fullCount = 0;
    int blurredCount = 0;
};

void sortSprites(const Scene& scene, bool split, SpriteBatches& batches)
{
    const int count = std::min(scene.particleCount, PARTICLE_CAPACITY);
    const SpriteFocus focus = split ? spriteFocus(scene, nearPlane, farPlane) : SpriteFocus{};
    for (int i = 0; i < count; ++i) {
        const Vec4& p = scene.particles[i];
        const float position[3] = {p.x, p.y, p.z};
        if (spriteWhollyBlurred(focus, position))
            batches.blurred[batches.blurredCount++] = i;
        else
            batches.full[batches.fullCount++] = i;
    }
}

// One billboard per listed particle; the size is looked up by name per
// particle, as the pass has always done.
void drawBatch(const Scene& scene, const ShaderProgram& program, const int32_t* indices, int count,
               uint32_t t)
{
    float colour[4] = {SPRITE_RED, SPRITE_GREEN, SPRITE_BLUE, SPRITE_ALPHA};
    for (int k = 0; k < count; ++k) {
        const int i = indices[k];
        setFloatUniform(program, "size", spriteSize(scene, i, t), 0.0f, 0.0f, 0.0f);
        const Vec4& p = scene.particles[i];
        colour[1] = spriteGreen(p.y);
        const float position[3] = {p.x, p.y, p.z};
        drawSprite(position, colour);
    }
}

}  // namespace

float spriteSize(const Scene& scene, int i, uint32_t t)
{
    float wave = 0.0f;
    if (t > SIZE_WAVE_START_MS) {
        const float along = static_cast<float>(i) / 200.0f + scene.sizeWavePhase;
        wave = (showSin(along) * 0.125f + 0.1f) * scene.sizeWaveAmplitude;
    }
    return wave + BASE_SPRITE_SIZE;
}

ShaderProgram* beginSpritePass(Scene& scene)
{
    ShaderProgram* program =
        scene.shaders != nullptr ? scene.shaders->findProgram("FAKEDOF") : nullptr;
    if (program == nullptr) {
        return nullptr;
    }

    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);

    glExt.glUseProgram(program->id);
    bindIfPresent(scene.textures, "SQUARE_SHARP", 0);
    bindIfPresent(scene.textures, "SQUARE_BLURRED", 1);
    setFrameUniforms(*program, scene);
    return program;
}

SpriteFocus spriteFocus(const Scene& scene, float nearPlane, float farPlane)
{
    SpriteFocus focus;
    const Vec4& eye = scene.cameraEye;
    const Vec4& target = scene.cameraTarget;
    const double view[3] = {static_cast<double>(target.x) - eye.x, static_cast<double>(target.y) - eye.y,
                            static_cast<double>(target.z) - eye.z};
    const double length = std::sqrt(view[0] * view[0] + view[1] * view[1] + view[2] * view[2]);
    const double n = nearPlane;
    const double f = farPlane;
    const double range = scene.focalDistance;
    // Outside these the program's own arithmetic is in doubt (or undefined,
    // for a focal range of 0): the full program decides.
    if (!(length > 0.0) || !std::isfinite(length) || !(n > 0.0) || !(f > n) || !std::isfinite(f) ||
        !(range > 0.0) || !std::isfinite(range)) {
        return focus;
    }
    focus.eye[0] = eye.x;
    focus.eye[1] = eye.y;
    focus.eye[2] = eye.z;
    for (int i = 0; i < 3; ++i)
        focus.forward[i] = view[i] / length;
    // The perspective projection's third row: eye z -> clip z, with eye z the
    // negated distance along the viewing direction (the roll turns about it).
    focus.depthScale = (f + n) / (f - n);
    focus.depthOffset = -2.0 * f * n / (f - n);
    focus.focalPlaneDepth = focalPlaneDepth(scene);
    focus.focalDist = range;
    focus.usable = true;
    return focus;
}

bool spriteWhollyBlurred(const SpriteFocus& focus, const float position[3])
{
    if (!focus.usable)
        return false;
    double along = 0.0;
    for (int i = 0; i < 3; ++i)
        along += (static_cast<double>(position[i]) - focus.eye[i]) * focus.forward[i];
    const double depth = focus.depthScale * along + focus.depthOffset;
    return std::fabs(depth - focus.focalPlaneDepth) >= focus.focalDist * (1.0 + SPRITE_FOCUS_MARGIN);
}

void drawSprite(const float position[3], const float colour[4])
{
    const float x = position[0];
    const float y = position[1];
    const float z = position[2];
    glColor4fv(colour);
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord4f(0.0f, 0.0f, 1.0f, 1.0f);
    glVertex4f(x, y, z, 1.0f);
    glTexCoord4f(1.0f, 0.0f, -1.0f, 1.0f);
    glVertex4f(x, y, z, 1.0f);
    glTexCoord4f(0.0f, 1.0f, 1.0f, -1.0f);
    glVertex4f(x, y, z, 1.0f);
    glTexCoord4f(1.0f, 1.0f, -1.0f, -1.0f);
    glVertex4f(x, y, z, 1.0f);
    glEnd();
}

void drawParticleSprites(Scene& scene, uint32_t t)
{
    if (!scene.drawing) {
        return;
    }
    // Without the program the billboards would collapse to points: nothing to draw.
    ShaderProgram* program = beginSpritePass(scene);
    if (program != nullptr) {
        ShaderProgram* blurredOnly = scene.singleSpriteProgram ? nullptr : farProgram(scene);
        SpriteBatches batches;
        sortSprites(scene, blurredOnly != nullptr, batches);
        if (batches.blurredCount > 0) {
            // The blend adds non-negative amounts to an 8-bit target, so
            // drawing these first changes no pixel.
            glExt.glUseProgram(blurredOnly->id);
            setFrameUniforms(*blurredOnly, scene);
            drawBatch(scene, *blurredOnly, batches.blurred, batches.blurredCount, t);
            glExt.glUseProgram(program->id);
        }
        drawBatch(scene, *program, batches.full, batches.fullCount, t);
    }
    endSpritePass();
}
