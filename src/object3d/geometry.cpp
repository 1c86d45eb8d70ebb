#include "core/win32.h"

#include "object3d/geometry.h"
#include "object3d/object_records.h"
#include "object3d/object_world.h"
#include "object3d/vertex_layout.h"

// Stand-in until the geometry builders are built: the template's copy through its format, with
// positions and normals turned by the matrix.
bool MakeMeshFromFormat(MeshRecord* mesh, const MeshRecord* source, const D3DXMATRIX* matrix) {
    if (!mesh || !source || !source->vertices || source->vertexCount <= 0 ||
        !SetupMeshFromTemplate(mesh, source))
        return false;
    D3DXMATRIX m = matrix ? *matrix : kIdentityMatrix;
    m._41 = m._42 = m._43 = 0;
    VertexOffsetMap map;
    GetMeshOffsetMap(mesh, &map);
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (std::int32_t i = 0; i < mesh->vertexCount; ++i) {
        float* v = words + static_cast<std::size_t>(i) * map.StrideDwords;
        if (map.Z) {
            auto* p = reinterpret_cast<D3DXVECTOR3*>(v + map.X);
            D3DXVec3TransformCoord(p, p, &m);
        }
        if (map.NZ) {
            auto* n = reinterpret_cast<D3DXVECTOR3*>(v + map.NX);
            D3DXVec3TransformNormal(n, n, &m);
            D3DXVec3Normalize(n, n);
        }
    }
    CalculateMeshBounds(mesh);
    return true;
}
