#include "resources/texture_registry.h"

#include "gl/gl_api.h"

#include <cassert>
#include <cstring>

#include "gl/gl_extensions.h"
#include "resources/named_list.h"

bool Texture::upload()
{
    glGenTextures(1, &id);
    glBindTexture(target, id);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, magFilter);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, minFilter);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, wrap);
    if (target == GL_TEXTURE_2D)
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    if (mipmapped == 1)
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    else
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    return true;
}

void Texture::bind(int unit) const
{
    glExt.glActiveTexture(GL_TEXTURE0 + unit);
    glEnable(target);
    glBindTexture(target, id);
}

void TextureRegistry::add(const char* name, int32_t width, int32_t height, const uint8_t* pixels)
{
    assert(name && width > 0 && height > 0);
    Texture* texture = new Texture;
    texture->name = copyName(name);
    texture->width = width;
    texture->height = height;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    texture->pixels = new uint8_t[bytes];
    if (pixels)
        std::memcpy(texture->pixels, pixels, bytes);
    else
        std::memset(texture->pixels, 0, bytes);
    texture->envMode = GL_MODULATE;
    texture->minFilter = GL_LINEAR_MIPMAP_LINEAR;
    texture->magFilter = GL_LINEAR;
    texture->wrap = GL_REPEAT;
    texture->target = GL_TEXTURE_2D;
    texture->mipmapped = 1;
    texture->upload();

    TextureNode* node = new TextureNode;
    node->texture = texture;
    appendNode(head, tail, node);
}

Texture* TextureRegistry::find(const char* name) const
{
    return findNamed(head, &TextureNode::texture, name);
}

void TextureRegistry::release()
{
    TextureNode* node = head;
    while (node) {
        TextureNode* next = node->next;
        if (Texture* texture = node->texture) {
            glDeleteTextures(1, &texture->id);
            delete[] texture->name;
            delete[] texture->pixels;
            delete texture;
        }
        delete node;
        node = next;
    }
    // Cleared so that a second release (or a late lookup) finds an empty list.
    head = nullptr;
    tail = nullptr;
}
