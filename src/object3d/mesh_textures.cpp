#include "core/win32.h"

#include "object3d/mesh_textures.h"
#include "object3d/object_records.h"

void ClearTextureReference(MeshRecord* mesh, IDirect3DTexture9* texture) {
    if (!mesh || !mesh->textures) return;
    for (std::int32_t i = 0; i < mesh->textureCount; ++i)
        if (mesh->textures[i].texture == texture) mesh->textures[i].texture = nullptr;
}
