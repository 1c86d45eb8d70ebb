#include "core/win32.h"

#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"

#include <cstring>
#include <new>
#include <utility>

std::vector<std::uint32_t> ExpandedVertexRemap;

namespace {

constexpr std::int32_t kLargestIndexed = 65535;

// Entry k of the mesh's index list, or k itself without one.
std::uint32_t Corner(const MeshRecord* mesh, std::int32_t k) {
    return mesh->indices ? mesh->indices[k] : static_cast<std::uint32_t>(k);
}

} // namespace

bool ConvertStripToList(MeshRecord* mesh) {
    if (!mesh) return false;
    const bool strip = mesh->primitiveType == D3DPT_TRIANGLESTRIP;
    if (!strip && mesh->primitiveType != D3DPT_TRIANGLEFAN) return false;
    const std::int32_t n = mesh->indices ? mesh->indexCount : mesh->vertexCount;
    const std::int32_t triangles = n > 2 ? n - 2 : 0;
    auto* list = new (std::nothrow) std::uint16_t[triangles > 0 ? 3 * triangles : 1];
    if (!list) return false;
    std::uint16_t* out = list;
    for (std::int32_t k = 2; k < n; ++k) {
        const auto a = static_cast<std::uint16_t>(Corner(mesh, strip ? k - 2 : 0));
        const auto b = static_cast<std::uint16_t>(Corner(mesh, k - 1));
        const auto c = static_cast<std::uint16_t>(Corner(mesh, k));
        // Odd strip triangles are wound the other way; swapping their first two keeps them facing.
        const bool swap = strip && (k & 1);
        *out++ = swap ? b : a;
        *out++ = swap ? a : b;
        *out++ = c;
    }
    delete[] std::exchange(mesh->indices, list);
    mesh->primitiveType = D3DPT_TRIANGLELIST;
    mesh->indexCount = 3 * triangles;
    mesh->indexLayoutChanged = 1;
    return true;
}

void ExpandMeshIndices(MeshRecord* mesh) {
    if (!mesh) return;
    const bool wide = mesh->vertexCount > kLargestIndexed; // a converter's 32-bit entries
    if (!wide) ConvertStripToList(mesh);
    if (mesh->primitiveType != D3DPT_TRIANGLELIST || !mesh->indices || mesh->indexCount <= 0)
        return;
    const std::int32_t count = mesh->indexCount;
    const std::size_t stride = mesh->vertexSize;
    const std::size_t bytes = static_cast<std::size_t>(count) * stride;
    auto* expanded = new (std::nothrow) std::uint8_t[bytes ? bytes : 1];
    if (!expanded) return;
    ExpandedVertexRemap.assign(mesh->vertexCount > 0 ? mesh->vertexCount : 0, 0);
    const auto* wideIndices = reinterpret_cast<const std::uint32_t*>(mesh->indices);
    for (std::int32_t k = 0; k < count; ++k) {
        const std::uint32_t v = wide ? wideIndices[k] : mesh->indices[k];
        // An index past the vertices names nothing: its corner stays zero.
        if (v >= static_cast<std::uint32_t>(mesh->vertexCount)) {
            std::memset(expanded + k * stride, 0, stride);
            continue;
        }
        ExpandedVertexRemap[v] = static_cast<std::uint32_t>(k);
        std::memcpy(expanded + k * stride, mesh->vertices + v * stride, stride);
    }
    delete[] std::exchange(mesh->indices, nullptr);
    delete[] std::exchange(mesh->vertices, expanded);
    mesh->vertexCount = mesh->drawVertexCount = count;
    mesh->indexCount = 0;
    mesh->drawPrimitiveCount = count / 3;
}

bool CopyIndicesToIndexBuffer16(MeshRecord* mesh, IDirect3DIndexBuffer9* buffer,
                                std::uint32_t startIndex) {
    if (!mesh || !buffer || !mesh->indices || mesh->indexCount <= 0) return false;
    const UINT bytes = static_cast<UINT>(mesh->indexCount) * 2;
    void* data = nullptr;
    if (FAILED(buffer->Lock(startIndex * 2, bytes, &data, 0)) || !data) return false;
    std::memcpy(data, mesh->indices, bytes);
    buffer->Unlock();
    return true;
}

bool CopyVerticesToVertexBuffer(MeshRecord* mesh, IDirect3DVertexBuffer9* buffer,
                                std::uint32_t start) {
    if (!mesh || !buffer || !mesh->vertices || mesh->vertexCount <= 0) return false;
    const UINT bytes = static_cast<UINT>(mesh->vertexCount) * mesh->vertexSize;
    void* data = nullptr;
    if (FAILED(buffer->Lock(start * 4, bytes, &data, 0)) || !data) return false;
    std::memcpy(data, mesh->vertices, bytes);
    buffer->Unlock();
    return true;
}

void BackupMeshVertices(MeshRecord* mesh) {
    if (!mesh || mesh->backupVertices || !mesh->vertices || mesh->vertexCount <= 0) return;
    const std::size_t bytes = static_cast<std::size_t>(mesh->vertexCount) * mesh->vertexSize;
    mesh->backupVertices = new (std::nothrow) std::uint8_t[bytes];
    if (mesh->backupVertices) std::memcpy(mesh->backupVertices, mesh->vertices, bytes);
}

bool DeleteMesh(MeshRecord* mesh) {
    delete mesh;
    return true;
}
