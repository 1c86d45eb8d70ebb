#include "core/win32.h"

#include "object3d/vertex_layout.h"
#include "object3d/object_records.h"

#include <cstring>
#include <new>
#include <utility>

bool GetFVFOffsetMap(std::uint32_t fvf, VertexOffsetMap* map) {
    if (!map) return false;
    *map = VertexOffsetMap{};
    std::uint32_t p = 0;
    if (fvf & D3DFVF_XYZ) {
        map->X = p, map->Y = p + 1, map->Z = p + 2;
        p += 3;
    }
    if (fvf & 0x004) map->Rhw = p++;
    if (fvf & D3DFVF_NORMAL) {
        map->NX = p, map->NY = p + 1, map->NZ = p + 2;
        p += 3;
    }
    if (fvf & D3DFVF_PSIZE) map->PointSize = p++;
    if (fvf & D3DFVF_DIFFUSE) map->Diffuse = p++;
    if (fvf & D3DFVF_SPECULAR) map->Specular = p++;
    const std::uint32_t texField = fvf & D3DFVF_TEXCOUNT_MASK;
    const std::uint32_t sets = texField >= 0x100 && texField <= 0x800 ? texField >> 8 : 0;
    for (std::uint32_t i = 0; i < sets; ++i) {
        switch ((fvf >> (16 + 2 * i)) & 3) {
        case 3:
            map->TexU[i] = p++;
            break;
        case 0:
            map->TexU[i] = p, map->TexV[i] = p + 1;
            p += 2;
            break;
        case 1:
            map->TexU[i] = p, map->TexV[i] = p + 1, map->TexZ[i] = p + 2;
            p += 3;
            break;
        default:
            map->TexU[i] = p, map->TexV[i] = p + 1, map->TexZ[i] = p + 2, map->TexW[i] = p + 3;
            p += 4;
            break;
        }
    }
    map->StrideDwords = p;
    map->StrideBytes = 4 * p;
    return D3DXGetFVFVertexSize(fvf) == 4 * p;
}

bool SetMeshFromRawVertices(MeshRecord* mesh, std::uint32_t fvf, std::uint32_t sourceStride,
                            const void* data, std::int32_t vertexCount,
                            std::int32_t primitiveType) {
    if (!mesh || vertexCount < 0) return false;
    VertexOffsetMap map;
    GetFVFOffsetMap(fvf, &map);
    mesh->fvf = fvf;
    mesh->vertexSize = map.StrideBytes;
    delete[] std::exchange(mesh->vertices, nullptr);
    delete[] std::exchange(mesh->indices, nullptr);
    mesh->indexCount = 0;
    mesh->vertexCount = vertexCount;
    const std::size_t bytes = static_cast<std::size_t>(vertexCount) * mesh->vertexSize;
    mesh->vertices = new (std::nothrow) std::uint8_t[bytes ? bytes : 1]();
    if (!mesh->vertices) {
        mesh->vertexCount = 0;
        return false;
    }
    // A source vertex larger than the mesh's would overrun each destination vertex.
    const std::uint32_t copied = sourceStride < mesh->vertexSize ? sourceStride : mesh->vertexSize;
    const auto* source = static_cast<const std::uint8_t*>(data);
    if (source && sourceStride == mesh->vertexSize)
        std::memcpy(mesh->vertices, source, bytes);
    else
        for (std::int32_t i = 0; source && i < vertexCount; ++i)
            std::memcpy(mesh->vertices + static_cast<std::size_t>(i) * mesh->vertexSize,
                        source + static_cast<std::size_t>(i) * sourceStride, copied);
    mesh->primitiveType = primitiveType;
    mesh->drawVertexCount = vertexCount;
    mesh->drawPrimitiveCount =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(vertexCount) / 3);
    return true;
}
