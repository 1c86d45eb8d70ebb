#include "core/win32.h"

#include "object3d/vertex_editing.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::int32_t kMostVertices = 65535; // 16-bit indices
constexpr std::int32_t kMostGridSteps = 50;
constexpr std::int32_t kFewestGridSteps = 3;

std::uint32_t TextureSets(const MeshRecord* mesh) {
    return (mesh->fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
}

// The words of vertex v, or null when the mesh has no such vertex.
float* VertexWords(MeshRecord* mesh, std::int32_t v, VertexOffsetMap& map) {
    if (!mesh || !mesh->vertices || v < 0 || v >= mesh->vertexCount ||
        !GetMeshOffsetMap(mesh, &map) || map.StrideDwords == 0 ||
        map.StrideDwords * 4 > mesh->vertexSize)
        return nullptr;
    return reinterpret_cast<float*>(mesh->vertices) +
           static_cast<std::size_t>(v) * map.StrideDwords;
}

// One word of vertex v through the map; 0 when the presence slot says the component is absent.
float ReadWord(MeshRecord* mesh, std::int32_t v, std::uint32_t VertexOffsetMap::*present,
               std::uint32_t VertexOffsetMap::*word) {
    VertexOffsetMap map;
    const float* p = VertexWords(mesh, v, map);
    return p && map.*present ? p[map.*word] : 0.0f;
}

void MarkChanged(MeshRecord* mesh) {
    if (mesh) mesh->verticesChanged = 1;
}

// Whether texture set `set` may be moved: set 0 of 1-3 sets, set 1 of 2-3, set 2 of 3.
bool MovableSet(const MeshRecord* mesh, std::int32_t set) {
    const std::uint32_t sets = TextureSets(mesh);
    return set >= 0 && set <= 2 && sets <= 3 && sets > static_cast<std::uint32_t>(set);
}

template <typename Fn> void ForEachUV(MeshRecord* mesh, std::int32_t set, Fn&& fn) {
    if (!mesh) return;
    MarkChanged(mesh);
    VertexOffsetMap map;
    if (!MovableSet(mesh, set) || !VertexWords(mesh, 0, map)) return;
    for (std::int32_t v = 0; v < mesh->vertexCount; ++v) {
        float* p = VertexWords(mesh, v, map);
        fn(p[map.TexU[set]], p[map.TexV[set]]);
    }
}

// A side's indices, or 0, 1, 2, ... for a side without an index list.
std::int32_t IndexCountOf(const MeshRecord* mesh) {
    return mesh->indices && mesh->indexCount > 0 ? mesh->indexCount : mesh->vertexCount;
}

void CopyIndices(std::uint16_t* to, const MeshRecord* mesh, std::uint16_t offset) {
    const std::int32_t count = IndexCountOf(mesh);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint32_t index = mesh->indices && mesh->indexCount > 0
                                        ? mesh->indices[i]
                                        : static_cast<std::uint32_t>(i);
        to[i] = static_cast<std::uint16_t>(index + offset);
    }
}

// The source copy in the target's vertex format; false when it cannot be brought to it.
bool MatchFormat(MeshRecord* source, const MeshRecord* target) {
    if (target->fvf != 0) {
        if (source->fvf != target->fvf) ConvertMeshToFVF(source, target->fvf);
        return source->fvf == target->fvf && source->vertexSize == target->vertexSize;
    }
    const UINT size = D3DXGetDeclVertexSize(target->declaration, 0);
    if (source->fvf == 0 && source->vertexSize == target->vertexSize &&
        std::memcmp(source->declaration, target->declaration, sizeof target->declaration) == 0)
        return true;
    ID3DXMesh* dx = MakeDXMeshFromMesh(source, target->declaration, 0);
    if (!dx) return false;
    UpdateMeshFromDXMesh(source, dx);
    dx->Release();
    return source->vertexSize == target->vertexSize && size <= target->vertexSize;
}

bool TriangleHit(const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2,
                 const D3DXVECTOR3& origin, const D3DXVECTOR3& direction, float within) {
    float u, v, distance;
    return D3DXIntersectTri(&p0, &p1, &p2, &origin, &direction, &u, &v, &distance) &&
           distance < within;
}

// Whether the ray hits a triangle of the mesh within the given distance.
bool RayHitsMesh(MeshRecord* mesh, const VertexOffsetMap& map, const D3DXVECTOR3& origin,
                 const D3DXVECTOR3& direction, float within) {
    const auto* words = reinterpret_cast<const float*>(mesh->vertices);
    auto position = [&](std::uint32_t v) {
        const float* p = words + static_cast<std::size_t>(v) * map.StrideDwords;
        return D3DXVECTOR3(p[map.X], p[map.Y], p[map.Z]);
    };
    const bool indexed = mesh->indices && mesh->indexCount > 0;
    const std::int32_t corners = indexed ? mesh->indexCount : mesh->vertexCount;
    const auto vertices = static_cast<std::uint32_t>(mesh->vertexCount);
    for (std::int32_t t = 0; t + 2 < corners; t += 3) {
        std::uint32_t c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = indexed ? mesh->indices[t + k] : static_cast<std::uint32_t>(t + k);
        if (c[0] >= vertices || c[1] >= vertices || c[2] >= vertices) continue;
        if (TriangleHit(position(c[0]), position(c[1]), position(c[2]), origin, direction, within))
            return true;
    }
    return false;
}

// Compacts the first `count` indices into whole triangles: a triangle naming a vertex of the cut
// [firstVertex, endVertex), or none of the `vertices` at all, is left out; the others' indices
// past the cut move down by its length. A last partial triangle is kept or left out alike.
std::int32_t KeepWholeTriangles(std::uint16_t* indices, std::int32_t count,
                                std::int32_t firstVertex, std::int32_t endVertex,
                                std::int32_t vertices) {
    auto gone = [&](std::int32_t v) {
        return (v >= firstVertex && v < endVertex) || v >= vertices;
    };
    std::int32_t kept = 0;
    for (std::int32_t t = 0; t < count; t += 3) {
        const std::int32_t corners = std::min(3, count - t);
        bool whole = true;
        for (std::int32_t k = 0; k < corners; ++k)
            whole = whole && !gone(indices[t + k]);
        for (std::int32_t k = 0; whole && k < corners; ++k) {
            const std::int32_t v = indices[t + k];
            indices[kept++] =
                static_cast<std::uint16_t>(v >= endVertex ? v - (endVertex - firstVertex) : v);
        }
    }
    return kept;
}

} // namespace

void SetVertexPosition(MeshRecord* mesh, std::int32_t vertex, float x, float y, float z) {
    VertexOffsetMap map;
    if (float* p = VertexWords(mesh, vertex, map); p && map.Z) {
        p[map.X] = x;
        p[map.Y] = y;
        p[map.Z] = z;
    }
    MarkChanged(mesh);
}

void SetVertexNormal(MeshRecord* mesh, std::int32_t vertex, float nx, float ny, float nz) {
    VertexOffsetMap map;
    if (float* p = VertexWords(mesh, vertex, map); p && (mesh->fvf & D3DFVF_NORMAL) && map.NZ) {
        p[map.NX] = nx;
        p[map.NY] = ny;
        p[map.NZ] = nz;
    }
    MarkChanged(mesh);
}

void SetVertexDiffuse(MeshRecord* mesh, std::int32_t vertex, D3DCOLOR colour) {
    VertexOffsetMap map;
    if (float* p = VertexWords(mesh, vertex, map); p && (mesh->fvf & D3DFVF_DIFFUSE))
        std::memcpy(&p[map.Diffuse], &colour, 4);
    MarkChanged(mesh);
}

void SetVertexUV(MeshRecord* mesh, std::int32_t vertex, float u, float v) {
    VertexOffsetMap map;
    if (float* p = VertexWords(mesh, vertex, map); p && (mesh->fvf & 0x100)) {
        p[map.TexU[0]] = u;
        p[map.TexV[0]] = v;
    }
    MarkChanged(mesh);
}

float GetVertexPositionX(MeshRecord* mesh, std::int32_t vertex) {
    return ReadWord(mesh, vertex, &VertexOffsetMap::Z, &VertexOffsetMap::X);
}
float GetVertexPositionY(MeshRecord* mesh, std::int32_t vertex) {
    return ReadWord(mesh, vertex, &VertexOffsetMap::Z, &VertexOffsetMap::Y);
}
float GetVertexPositionZ(MeshRecord* mesh, std::int32_t vertex) {
    return ReadWord(mesh, vertex, &VertexOffsetMap::Z, &VertexOffsetMap::Z);
}
float GetVertexNormalX(MeshRecord* mesh, std::int32_t vertex) {
    return ReadWord(mesh, vertex, &VertexOffsetMap::NZ, &VertexOffsetMap::NX);
}
float GetVertexNormalY(MeshRecord* mesh, std::int32_t vertex) {
    return ReadWord(mesh, vertex, &VertexOffsetMap::NZ, &VertexOffsetMap::NY);
}
float GetVertexNormalZ(MeshRecord* mesh, std::int32_t vertex) {
    return ReadWord(mesh, vertex, &VertexOffsetMap::NZ, &VertexOffsetMap::NZ);
}

D3DCOLOR GetVertexDiffuse(MeshRecord* mesh, std::int32_t vertex) {
    VertexOffsetMap map;
    const float* p = VertexWords(mesh, vertex, map);
    D3DCOLOR colour = 0;
    if (p && map.Diffuse) std::memcpy(&colour, &p[map.Diffuse], 4);
    return colour;
}

float GetVertexUOfSet(MeshRecord* mesh, std::int32_t vertex, std::int32_t set) {
    VertexOffsetMap map;
    const float* p = set >= 0 && set < 8 ? VertexWords(mesh, vertex, map) : nullptr;
    return p && map.TexU[set] ? p[map.TexU[set]] : 0.0f;
}
float GetVertexVOfSet(MeshRecord* mesh, std::int32_t vertex, std::int32_t set) {
    VertexOffsetMap map;
    const float* p = set >= 0 && set < 8 ? VertexWords(mesh, vertex, map) : nullptr;
    return p && map.TexV[set] ? p[map.TexV[set]] : 0.0f;
}
float GetVertexU(MeshRecord* mesh, std::int32_t vertex) {
    return GetVertexUOfSet(mesh, vertex, 0);
}
float GetVertexV(MeshRecord* mesh, std::int32_t vertex) {
    return GetVertexVOfSet(mesh, vertex, 0);
}

std::int32_t GetMeshVertexCount(MeshRecord* mesh) {
    return mesh ? mesh->vertexCount : 0;
}
std::int32_t GetMeshIndexCount(MeshRecord* mesh) {
    return mesh ? mesh->indexCount : 0;
}

void SetMeshDiffuse(MeshRecord* mesh, D3DCOLOR colour) {
    if (!mesh) return;
    MarkChanged(mesh);
    VertexOffsetMap map;
    if (!(mesh->fvf & D3DFVF_DIFFUSE) || !VertexWords(mesh, 0, map)) return;
    for (std::int32_t v = 0; v < mesh->vertexCount; ++v)
        std::memcpy(&VertexWords(mesh, v, map)[map.Diffuse], &colour, 4);
}

void SetMeshColour(MeshRecord* mesh, float level) {
    if (!mesh) return;
    if (mesh->fvf & D3DFVF_DIFFUSE) {
        // Held to a byte: a level above 1 would spill into the neighbouring channels.
        const float scaled = level * 255.0f;
        const std::uint32_t b =
            scaled >= 255.0f ? 255u : (scaled > 0.0f ? static_cast<std::uint32_t>(scaled) : 0u);
        SetMeshDiffuse(mesh, (b << 24) | (b << 16) | (b << 8) | b);
        return;
    }
    mesh->materialOn = 1;
    mesh->material.Diffuse = {level, level, level, 1.0f};
    mesh->material.Ambient = {level, level, level, 1.0f};
    mesh->material.Specular = {0, 0, 0, 0};
    mesh->material.Emissive = {0, 0, 0, 0};
}

void ScrollMeshUV(MeshRecord* mesh, std::int32_t set, float du, float dv) {
    ForEachUV(mesh, set, [du, dv](float& u, float& v) {
        u += du;
        v += dv;
    });
}

void ScaleMeshUV(MeshRecord* mesh, std::int32_t set, float su, float sv) {
    ForEachUV(mesh, set, [su, sv](float& u, float& v) {
        u *= su;
        v *= sv;
    });
}

void ScrollMeshTextureUV(MeshRecord* mesh, float du, float dv) {
    ScrollMeshUV(mesh, 0, du, dv);
}

void ScaleMeshTextureUV(MeshRecord* mesh, float su, float sv) {
    ScaleMeshUV(mesh, 0, su, sv);
}

bool RecomputeMeshNormals(MeshRecord* mesh, MeshRecord* old) {
    VertexOffsetMap map;
    return !(mesh && GetMeshOffsetMap(mesh, &map) && map.Z && map.NZ) ||
           ComputeMeshNormals(mesh, old);
}

bool AppendMeshToMesh(MeshRecord* target, MeshRecord* source) {
    if (!target || !source) return false;
    // Both sides are copied first: the source is brought to the target's format without being
    // touched, and the target changes only once the joined arrays exist.
    MeshRecord targetCopy, sourceCopy;
    if (!SetupMeshFromTemplate(&targetCopy, target) ||
        !SetupMeshFromTemplate(&sourceCopy, source) || !MatchFormat(&sourceCopy, &targetCopy))
        return false;
    const std::int32_t vertices = targetCopy.vertexCount + sourceCopy.vertexCount;
    const std::int32_t indices = IndexCountOf(&targetCopy) + IndexCountOf(&sourceCopy);
    if (vertices > kMostVertices || targetCopy.vertexSize == 0) return false;
    const std::size_t stride = targetCopy.vertexSize;
    auto* vertexData = new (std::nothrow) std::uint8_t[stride * (vertices > 0 ? vertices : 1)];
    auto* indexData = new (std::nothrow) std::uint16_t[indices > 0 ? indices : 1];
    if (!vertexData || !indexData) {
        delete[] vertexData;
        delete[] indexData;
        return false;
    }
    const std::size_t firstBytes = stride * static_cast<std::size_t>(targetCopy.vertexCount);
    if (targetCopy.vertices) std::memcpy(vertexData, targetCopy.vertices, firstBytes);
    if (sourceCopy.vertices)
        std::memcpy(vertexData + firstBytes, sourceCopy.vertices,
                    stride * static_cast<std::size_t>(sourceCopy.vertexCount));
    CopyIndices(indexData, &targetCopy, 0);
    CopyIndices(indexData + IndexCountOf(&targetCopy), &sourceCopy,
                static_cast<std::uint16_t>(targetCopy.vertexCount));

    delete[] std::exchange(target->vertices, vertexData);
    delete[] std::exchange(target->indices, indexData);
    delete[] std::exchange(target->backupVertices, nullptr); // the old pose no longer fits
    target->vertexCount = vertices;
    target->indexCount = indices;
    target->drawVertexCount = vertices;
    target->drawPrimitiveCount = indices / 3;
    target->needsRebuild = 1;
    return true;
}

bool RemoveMeshRange(MeshRecord* mesh, std::int32_t firstVertex, std::int32_t endVertex,
                     std::int32_t firstIndex, std::int32_t endIndex) {
    if (!mesh || firstVertex < 0 || firstIndex < 0 || firstVertex > endVertex ||
        firstIndex > endIndex || endVertex > mesh->vertexCount || endIndex > mesh->indexCount)
        return false;
    const std::int32_t vertices = mesh->vertexCount - endVertex + firstVertex;
    const std::int32_t indices = mesh->indexCount - endIndex + firstIndex;
    const std::size_t stride = mesh->vertexSize;
    auto* vertexData = new (std::nothrow) std::uint8_t[stride * (vertices > 0 ? vertices : 1)];
    auto* indexData = indices > 0 ? new (std::nothrow) std::uint16_t[indices] : nullptr;
    if (!vertexData || (indices > 0 && !indexData)) {
        delete[] vertexData;
        delete[] indexData;
        return false;
    }
    if (mesh->vertices) {
        std::memcpy(vertexData, mesh->vertices, stride * static_cast<std::size_t>(firstVertex));
        std::memcpy(vertexData + stride * firstVertex, mesh->vertices + stride * endVertex,
                    stride * static_cast<std::size_t>(mesh->vertexCount - endVertex));
    }
    std::int32_t kept = 0;
    for (std::int32_t i = 0; mesh->indices && i < mesh->indexCount; ++i)
        if (i < firstIndex || i >= endIndex) indexData[kept++] = mesh->indices[i];
    // No index may name a vertex that went or reach past those left.
    kept = KeepWholeTriangles(indexData, kept, firstVertex, endVertex, mesh->vertexCount);
    if (kept == 0) delete[] std::exchange(indexData, nullptr);
    delete[] std::exchange(mesh->vertices, vertexData);
    delete[] std::exchange(mesh->indices, indexData);
    delete[] std::exchange(mesh->backupVertices, nullptr);
    mesh->vertexCount = vertices;
    mesh->indexCount = kept;
    mesh->drawVertexCount = vertices;
    mesh->drawPrimitiveCount = kept / 3;
    mesh->needsRebuild = 1;
    return true;
}

bool IsPointInMeshBounds(MeshRecord* mesh, float x1, float y1, float z1, float x2, float y2,
                         float z2) {
    if (!mesh) return false;
    const D3DXVECTOR3& low = mesh->bounds.minimum;
    const D3DXVECTOR3& high = mesh->bounds.maximum;
    return x1 >= low.x && y1 >= low.y && z1 >= low.z && x2 <= high.x && y2 <= high.y &&
           z2 <= high.z && SampleMeshGrid(mesh, 10, 10, 10) > 0;
}

std::int32_t SampleMeshGrid(MeshRecord* mesh, std::int32_t nx, std::int32_t ny, std::int32_t nz) {
    if (nx > kMostGridSteps || ny > kMostGridSteps || nz > kMostGridSteps) return 0;
    VertexOffsetMap map;
    if (!mesh || !VertexWords(mesh, 0, map) || !map.Z) return 0;
    const std::int32_t counts[3] = {std::max(nx, kFewestGridSteps), std::max(ny, kFewestGridSteps),
                                    std::max(nz, kFewestGridSteps)};
    const float low[3] = {mesh->bounds.minimum.x, mesh->bounds.minimum.y, mesh->bounds.minimum.z};
    const float high[3] = {mesh->bounds.maximum.x, mesh->bounds.maximum.y, mesh->bounds.maximum.z};
    float extent[3], step[3], inset[3];
    for (int a = 0; a < 3; ++a)
        extent[a] = high[a] - low[a];
    // Rays run along the thinnest axis.
    int axis = extent[1] < extent[0] ? 1 : 0;
    if (extent[2] < extent[axis]) axis = 2;
    for (int a = 0; a < 3; ++a)
        step[a] = inset[a] = extent[a] / static_cast<float>(counts[a]);
    inset[axis] = 0;
    step[axis] = extent[axis] * 1.01f;
    for (float& s : step)
        s = std::max(s, 1.0f);
    D3DXVECTOR3 direction(0, 0, 0);
    direction[axis] = 1;
    const float within = 2 * extent[axis] + 12.5f;

    // Sample positions by count, not by adding steps: far from the origin a float plus a small
    // step can equal itself, and the walk would never end.
    std::int32_t samples[3];
    for (int a = 0; a < 3; ++a) {
        const float span = (high[a] - inset[a]) - (low[a] + inset[a]);
        samples[a] = span > 0 ? static_cast<std::int32_t>(
                                    std::min(std::ceil(span / step[a]), float(kMostGridSteps + 1)))
                              : 0;
    }
    std::int32_t total = 0, hits = 0;
    for (std::int32_t i = 0; i < samples[0]; ++i) {
        for (std::int32_t j = 0; j < samples[1]; ++j) {
            for (std::int32_t k = 0; k < samples[2]; ++k) {
                D3DXVECTOR3 origin(low[0] + inset[0] + static_cast<float>(i) * step[0],
                                   low[1] + inset[1] + static_cast<float>(j) * step[1],
                                   low[2] + inset[2] + static_cast<float>(k) * step[2]);
                origin[axis] = low[axis] - 2 * extent[axis];
                ++total;
                if (RayHitsMesh(mesh, map, origin, direction, within)) ++hits;
            }
        }
    }
    // More than 95 percent: a grid of fewer than 20 samples that all hit counts as solid too.
    if (hits > 0 && std::int64_t{hits} * 20 > std::int64_t{total} * 19) return 2;
    return hits > 0 ? 1 : 0;
}
