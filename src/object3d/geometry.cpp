#include "core/win32.h"

#include "object3d/geometry.h"
#include "object3d/object_records.h"
#include "object3d/object_world.h"
#include "object3d/vertex_layout.h"

#include <cstring>
#include <new>
#include <utility>

// Stand-in until the geometry builders are built: copies FVF meshes and declaration meshes
// (positions at the vertex's first three words) with their indices.
bool MakeMeshFromFormat(MeshRecord* mesh, const MeshRecord* source, const D3DXMATRIX* matrix) {
    if (!mesh || !source || !source->vertices || source->vertexCount <= 0) return false;
    const std::size_t vertexBytes =
        static_cast<std::size_t>(source->vertexCount) * source->vertexSize;
    auto* vertices = new (std::nothrow) std::uint8_t[vertexBytes];
    std::uint16_t* indices = nullptr;
    if (source->indices && source->indexCount > 0)
        indices = new (std::nothrow) std::uint16_t[source->indexCount];
    if (!vertices || (source->indices && source->indexCount > 0 && !indices)) {
        delete[] vertices;
        delete[] indices;
        return false;
    }
    std::memcpy(vertices, source->vertices, vertexBytes);
    if (indices) std::memcpy(indices, source->indices, source->indexCount * sizeof *indices);
    delete[] std::exchange(mesh->vertices, vertices);
    delete[] std::exchange(mesh->indices, indices);
    mesh->savedFVF = source->savedFVF;
    mesh->fvf = source->fvf;
    mesh->vertexSize = source->vertexSize;
    std::memcpy(mesh->declaration, source->declaration, sizeof mesh->declaration);
    mesh->vertexCount = source->vertexCount;
    mesh->indexCount = indices ? source->indexCount : 0;
    mesh->primitiveType = source->primitiveType;
    mesh->drawVertexCount = source->drawVertexCount;
    mesh->drawPrimitiveCount =
        source->drawPrimitiveCount ? source->drawPrimitiveCount : source->drawVertexCount / 3;

    D3DXMATRIX m = matrix ? *matrix : kIdentityMatrix;
    m._41 = m._42 = m._43 = 0;
    VertexOffsetMap map{};
    std::uint32_t stride = mesh->vertexSize / 4, x = 0, nx = 0;
    bool hasPosition = mesh->vertexSize >= 12, hasNormal = false;
    if (mesh->fvf) {
        GetFVFOffsetMap(mesh->fvf, &map);
        stride = map.StrideDwords, x = map.X, nx = map.NX;
        hasPosition = map.Z != 0, hasNormal = map.NZ != 0;
    }
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (std::int32_t i = 0; i < mesh->vertexCount; ++i) {
        float* v = words + static_cast<std::size_t>(i) * stride;
        if (hasPosition)
            D3DXVec3TransformCoord(reinterpret_cast<D3DXVECTOR3*>(v + x),
                                   reinterpret_cast<D3DXVECTOR3*>(v + x), &m);
        if (hasNormal) {
            auto* n = reinterpret_cast<D3DXVECTOR3*>(v + nx);
            D3DXVec3TransformNormal(n, n, &m);
            D3DXVec3Normalize(n, n);
        }
    }
    CalculateMeshBounds(mesh);
    return true;
}
