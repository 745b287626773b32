// Named GLSL shaders and linked programs, each program with its uniforms
// registered once by name and type code and later set by name. Singly linked
// lists with head and tail, appended in order, looked up by exact name
// (first match wins). A shader that fails to compile stays in the list
// without a name, so no program can be linked from it; its compiler log is
// reported once on stderr. The registry owns everything it lists.
// Main thread only, with the GL context current and GlExtensions loaded.
#pragma once

#include <cstdint>

// One bit per shape of value; the setter makes the matching glUniform call.
enum UniformType : int32_t {
    Float1 = 1,
    Float2 = 2,
    Float3 = 4,
    Float4 = 8,
    Int1 = 16,
    Int2 = 32,
    Int3 = 64,
    Int4 = 128,
};

struct Uniform {
    int32_t location = -1;   // from glGetUniformLocation; -1 = not active
    char* name = nullptr;    // owned copy
    int32_t type = 0;        // a UniformType code

    // Sets a float uniform of the program in use (as many values as the type takes).
    void setFloat(float x, float y, float z, float w) const;
    // Sets an integer uniform of the program in use (v, then zeros).
    void setInt(int32_t v) const;
};

struct UniformNode {
    Uniform* uniform = nullptr;
    UniformNode* next = nullptr;
};

struct Shader {
    uint32_t id = 0;         // GL shader name
    uint32_t type = 0;       // GL_VERTEX_SHADER or GL_FRAGMENT_SHADER
    char* name = nullptr;    // owned copy; null when compilation failed
    bool compiled = false;
};

struct ShaderNode {
    Shader* shader = nullptr;
    ShaderNode* next = nullptr;
};

struct ShaderProgram {
    UniformNode* uniformsHead = nullptr;
    UniformNode* uniformsTail = nullptr;
    uint32_t id = 0;         // GL program name
    char* name = nullptr;    // owned copy

    // Registers a uniform of this (linked) program under `name`.
    void addUniform(int32_t type, const char* name);
    // First uniform with exactly this name, or null.
    Uniform* findUniform(const char* name) const;
};

struct ProgramNode {
    ShaderProgram* program = nullptr;
    ProgramNode* next = nullptr;
};

struct ShaderRegistry {
    ShaderNode* shadersHead = nullptr;
    ShaderNode* shadersTail = nullptr;
    ProgramNode* programsHead = nullptr;
    ProgramNode* programsTail = nullptr;

    // Compiles and appends a shader, whether or not it compiled.
    Shader* addShader(const char* name, const char* source, uint32_t type);
    // Links and appends a program; null when either shader name is unknown.
    ShaderProgram* createProgram(const char* name, const char* vertexName, const char* fragmentName);
    Shader* findShader(const char* name) const;
    ShaderProgram* findProgram(const char* name) const;
    // Deletes programs (with their uniforms), then shaders.
    void release();
};
