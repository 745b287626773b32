// Scene: everything the show simulates and draws apart from the loaded
// resources: the particle cloud, the twelve attractors, the terrain bowl, the
// camera values, the scalars the passes hand each other from frame to frame,
// and the text plates' state. Also ShowRandom, the program's one generator,
// whose order of draws is part of what the show looks like.
// Built once after the content set-up, released after the main loop.
// Main thread only.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

struct Demo;
struct MusicTrack;
struct ShaderRegistry;
struct TextureRegistry;

constexpr int PARTICLE_CAPACITY = 900;
constexpr int INITIAL_PARTICLE_COUNT = 600;
constexpr int ATTRACTOR_COUNT = 12;
constexpr int TERRAIN_SIDE = 50;                                  // vertices per row
constexpr int TERRAIN_VERTEX_COUNT = TERRAIN_SIDE * TERRAIN_SIDE;  // 2500
constexpr int TERRAIN_TRIANGLE_COUNT = 49 * 49 * 2;                // 4802
constexpr uint32_t SHOW_RANDOM_SEED = 1319686836u;
constexpr uint32_t SHOW_MOTION_START_MS = 11000;  // particles run when t is above this
constexpr uint32_t SIZE_WAVE_START_MS = 15000;    // the sprite size wave runs when t is above this

// The show's pseudo-random generator: a 32-bit linear congruence, 15-bit draws.
struct ShowRandom {
    uint32_t state = 0;

    void seed(uint32_t value) { state = value; }
    // Next draw, 0..32767.
    int32_t next()
    {
        state = state * 214013u + 2531011u;
        return static_cast<int32_t>((state >> 16) & 0x7FFF);
    }
};

// A draw as a unit value: r / 32768 in single precision, 0 <= u < 1.
inline float unitFromDraw(int32_t r) { return static_cast<float>(r) * (1.0f / 32768.0f); }

// Sine, cosine and square root evaluated in double precision on a float
// argument and rounded back to float, as the show's numbers are defined.
inline float showSin(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
inline float showCos(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
inline float showSqrt(float x) { return static_cast<float>(std::sqrt(static_cast<double>(x))); }

struct Vec4 {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;
};

struct TerrainTriangle {
    int32_t index[3] = {};  // vertex indices
    Vec4 face;              // (P2 - P0) x (P1 - P0), unnormalised, w = 1
};

// State of the four text plates; each plays once per run.
struct OverlayState {
    float groupsAlpha = 0.0f;          // fade level, 0..0.75
    float groupsDepth = -10.0f;        // z translation of the group plate
    float titleAlpha = 0.0f;
    float creditsFirstAlpha = 0.0f;
    float creditsSecondAlpha = 0.0f;
    int32_t greetIndex = 0;            // strip on show, 0..8; 9 ends the slide-show
    float greetCooldown = 1.0f;        // 0..1; a new strip only above 0.95
    float greetOffset[3] = {2.0f, -0.5f, -0.5f};  // x, y, z of the strip
};

struct Scene {
    Demo* demo = nullptr;                 // timeMs, frameStep
    MusicTrack* music = nullptr;          // spectrum
    ShaderRegistry* shaders = nullptr;    // "PP", "FAKEDOF"
    TextureRegistry* textures = nullptr;  // sprite and plate pictures
    ShowRandom random;                    // the program's one generator

    std::vector<Vec4> particles;          // 900, w = 1
    std::vector<float> particleSpeeds;    // 900, fall speed 0.15..0.95
    std::vector<Vec4> attractors;         // 12, placed every particle step
    std::vector<float> attractorPulse;    // 12, 0 = just armed, 1 = idle
    std::vector<float> attractorSign;     // 12, +1 push, -1 pull
    std::vector<Vec4> terrainVertices;    // 2500, w = 1
    std::vector<Vec4> terrainNormals;     // 2500, averaged face normals, w = 0
    std::vector<float> terrainNormalCounts;         // 2500, triangles per vertex
    std::vector<TerrainTriangle> terrainTriangles;  // 4802

    int32_t particleCount = INITIAL_PARTICLE_COUNT;  // particles moved and drawn
    float focalDistance = 0.5f;      // orbit widening and sprite focal range
    float rollAngle = 0.0f;          // degrees about the viewing axis
    float cameraPhase = 0.0f;        // radians
    float attractorPhase = 0.0f;
    Vec4 cameraEye;                  // w = 1 once set
    Vec4 cameraTarget;               // (0, 0, 0, 1) once set
    float sizeWavePhase = 0.0f;      // 0..900
    float sizeWaveAmplitude = 0.0f;  // 0..1
    int32_t activeAttractor = 0;
    int32_t firstActiveAttractor = 0;
    float fogColor[4] = {};          // r, g, b, a
    const float* spectrum = nullptr; // this frame's 512 magnitudes

    OverlayState overlays;

    // False while the offline renderer seeks: every pass still advances the
    // show's state (and draws from ShowRandom) but makes no GL calls.
    bool drawing = true;
    // Every sprite through the full "FAKEDOF" program, none through the
    // blurred-only one: the same pixels, at the old cost (for comparisons).
    bool singleSpriteProgram = false;

    // Seeds ShowRandom, places the particles, sets the attractor arrays and
    // builds the terrain, in that order.
    explicit Scene(Demo& demo);
    // Puts everything back as construction left it, in the arrays already
    // there (nothing is allocated): the show can start again from 0.
    void restart();
    // Frees every scene array.
    void release();
};

// Triangle indices, vertex positions, face vectors and averaged normals.
void buildTerrain(Scene& scene);
// Bass energy of a spectrum: mean of bins 0..9, summed from bin 0 in single precision.
float bassEnergy(const float* spectrum);
