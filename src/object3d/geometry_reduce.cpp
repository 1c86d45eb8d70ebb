#include "core/win32.h"

#include "object3d/geometry.h"
#include "core/com_ptr.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr std::int64_t kLargest16BitCount = 0xFFFF;
constexpr D3DCOLOR kWhite = 0xFFFFFFFF;

// Reduction.
constexpr float kAdjacencyEpsilon = 0.0001f;
// Null epsilons crash Wine's welder; this is the value the platform takes for null.
constexpr float kWeldEpsilon = 1.0e-6f;
// Skirts.
constexpr float kBorderReach = 0.25f;
constexpr std::size_t kMostBorderVertices = 199;
constexpr float kSkirtFloor = -1.0f;
// Box approximation.
constexpr std::int32_t kLargestGrid = 50;
constexpr float kNoHit = 99999.0f;
constexpr float kSmallestCell = 1.0f;
constexpr float kNearSlack = 0.1f;

// --- Reduction ---------------------------------------------------------------------------------

// A D3DX mesh of a copy of the source: making one may rewrite the mesh's index list, and the
// source is to stay as it was.
ComPtr<ID3DXMesh> DXMeshOfCopy(const MeshRecord* source) {
    MeshRecord copy;
    if (!SetupMeshFromTemplate(&copy, source)) return {};
    return ComPtr<ID3DXMesh>(MakeDXMeshFromMesh(&copy, nullptr, 0));
}

ComPtr<ID3DXBuffer> AdjacencyBuffer(ID3DXMesh* dx) {
    ComPtr<ID3DXBuffer> buffer;
    if (FAILED(D3DXCreateBuffer(dx->GetNumFaces() * 3 * sizeof(DWORD), buffer.PutAddress())))
        return {};
    return buffer;
}

DWORD* Entries(ID3DXBuffer* buffer) {
    return static_cast<DWORD*>(buffer->GetBufferPointer());
}

// Back-facing pairs cleaned out, equal vertices welded, the result checked; the adjacency follows
// the mesh through each step.
ComPtr<ID3DXMesh> CleanWeldAndCheck(ID3DXMesh* dx, ComPtr<ID3DXBuffer>& adjacency) {
    ComPtr<ID3DXBuffer> cleanedAdjacency = AdjacencyBuffer(dx), errors;
    ComPtr<ID3DXMesh> cleaned;
    if (!cleanedAdjacency ||
        FAILED(D3DXCleanMesh(D3DXCLEAN_BACKFACING, dx, Entries(adjacency), cleaned.PutAddress(),
                             Entries(cleanedAdjacency), errors.PutAddress())) ||
        !cleaned)
        return {};
    D3DXWELDEPSILONS epsilons;
    const auto words = reinterpret_cast<float*>(&epsilons);
    std::fill(words, words + sizeof epsilons / sizeof(float), kWeldEpsilon);
    ComPtr<ID3DXBuffer> weldedAdjacency = AdjacencyBuffer(cleaned);
    if (!weldedAdjacency ||
        FAILED(D3DXWeldVertices(cleaned, 0, &epsilons, Entries(cleanedAdjacency),
                                Entries(weldedAdjacency), nullptr, nullptr)))
        return {};
    if (FAILED(D3DXValidMesh(cleaned, Entries(weldedAdjacency), errors.PutAddress()))) return {};
    adjacency = std::move(weldedAdjacency);
    return cleaned;
}

// The simplifier weighs normals: a mesh without them gets them.
ComPtr<ID3DXMesh> WithNormals(ComPtr<ID3DXMesh> dx, const DWORD* adjacency) {
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE] = {};
    if (FAILED(dx->GetDeclaration(declaration))) return {};
    int end = 0;
    bool normal = false;
    while (end < MAX_FVF_DECL_SIZE && declaration[end].Stream != 0xFF)
        normal = normal || declaration[end++].Usage == D3DDECLUSAGE_NORMAL;
    if (normal) return dx;
    if (end + 1 >= MAX_FVF_DECL_SIZE) return {};
    const DWORD options = (dx->GetOptions() & D3DXMESH_32BIT) | D3DXMESH_MANAGED;
    ComPtr<ID3DXMesh> cloned;
    HRESULT hr;
    if (const DWORD fvf = dx->GetFVF()) {
        hr = dx->CloneMeshFVF(options, fvf | D3DFVF_NORMAL, g_Object3D.device, cloned.PutAddress());
    } else {
        declaration[end] = {0,
                            static_cast<WORD>(dx->GetNumBytesPerVertex()),
                            D3DDECLTYPE_FLOAT3,
                            D3DDECLMETHOD_DEFAULT,
                            D3DDECLUSAGE_NORMAL,
                            0};
        declaration[end + 1] = D3DDECL_END();
        hr = dx->CloneMesh(options, declaration, g_Object3D.device, cloned.PutAddress());
    }
    if (FAILED(hr) || !cloned || FAILED(D3DXComputeNormals(cloned, adjacency))) return {};
    return cloned;
}

// The progressive mesh at the target's vertex count (held to what it can give), as a plain mesh.
ComPtr<ID3DXMesh> Simplify(ID3DXMesh* dx, const DWORD* adjacency, std::int32_t target) {
    D3DXATTRIBUTEWEIGHTS weights = {};
    weights.Position = 1.0f;
    weights.Boundary = 2.0f;
    ComPtr<ID3DXPMesh> progressive;
    if (FAILED(D3DXGeneratePMesh(dx, adjacency, &weights, nullptr, 1, D3DXMESHSIMP_VERTEX,
                                 progressive.PutAddress())) ||
        !progressive)
        return {};
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE] = {};
    const DWORD options = (progressive->GetOptions() & D3DXMESH_32BIT) | D3DXMESH_MANAGED;
    ComPtr<ID3DXPMesh> managed;
    if (FAILED(progressive->GetDeclaration(declaration)) ||
        FAILED(progressive->ClonePMesh(options, declaration, g_Object3D.device,
                                       managed.PutAddress())) ||
        !managed)
        return {};
    const DWORD lowest = managed->GetMinVertices(), highest = managed->GetMaxVertices();
    const DWORD wanted = target < 0 ? 0 : static_cast<DWORD>(target);
    if (FAILED(managed->SetNumVertices(std::clamp(wanted, lowest, highest)))) return {};
    ComPtr<ID3DXMesh> plain;
    if (FAILED(managed->CloneMesh(options, declaration, g_Object3D.device, plain.PutAddress())))
        return {};
    return plain;
}

// --- Skirts ------------------------------------------------------------------------------------

struct BorderSide {
    std::vector<std::int32_t> vertices;
    // The side's sort: along x or z, ascending or descending.
    bool alongX;
    bool descending;
};

// The border vertices of the four sides of the x-z rectangle (maximum z, maximum x, minimum z,
// minimum x), each sorted along its side.
std::array<BorderSide, 4> FindBorders(const MeshRecord* mesh, const VertexOffsetMap& map) {
    auto* words = reinterpret_cast<const float*>(mesh->vertices);
    auto at = [&](std::int32_t v, std::uint32_t offset) {
        return words[static_cast<std::size_t>(v) * map.StrideDwords + offset];
    };
    float minX = at(0, map.X), maxX = minX, minZ = at(0, map.Z), maxZ = minZ;
    for (std::int32_t v = 1; v < mesh->vertexCount; ++v) {
        minX = std::min(minX, at(v, map.X)), maxX = std::max(maxX, at(v, map.X));
        minZ = std::min(minZ, at(v, map.Z)), maxZ = std::max(maxZ, at(v, map.Z));
    }
    std::array<BorderSide, 4> sides = {BorderSide{{}, true, true}, BorderSide{{}, false, false},
                                       BorderSide{{}, true, false}, BorderSide{{}, false, true}};
    const float edges[4] = {maxZ, maxX, minZ, minX};
    for (std::int32_t v = 0; v < mesh->vertexCount; ++v) {
        for (int s = 0; s < 4; ++s) {
            // The maximum-z and minimum-z sides run along x, and are reached across z.
            const float across = at(v, sides[s].alongX ? map.Z : map.X);
            if (std::fabs(across - edges[s]) <= kBorderReach &&
                sides[s].vertices.size() < kMostBorderVertices)
                sides[s].vertices.push_back(v);
        }
    }
    for (BorderSide& side : sides) {
        const std::uint32_t along = side.alongX ? map.X : map.Z;
        std::stable_sort(
            side.vertices.begin(), side.vertices.end(), [&](std::int32_t a, std::int32_t b) {
                return side.descending ? at(a, along) > at(b, along) : at(a, along) < at(b, along);
            });
    }
    return sides;
}

// The whole triangles the skirts are appended to: the mesh's own index list, or one naming each
// vertex of a plain list. A part triangle would pair the skirts' corners wrongly.
std::vector<std::uint16_t> BaseIndices(const MeshRecord* mesh) {
    const bool indexed = mesh->indices && mesh->indexCount > 0;
    const std::int32_t count = (indexed ? mesh->indexCount : mesh->vertexCount) / 3 * 3;
    if (indexed) return std::vector<std::uint16_t>(mesh->indices, mesh->indices + count);
    std::vector<std::uint16_t> list(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i] = static_cast<std::uint16_t>(i);
    return list;
}

// --- Box approximation -------------------------------------------------------------------------

struct Triangle {
    D3DXVECTOR3 corners[3];
    float minX, maxX, minY, maxY; // for rays along z, which miss a triangle outside these
};

// The corners of every triangle of the mesh, read from an expanded copy; empty when the mesh has
// no positions or no triangle list.
std::vector<Triangle> ReadTriangles(const MeshRecord* mesh, bool* outOfMemory) {
    // A converter's 32-bit index list is not copied whole by the template copy.
    if (!mesh || !mesh->vertices || (mesh->vertexCount > kLargest16BitCount && mesh->indexCount))
        return {};
    MeshRecord copy;
    VertexOffsetMap map;
    // A copy or expansion that could not be had would read no triangles, or the wrong ones.
    const bool copied = SetupMeshFromTemplate(&copy, mesh);
    if (copied) ExpandMeshIndices(&copy);
    if (!copied ||
        (copy.primitiveType == D3DPT_TRIANGLELIST && copy.indices && copy.indexCount > 0)) {
        if (outOfMemory) *outOfMemory = true;
        return {};
    }
    if (copy.primitiveType != D3DPT_TRIANGLELIST || !GetMeshOffsetMap(&copy, &map) || !map.Z)
        return {};
    std::vector<Triangle> triangles(static_cast<std::size_t>(copy.vertexCount / 3));
    auto* words = reinterpret_cast<const float*>(copy.vertices);
    for (std::size_t t = 0; t < triangles.size(); ++t) {
        Triangle& tri = triangles[t];
        for (int k = 0; k < 3; ++k) {
            const float* v = words + (t * 3 + k) * map.StrideDwords;
            tri.corners[k] = D3DXVECTOR3(v[map.X], v[map.Y], v[map.Z]);
        }
        const auto [minX, maxX] =
            std::minmax({tri.corners[0].x, tri.corners[1].x, tri.corners[2].x});
        const auto [minY, maxY] =
            std::minmax({tri.corners[0].y, tri.corners[1].y, tri.corners[2].y});
        tri.minX = minX, tri.maxX = maxX, tri.minY = minY, tri.maxY = maxY;
    }
    return triangles;
}

// Cells are solid (1) until carved (0); taken marks cells already in a box.
struct CellGrid {
    std::int32_t counts[3];
    D3DXVECTOR3 minimum;
    float size[3];
    std::vector<std::uint8_t> solid, taken;

    std::size_t Index(std::int32_t x, std::int32_t y, std::int32_t z) const {
        return (static_cast<std::size_t>(z) * counts[1] + y) * counts[0] + x;
    }
    bool Inside(const std::int32_t (&c)[3]) const {
        for (int a = 0; a < 3; ++a)
            if (c[a] < 0 || c[a] >= counts[a]) return false;
        return true;
    }
};

CellGrid MakeGrid(const std::vector<Triangle>& triangles, std::int32_t nx, std::int32_t ny,
                  std::int32_t nz) {
    CellGrid grid{{nx, ny, nz}, triangles[0].corners[0], {}, {}, {}};
    D3DXVECTOR3 maximum = grid.minimum;
    for (const Triangle& t : triangles)
        for (const D3DXVECTOR3& c : t.corners) {
            D3DXVec3Minimize(&grid.minimum, &grid.minimum, &c);
            D3DXVec3Maximize(&maximum, &maximum, &c);
        }
    const float extents[3] = {maximum.x - grid.minimum.x, maximum.y - grid.minimum.y,
                              maximum.z - grid.minimum.z};
    for (int a = 0; a < 3; ++a)
        grid.size[a] = std::max(extents[a] / static_cast<float>(grid.counts[a]), kSmallestCell);
    const std::size_t cells = static_cast<std::size_t>(nx) * ny * nz;
    grid.solid.assign(cells, 1);
    grid.taken.assign(cells, 0);
    return grid;
}

// The distance to the nearest triangle along the ray (z only), kNoHit when none is hit.
float NearestHit(const std::vector<Triangle>& triangles, const D3DXVECTOR3& origin,
                 const D3DXVECTOR3& direction) {
    float nearest = kNoHit;
    for (const Triangle& t : triangles) {
        if (origin.x < t.minX || origin.x > t.maxX || origin.y < t.minY || origin.y > t.maxY)
            continue;
        float u, v, distance;
        if (D3DXIntersectTri(&t.corners[0], &t.corners[1], &t.corners[2], &origin, &direction, &u,
                             &v, &distance) &&
            distance < nearest)
            nearest = distance;
    }
    return nearest;
}

// How many cells of column (x, y) lie in front of the surface seen from one side; -1 when the
// surface touches that side's first cell.
std::int32_t ColumnDepth(const CellGrid& g, const std::vector<Triangle>& triangles, std::int32_t x,
                         std::int32_t y, bool fromFront) {
    const float half = g.size[2] * 0.5f;
    const float start = fromFront
                            ? g.minimum.z - half
                            : g.minimum.z + static_cast<float>(g.counts[2]) * g.size[2] + half;
    const D3DXVECTOR3 direction(0, 0, fromFront ? 1.0f : -1.0f);
    const float cx = g.minimum.x + (static_cast<float>(x) + 0.5f) * g.size[0];
    const float cy = g.minimum.y + (static_cast<float>(y) + 0.5f) * g.size[1];
    const float offsets[3] = {-1.0f / 3.0f, 0.0f, 1.0f / 3.0f};
    float sum = 0;
    for (float oy : offsets)
        for (float ox : offsets) {
            const D3DXVECTOR3 origin(cx + ox * g.size[0], cy + oy * g.size[1], start);
            const float hit = NearestHit(triangles, origin, direction);
            if (hit < half + kNearSlack) return -1;
            sum += hit - half;
        }
    const float depth = (sum / 9.0f - 0.5f) / g.size[2];
    const std::int32_t deepest = g.counts[2] - 1;
    // Misses (and anything not a number) carve the whole column.
    if (!(depth < static_cast<float>(deepest))) return deepest;
    if (depth < -1.0f) return -1;
    return static_cast<std::int32_t>(std::lround(depth));
}

void CarveColumns(CellGrid& g, const std::vector<Triangle>& triangles) {
    for (bool fromFront : {true, false})
        for (std::int32_t y = 0; y < g.counts[1]; ++y)
            for (std::int32_t x = 0; x < g.counts[0]; ++x) {
                const std::int32_t depth = ColumnDepth(g, triangles, x, y, fromFront);
                for (std::int32_t k = 0; k <= depth; ++k)
                    g.solid[g.Index(x, y, fromFront ? k : g.counts[2] - 1 - k)] = 0;
            }
}

// A box of cells, low and high corners inclusive.
struct CellBox {
    std::int32_t low[3], high[3];
};

// Calls fn(cell) for each cell of the layer just beyond the box's side (axis, +1 or -1); false
// when that layer lies outside the grid.
template <typename Fn>
bool ForEachBeyond(const CellGrid& g, const CellBox& box, int axis, int sign, Fn&& fn) {
    const std::int32_t layer = sign < 0 ? box.low[axis] - 1 : box.high[axis] + 1;
    if (layer < 0 || layer >= g.counts[axis]) return false;
    const int a = (axis + 1) % 3, b = (axis + 2) % 3;
    for (std::int32_t i = box.low[a]; i <= box.high[a]; ++i)
        for (std::int32_t j = box.low[b]; j <= box.high[b]; ++j) {
            std::int32_t c[3];
            c[axis] = layer, c[a] = i, c[b] = j;
            fn(g.Index(c[0], c[1], c[2]));
        }
    return true;
}

bool CanGrow(const CellGrid& g, const CellBox& box, int axis, int sign) {
    bool free = true;
    return ForEachBeyond(g, box, axis, sign,
                         [&](std::size_t i) { free = free && g.solid[i] && !g.taken[i]; }) &&
           free;
}

// Open: on the grid's edge, or beside a carved cell.
bool IsOpen(const CellGrid& g, const CellBox& box, int axis, int sign) {
    bool carved = false;
    return !ForEachBeyond(g, box, axis, sign, [&](std::size_t i) {
        carved = carved || !g.solid[i];
    }) || carved;
}

CellBox GrowBox(CellGrid& g, std::int32_t x, std::int32_t y, std::int32_t z) {
    CellBox box{{x, y, z}, {x, y, z}};
    for (bool grew = true; grew;) {
        grew = false;
        for (int axis = 0; axis < 3; ++axis)
            for (int sign : {-1, 1})
                if (CanGrow(g, box, axis, sign)) {
                    (sign < 0 ? box.low[axis] : box.high[axis]) += sign;
                    grew = true;
                }
    }
    for (std::int32_t k = box.low[2]; k <= box.high[2]; ++k)
        for (std::int32_t j = box.low[1]; j <= box.high[1]; ++j)
            for (std::int32_t i = box.low[0]; i <= box.high[0]; ++i)
                g.taken[g.Index(i, j, k)] = 1;
    return box;
}

std::vector<CellBox> FindBoxes(CellGrid& g) {
    std::vector<CellBox> boxes;
    boxes.reserve(32);
    for (std::int32_t z = 0; z < g.counts[2]; ++z)
        for (std::int32_t y = 0; y < g.counts[1]; ++y)
            for (std::int32_t x = 0; x < g.counts[0]; ++x)
                if (g.solid[g.Index(x, y, z)] && !g.taken[g.Index(x, y, z)])
                    boxes.push_back(GrowBox(g, x, y, z));
    return boxes;
}

// The open sides of a box, in BuildBoxFaces' order: left, right, bottom, top, back, front.
std::array<bool, 6> OpenSides(const CellGrid& g, const CellBox& box) {
    return {IsOpen(g, box, 0, -1), IsOpen(g, box, 0, 1), IsOpen(g, box, 1, -1),
            IsOpen(g, box, 1, 1),  IsOpen(g, box, 2, 1), IsOpen(g, box, 2, -1)};
}

// The mesh's arrays replaced by the boxes' open faces; false, the mesh as it was, when they do
// not fit 16-bit indices or cannot be allocated.
bool WriteBoxes(MeshRecord* mesh, const CellGrid& g, const std::vector<CellBox>& boxes,
                bool* outOfMemory) {
    std::vector<std::array<bool, 6>> open;
    std::int64_t sides = 0;
    for (const CellBox& box : boxes) {
        open.push_back(OpenSides(g, box));
        sides += std::count(open.back().begin(), open.back().end(), true);
    }
    if (sides * 6 > kLargest16BitCount) return false;
    MeshRecord fresh;
    fresh.vertexSize = mesh->vertexSize;
    if (!AllocateMeshData(&fresh, static_cast<std::int32_t>(sides * 4),
                          static_cast<std::int32_t>(sides * 6)) ||
        (sides > 0 && !fresh.indices)) {
        if (outOfMemory) *outOfMemory = true;
        return false;
    }
    // The old arrays go with the spare record.
    std::swap(mesh->vertices, fresh.vertices);
    std::swap(mesh->indices, fresh.indices);
    std::swap(mesh->vertexCount, fresh.vertexCount);
    std::swap(mesh->indexCount, fresh.indexCount);
    std::int32_t vertex = 0, index = 0;
    for (std::size_t b = 0; b < boxes.size(); ++b) {
        float low[3], high[3];
        for (int a = 0; a < 3; ++a) {
            low[a] = static_cast<float>(boxes[b].low[a]) * g.size[a] + g.minimum[a];
            high[a] = static_cast<float>(boxes[b].high[a] + 1) * g.size[a] + g.minimum[a];
        }
        const std::array<bool, 6>& o = open[b];
        BuildBoxFaces(mesh, &vertex, &index, low[0], low[1], low[2], high[0], high[1], high[2],
                      kWhite, o[0], o[1], o[2], o[3], o[4], o[5]);
    }
    return true;
}

// Marks a mesh whose arrays were replaced: its backup no longer matches and its buffers are due.
void MarkRebuilt(MeshRecord* mesh) {
    delete[] std::exchange(mesh->backupVertices, nullptr);
    mesh->primitiveType = D3DPT_TRIANGLELIST;
    mesh->drawVertexCount = mesh->vertexCount;
    mesh->drawPrimitiveCount = mesh->indexCount / 3;
    mesh->verticesChanged = 1;
    mesh->needsRebuild = 1;
}

} // namespace

bool ReduceMesh(MeshRecord* source, MeshRecord** newMesh, std::int32_t vertexTarget) {
    if (newMesh) *newMesh = nullptr;
    // Wine's D3DX lacks the cleaner and validator and aborts the process in the simplifier.
    if (!source || !newMesh || !g_Object3D.device || RunningUnderWine()) return false;
    ComPtr<ID3DXMesh> dx = DXMeshOfCopy(source);
    ComPtr<ID3DXBuffer> adjacency = dx ? AdjacencyBuffer(dx) : ComPtr<ID3DXBuffer>();
    if (!adjacency || FAILED(dx->GenerateAdjacency(kAdjacencyEpsilon, Entries(adjacency))))
        return false;
    dx = CleanWeldAndCheck(dx, adjacency);
    if (dx) dx = WithNormals(std::move(dx), Entries(adjacency));
    if (dx) dx = Simplify(dx, Entries(adjacency), vertexTarget);
    if (!dx) return false;
    std::unique_ptr<MeshRecord> made(new (std::nothrow) MeshRecord);
    if (!made) return false;
    UpdateMeshFromDXMesh(made.get(), dx);
    if (!made->vertices) return false;
    made->primitiveType = D3DPT_TRIANGLELIST;
    made->drawVertexCount = made->vertexCount;
    made->drawPrimitiveCount = made->indexCount > 0 ? made->indexCount / 3 : made->vertexCount / 3;
    VertexOffsetMap map;
    GetMeshOffsetMap(made.get(), &map);
    if (map.Z && !AddMeshSkirts(made.get())) return false;
    *newMesh = made.release();
    return true;
}

bool AddMeshSkirts(MeshRecord* mesh) {
    VertexOffsetMap map;
    if (!mesh || !mesh->vertices || mesh->vertexCount <= 0 ||
        mesh->primitiveType != D3DPT_TRIANGLELIST || !GetMeshOffsetMap(mesh, &map) || !map.Z)
        return false;
    const std::array<BorderSide, 4> sides = FindBorders(mesh, map);
    std::int64_t border = 0, pairs = 0;
    for (const BorderSide& side : sides) {
        border += static_cast<std::int64_t>(side.vertices.size());
        pairs += side.vertices.empty() ? 0 : static_cast<std::int64_t>(side.vertices.size()) - 1;
    }
    std::vector<std::uint16_t> indices = BaseIndices(mesh);
    const std::int64_t vertexCount = mesh->vertexCount + border;
    const std::int64_t indexCount = static_cast<std::int64_t>(indices.size()) + 6 * pairs;
    if (vertexCount > kLargest16BitCount + 1 || indexCount > kLargest16BitCount) return false;
    const std::size_t stride = mesh->vertexSize;
    // Held until the mesh takes them: the index list below may run out of memory.
    std::unique_ptr<std::uint8_t[]> vertices(new (std::nothrow) std::uint8_t[stride * vertexCount]);
    std::unique_ptr<std::uint16_t[]> list(new (std::nothrow)
                                              std::uint16_t[indexCount > 0 ? indexCount : 1]);
    if (!vertices || !list) return false;
    indices.reserve(static_cast<std::size_t>(indexCount));
    std::memcpy(vertices.get(), mesh->vertices, stride * mesh->vertexCount);
    auto next = static_cast<std::uint16_t>(mesh->vertexCount);
    for (const BorderSide& side : sides) {
        for (std::size_t k = 0; k < side.vertices.size(); ++k) {
            const auto copy = static_cast<std::uint16_t>(next + k);
            std::uint8_t* at = vertices.get() + stride * copy;
            std::memcpy(at, mesh->vertices + stride * side.vertices[k], stride);
            reinterpret_cast<float*>(at)[map.Y] = kSkirtFloor;
            if (k == 0) continue;
            const auto a = static_cast<std::uint16_t>(side.vertices[k - 1]);
            const auto b = static_cast<std::uint16_t>(side.vertices[k]);
            const auto a2 = static_cast<std::uint16_t>(copy - 1);
            indices.insert(indices.end(), {a2, a, b, a2, b, copy});
        }
        next = static_cast<std::uint16_t>(next + side.vertices.size());
    }
    std::copy(indices.begin(), indices.end(), list.get());
    delete[] std::exchange(mesh->vertices, vertices.release());
    delete[] std::exchange(mesh->indices, list.release());
    mesh->vertexCount = static_cast<std::int32_t>(vertexCount);
    mesh->indexCount = static_cast<std::int32_t>(indexCount);
    MarkRebuilt(mesh);
    return true;
}

bool BuildBoxApproximationMesh(MeshRecord* mesh, std::int32_t nx, std::int32_t ny, std::int32_t nz,
                               bool* outOfMemory) {
    if (!mesh || nx > kLargestGrid || ny > kLargestGrid || nz > kLargestGrid) return false;
    nx = std::max(nx, 3), ny = std::max(ny, 1), nz = std::max(nz, 3);
    const std::vector<Triangle> triangles = ReadTriangles(mesh, outOfMemory);
    if (triangles.empty()) return false;
    CellGrid grid = MakeGrid(triangles, nx, ny, nz);
    CarveColumns(grid, triangles);
    const std::vector<CellBox> boxes = FindBoxes(grid);
    if (!WriteBoxes(mesh, grid, boxes, outOfMemory)) return false;
    MarkRebuilt(mesh);
    return true;
}
