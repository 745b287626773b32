#include "gl/shader_rewrite.h"

#include <cctype>

const char* const COMPAT_ATTRIBUTE_NAMES[ATTRIBUTE_COUNT] = {
    "compatVertex", "compatColor", "compatNormal", "compatMultiTexCoord0", "compatMultiTexCoord1",
};

namespace {

constexpr const char* HEADER =
    "#version 300 es\n"
    "precision highp float;\n"
    "precision highp int;\n"
    "precision highp sampler2D;\n";

// Struct types some uniform built-ins need, declared once each.
enum StructType { NO_STRUCT = 0, LIGHT_STRUCT = 1, MATERIAL_STRUCT = 2, FOG_STRUCT = 4, LIGHT_MODEL_STRUCT = 8 };

constexpr const char* LIGHT_STRUCT_TEXT =
    "struct compatLightSourceParameters {\n"
    "    vec4 ambient; vec4 diffuse; vec4 specular; vec4 position; vec4 halfVector;\n"
    "    vec3 spotDirection; float spotExponent; float spotCutoff; float spotCosCutoff;\n"
    "    float constantAttenuation; float linearAttenuation; float quadraticAttenuation;\n"
    "};\n";
constexpr const char* MATERIAL_STRUCT_TEXT =
    "struct compatMaterialParameters {\n"
    "    vec4 emission; vec4 ambient; vec4 diffuse; vec4 specular; float shininess;\n"
    "};\n";
constexpr const char* FOG_STRUCT_TEXT =
    "struct compatFogParameters {\n"
    "    vec4 color; float density; float start; float end; float scale;\n"
    "};\n";
constexpr const char* LIGHT_MODEL_STRUCT_TEXT = "struct compatLightModelParameters { vec4 ambient; };\n";

constexpr int VERTEX_ONLY = 1;
constexpr int FRAGMENT_ONLY = 2;
constexpr int BOTH_STAGES = VERTEX_ONLY | FRAGMENT_ONLY;

// One built-in as one stage reads it: the name that replaces it and the
// declaration that name needs. "#" in a declaration stands for the
// texture-coordinate set count, "@" for the light count.
struct BuiltIn {
    const char* name;
    int stages;
    const char* replacement;
    const char* declaration;
    int structs;
};

constexpr BuiltIn BUILT_INS[] = {
    // Vertex attributes.
    {"gl_Vertex", VERTEX_ONLY, "compatVertex", "in vec4 compatVertex;", NO_STRUCT},
    {"gl_Color", VERTEX_ONLY, "compatColor", "in vec4 compatColor;", NO_STRUCT},
    {"gl_Normal", VERTEX_ONLY, "compatNormal", "in vec3 compatNormal;", NO_STRUCT},
    {"gl_MultiTexCoord0", VERTEX_ONLY, "compatMultiTexCoord0", "in vec4 compatMultiTexCoord0;", NO_STRUCT},
    {"gl_MultiTexCoord1", VERTEX_ONLY, "compatMultiTexCoord1", "in vec4 compatMultiTexCoord1;", NO_STRUCT},
    // What the vertex stage hands on, and the fragment stage reads back.
    {"gl_FrontColor", VERTEX_ONLY, "compatFrontColor", "out vec4 compatFrontColor;", NO_STRUCT},
    {"gl_Color", FRAGMENT_ONLY, "compatFrontColor", "in vec4 compatFrontColor;", NO_STRUCT},
    {"gl_TexCoord", VERTEX_ONLY, "compatTexCoord", "out vec4 compatTexCoord[#];", NO_STRUCT},
    {"gl_TexCoord", FRAGMENT_ONLY, "compatTexCoord", "in vec4 compatTexCoord[#];", NO_STRUCT},
    {"gl_FogFragCoord", VERTEX_ONLY, "compatFogFragCoord", "out float compatFogFragCoord;", NO_STRUCT},
    {"gl_FogFragCoord", FRAGMENT_ONLY, "compatFogFragCoord", "in float compatFogFragCoord;", NO_STRUCT},
    {"gl_FragColor", FRAGMENT_ONLY, "compatFragColor", "out vec4 compatFragColor;", NO_STRUCT},
    // Uniform state, the same in both stages.
    {"gl_ModelViewMatrix", BOTH_STAGES, "compatModelViewMatrix", "uniform mat4 compatModelViewMatrix;", NO_STRUCT},
    {"gl_ProjectionMatrix", BOTH_STAGES, "compatProjectionMatrix", "uniform mat4 compatProjectionMatrix;",
     NO_STRUCT},
    {"gl_ModelViewProjectionMatrix", BOTH_STAGES, "compatModelViewProjectionMatrix",
     "uniform mat4 compatModelViewProjectionMatrix;", NO_STRUCT},
    {"gl_NormalMatrix", BOTH_STAGES, "compatNormalMatrix", "uniform mat3 compatNormalMatrix;", NO_STRUCT},
    {"gl_TextureMatrix", BOTH_STAGES, "compatTextureMatrix", "uniform mat4 compatTextureMatrix[#];", NO_STRUCT},
    {"gl_LightSource", BOTH_STAGES, "compatLightSource", "uniform compatLightSourceParameters compatLightSource[@];",
     LIGHT_STRUCT},
    {"gl_FrontMaterial", BOTH_STAGES, "compatFrontMaterial", "uniform compatMaterialParameters compatFrontMaterial;",
     MATERIAL_STRUCT},
    {"gl_BackMaterial", BOTH_STAGES, "compatBackMaterial", "uniform compatMaterialParameters compatBackMaterial;",
     MATERIAL_STRUCT},
    {"gl_Fog", BOTH_STAGES, "compatFog", "uniform compatFogParameters compatFog;", FOG_STRUCT},
    {"gl_LightModel", BOTH_STAGES, "compatLightModel", "uniform compatLightModelParameters compatLightModel;",
     LIGHT_MODEL_STRUCT},
};
constexpr int BUILT_IN_COUNT = static_cast<int>(sizeof BUILT_INS / sizeof BUILT_INS[0]);

// Words of GLSL 1.20 that GLSL ES 3.00 spells otherwise.
struct Renamed {
    const char* word;
    int stages;
    const char* replacement;
};
constexpr Renamed RENAMED[] = {
    {"attribute", VERTEX_ONLY, "in"},
    {"varying", VERTEX_ONLY, "out"},
    {"varying", FRAGMENT_ONLY, "in"},
    {"texture2D", BOTH_STAGES, "texture"},
    {"texture2DProj", BOTH_STAGES, "textureProj"},
    {"texture2DLod", BOTH_STAGES, "textureLod"},
    {"textureCube", BOTH_STAGES, "texture"},
    {"textureCubeLod", BOTH_STAGES, "textureLod"},
};

bool isIdentifierStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool isIdentifierPart(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The declaration with its placeholders filled in.
std::string expandDeclaration(const char* declaration)
{
    std::string out;
    for (const char* p = declaration; *p; ++p) {
        if (*p == '#')
            out += std::to_string(COMPAT_TEXCOORD_SETS);
        else if (*p == '@')
            out += std::to_string(COMPAT_LIGHTS);
        else
            out += *p;
    }
    return out;
}

// A preprocessor line that must stay ahead of every declaration.
bool isHoistedDirective(const std::string& line)
{
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] != '#')
        return false;
    size_t word = line.find_first_not_of(" \t", start + 1);
    return word != std::string::npos && line.compare(word, 9, "extension") == 0;
}

bool isVersionDirective(const std::string& line)
{
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] != '#')
        return false;
    size_t word = line.find_first_not_of(" \t", start + 1);
    return word != std::string::npos && line.compare(word, 7, "version") == 0;
}

class Rewriter {
public:
    explicit Rewriter(ShaderStage stage) : stageBit_(stage == ShaderStage::Vertex ? VERTEX_ONLY : FRAGMENT_ONLY) {}

    std::string run(const std::string& source)
    {
        std::string body;
        std::string directives;
        splitDirectives(source, body, directives);
        const std::string rewritten = replaceWords(body);

        std::string out = HEADER;
        out += directives;
        if (structs_ & LIGHT_STRUCT)
            out += LIGHT_STRUCT_TEXT;
        if (structs_ & MATERIAL_STRUCT)
            out += MATERIAL_STRUCT_TEXT;
        if (structs_ & FOG_STRUCT)
            out += FOG_STRUCT_TEXT;
        if (structs_ & LIGHT_MODEL_STRUCT)
            out += LIGHT_MODEL_STRUCT_TEXT;
        for (int i = 0; i < BUILT_IN_COUNT; ++i)
            if (used_[i])
                out += expandDeclaration(BUILT_INS[i].declaration) + "\n";
        out += rewritten;
        return out;
    }

private:
    int stageBit_;
    bool used_[BUILT_IN_COUNT] = {};
    int structs_ = NO_STRUCT;

    // Drops #version (the header gives its own) and moves #extension lines
    // ahead of the declarations; the line count of the body is kept.
    static void splitDirectives(const std::string& source, std::string& body, std::string& directives)
    {
        size_t start = 0;
        while (start < source.size()) {
            size_t end = source.find('\n', start);
            const size_t next = end == std::string::npos ? source.size() : end + 1;
            const std::string line = source.substr(start, next - start);
            if (isVersionDirective(line)) {
                body += "\n";
            } else if (isHoistedDirective(line)) {
                directives += line;
                if (line.back() != '\n')
                    directives += "\n";
                body += "\n";
            } else {
                body += line;
            }
            start = next;
        }
    }

    const char* replacementFor(const std::string& word)
    {
        for (int i = 0; i < BUILT_IN_COUNT; ++i) {
            const BuiltIn& builtIn = BUILT_INS[i];
            if ((builtIn.stages & stageBit_) && word == builtIn.name) {
                used_[i] = true;
                structs_ |= builtIn.structs;
                return builtIn.replacement;
            }
        }
        for (const Renamed& renamed : RENAMED)
            if ((renamed.stages & stageBit_) && word == renamed.word)
                return renamed.replacement;
        return nullptr;
    }

    // Every identifier outside comments is looked up; numbers and comments
    // pass through as they are.
    std::string replaceWords(const std::string& text)
    {
        std::string out;
        out.reserve(text.size());
        size_t i = 0;
        const size_t n = text.size();
        while (i < n) {
            const char c = text[i];
            if (c == '/' && i + 1 < n && text[i + 1] == '/') {
                const size_t end = text.find('\n', i);
                const size_t stop = end == std::string::npos ? n : end;
                out.append(text, i, stop - i);
                i = stop;
            } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
                const size_t end = text.find("*/", i + 2);
                const size_t stop = end == std::string::npos ? n : end + 2;
                out.append(text, i, stop - i);
                i = stop;
            } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                       (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
                size_t stop = i + 1;
                while (stop < n && (isIdentifierPart(text[stop]) || text[stop] == '.'))
                    ++stop;
                out.append(text, i, stop - i);
                i = stop;
            } else if (isIdentifierStart(c)) {
                size_t stop = i + 1;
                while (stop < n && isIdentifierPart(text[stop]))
                    ++stop;
                const std::string word = text.substr(i, stop - i);
                const char* replacement = replacementFor(word);
                out += replacement ? replacement : word;
                i = stop;
            } else {
                out += c;
                ++i;
            }
        }
        return out;
    }
};

}  // namespace

std::string rewriteShader(const std::string& source, ShaderStage stage)
{
    return Rewriter(stage).run(source);
}
