#include "core/win32.h"

#include "object3d/mesh_triangles.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <cstring>

std::int32_t MeshTriangleCorner(const MeshRecord* mesh, std::int32_t f, std::int32_t k) {
    std::int32_t at = 3 * f + k;
    if (mesh->primitiveType == D3DPT_TRIANGLESTRIP) at = f + k;
    if (mesh->primitiveType == D3DPT_TRIANGLEFAN) at = k == 0 ? 0 : f + k;
    std::int32_t v = at;
    if (mesh->indices && mesh->indexCount > 0) {
        if (at >= mesh->indexCount) return -1;
        v = mesh->indices[at];
    }
    return v >= 0 && v < mesh->vertexCount ? v : -1;
}

std::int32_t MeshTriangleCount(const MeshRecord* mesh) {
    if (!mesh) return 0;
    const std::int32_t corners =
        mesh->indices && mesh->indexCount > 0 ? mesh->indexCount : mesh->vertexCount;
    if (mesh->primitiveType == D3DPT_TRIANGLELIST) return corners / 3;
    if (mesh->primitiveType == D3DPT_TRIANGLESTRIP || mesh->primitiveType == D3DPT_TRIANGLEFAN)
        return corners > 2 ? corners - 2 : 0;
    return 0;
}

D3DXVECTOR3 MeshVertexPosition(const MeshRecord* mesh, const VertexOffsetMap& map, std::int32_t v) {
    D3DXVECTOR3 p;
    std::memcpy(&p, mesh->vertices + static_cast<std::size_t>(v) * mesh->vertexSize + map.X * 4,
                sizeof p);
    return p;
}

bool MeshTrianglePositions(const MeshRecord* mesh, const VertexOffsetMap& map, std::int32_t f,
                           D3DXVECTOR3 corners[3]) {
    for (std::int32_t k = 0; k < 3; ++k) {
        const std::int32_t v = MeshTriangleCorner(mesh, f, k);
        if (v < 0) return false;
        corners[k] = MeshVertexPosition(mesh, map, v);
    }
    return true;
}
