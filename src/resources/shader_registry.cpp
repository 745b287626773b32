#include "resources/shader_registry.h"

#include "gl/gl_api.h"

#include <cstring>
#include <string>

#include "gl/gl_extensions.h"
#include "platform/log.h"
#include "resources/named_list.h"

namespace {

// A GL info log folded onto one line: line breaks become " | ", trailing
// blanks and breaks are dropped.
std::string oneLine(const std::string& log)
{
    std::string line;
    bool breakPending = false;
    for (char c : log) {
        if (c == '\n' || c == '\r') {
            breakPending = !line.empty();
        } else if (c != '\0') {
            if (breakPending)
                line += " | ";
            breakPending = false;
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line.empty() ? std::string("(no log)") : line;
}

// The info log of a shader or program, read with that object's two getters.
std::string infoLog(GLuint id, PFNGLGETSHADERIVPROC getParameter, PFNGLGETSHADERINFOLOGPROC getLog)
{
    GLint length = 0;
    getParameter(id, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0)
        return std::string();
    std::string log(static_cast<size_t>(length), '\0');
    getLog(id, length, nullptr, &log[0]);
    return log;
}

}  // namespace

void Uniform::setFloat(float x, float y, float z, float w) const
{
    switch (type) {
    case Float1: glExt.glUniform1f(location, x); break;
    case Float2: glExt.glUniform2f(location, x, y); break;
    case Float3: glExt.glUniform3f(location, x, y, z); break;
    case Float4: glExt.glUniform4f(location, x, y, z, w); break;
    default: break;
    }
}

void Uniform::setInt(int32_t v) const
{
    switch (type) {
    case Int1: glExt.glUniform1i(location, v); break;
    case Int2: glExt.glUniform2i(location, v, 0); break;
    case Int3: glExt.glUniform3i(location, v, 0, 0); break;
    case Int4: glExt.glUniform4i(location, v, 0, 0, 0); break;
    default: break;
    }
}

void ShaderProgram::addUniform(int32_t type, const char* uniformName)
{
    Uniform* uniform = new Uniform;
    uniform->location = glExt.glGetUniformLocation(id, uniformName);
    uniform->name = copyName(uniformName);
    uniform->type = type;

    UniformNode* node = new UniformNode;
    node->uniform = uniform;
    appendNode(uniformsHead, uniformsTail, node);
}

Uniform* ShaderProgram::findUniform(const char* uniformName) const
{
    return findNamed(uniformsHead, &UniformNode::uniform, uniformName);
}

Shader* ShaderRegistry::addShader(const char* name, const char* source, uint32_t type)
{
    Shader* shader = new Shader;
    shader->compiled = false;
    shader->type = type;
    shader->id = glExt.glCreateShader(type);
    const GLint length = static_cast<GLint>(std::strlen(source));
    glExt.glShaderSource(shader->id, 1, &source, &length);
    glExt.glCompileShader(shader->id);
    GLint status = 0;
    glExt.glGetShaderiv(shader->id, GL_COMPILE_STATUS, &status);
    if (status != 0) {
        shader->name = copyName(name);
        shader->compiled = true;
    } else {
        // The shader stays listed without a name; say once why.
        const std::string log = infoLog(shader->id, glExt.glGetShaderiv, glExt.glGetShaderInfoLog);
        logMessage("shaders", "%s: %s", name, oneLine(log).c_str());
    }

    ShaderNode* node = new ShaderNode;
    node->shader = shader;
    appendNode(shadersHead, shadersTail, node);
    return shader;
}

ShaderProgram* ShaderRegistry::createProgram(const char* name, const char* vertexName,
                                             const char* fragmentName)
{
    Shader* vertex = findShader(vertexName);
    Shader* fragment = findShader(fragmentName);
    if (!vertex || !fragment)
        return nullptr;

    ShaderProgram* program = new ShaderProgram;
    program->name = copyName(name);
    program->id = glExt.glCreateProgram();
    glExt.glAttachShader(program->id, vertex->id);
    glExt.glAttachShader(program->id, fragment->id);
    glExt.glLinkProgram(program->id);
    GLint status = 0;
    glExt.glGetProgramiv(program->id, GL_LINK_STATUS, &status);
    // A program that failed to link is still registered and used (its
    // uniforms then have location -1); the reason is reported once.
    if (status == 0) {
        const std::string log = infoLog(program->id, glExt.glGetProgramiv, glExt.glGetProgramInfoLog);
        logMessage("shaders", "%s: link failed: %s", name, oneLine(log).c_str());
    }

    ProgramNode* node = new ProgramNode;
    node->program = program;
    appendNode(programsHead, programsTail, node);
    return program;
}

Shader* ShaderRegistry::findShader(const char* name) const
{
    return findNamed(shadersHead, &ShaderNode::shader, name);
}

ShaderProgram* ShaderRegistry::findProgram(const char* name) const
{
    return findNamed(programsHead, &ProgramNode::program, name);
}

void ShaderRegistry::release()
{
    ProgramNode* programNode = programsHead;
    while (programNode) {
        ProgramNode* nextProgram = programNode->next;
        ShaderProgram* program = programNode->program;
        UniformNode* uniformNode = program->uniformsHead;
        while (uniformNode) {
            UniformNode* nextUniform = uniformNode->next;
            delete[] uniformNode->uniform->name;
            delete uniformNode->uniform;
            delete uniformNode;
            uniformNode = nextUniform;
        }
        glExt.glDeleteProgram(program->id);
        delete[] program->name;
        delete program;
        delete programNode;
        programNode = nextProgram;
    }

    ShaderNode* shaderNode = shadersHead;
    while (shaderNode) {
        ShaderNode* nextShader = shaderNode->next;
        glExt.glDeleteShader(shaderNode->shader->id);
        delete[] shaderNode->shader->name;
        delete shaderNode->shader;
        delete shaderNode;
        shaderNode = nextShader;
    }
    // Cleared so that a second release finds empty lists.
    shadersHead = shadersTail = nullptr;
    programsHead = programsTail = nullptr;
}
