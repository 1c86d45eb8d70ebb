#include "core/win32.h"

#include "object3d/mesh_convert.h"
#include "object3d/effect.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/mesh_shape_changes.h"

#include <cmath>
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

std::vector<std::uint32_t> ExpandedVertexRemap;

namespace {

constexpr std::int32_t kLargestIndexed = 65535;
constexpr float kByteToFloat = 0.003921569f;

// Entry k of the mesh's index list, or k itself without one.
std::uint32_t Corner(const MeshRecord* mesh, std::int32_t k) {
    return mesh->indices ? mesh->indices[k] : static_cast<std::uint32_t>(k);
}

template <typename T> void Swap(T*& held, T* wanted) {
    if (wanted) wanted->AddRef();
    if (T* old = std::exchange(held, wanted)) old->Release();
}

// The first three floats of vertex v.
D3DXVECTOR3 PositionOf(const MeshRecord* mesh, std::uint32_t v) {
    D3DXVECTOR3 p;
    std::memcpy(&p, mesh->vertices + static_cast<std::size_t>(v) * mesh->vertexSize, sizeof p);
    return p;
}

// Whether every entry of the mesh's 16-bit index list names one of its vertices.
bool IndicesInRange(const MeshRecord* mesh) {
    for (std::int32_t i = 0; i < mesh->indexCount; ++i)
        if (mesh->indices[i] >= mesh->vertexCount) return false;
    return true;
}

template <typename Buffer, typename Fn>
bool WithLock(Buffer* buffer, UINT offset, UINT bytes, DWORD flags, Fn&& fn) {
    void* data = nullptr;
    if (!buffer || bytes == 0 || FAILED(buffer->Lock(offset, bytes, &data, flags)) || !data)
        return false;
    fn(static_cast<std::uint8_t*>(data));
    buffer->Unlock();
    return true;
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
    // Held until the mesh takes it: the remap below may run out of memory.
    std::unique_ptr<std::uint8_t[]> expanded(new (std::nothrow) std::uint8_t[bytes ? bytes : 1]);
    if (!expanded) return;
    ExpandedVertexRemap.assign(mesh->vertexCount > 0 ? mesh->vertexCount : 0, 0);
    const auto* wideIndices = reinterpret_cast<const std::uint32_t*>(mesh->indices);
    for (std::int32_t k = 0; k < count; ++k) {
        const std::uint32_t v = wide ? wideIndices[k] : mesh->indices[k];
        // An index past the vertices names nothing: its corner stays zero.
        if (v >= static_cast<std::uint32_t>(mesh->vertexCount)) {
            std::memset(expanded.get() + k * stride, 0, stride);
            continue;
        }
        ExpandedVertexRemap[v] = static_cast<std::uint32_t>(k);
        std::memcpy(expanded.get() + k * stride, mesh->vertices + v * stride, stride);
    }
    delete[] std::exchange(mesh->indices, nullptr);
    delete[] std::exchange(mesh->vertices, expanded.release());
    mesh->vertexCount = mesh->drawVertexCount = count;
    mesh->indexCount = 0;
    mesh->drawPrimitiveCount = count / 3;
}

void WeldMeshVertices(MeshRecord* mesh, float distance) {
    if (!mesh || !mesh->indices || !mesh->vertices || mesh->vertexSize < 12 ||
        !IndicesInRange(mesh))
        return;
    const std::int32_t triangles = mesh->indexCount / 3;
    for (std::int32_t t = 0; t < triangles; ++t) {
        D3DXVECTOR3 corner[3];
        for (int k = 0; k < 3; ++k)
            corner[k] = PositionOf(mesh, mesh->indices[3 * t + k]);
        // The triangles before this one, each entry in turn; the last vertex close enough wins.
        for (std::int32_t j = 0; j < 3 * t; j += 3) {
            for (std::int32_t e = j; e < j + 3; ++e) {
                const std::uint16_t v = mesh->indices[e];
                const D3DXVECTOR3 p = PositionOf(mesh, v);
                for (int k = 0; k < 3; ++k) {
                    const D3DXVECTOR3 d = corner[k] - p;
                    if (D3DXVec3Length(&d) < distance) mesh->indices[3 * t + k] = v;
                }
            }
        }
    }
}

void CullFacesByDirection(std::int32_t mode, MeshRecord* mesh) {
    // Only modes 0 to 5 have a reference direction.
    if (mode < 0 || mode > 5 || !mesh || !mesh->indices || !mesh->vertices ||
        mesh->vertexSize < 24 || !IndicesInRange(mesh))
        return;
    const D3DXVECTOR3 reference(1, 0, 0);
    for (std::int32_t t = 0; t + 2 < mesh->indexCount; t += 3) {
        D3DXVECTOR3 sum(0, 0, 0);
        for (int k = 0; k < 3; ++k) {
            D3DXVECTOR3 normal;
            std::memcpy(&normal, mesh->vertices + mesh->indices[t + k] * mesh->vertexSize + 12,
                        sizeof normal);
            sum += normal;
        }
        D3DXVec3Normalize(&sum, &sum);
        if (D3DXVec3Dot(&sum, &reference) >= 0) continue;
        std::uint8_t* first = mesh->vertices + mesh->indices[t] * mesh->vertexSize;
        for (int k = 1; k < 3; ++k)
            std::memcpy(mesh->vertices + mesh->indices[t + k] * mesh->vertexSize, first, 12);
    }
}

bool CopyIndicesToIndexBuffer16(MeshRecord* mesh, IDirect3DIndexBuffer9* buffer,
                                std::uint32_t startIndex) {
    if (!mesh || !mesh->indices || mesh->indexCount <= 0) return false;
    const UINT bytes = static_cast<UINT>(mesh->indexCount) * 2;
    return WithLock(buffer, startIndex * 2, bytes, 0,
                    [&](std::uint8_t* data) { std::memcpy(data, mesh->indices, bytes); });
}

bool WidenIndicesToIndexBuffer32(MeshRecord* mesh, IDirect3DIndexBuffer9* buffer,
                                 std::uint32_t startIndex) {
    if (!mesh || !mesh->indices || mesh->indexCount <= 0) return false;
    return WithLock(buffer, startIndex * 4, static_cast<UINT>(mesh->indexCount) * 4, 0,
                    [&](std::uint8_t* data) {
                        auto* out = reinterpret_cast<std::uint32_t*>(data);
                        for (std::int32_t i = 0; i < mesh->indexCount; ++i)
                            out[i] = mesh->indices[i];
                    });
}

bool CopyIndicesToIndexBuffer32(MeshRecord* mesh, IDirect3DIndexBuffer9* buffer,
                                std::uint32_t startIndex) {
    if (!mesh || !mesh->indices || mesh->indexCount <= 0) return false;
    const UINT bytes = static_cast<UINT>(mesh->indexCount) * 4;
    return WithLock(buffer, startIndex * 4, bytes, 0,
                    [&](std::uint8_t* data) { std::memcpy(data, mesh->indices, bytes); });
}

bool CopyVerticesToVertexBuffer(MeshRecord* mesh, IDirect3DVertexBuffer9* buffer,
                                std::uint32_t start) {
    if (!mesh || !mesh->vertices || mesh->vertexCount <= 0) return false;
    const UINT bytes = static_cast<UINT>(mesh->vertexCount) * mesh->vertexSize;
    return WithLock(buffer, start * 4, bytes, 0,
                    [&](std::uint8_t* data) { std::memcpy(data, mesh->vertices, bytes); });
}

bool ReadIndexBufferIntoMesh(MeshRecord* mesh, IDirect3DIndexBuffer9* buffer,
                             std::uint32_t startIndex) {
    if (!mesh || !mesh->indices || mesh->indexCount <= 0) return false;
    const UINT bytes = static_cast<UINT>(mesh->indexCount) * 2;
    return WithLock(buffer, startIndex * 2, bytes, D3DLOCK_READONLY,
                    [&](std::uint8_t* data) { std::memcpy(mesh->indices, data, bytes); });
}

bool ReadVertexBufferIntoMesh(MeshRecord* mesh, IDirect3DVertexBuffer9* buffer,
                              std::uint32_t start) {
    if (!mesh || !mesh->vertices || mesh->vertexCount <= 0) return false;
    const UINT bytes = static_cast<UINT>(mesh->vertexCount) * mesh->vertexSize;
    return WithLock(buffer, start * 4, bytes, D3DLOCK_READONLY,
                    [&](std::uint8_t* data) { std::memcpy(mesh->vertices, data, bytes); });
}

void CopyMeshIndicesAt(MeshRecord* target, const MeshRecord* source, std::int32_t at,
                       std::int32_t count) {
    if (!target || !source || !target->indices || !source->indices || at < 0 || count < 1 ||
        count > source->indexCount || at > target->indexCount - count)
        return;
    std::memcpy(target->indices + at, source->indices, count * sizeof(std::uint16_t));
}

void OffsetMeshIndices(MeshRecord* mesh, std::int32_t first, std::int32_t count, std::int32_t add) {
    if (!mesh || !mesh->indices || count < 1 || first < 0 || first > mesh->indexCount - count)
        return;
    for (std::int32_t i = first; i < first + count; ++i)
        mesh->indices[i] = static_cast<std::uint16_t>(mesh->indices[i] + add);
}

void CopyMeshVerticesAt(MeshRecord* target, const MeshRecord* source, std::int32_t at,
                        std::int32_t count) {
    if (!target || !source || !target->vertices || !source->vertices || at < 0 || count < 1 ||
        count > source->vertexCount)
        return;
    const std::size_t size = source->vertexSize;
    const std::size_t room = static_cast<std::size_t>(target->vertexCount) * target->vertexSize;
    if ((static_cast<std::size_t>(at) + count) * size > room) return;
    std::memcpy(target->vertices + at * size, source->vertices, count * size);
}

void CopyMeshMaterialState(MeshRecord* target, const MeshRecord* source) {
    if (!target || !source || target == source) return;
    // The shader objects are counted references: each mesh holds its own and releases it once.
    target->vertexShaderOn = source->vertexShaderOn;
    Swap(target->vertexShader, source->vertexShader);
    Swap(target->vertexDeclaration, source->vertexDeclaration);
    target->pixelShaderOn = source->pixelShaderOn;
    Swap(target->pixelShader, source->pixelShader);
    std::memcpy(target->effectFileName, source->effectFileName, sizeof target->effectFileName);
    target->effectSkinsMesh = source->effectSkinsMesh;
    if (target->effect == source->effect) return;
    if (target->effect && !target->sharedEffect) ReleaseOwnedEffect(target->effect);
    target->effect = source->effect;
    // An effect the source owns gets a second owner, so that either mesh may go first; one that
    // a slot owns stays the slot's.
    if (source->effect && !source->sharedEffect) {
        source->effect->owners = std::max<std::uint32_t>(source->effect->owners, 1) + 1;
        target->sharedEffect = 0;
    } else {
        target->sharedEffect = 1;
    }
}

void CopyMeshMaterialStateMarkSource(MeshRecord* target, MeshRecord* source) {
    CopyMeshMaterialState(target, source);
}

void ReleaseMeshShaders(MeshRecord* mesh) {
    if (!mesh) return;
    mesh->vertexShaderOn = 0;
    Swap(mesh->vertexShader, static_cast<IDirect3DVertexShader9*>(nullptr));
    Swap(mesh->vertexDeclaration, static_cast<IDirect3DVertexDeclaration9*>(nullptr));
}

void SetMeshEffectMode(MeshRecord* mesh, IDirect3DPixelShader9* pixelShader) {
    if (!mesh) return;
    mesh->pixelShaderOn = 1;
    Swap(mesh->pixelShader, pixelShader);
}

void ClearMeshEffectMode(MeshRecord* mesh) {
    if (!mesh) return;
    mesh->pixelShaderOn = 0;
    Swap(mesh->pixelShader, static_cast<IDirect3DPixelShader9*>(nullptr));
}

void BackupMeshVertices(MeshRecord* mesh) {
    if (!mesh || mesh->backupVertices || !mesh->vertices || mesh->vertexCount <= 0) return;
    const std::size_t bytes = static_cast<std::size_t>(mesh->vertexCount) * mesh->vertexSize;
    mesh->backupVertices = new (std::nothrow) std::uint8_t[bytes];
    if (mesh->backupVertices) std::memcpy(mesh->backupVertices, mesh->vertices, bytes);
}

bool RenewMeshBackup(MeshRecord* mesh, MeshRecord* old) {
    if (!mesh || !mesh->vertices || mesh->vertexCount <= 0) return true;
    const std::size_t bytes = static_cast<std::size_t>(mesh->vertexCount) * mesh->vertexSize;
    auto* copy = new (std::nothrow) std::uint8_t[bytes ? bytes : 1];
    if (!copy) return false;
    std::memcpy(copy, mesh->vertices, bytes);
    std::uint8_t* was = std::exchange(mesh->backupVertices, copy);
    if (old && !old->vertices && !old->backupVertices)
        old->backupVertices = was;
    else
        delete[] was;
    return true;
}

void RestoreMeshVertices(MeshRecord* mesh) {
    if (!mesh || !mesh->backupVertices || !mesh->vertices) return;
    std::memcpy(mesh->vertices, mesh->backupVertices,
                static_cast<std::size_t>(mesh->vertexCount) * mesh->vertexSize);
    mesh->verticesChanged = 1;
}

void RestoreAllMeshVertices(ObjectRecord* object) {
    if (!object || !object->meshes) return;
    const std::int32_t count = object->meshCount < 0 ? -object->meshCount : object->meshCount;
    for (std::int32_t i = 0; i < count; ++i)
        RestoreMeshVertices(object->meshes[i]);
}

bool DeleteMesh(MeshRecord* mesh) {
    delete mesh;
    return true;
}

float ColourAlphaToFloat(D3DCOLOR colour) {
    return static_cast<float>(colour >> 24) * kByteToFloat;
}
float ColourRedToFloat(D3DCOLOR colour) {
    return static_cast<float>((colour >> 16) & 0xFF) * kByteToFloat;
}
float ColourGreenToFloat(D3DCOLOR colour) {
    return static_cast<float>((colour >> 8) & 0xFF) * kByteToFloat;
}
float ColourByteToFloat(std::uint32_t byte) {
    return static_cast<float>(byte & 0xFF) * kByteToFloat;
}

std::uint32_t ColourToFloat4(float* out, D3DCOLOR colour) {
    if (out) {
        out[0] = ColourRedToFloat(colour);
        out[1] = ColourGreenToFloat(colour);
        out[2] = ColourByteToFloat(colour);
        out[3] = ColourAlphaToFloat(colour);
    }
    return colour >> 24;
}

bool SupportsVertexShaders() {
    return g_Object3D.caps.VertexShaderVersion >= 0xFFFE0101;
}

bool SupportsPixelShaders() {
    return g_Object3D.caps.PixelShaderVersion >= 0xFFFF0101;
}

void TransformCoordByMatrix(float x, float y, float z, const D3DXMATRIX* m, D3DXVECTOR3* out) {
    if (!m || !out) return;
    out->x = x * m->_11 + y * m->_21 + z * m->_31 + m->_41;
    out->y = x * m->_12 + y * m->_22 + z * m->_32 + m->_42;
    out->z = x * m->_13 + y * m->_23 + z * m->_33 + m->_43;
}

void InitPairRecord(PairRecord* record) {
    if (record)
        for (std::int32_t& w : record->words)
            w = -1;
}

std::int32_t FindMeshPairIndex(std::int32_t a, std::int32_t b, const PairRecord* records,
                               std::int32_t count) {
    if (!records || count < 1) return -1;
    std::int32_t free = -1;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t* w = records[i].words;
        if (w[0] == b && w[1] == a) return i;
        if (free < 0 && w[0] == -1 && w[1] == -1) free = i;
    }
    return free;
}

void InitMultiplierBlock(MultiplierBlock* block) {
    if (!block) return;
    for (float& m : block->multipliers)
        m = 1.0f;
    for (std::uint32_t& w : block->words)
        w = 0;
    block->last = 10.0f;
}
