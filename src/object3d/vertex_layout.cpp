#include "core/win32.h"

#include "object3d/vertex_layout.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"

#include <cstring>
#include <iterator>
#include <new>
#include <utility>

namespace {

constexpr std::int32_t kLargestIndexCount = 65535;

// The words of the FVF's position field; blend weights follow x, y and z, the first of them in
// the Rhw slot.
std::uint32_t MapPosition(std::uint32_t fvf, VertexOffsetMap* map) {
    std::uint32_t words = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ:
        words = 3;
        break;
    case D3DFVF_XYZRHW:
        words = 4;
        break;
    case D3DFVF_XYZW:
        words = 4;
        break;
    case D3DFVF_XYZB1:
        words = 4;
        break;
    case D3DFVF_XYZB2:
        words = 5;
        break;
    case D3DFVF_XYZB3:
        words = 6;
        break;
    case D3DFVF_XYZB4:
        words = 7;
        break;
    case D3DFVF_XYZB5:
        words = 8;
        break;
    default:
        return 0;
    }
    map->X = 0, map->Y = 1, map->Z = 2;
    if (words > 3) map->Rhw = 3;
    return words;
}

void MapFourWords(std::uint32_t* u, std::uint32_t* v, std::uint32_t* z, std::uint32_t* w,
                  std::uint32_t at) {
    *u = at, *v = at + 1, *z = at + 2, *w = at + 3;
}

// Bytes of each declaration type, D3DDECLTYPE_FLOAT1 to D3DDECLTYPE_UNUSED.
constexpr std::uint8_t kDeclarationTypeBytes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4,
                                                  4, 8, 4,  8,  4, 4, 4, 8, 0};
static_assert(std::size(kDeclarationTypeBytes) == D3DDECLTYPE_UNUSED + 1);

bool ElementInVertex(const D3DVERTEXELEMENT9& e, std::uint32_t vertexSize) {
    return e.Stream == 0 && e.Type <= D3DDECLTYPE_UNUSED &&
           std::uint32_t{e.Offset} + DeclarationTypeSize(e.Type) <= vertexSize;
}

// Word k of an element that starts at word first; 0 (absent) where the engine's reading of the
// element (three floats for a position, four for a tangent) would run past the vertex.
struct ElementWords {
    std::uint32_t first;
    std::uint32_t stride;
    std::uint32_t operator()(std::uint32_t k) const { return first + k < stride ? first + k : 0; }
};

// One texture set of the declaration route.
void MapTexcoord(VertexOffsetMap* map, std::uint32_t set, const ElementWords& at, BYTE type) {
    map->TexU[set] = at(0);
    if (type == D3DDECLTYPE_FLOAT2 || type == D3DDECLTYPE_FLOAT3 || type == D3DDECLTYPE_FLOAT4)
        map->TexV[set] = at(1);
    if (type == D3DDECLTYPE_FLOAT3 || type == D3DDECLTYPE_FLOAT4) map->TexZ[set] = at(2);
    if (type == D3DDECLTYPE_FLOAT4) map->TexW[set] = at(3);
}

void MapFourWords(std::uint32_t* u, std::uint32_t* v, std::uint32_t* z, std::uint32_t* w,
                  const ElementWords& at) {
    *u = at(0), *v = at(1), *z = at(2), *w = at(3);
}

void MapElement(VertexOffsetMap* map, const D3DVERTEXELEMENT9& e, const ElementWords& at) {
    switch (e.Usage) {
    case D3DDECLUSAGE_POSITION:
        map->X = at(0), map->Y = at(1), map->Z = at(2);
        break;
    case D3DDECLUSAGE_POSITIONT:
        map->X = at(0), map->Y = at(1), map->Z = at(2), map->Rhw = at(3);
        break;
    case D3DDECLUSAGE_NORMAL:
        map->NX = at(0), map->NY = at(1), map->NZ = at(2);
        break;
    case D3DDECLUSAGE_PSIZE:
        map->PointSize = at(0);
        break;
    case D3DDECLUSAGE_COLOR:
        if (e.UsageIndex == 0) map->Diffuse = at(0);
        if (e.UsageIndex == 1) map->Specular = at(0);
        break;
    case D3DDECLUSAGE_TEXCOORD:
        if (e.UsageIndex < 8) MapTexcoord(map, e.UsageIndex, at, e.Type);
        break;
    case D3DDECLUSAGE_TANGENT:
        MapFourWords(&map->TexU[1], &map->TexV[1], &map->TexZ[1], &map->TexW[1], at);
        break;
    case D3DDECLUSAGE_BINORMAL:
        MapFourWords(&map->TexU[2], &map->TexV[2], &map->TexZ[2], &map->TexW[2], at);
        break;
    default:
        break;
    }
}

// Only the mesh's own vertex array exists: an element of another stream, of no size, or reaching
// past the vertex has no slots.
bool MapDeclaration(const MeshRecord* mesh, VertexOffsetMap* map) {
    map->StrideBytes = mesh->vertexSize;
    map->StrideDwords = mesh->vertexSize / 4;
    const D3DVERTEXELEMENT9* elements = mesh->declaration;
    // A declaration without its end marker still ends with the array.
    for (int i = 0; i < MAX_FVF_DECL_SIZE && elements[i].Stream != 0xFF; ++i) {
        const D3DVERTEXELEMENT9& e = elements[i];
        if (DeclarationTypeSize(e.Type) == 0 || !ElementInVertex(e, mesh->vertexSize)) continue;
        MapElement(map, e, ElementWords{e.Offset / 4u, map->StrideDwords});
    }
    return true;
}

void FreeArrays(MeshRecord* mesh) {
    delete[] std::exchange(mesh->vertices, nullptr);
    delete[] std::exchange(mesh->indices, nullptr);
}

} // namespace

bool GetFVFOffsetMap(std::uint32_t fvf, VertexOffsetMap* map) {
    if (!map) return false;
    *map = VertexOffsetMap{};
    std::uint32_t p = MapPosition(fvf, map);
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
            MapFourWords(&map->TexU[i], &map->TexV[i], &map->TexZ[i], &map->TexW[i], p);
            p += 4;
            break;
        }
    }
    map->StrideDwords = p;
    map->StrideBytes = 4 * p;
    return D3DXGetFVFVertexSize(fvf) == 4 * p;
}

bool GetMeshOffsetMap(const MeshRecord* mesh, VertexOffsetMap* map) {
    if (!mesh || !map) return false;
    if (mesh->fvf) {
        const bool exact = GetFVFOffsetMap(mesh->fvf, map);
        // Vertices wider than their format carry padding: walk the array by its own stride.
        if (mesh->vertexSize > map->StrideBytes && mesh->vertexSize % 4 == 0) {
            map->StrideBytes = mesh->vertexSize;
            map->StrideDwords = mesh->vertexSize / 4;
        }
        return exact;
    }
    *map = VertexOffsetMap{};
    return MapDeclaration(mesh, map);
}

std::uint32_t DeclarationTypeSize(std::uint32_t type) {
    return type < std::size(kDeclarationTypeBytes) ? kDeclarationTypeBytes[type] : 0;
}

bool DeclarationFitsVertex(const D3DVERTEXELEMENT9* declaration, std::uint32_t vertexSize) {
    if (!declaration) return false;
    for (int i = 0; i < MAX_FVF_DECL_SIZE && declaration[i].Stream != 0xFF; ++i)
        if (!ElementInVertex(declaration[i], vertexSize)) return false;
    return true;
}

bool IsDevicePresent() {
    return g_Object3D.device != nullptr;
}

bool AllocateMeshData(MeshRecord* mesh, std::int32_t vertexCount, std::int32_t indexCount) {
    if (!mesh || indexCount > kLargestIndexCount || indexCount < 0 || vertexCount < 0) return false;
    FreeArrays(mesh);
    mesh->vertexCount = vertexCount;
    const std::size_t bytes = static_cast<std::size_t>(vertexCount) * mesh->vertexSize;
    mesh->vertices = new (std::nothrow) std::uint8_t[bytes ? bytes : 1];
    mesh->indexCount = indexCount;
    if (indexCount > 0) mesh->indices = new (std::nothrow) std::uint16_t[indexCount];
    // Indices asked for and not had fail the set-up whole: callers write them next.
    if (mesh->vertices && (indexCount == 0 || mesh->indices)) return true;
    FreeArrays(mesh);
    mesh->vertexCount = mesh->indexCount = 0;
    return false;
}

bool SetupMeshDeclarationData(MeshRecord* mesh, const D3DVERTEXELEMENT9* declaration,
                              std::uint32_t vertexSize, std::int32_t vertexCount,
                              std::int32_t indexCount) {
    if (!mesh || !declaration) return false;
    mesh->vertexSize = vertexSize;
    mesh->fvf = 0;
    // The copy ends at the end marker or with the array, whichever comes first.
    // (The declaration may be the mesh's own: it is read whole before it is written.)
    D3DVERTEXELEMENT9 copy[MAX_FVF_DECL_SIZE] = {};
    int count = 0;
    while (count < MAX_FVF_DECL_SIZE && declaration[count].Stream != 0xFF)
        ++count;
    std::memcpy(copy, declaration, count * sizeof(D3DVERTEXELEMENT9));
    if (count < MAX_FVF_DECL_SIZE) copy[count] = D3DDECL_END();
    std::memcpy(mesh->declaration, copy, sizeof copy);
    if (mesh->vertexDeclaration) std::exchange(mesh->vertexDeclaration, nullptr)->Release();
    IDirect3DDevice9* device = g_Object3D.device;
    if (!device ||
        FAILED(device->CreateVertexDeclaration(mesh->declaration, &mesh->vertexDeclaration)))
        return false;
    return AllocateMeshData(mesh, vertexCount, indexCount);
}

bool SetupMeshFVFData(MeshRecord* mesh, std::uint32_t fvf, std::int32_t vertexCount,
                      std::int32_t indexCount) {
    if (!mesh) return false;
    VertexOffsetMap map;
    GetFVFOffsetMap(fvf, &map);
    mesh->fvf = fvf;
    mesh->vertexSize = map.StrideBytes;
    return AllocateMeshData(mesh, vertexCount, indexCount);
}

bool SetupMeshFromFormat(MeshRecord* mesh, const MeshRecord* source, std::int32_t indexCount,
                         std::int32_t vertexCount) {
    if (!mesh || !source || mesh == source) return false;
    // Fewer than the template's own would not hold what is copied in.
    if (vertexCount < source->vertexCount || indexCount < source->indexCount) return false;
    const bool made = source->fvf
                          ? SetupMeshFVFData(mesh, source->fvf, vertexCount, indexCount)
                          : SetupMeshDeclarationData(mesh, source->declaration, source->vertexSize,
                                                     vertexCount, indexCount);
    if (!made || mesh->vertexSize != source->vertexSize) return false;
    if (source->vertices)
        std::memcpy(mesh->vertices, source->vertices,
                    static_cast<std::size_t>(source->vertexCount) * source->vertexSize);
    if (mesh->indices && source->indices)
        std::memcpy(mesh->indices, source->indices,
                    static_cast<std::size_t>(source->indexCount) * sizeof(std::uint16_t));
    mesh->primitiveType = source->primitiveType;
    mesh->drawVertexCount = source->drawVertexCount;
    mesh->drawPrimitiveCount =
        source->drawPrimitiveCount ? source->drawPrimitiveCount : source->drawVertexCount / 3;
    return true;
}

bool SetupMeshFromTemplate(MeshRecord* mesh, const MeshRecord* source) {
    return source && SetupMeshFromFormat(mesh, source, source->indexCount, source->vertexCount);
}

bool SetMeshFromRawVertices(MeshRecord* mesh, std::uint32_t fvf, std::uint32_t sourceStride,
                            const void* data, std::int32_t vertexCount,
                            std::int32_t primitiveType) {
    if (!mesh || vertexCount < 0) return false;
    VertexOffsetMap map;
    GetFVFOffsetMap(fvf, &map);
    // A source vertex larger than the mesh's would overrun each destination vertex.
    if (sourceStride > map.StrideBytes) return false;
    mesh->fvf = fvf;
    mesh->vertexSize = map.StrideBytes;
    FreeArrays(mesh);
    mesh->indexCount = 0;
    mesh->vertexCount = vertexCount;
    const std::size_t bytes = static_cast<std::size_t>(vertexCount) * mesh->vertexSize;
    mesh->vertices = new (std::nothrow) std::uint8_t[bytes ? bytes : 1]();
    if (!mesh->vertices) {
        mesh->vertexCount = 0;
        return false;
    }
    const auto* source = static_cast<const std::uint8_t*>(data);
    if (source && sourceStride == mesh->vertexSize)
        std::memcpy(mesh->vertices, source, bytes);
    else
        for (std::int32_t i = 0; source && i < vertexCount; ++i)
            std::memcpy(mesh->vertices + static_cast<std::size_t>(i) * mesh->vertexSize,
                        source + static_cast<std::size_t>(i) * sourceStride, sourceStride);
    mesh->primitiveType = primitiveType;
    mesh->drawVertexCount = vertexCount;
    mesh->drawPrimitiveCount =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(vertexCount) / 3);
    return true;
}

namespace {

// The writers' common part: the values of the components the map has.
void WriteVertex(const VertexOffsetMap& map, float* vertices, std::int32_t i, float x, float y,
                 float z, const float* normal, const D3DCOLOR* diffuse, float u, float v,
                 bool pointSize) {
    float* at = vertices + static_cast<std::size_t>(i) * map.StrideDwords;
    if (map.Z) at[map.X] = x, at[map.Y] = y, at[map.Z] = z;
    if (normal && map.NZ) at[map.NX] = normal[0], at[map.NY] = normal[1], at[map.NZ] = normal[2];
    if (diffuse && map.Diffuse) std::memcpy(at + map.Diffuse, diffuse, sizeof *diffuse);
    if (map.TexV[0]) at[map.TexU[0]] = u, at[map.TexV[0]] = v;
    if (pointSize && map.PointSize) at[map.PointSize] = 1.0f;
}

} // namespace

bool SetVertexPositionNormal(std::uint32_t fvf, float* vertices, std::int32_t i, float x, float y,
                             float z, float u, float v) {
    if (!vertices) return false;
    VertexOffsetMap map;
    GetFVFOffsetMap(fvf, &map);
    WriteVertex(map, vertices, i, x, y, z, nullptr, nullptr, u, v, false);
    return true;
}

bool SetVertexData(std::uint32_t fvf, float* vertices, std::int32_t i, float x, float y, float z,
                   float nx, float ny, float nz, D3DCOLOR diffuse, float u, float v) {
    if (!vertices) return false;
    VertexOffsetMap map;
    GetFVFOffsetMap(fvf, &map);
    const float normal[3] = {nx, ny, nz};
    WriteVertex(map, vertices, i, x, y, z, normal, &diffuse, u, v, true);
    return true;
}

bool SetMeshVertexData(const MeshRecord* mesh, float* vertices, std::int32_t i, float x, float y,
                       float z, float nx, float ny, float nz, D3DCOLOR diffuse, float u, float v) {
    if (!vertices) return false;
    VertexOffsetMap map;
    GetMeshOffsetMap(mesh, &map);
    const float normal[3] = {nx, ny, nz};
    WriteVertex(map, vertices, i, x, y, z, normal, &diffuse, u, v, true);
    return true;
}

bool SwapDwords(std::int32_t* array, std::int32_t i, std::int32_t j) {
    if (!array) return false;
    std::swap(array[i], array[j]);
    return true;
}

bool SortIndexRange(std::int32_t* array, std::int32_t low, std::int32_t high) {
    if (!array) return false;
    // The smaller side is sorted by a call, the larger in the loop: the calls go only as deep
    // as the logarithm of the range.
    while (low < high) {
        if (high - low == 1) {
            if (array[low] > array[high]) SwapDwords(array, low, high);
            return true;
        }
        SwapDwords(array, (low + high) / 2, high);
        const std::int32_t pivot = array[high];
        std::int32_t place = low;
        for (std::int32_t k = low; k < high; ++k)
            if (array[k] <= pivot) SwapDwords(array, k, place++);
        SwapDwords(array, place, high);
        if (place - low < high - place) {
            SortIndexRange(array, low, place - 1);
            low = place + 1;
        } else {
            SortIndexRange(array, place + 1, high);
            high = place - 1;
        }
    }
    return true;
}
