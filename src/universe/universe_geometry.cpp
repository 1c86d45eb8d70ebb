// Geometry helpers on node boxes and meshes, shared by the world's build, batches and queries.
#include "core/win32.h"

#include "universe/universe.h"
#include "object3d/mesh_triangles.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <cstring>

bool BoxesOverlap(const D3DXVECTOR3& minimumA, const D3DXVECTOR3& maximumA,
                  const D3DXVECTOR3& minimumB, const D3DXVECTOR3& maximumB) {
    return minimumA.x <= maximumB.x && minimumB.x <= maximumA.x && minimumA.y <= maximumB.y &&
           minimumB.y <= maximumA.y && minimumA.z <= maximumB.z && minimumB.z <= maximumA.z;
}

bool MeshInsideNodeBox(const UniverseNode* node, const MeshRecord* mesh) {
    VertexOffsetMap map;
    if (!node || !mesh || !mesh->vertices || mesh->vertexCount <= 0 ||
        !GetMeshOffsetMap(mesh, &map) || !map.Z)
        return false;
    const D3DXVECTOR3 low = node->Minimum(), high = node->Maximum();
    for (std::int32_t i = 0; i < mesh->vertexCount; ++i) {
        const D3DXVECTOR3 p = MeshVertexPosition(mesh, map, i);
        if (!BoxesOverlap(p, p, low, high)) return false;
    }
    return true;
}

void TransformMeshVertexRange(MeshRecord* mesh, std::int32_t first, std::int32_t end,
                              const D3DXMATRIX& matrix) {
    VertexOffsetMap map;
    if (!mesh || !mesh->vertices || !GetMeshOffsetMap(mesh, &map)) return;
    first = std::max(first, 0);
    end = std::min(end, mesh->vertexCount);
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (std::int32_t i = first; i < end; ++i) {
        float* v = words + static_cast<std::size_t>(i) * map.StrideDwords;
        D3DXVECTOR3 out;
        if (map.Z) {
            const D3DXVECTOR3 p = ReadTriple(v, map.X, map.Y, map.Z);
            D3DXVec3TransformCoord(&out, &p, &matrix);
            WriteTriple(v, map.X, map.Y, map.Z, out);
        }
        if (map.NZ) {
            const D3DXVECTOR3 n = ReadTriple(v, map.NX, map.NY, map.NZ);
            D3DXVec3TransformNormal(&out, &n, &matrix);
            WriteTriple(v, map.NX, map.NY, map.NZ, out);
        }
    }
}

void TransformMeshVertices(MeshRecord* mesh, D3DXMATRIX matrix) {
    if (mesh) TransformMeshVertexRange(mesh, 0, mesh->vertexCount, matrix);
}

bool PointInsideBoxes(const std::vector<UniversePolygonVertex>* polygon, const MeshRecord* mesh) {
    if (!polygon || !mesh) return false;
    const D3DXVECTOR3 widen(1, 1, 1);
    const D3DXVECTOR3 low = mesh->bounds.minimum - widen, high = mesh->bounds.maximum + widen;
    return std::all_of(polygon->begin(), polygon->end(), [&](const UniversePolygonVertex& v) {
        return BoxesOverlap(v.position, v.position, low, high);
    });
}
