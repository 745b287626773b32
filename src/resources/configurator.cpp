#include "resources/configurator.h"

#include "gl/gl_api.h"

#include <string>
#include <vector>

#include "app/demo.h"
#include "audio/audio_engine.h"
#include "gl/gl_extensions.h"
#include "platform/files.h"
#include "platform/log.h"
#include "resources/pcx_image.h"
#include "show/shader_sources.h"

namespace {

struct PictureSlot {
    const char* file;         // show path of the picture
    const char* textureName;  // name the texture is registered under
    int32_t width;            // pixels the texture expects
    int32_t height;
};

constexpr int PICTURE_COUNT = 6;
constexpr PictureSlot PICTURES[PICTURE_COUNT] = {
    {"Data\\dot_sharp.pcx", "SQUARE_SHARP", 256, 256},
    {"Data\\dot_blurred.pcx", "SQUARE_BLURRED", 256, 256},
    {"Data\\groups.pcx", "GROUPS", 512, 256},
    {"Data\\title.pcx", "TITLE", 512, 256},
    {"Data\\greets.pcx", "GREETS", 512, 512},
    {"Data\\credits.pcx", "CREDITS", 512, 512},
};

// Starts the engine and loads the soundtrack; false (reported once) when the
// show has to play silently.
bool loadMusic(Demo* demo)
{
    // A run nobody listens to plays on the silent output by choice, and
    // says nothing about a missing device.
    if (!audioInit(demo->settings.silent ? 0 : -1, 44100)) {
        logMessage("content", "audio engine unavailable; the show plays silently");
        return false;
    }
    if (demo->music.load(resolveContentPath("Data\\music.mp3").c_str()) != 0) {
        logMessage("content", "music unavailable; the show plays silently");
        return false;
    }
    return true;
}

void buildPrograms(ShaderRegistry& shaders)
{
    shaders.addShader("PP_VERT", PP_VERTEX_SOURCE, GL_VERTEX_SHADER);
    shaders.addShader("PP_FRAG", PP_FRAGMENT_SOURCE, GL_FRAGMENT_SHADER);
    shaders.createProgram("PP", "PP_VERT", "PP_FRAG");
    shaders.addShader("FAKEDOF_VERT", FAKEDOF_VERTEX_SOURCE, GL_VERTEX_SHADER);
    shaders.addShader("FAKEDOF_FRAG", FAKEDOF_FRAGMENT_SOURCE, GL_FRAGMENT_SHADER);
    ShaderProgram* fakeDof = shaders.createProgram("FAKEDOF", "FAKEDOF_VERT", "FAKEDOF_FRAG");
    if (!fakeDof) {
        // A shader of the pair failed to compile (already reported): there is
        // no program to make current or to give uniforms.
        return;
    }
    glExt.glUseProgram(fakeDof->id);
    fakeDof->addUniform(Int1, "sharp");
    fakeDof->addUniform(Int1, "blurred");
    fakeDof->addUniform(Float1, "focalPlaneDepth");
    fakeDof->addUniform(Float1, "focalDist");
    fakeDof->addUniform(Float1, "size");
    fakeDof->addUniform(Float4, "camTarget");
    glExt.glUseProgram(0);

    // The same vertex stage with the blurred-only fragment stage; without
    // it every sprite goes through "FAKEDOF", which draws the same pixels.
    shaders.addShader("FAKEDOF_FAR_FRAG", FAKEDOF_FAR_FRAGMENT_SOURCE, GL_FRAGMENT_SHADER);
    ShaderProgram* blurredOnly = shaders.createProgram("FAKEDOF_FAR", "FAKEDOF_VERT", "FAKEDOF_FAR_FRAG");
    GLint linked = 0;
    if (blurredOnly)
        glExt.glGetProgramiv(blurredOnly->id, GL_LINK_STATUS, &linked);
    // The sprite pass uses it only once its uniforms are registered.
    if (!linked)
        return;
    glExt.glUseProgram(blurredOnly->id);
    blurredOnly->addUniform(Int1, "blurred");
    blurredOnly->addUniform(Float1, "focalDist");
    blurredOnly->addUniform(Float1, "size");
    blurredOnly->addUniform(Float4, "camTarget");
    glExt.glUseProgram(0);
}

// Reads one picture and, when its header gives the size of its texture,
// decodes it; on any failure says why (one line with the path) and leaves
// `image` without pixels. Only an ordinary file within the picture ceiling
// is read, and a header of another size is turned away before decoding.
void readPicture(const PictureSlot& slot, PcxImage& image)
{
    const std::string path = resolveContentPath(slot.file);
    std::vector<uint8_t> bytes;
    std::string reason;
    // The reader's own ceiling (32 MiB): the largest texture's pixels take
    // 1 MiB, so no real picture comes near it.
    if (!readWholeFile(path, bytes, reason, PcxImage::MAX_FILE_BYTES)) {
        logMessage("content", "%s: %s", path.c_str(), reason.c_str());
        return;
    }
    if (!image.readHeader(bytes.data(), bytes.size())) {
        logMessage("content", "%s: %s", path.c_str(), image.failure);
        return;
    }
    if (image.width != slot.width || image.height != slot.height) {
        logMessage("content", "%s: picture is %dx%d, its texture needs %dx%d; left blank",
                   path.c_str(), image.width, image.height, slot.width, slot.height);
        return;
    }
    if (!image.decode(bytes.data(), bytes.size()))
        logMessage("content", "%s: %s", path.c_str(), image.failure);
}

}  // namespace

bool KestruneConfigurator::configure()
{
    // A silent show is still a show: the rest is loaded whatever the audio did.
    const bool musicReady = loadMusic(demo);

    buildPrograms(demo->shaders);

    PcxImage pictures[PICTURE_COUNT];
    for (int i = 0; i < PICTURE_COUNT; ++i)
        readPicture(PICTURES[i], pictures[i]);
    for (int i = 0; i < PICTURE_COUNT; ++i)
        demo->textures.add(PICTURES[i].textureName, PICTURES[i].width, PICTURES[i].height,
                           pictures[i].pixels.get());
    return musicReady;
}
