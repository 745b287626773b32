#include "show/terrain.h"

#include "gl/gl_api.h"

#include "gl/gl_extensions.h"
#include "resources/shader_registry.h"
#include "show/scene.h"
#include "show/screen_quad.h"

namespace {

constexpr GLfloat LIGHT_AMBIENT[4] = {0.2f, 0.2f, 0.2f, 1.0f};
constexpr GLfloat LIGHT_DIFFUSE[4] = {0.75f, 0.75f, 0.75f, 1.0f};
constexpr GLfloat LIGHT_SPECULAR[4] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr GLfloat LIGHT_POSITION[4] = {0.0f, 0.0f, 0.0f, 1.0f};  // the world origin
constexpr GLfloat LIGHT_CONSTANT_ATTENUATION = 0.0f;
constexpr GLfloat LIGHT_LINEAR_ATTENUATION = 0.15f;

// Only the red, green and blue of the material matter; nothing reads the
// terrain's alpha, which is left opaque.
constexpr GLfloat MATERIAL_AMBIENT[4] = {0.09f, 0.305f, 0.385f, 1.0f};
constexpr GLfloat MATERIAL_DIFFUSE[4] = {0.18f, 0.61f, 0.77f, 1.0f};
constexpr GLfloat MATERIAL_SPECULAR[4] = {0.252f, 0.854f, 1.0f, 1.0f};

// Every triangle in its own begin/end pair, each corner with its own normal.
void sendTriangles(const Scene& scene)
{
    for (const TerrainTriangle& tri : scene.terrainTriangles) {
        glBegin(GL_TRIANGLES);
        for (int corner = 0; corner < 3; ++corner) {
            const int32_t v = tri.index[corner];
            glNormal3fv(&scene.terrainNormals[v].x);
            glVertex3fv(&scene.terrainVertices[v].x);
        }
        glEnd();
    }
}

}  // namespace

void drawBackground(const Scene& scene)
{
    glColor4f(scene.fogColor[0], scene.fogColor[1], scene.fogColor[2], scene.fogColor[3]);
    drawScreenQuad();
}

void setupTerrainLight()
{
    glLightfv(GL_LIGHT0, GL_AMBIENT, LIGHT_AMBIENT);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, LIGHT_DIFFUSE);
    glLightfv(GL_LIGHT0, GL_SPECULAR, LIGHT_SPECULAR);
    glLightfv(GL_LIGHT0, GL_POSITION, LIGHT_POSITION);
    glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, LIGHT_CONSTANT_ATTENUATION);
    glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, LIGHT_LINEAR_ATTENUATION);
}

void setupTerrainMaterial()
{
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, MATERIAL_AMBIENT);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, MATERIAL_DIFFUSE);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, MATERIAL_SPECULAR);
}

void drawTerrain(const Scene& scene)
{
    // Without its program the terrain would come out in fixed-function
    // colours; the set-up has already said why the program is missing.
    const ShaderProgram* program =
        scene.shaders != nullptr ? scene.shaders->findProgram("PP") : nullptr;
    if (program == nullptr) {
        return;
    }
    glExt.glUseProgram(program->id);
    setupTerrainLight();
    setupTerrainMaterial();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glDisable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glFogfv(GL_FOG_COLOR, scene.fogColor);  // reaches the program as gl_Fog.color

    sendTriangles(scene);

    glDisable(GL_LIGHTING);
    glEnable(GL_CULL_FACE);
    glExt.glUseProgram(0);
}
