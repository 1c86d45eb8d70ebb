// The ready-made shadings: bump, cartoon and rainbow effects, and stencil-shadow volumes. Each
// shading binds an effect object of its own kind to one mesh, gives the mesh the textures and
// vertex format its effect file expects and loads that file ("bump.fx", "cartoon.fx",
// "rainbow.fx", "stencilshadow.fx", "stencilshadowbone.fx") through the effect search.
#pragma once

#include "core/win32.h"

#include "object3d/effect.h"

#include <cstdint>
#include <vector>

struct MeshRecord;

// The built-in effects differ from a file effect only in their kind; the mesh owns them.
class BumpEffect final : public EffectBase {
public:
    ~BumpEffect() override = default;
};
class CartoonEffect final : public EffectBase {
public:
    ~CartoonEffect() override = default;
};
class RainbowEffect final : public EffectBase {
public:
    ~RainbowEffect() override = default;
};

// The shadings below are false only out of memory, the mesh then part changed: the caller keeps
// its look aside (MeshLooks) to put back. A mesh or device that cannot take one loses its effect.
// Bump mapping with the image as the bump map in texture slot 1; a normal is added only when
// ensureNormals is 1.
bool SetBumpMapping(MeshRecord* mesh, std::int32_t image, std::int32_t ensureNormals);
// Cartoon shading with image1 in slot 0 and image2 in slot 1.
bool SetCartoonShading(MeshRecord* mesh, std::int32_t image1, std::int32_t image2);
// Rainbow shading with the image in slots 0 and 1.
bool SetRainbowShading(MeshRecord* mesh, std::int32_t image);

// For each vertex of the last shadow volume built, the source vertex it was made from. Filled by
// BuildShadowVolumeMesh and emptied by the end of SetShadowShading.
extern std::vector<std::uint32_t> ShadowMeshRemapTable;

// The closed shadow volume of a mesh: every face with its own three vertices carrying the face
// normal, each pair of faces that meet joined along their edge by a quad of zero area, the holes
// of an open mesh capped, and the copies of one corner tied together. POSITION and NORMAL, 16-bit
// indices while the vertices fit them. S_OK, or the failure of the step that failed.
HRESULT BuildShadowVolumeMesh(ID3DXMesh* mesh, ID3DXMesh** volume);

// Builds the mesh's shadow volume into *shadowMesh (made when null). Mode 0 moves it on the
// processor, mode 1 through a shadow effect (mode 0 when the effect cannot be used), other modes
// only build it. False when the mesh is missing or no volume can be made.
bool SetShadowShading(MeshRecord* mesh, MeshRecord** shadowMesh, std::int32_t mode);
