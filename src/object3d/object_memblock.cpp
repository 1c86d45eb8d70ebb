#include "core/win32.h"

#include "object3d/object3d.h"
#include "object3d/geometry.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_state.h"
#include "object3d/vertex_layout.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>

bool MakeMeshFromMemblock(std::int32_t n, std::uint32_t fvf, std::int32_t count,
                          const std::uint8_t* data, std::uint32_t size) {
    if (!ConfirmNewMesh(n)) return false;
    // The block must hold every vertex its header claims, in a format that decodes.
    VertexOffsetMap map;
    if (!GetFVFOffsetMap(fvf, &map) || map.StrideBytes == 0 || count < 0 || !data) return false;
    if (static_cast<std::uint64_t>(count) * map.StrideBytes > size) return false;
    std::unique_ptr<MeshRecord> mesh(new (std::nothrow) MeshRecord);
    if (!mesh ||
        !SetMeshFromRawVertices(mesh.get(), fvf, map.StrideBytes, data, count, D3DPT_TRIANGLELIST))
        return false;
    if (!ResizeMeshArray(n)) return false;
    g_Object3D.meshes[n] = mesh.release();
    return true;
}

bool MakeMemblockFromMesh(std::int32_t n, std::uint32_t* fvf, std::uint32_t* stride,
                          std::int32_t* count, std::uint8_t** data, std::uint32_t* size,
                          std::int32_t mode) {
    if (!data) return false;
    if (mode != 1) {
        delete[] std::exchange(*data, nullptr);
        return true;
    }
    if (!ConfirmMesh(n) || !fvf || !stride || !count || !size) return false;
    std::unique_ptr<MeshRecord> copy(new (std::nothrow) MeshRecord);
    if (!copy || !MakeMeshFromFormat(copy.get(), g_Object3D.meshes[n], &kIdentityMatrix))
        return false;
    ExpandMeshIndices(copy.get());
    const std::size_t bytes = static_cast<std::size_t>(copy->vertexCount) * copy->vertexSize;
    auto* buffer = new (std::nothrow) std::uint8_t[bytes ? bytes : 1];
    if (!buffer) return false;
    std::memcpy(buffer, copy->vertices, bytes);
    *fvf = copy->fvf;
    *stride = copy->vertexSize;
    *count = copy->vertexCount;
    *data = buffer;
    *size = static_cast<std::uint32_t>(bytes);
    return true;
}
