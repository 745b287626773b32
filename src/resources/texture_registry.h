// Named RGBA8 textures. Each is made from a pixel block (or all zero bytes),
// uploaded at once with a full GLU mipmap chain, kept in registration order
// in a singly linked list, found by exact case-sensitive name (first match
// wins) and bound to a texture unit by the passes that draw with it.
// The registry owns textures and nodes; callers get non-owning pointers.
// Main thread only, with the GL context current and GlExtensions loaded.
#pragma once

#include <cstdint>

struct Texture {
    char* name = nullptr;         // owned copy
    int32_t width = 0;            // pixels
    int32_t height = 0;           // pixels
    uint8_t* pixels = nullptr;    // owned, width * height * 4 bytes, RGBA8
    uint32_t id = 0;              // GL texture name
    int32_t envMode = 0;          // GL_MODULATE; stored only
    int32_t minFilter = 0;        // GL_LINEAR_MIPMAP_LINEAR
    int32_t magFilter = 0;        // GL_LINEAR
    int32_t wrap = 0;             // GL_REPEAT, for S and T
    uint32_t target = 0;          // GL_TEXTURE_2D
    int32_t mipmapped = 0;        // 1: every level built with GLU

    // Sends the pixels to GL (leaves the texture bound); always true.
    bool upload();
    // Makes unit `unit` active, enables the target and binds this texture.
    void bind(int unit) const;
};

struct TextureNode {
    Texture* texture = nullptr;
    TextureNode* next = nullptr;
};

struct TextureRegistry {
    TextureNode* head = nullptr;
    TextureNode* tail = nullptr;

    // Makes, uploads and appends a texture; `pixels` null gives all zeros.
    void add(const char* name, int32_t width, int32_t height, const uint8_t* pixels);
    // First texture with exactly this name, or null.
    Texture* find(const char* name) const;
    // Deletes every texture and node (the last thing done with the registry).
    void release();
};
