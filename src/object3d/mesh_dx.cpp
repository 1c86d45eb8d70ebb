#include "core/win32.h"

#include "core/com_ptr.h"
#include "core/core.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/vertex_layout.h"
#include "core/error_numbers.h"
#include "core/load_budget.h"
#include "core/media.h"
#include "core/replacing_file.h"
#include "modelfile/converters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kMaxVertices = 0x10000;
constexpr DWORD kManaged = D3DXMESH_MANAGED; // 0x220: managed vertex and index buffers
constexpr DWORD kManaged32 = D3DXMESH_MANAGED | D3DXMESH_32BIT; // 0x221

// The list the D3DX mesh takes: strips and fans turned into triangles, a plain list numbered
// through; empty when an index names no vertex.
std::vector<std::uint32_t> TriangleList(const MeshRecord* mesh, std::uint32_t faces) {
    std::vector<std::uint32_t> list;
    const bool strip = mesh->primitiveType == D3DPT_TRIANGLESTRIP;
    const bool fan = mesh->primitiveType == D3DPT_TRIANGLEFAN;
    const bool indexed = mesh->indices && mesh->indexCount > 0;
    auto corner = [&](std::int32_t k) -> std::uint32_t {
        return indexed ? mesh->indices[k] : static_cast<std::uint32_t>(k);
    };
    if (strip || fan) {
        const std::int32_t n = indexed ? mesh->indexCount : mesh->vertexCount;
        for (std::int32_t k = 2; k < n; ++k) {
            const bool swap = strip && (k & 1);
            const std::uint32_t a = corner(strip ? k - 2 : 0), b = corner(k - 1);
            list.insert(list.end(), {swap ? b : a, swap ? a : b, corner(k)});
        }
    } else if (indexed) {
        list.assign(mesh->indices, mesh->indices + mesh->indexCount);
    } else {
        for (std::uint32_t k = 0; k < faces * 3; ++k)
            list.push_back(k);
    }
    list.resize(static_cast<std::size_t>(faces) * 3, 0);
    for (std::uint32_t v : list)
        if (v >= static_cast<std::uint32_t>(mesh->vertexCount)) return {};
    return list;
}

bool FillDXMesh(ID3DXMesh* dx, const MeshRecord* mesh, const std::vector<std::uint32_t>& list,
                bool wide) {
    void* indices = nullptr;
    if (FAILED(dx->LockIndexBuffer(0, &indices)) || !indices) return false;
    if (wide) {
        std::memcpy(indices, list.data(), list.size() * 4);
    } else {
        auto* out = static_cast<std::uint16_t*>(indices);
        for (std::size_t i = 0; i < list.size(); ++i)
            out[i] = static_cast<std::uint16_t>(list[i]);
    }
    dx->UnlockIndexBuffer();
    void* vertices = nullptr;
    if (FAILED(dx->LockVertexBuffer(0, &vertices)) || !vertices) return false;
    // A mesh's vertices may be wider than its format (padding a file kept): the D3DX mesh holds
    // only the format's bytes of each.
    const std::size_t to = dx->GetNumBytesPerVertex(), from = mesh->vertexSize;
    const std::size_t count = static_cast<std::size_t>(mesh->vertexCount);
    if (to == from) {
        std::memcpy(vertices, mesh->vertices, count * from);
    } else {
        auto* out = static_cast<std::uint8_t*>(vertices);
        for (std::size_t v = 0; v < count; ++v)
            std::memcpy(out + v * to, mesh->vertices + v * from, std::min(to, from));
    }
    dx->UnlockVertexBuffer();
    return true;
}

// The mesh's index list as the D3DX mesh has it: a 16-bit list, or (when the list does not fit
// 16 bits) nothing.
void AdoptList(MeshRecord* mesh, const std::vector<std::uint32_t>& list, bool wide) {
    const bool hadList = mesh->indices && mesh->indexCount > 0;
    const bool layout =
        mesh->primitiveType == D3DPT_TRIANGLESTRIP || mesh->primitiveType == D3DPT_TRIANGLEFAN;
    if (wide || (hadList && !layout) || list.size() > 65535) return;
    // Thrown, as the list itself is: a strip kept beside the D3DX mesh's list would not match it.
    auto* indices = new std::uint16_t[list.size() ? list.size() : 1];
    for (std::size_t i = 0; i < list.size(); ++i)
        indices[i] = static_cast<std::uint16_t>(list[i]);
    delete[] std::exchange(mesh->indices, indices);
    mesh->indexCount = static_cast<std::int32_t>(list.size());
    mesh->primitiveType = D3DPT_TRIANGLELIST;
    if (layout) mesh->indexLayoutChanged = 1;
}

// Every face's three corners written one after another: the vertices of a plain list.
bool ExpandIntoMesh(MeshRecord* mesh, ID3DXMesh* dx, DWORD faces, DWORD vertexCount) {
    const bool wide = dx->GetOptions() & D3DXMESH_32BIT;
    void* indices = nullptr;
    void* vertices = nullptr;
    if (FAILED(dx->LockIndexBuffer(D3DLOCK_READONLY, &indices)) || !indices) return false;
    if (FAILED(dx->LockVertexBuffer(D3DLOCK_READONLY, &vertices)) || !vertices) {
        dx->UnlockIndexBuffer();
        return false;
    }
    const std::size_t stride = mesh->vertexSize;
    for (std::size_t c = 0; c < static_cast<std::size_t>(faces) * 3; ++c) {
        const std::uint32_t v = wide ? static_cast<const std::uint32_t*>(indices)[c]
                                     : static_cast<const std::uint16_t*>(indices)[c];
        if (v < vertexCount)
            std::memcpy(mesh->vertices + c * stride,
                        static_cast<const std::uint8_t*>(vertices) + v * stride, stride);
        else
            std::memset(mesh->vertices + c * stride, 0, stride);
    }
    dx->UnlockVertexBuffer();
    dx->UnlockIndexBuffer();
    return true;
}

// The D3DX mesh's indices into the mesh's 16-bit list; false when one names no vertex.
bool ReadIndices(MeshRecord* mesh, ID3DXMesh* dx, DWORD vertexCount) {
    if (!mesh->indices || mesh->indexCount <= 0) return true;
    const bool wide = dx->GetOptions() & D3DXMESH_32BIT;
    void* indices = nullptr;
    if (FAILED(dx->LockIndexBuffer(D3DLOCK_READONLY, &indices)) || !indices) return false;
    bool valid = true;
    for (std::int32_t i = 0; i < mesh->indexCount; ++i) {
        const std::uint32_t v = wide ? static_cast<const std::uint32_t*>(indices)[i]
                                     : static_cast<const std::uint16_t*>(indices)[i];
        valid = valid && v < vertexCount;
        mesh->indices[i] = static_cast<std::uint16_t>(valid ? v : 0);
    }
    dx->UnlockIndexBuffer();
    return valid;
}

// The platform gives a vertex whose triangles have no area (as real models hold) a normal that
// is not a number, which would spoil its lighting and every value measured from it: such a
// vertex gets no normal instead.
void ClearNormalsThatAreNotNumbers(MeshRecord* mesh) {
    VertexOffsetMap map{};
    if (!mesh->vertices || !GetMeshOffsetMap(mesh, &map) || !map.NZ ||
        4 * (map.NZ + 1) > mesh->vertexSize)
        return;
    for (std::int32_t i = 0; i < mesh->vertexCount; ++i) {
        auto* v = reinterpret_cast<float*>(mesh->vertices + std::size_t{mesh->vertexSize} * i);
        if (!std::isfinite(v[map.NX]) || !std::isfinite(v[map.NY]) || !std::isfinite(v[map.NZ]))
            v[map.NX] = v[map.NY] = v[map.NZ] = 0;
    }
}

} // namespace

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

ID3DXMesh* MakeDXMeshFromMesh(MeshRecord* mesh, const D3DVERTEXELEMENT9* declaration,
                              std::uint32_t fvf) {
    IDirect3DDevice9* device = g_Object3D.device;
    if (!mesh || !mesh->vertices || mesh->vertexCount <= 0 || !device) return nullptr;
    const auto vertices = static_cast<std::uint32_t>(mesh->vertexCount);
    if (vertices >= kMaxVertices) {
        RaiseRuntimeError(kMeshTooLarge);
        return nullptr;
    }
    const auto faces =
        static_cast<std::uint32_t>(mesh->drawPrimitiveCount > 0 ? mesh->drawPrimitiveCount : 0);
    if (faces == 0) return nullptr;
    const bool wide = faces * 3 >= 0x10000;
    const DWORD options = wide ? kManaged32 : kManaged;
    const std::vector<std::uint32_t> list = TriangleList(mesh, faces);
    if (list.empty()) return nullptr; // an index that names no vertex
    ComPtr<ID3DXMesh> made;
    const HRESULT hr = mesh->fvf ? D3DXCreateMeshFVF(faces, vertices, options, mesh->fvf, device,
                                                     made.PutAddress())
                                 : D3DXCreateMesh(faces, vertices, options, mesh->declaration,
                                                  device, made.PutAddress());
    if (FAILED(hr) || !made || !FillDXMesh(made, mesh, list, wide)) return nullptr;
    // A clone the platform refuses leaves the mesh as it was and gives nothing.
    ComPtr<ID3DXMesh> result;
    if (fvf) {
        if (FAILED(made->CloneMeshFVF(options, fvf, device, result.PutAddress()))) return nullptr;
    } else if (declaration) {
        if (FAILED(made->CloneMesh(options, declaration, device, result.PutAddress())))
            return nullptr;
    } else {
        result = std::move(made);
    }
    if (!result) return nullptr;
    AdoptList(mesh, list, wide);
    return result.Detach();
}

void SwapMeshShape(MeshRecord& a, MeshRecord& b) noexcept {
    std::swap(a.fvf, b.fvf);
    std::swap(a.vertexSize, b.vertexSize);
    std::swap(a.backupVertices, b.backupVertices);
    std::swap(a.vertices, b.vertices);
    std::swap(a.indices, b.indices);
    std::swap(a.vertexCount, b.vertexCount);
    std::swap(a.indexCount, b.indexCount);
    std::swap(a.primitiveType, b.primitiveType);
    std::swap(a.drawVertexCount, b.drawVertexCount);
    std::swap(a.drawPrimitiveCount, b.drawPrimitiveCount);
    std::swap(a.declaration, b.declaration);
    std::swap(a.vertexDeclaration, b.vertexDeclaration);
}

bool UpdateMeshFromDXMesh(MeshRecord* mesh, ID3DXMesh* dx, MeshRecord* old) {
    if (!mesh || !dx) return false;
    const DWORD vertexCount = dx->GetNumVertices(), faces = dx->GetNumFaces();
    const bool plain = static_cast<std::uint64_t>(faces) * 3 > 0xFFFF;
    const DWORD fvf = dx->GetFVF();
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE] = {};
    dx->GetDeclaration(declaration);
    const std::int32_t vertices =
        plain ? static_cast<std::int32_t>(faces * 3) : static_cast<std::int32_t>(vertexCount);
    const std::int32_t indices = plain ? 0 : static_cast<std::int32_t>(faces * 3);
    // The new shape is made whole beside the mesh, which changes only when it exists.
    MeshRecord made;
    made.primitiveType = mesh->primitiveType;
    made.drawVertexCount = mesh->drawVertexCount;
    made.drawPrimitiveCount = mesh->drawPrimitiveCount;
    const bool set = fvf ? SetupMeshFVFData(&made, fvf, vertices, indices)
                         : SetupMeshDeclarationData(&made, declaration, dx->GetNumBytesPerVertex(),
                                                    vertices, indices);
    if (!set || (indices > 0 && !made.indices)) return false;
    if (plain) {
        ExpandIntoMesh(&made, dx, faces, vertexCount);
    } else {
        ReadIndices(&made, dx, vertexCount);
        ComPtr<IDirect3DVertexBuffer9> buffer;
        if (SUCCEEDED(dx->GetVertexBuffer(buffer.PutAddress())))
            ReadVertexBufferIntoMesh(&made, buffer, 0);
    }
    // A backup of the old layout would be restored over the new one, past its end when the new
    // vertices are smaller: it becomes a copy of the new vertices.
    const std::size_t oldBytes =
        static_cast<std::size_t>(std::max(mesh->vertexCount, 0)) * mesh->vertexSize;
    // A caller that may put the old shape back keeps its backup too.
    if (mesh->backupVertices) {
        if (static_cast<std::size_t>(made.vertexCount) * made.vertexSize != oldBytes) {
            BackupMeshVertices(&made);
        } else if (!old) {
            made.backupVertices = std::exchange(mesh->backupVertices, nullptr);
        } else if ((made.backupVertices =
                        new (std::nothrow) std::uint8_t[oldBytes ? oldBytes : 1])) {
            std::memcpy(made.backupVertices, mesh->backupVertices, oldBytes);
        }
        if (!made.backupVertices) return false;
    }
    SwapMeshShape(*mesh, made);
    mesh->indexLayoutChanged = 1;
    // The old shape goes with the record made here, or to the caller, who may put it back.
    if (old) SwapMeshShape(*old, made);
    return true;
}

void RebuildMeshViaDXMesh(MeshRecord* mesh) {
    if (!mesh) return;
    ComPtr<ID3DXMesh> dx(MakeDXMeshFromMesh(mesh, nullptr, mesh->savedFVF));
    if (!dx || !UpdateMeshFromDXMesh(mesh, dx)) return;
    delete[] std::exchange(mesh->backupVertices, nullptr);
}

bool ConvertMeshToFVF(MeshRecord* mesh, std::uint32_t fvf, MeshRecord* old) {
    ComPtr<ID3DXMesh> dx(MakeDXMeshFromMesh(mesh, nullptr, fvf));
    return !dx || UpdateMeshFromDXMesh(mesh, dx, old);
}

bool FreeMeshOriginalData(MeshRecord* mesh, std::uint32_t fvf, MeshRecord* old) {
    if (!mesh) return true;
    // The backup goes with the old shape: back to the mesh when the conversion fails.
    std::uint8_t* backup = std::exchange(mesh->backupVertices, nullptr);
    bool converted = false;
    try {
        converted = ConvertMeshToFVF(mesh, fvf, old);
    } catch (...) {
        mesh->backupVertices = backup;
        throw;
    }
    if (!converted) {
        mesh->backupVertices = backup;
        return false;
    }
    if (old && !old->backupVertices)
        old->backupVertices = backup;
    else
        delete[] backup;
    return true;
}

bool ComputeMeshNormals(MeshRecord* mesh, MeshRecord* old) {
    ComPtr<ID3DXMesh> dx(MakeDXMeshFromMesh(mesh, nullptr, 0));
    if (!dx) return true;
    D3DXComputeNormals(dx, nullptr);
    if (!UpdateMeshFromDXMesh(mesh, dx, old)) return false;
    ClearNormalsThatAreNotNumbers(mesh);
    return true;
}

void ComputeMeshNormalsKeepFormat(MeshRecord* mesh) {
    ComPtr<ID3DXMesh> dx(MakeDXMeshFromMesh(mesh, nullptr, 0));
    if (!dx) return;
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE] = {};
    if (FAILED(dx->GetDeclaration(declaration))) return;
    int end = 0;
    bool normal = false;
    while (end < MAX_FVF_DECL_SIZE && declaration[end].Stream != 0xFF)
        normal = normal || declaration[end++].Usage == D3DDECLUSAGE_NORMAL;
    if (!normal && end + 1 < MAX_FVF_DECL_SIZE) {
        declaration[end] = {0,
                            static_cast<WORD>(dx->GetNumBytesPerVertex()),
                            D3DDECLTYPE_FLOAT3,
                            D3DDECLMETHOD_DEFAULT,
                            D3DDECLUSAGE_NORMAL,
                            0};
        declaration[end + 1] = D3DDECL_END();
        ComPtr<ID3DXMesh> cloned;
        if (FAILED(dx->CloneMesh(dx->GetOptions(), declaration, g_Object3D.device,
                                 cloned.PutAddress())) ||
            !cloned)
            return;
        dx = std::move(cloned);
    }
    D3DXComputeNormals(dx, nullptr);
    UpdateMeshFromDXMesh(mesh, dx);
    ClearNormalsThatAreNotNumbers(mesh);
}

namespace {

// The load's body: the platform parses only what the engine's own walk has read through, and the
// record's copy of the mesh is charged before it is made.
bool LoadCheckedXMesh(IDirect3DDevice9* device, const char* fileName, MeshRecord** mesh) {
    std::vector<std::uint8_t> image;
    if (!ConvX::ReadCheckedXFile(fileName, image)) return false;
    ComPtr<ID3DXBuffer> adjacency, materials, effects;
    ComPtr<ID3DXMesh> dx;
    DWORD materialCount = 0;
    if (FAILED(D3DXLoadMeshFromXInMemory(image.data(), static_cast<DWORD>(image.size()), kManaged,
                                         device, adjacency.PutAddress(), materials.PutAddress(),
                                         effects.PutAddress(), &materialCount, dx.PutAddress())) ||
        !dx)
        return false;
    RequireLoad(dx->GetNumVertices(), dx->GetNumBytesPerVertex());
    RequireLoad(std::uint64_t{dx->GetNumFaces()} * 3, sizeof(WORD));
    auto* made = new (std::nothrow) MeshRecord;
    if (!made) return false;
    UpdateMeshFromDXMesh(made, dx);
    made->primitiveType = D3DPT_TRIANGLELIST;
    made->drawVertexCount = made->vertexCount;
    made->drawPrimitiveCount = made->indexCount > 0 ? made->indexCount / 3 : made->vertexCount / 3;
    *mesh = made;
    return true;
}

} // namespace

bool LoadXMesh(const char* fileName, MeshRecord** mesh) {
    if (mesh) *mesh = nullptr;
    IDirect3DDevice9* device = g_Object3D.device;
    if (!fileName || !mesh || !device) return false;
    LoadScope load(MediaFileSize(fileName));
    if (load.Guard([&] { return LoadCheckedXMesh(device, fileName, mesh); })) return true;
    if (*mesh) DeleteMesh(*mesh);
    *mesh = nullptr;
    return false;
}

bool SaveXMesh(const char* fileName, MeshRecord* mesh) {
    // Wine's D3DX has no X writer: calling it ends the process.
    if (!fileName || !mesh || RunningUnderWine()) return false;
    ComPtr<ID3DXMesh> dx(MakeDXMeshFromMesh(mesh, nullptr, 0));
    ReplacingFile file(fileName);
    return dx && file.Ok() &&
           SUCCEEDED(D3DXSaveMeshToXA(file.TemporaryName(), dx, nullptr, nullptr, nullptr, 0,
                                      D3DXF_FILEFORMAT_TEXT)) &&
           file.Commit(/*expectNonEmpty=*/true);
}
