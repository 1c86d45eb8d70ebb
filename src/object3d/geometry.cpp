#include "core/win32.h"

#include "object3d/geometry.h"
#include "object3d/object_records.h"
#include "object3d/object_world.h"
#include "object3d/vertex_layout.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr std::int64_t kLargest16BitCount = 0xFFFF;
constexpr std::uint32_t kPlaneFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1; // 0x112
constexpr D3DCOLOR kWhite = 0xFFFFFFFF;
// Smoothing looks at no more than this many vertices sharing a position.
constexpr std::size_t kMostSharers = 32;

// Corners of the six faces (front, back, top, bottom, right, left) as picks of the box's two
// corners for x, y and z (0 low, 1 high), with each face's normal and the uv of each corner.
constexpr int kFaceCorners[6][4][3] = {
    {{0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 0, 0}}, {{0, 1, 1}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}},
    {{0, 1, 1}, {1, 1, 1}, {1, 1, 0}, {0, 1, 0}}, {{0, 0, 1}, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}},
    {{1, 1, 0}, {1, 1, 1}, {1, 0, 1}, {1, 0, 0}}, {{0, 1, 0}, {0, 0, 0}, {0, 0, 1}, {0, 1, 1}}};
constexpr float kFaceNormals[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, 1, 0},
                                      {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}};
constexpr float kFaceUVs[6][4][2] = {
    {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{1, 0}, {1, 1}, {0, 1}, {0, 0}},
    {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{0, 1}, {0, 0}, {1, 0}, {1, 1}},
    {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{1, 0}, {1, 1}, {0, 1}, {0, 0}}};

// A plane corner: signs of the half width and height, and its uv.
struct PlaneCorner {
    float x, y, u, v;
};
// Both planes are wound clockwise as seen from the side their normal points to, the side the
// device draws when culling is on.
constexpr PlaneCorner kPositivePlane[6] = {{-1, 1, 1, 0}, {-1, -1, 1, 1}, {1, 1, 0, 0},
                                           {1, 1, 0, 0},  {-1, -1, 1, 1}, {1, -1, 0, 1}};
constexpr PlaneCorner kNegativePlane[6] = {{-1, 1, 0, 0}, {1, 1, 1, 0},   {1, -1, 1, 1},
                                           {1, -1, 1, 1}, {-1, -1, 0, 1}, {-1, 1, 0, 0}};

float* Words(MeshRecord* mesh) {
    return reinterpret_cast<float*>(mesh->vertices);
}

// One face of a box-like mesh: four corners at vertex v, its two triangles at index i.
void WriteFace(MeshRecord* mesh, int face, const D3DXVECTOR3 (&corners)[4], D3DCOLOR diffuse,
               std::int32_t v, std::int32_t i) {
    const float* n = kFaceNormals[face];
    for (int k = 0; k < 4; ++k)
        SetMeshVertexData(mesh, Words(mesh), v + k, corners[k].x, corners[k].y, corners[k].z, n[0],
                          n[1], n[2], diffuse, kFaceUVs[face][k][0], kFaceUVs[face][k][1]);
    const auto b = static_cast<std::uint16_t>(v);
    const std::uint16_t indices[6] = {
        b, std::uint16_t(b + 1), std::uint16_t(b + 2), std::uint16_t(b + 2), std::uint16_t(b + 3),
        b};
    std::copy(indices, indices + 6, mesh->indices + i);
}

// The corners of a box face picked from the two corners.
void BoxFaceCorners(int face, const float (&xs)[2], const float (&ys)[2], const float (&zs)[2],
                    D3DXVECTOR3 (&corners)[4]) {
    for (int k = 0; k < 4; ++k) {
        const int* c = kFaceCorners[face][k];
        corners[k] = D3DXVECTOR3(xs[c[0]], ys[c[1]], zs[c[2]]);
    }
}

// Set up (or checked to hold) 24 vertices and 36 indices; raises 7002 when the set-up fails.
bool PrepareBoxArrays(std::int32_t setUp, MeshRecord* mesh, std::uint32_t fvf) {
    if (!mesh) return false;
    if (setUp && !SetupMeshFVFData(mesh, fvf, 24, 36)) {
        RaiseRuntimeError(kObjectNotMade);
        return false;
    }
    return mesh->vertices && mesh->indices && mesh->vertexCount >= 24 && mesh->indexCount >= 36;
}

void FinishList(MeshRecord* mesh, std::int32_t vertices, std::int32_t primitives) {
    mesh->primitiveType = D3DPT_TRIANGLELIST;
    mesh->drawVertexCount = vertices;
    mesh->drawPrimitiveCount = primitives;
}

bool MakePlane(MeshRecord* mesh, float w, float h, const PlaneCorner (&corners)[6], float nz) {
    if (!mesh) return false;
    if (!SetupMeshFVFData(mesh, kPlaneFormat, 6, 0)) {
        RaiseRuntimeError(kObjectNotMade);
        return false;
    }
    for (int k = 0; k < 6; ++k)
        SetMeshVertexData(mesh, Words(mesh), k, corners[k].x * w, corners[k].y * h, 0, 0, 0, nz,
                          kWhite, corners[k].u, corners[k].v);
    FinishList(mesh, 6, 2);
    return true;
}

} // namespace

bool MakeMeshPlaneFacingPositiveZ(MeshRecord* mesh, float w, float h) {
    return MakePlane(mesh, w, h, kPositivePlane, 1.0f);
}

bool MakeMeshPlaneFacingNegativeZ(MeshRecord* mesh, float w, float h) {
    return MakePlane(mesh, w, h, kNegativePlane, -1.0f);
}

bool MakeMeshBox(std::int32_t setUp, MeshRecord* mesh, float x1, float y1, float z1, float x2,
                 float y2, float z2, std::uint32_t fvf, D3DCOLOR diffuse) {
    if (!PrepareBoxArrays(setUp, mesh, fvf)) return false;
    const float xs[2] = {x1, x2}, ys[2] = {y1, y2}, zs[2] = {z1, z2};
    for (int f = 0; f < 6; ++f) {
        D3DXVECTOR3 corners[4];
        BoxFaceCorners(f, xs, ys, zs, corners);
        WriteFace(mesh, f, corners, diffuse, 4 * f, 6 * f);
    }
    FinishList(mesh, 24, 12);
    return true;
}

bool MakeMeshPyramid(std::int32_t setUp, MeshRecord* mesh, float s, std::uint32_t fvf,
                     D3DCOLOR diffuse) {
    if (!PrepareBoxArrays(setUp, mesh, fvf)) return false;
    const float xs[2] = {-s, s}, ys[2] = {-s, s}, zs[2] = {-s, s};
    for (int f = 0; f < 6; ++f) {
        D3DXVECTOR3 corners[4];
        BoxFaceCorners(f, xs, ys, zs, corners);
        // Every upper corner of the box is drawn into the apex.
        for (int k = 0; k < 4; ++k)
            if (kFaceCorners[f][k][1] == 1) corners[k] = D3DXVECTOR3(0, s, 0);
        WriteFace(mesh, f, corners, diffuse, 4 * f, 6 * f);
    }
    FinishList(mesh, 24, 12);
    return true;
}

bool MakeMeshSphere(std::int32_t setUp, MeshRecord* mesh, float cx, float cy, float cz,
                    float radius, std::int32_t rings, std::int32_t segments, std::uint32_t fvf,
                    D3DCOLOR diffuse) {
    if (!mesh) return false;
    // No ring divides by zero; fewer than three segments enclose nothing.
    const std::int64_t vertices = (static_cast<std::int64_t>(rings) + 1) * (segments + 1LL);
    const std::int64_t indices = (segments + 1LL) * rings * 2;
    if (rings < 1 || segments < 3 || vertices > kLargest16BitCount ||
        indices > kLargest16BitCount ||
        (setUp && !SetupMeshFVFData(mesh, fvf, static_cast<std::int32_t>(vertices),
                                    static_cast<std::int32_t>(indices)))) {
        RaiseRuntimeError(kMeshTooLarge);
        return false;
    }
    if (!mesh->vertices || !mesh->indices || mesh->vertexCount < vertices ||
        mesh->indexCount < indices)
        return false;
    std::int32_t v = 0, i = 0;
    for (std::int32_t r = 0; r <= rings; ++r) {
        const float phi = static_cast<float>(r) * (kPi / static_cast<float>(rings));
        for (std::int32_t k = 0; k <= segments; ++k, ++v) {
            const float theta = static_cast<float>(k) * (kTwoPi / static_cast<float>(segments));
            D3DXVECTOR3 d(std::sin(theta) * std::sin(phi), std::cos(phi),
                          std::cos(theta) * std::sin(phi));
            D3DXVECTOR3 n;
            D3DXVec3Normalize(&n, &d);
            SetMeshVertexData(mesh, Words(mesh), v, cx + d.x * radius, cy + d.y * radius,
                              cz + d.z * radius, n.x, n.y, n.z, diffuse,
                              1.0f - static_cast<float>(k) / static_cast<float>(segments),
                              static_cast<float>(r) / static_cast<float>(rings));
            if (r < rings) {
                mesh->indices[i++] = static_cast<std::uint16_t>(v);
                mesh->indices[i++] = static_cast<std::uint16_t>(v + segments + 1);
            }
        }
    }
    mesh->primitiveType = D3DPT_TRIANGLESTRIP;
    mesh->drawVertexCount = static_cast<std::int32_t>(vertices);
    mesh->drawPrimitiveCount = static_cast<std::int32_t>(indices) - 2;
    return true;
}

bool BuildBoxFaces(MeshRecord* mesh, std::int32_t* vertexCursor, std::int32_t* indexCursor,
                   float x1, float y1, float z1, float x2, float y2, float z2, D3DCOLOR diffuse,
                   bool left, bool right, bool bottom, bool top, bool back, bool front) {
    if (!mesh || !vertexCursor || !indexCursor || !mesh->vertices) return false;
    const bool enabled[6] = {front, back, top, bottom, right, left}; // the table's face order
    const auto faces = static_cast<std::int64_t>(std::count(enabled, enabled + 6, true));
    const std::int64_t vertexEnd = static_cast<std::int64_t>(*vertexCursor) + 4 * faces;
    const std::int64_t indexEnd = static_cast<std::int64_t>(*indexCursor) + 6 * faces;
    if (*vertexCursor < 0 || *indexCursor < 0 || vertexEnd > mesh->vertexCount ||
        indexEnd > mesh->indexCount || vertexEnd > kLargest16BitCount + 1 ||
        (faces > 0 && !mesh->indices))
        return false;
    const float xs[2] = {x1, x2}, ys[2] = {y1, y2}, zs[2] = {z1, z2};
    for (int f = 0; f < 6; ++f) {
        if (!enabled[f]) continue;
        D3DXVECTOR3 corners[4];
        BoxFaceCorners(f, xs, ys, zs, corners);
        WriteFace(mesh, f, corners, diffuse, *vertexCursor, *indexCursor);
        *vertexCursor += 4;
        *indexCursor += 6;
    }
    return true;
}

bool MakeMeshFromData(MeshRecord* mesh, const MeshRecord* source, const D3DXMATRIX* matrix,
                      std::int32_t indexCount, std::int32_t vertexCount) {
    if (!mesh || !source || !source->vertices || source->vertexCount <= 0 ||
        !SetupMeshFromFormat(mesh, source, indexCount, vertexCount))
        return false;
    // Room beyond the template's own data starts cleared rather than as whatever memory held.
    const std::size_t stride = mesh->vertexSize;
    std::memset(mesh->vertices + stride * source->vertexCount, 0,
                stride * static_cast<std::size_t>(mesh->vertexCount - source->vertexCount));
    if (mesh->indices && source->indexCount < mesh->indexCount)
        std::fill(mesh->indices + std::max(source->indexCount, 0), mesh->indices + mesh->indexCount,
                  std::uint16_t(0));
    // Only turning and scaling: a copy keeps its place.
    D3DXMATRIX m = matrix ? *matrix : kIdentityMatrix;
    m._41 = m._42 = m._43 = 0;
    VertexOffsetMap map;
    GetMeshOffsetMap(mesh, &map);
    for (std::int32_t i = 0; i < source->vertexCount; ++i) {
        float* v = Words(mesh) + static_cast<std::size_t>(i) * map.StrideDwords;
        if (map.Z) {
            const D3DXVECTOR3 p = ReadTriple(v, map.X, map.Y, map.Z);
            D3DXVECTOR3 out;
            D3DXVec3TransformCoord(&out, &p, &m);
            WriteTriple(v, map.X, map.Y, map.Z, out);
        }
        if (map.NZ) {
            const D3DXVECTOR3 n = ReadTriple(v, map.NX, map.NY, map.NZ);
            D3DXVECTOR3 turned, out;
            D3DXVec3TransformNormal(&turned, &n, &m);
            D3DXVec3Normalize(&out, &turned);
            WriteTriple(v, map.NX, map.NY, map.NZ, out);
        }
    }
    CalculateMeshBounds(mesh);
    return true;
}

bool MakeMeshFromFormat(MeshRecord* mesh, const MeshRecord* source, const D3DXMATRIX* matrix) {
    return source &&
           MakeMeshFromData(mesh, source, matrix, source->indexCount, source->vertexCount);
}

bool SmoothedNormals(MeshRecord* mesh, float threshold, std::vector<D3DXVECTOR3>& smoothed) {
    VertexOffsetMap map;
    if (!mesh || !mesh->vertices || !GetMeshOffsetMap(mesh, &map) || !map.Z || !map.NZ)
        return false;
    const std::int32_t count = mesh->vertexCount;
    std::vector<D3DXVECTOR3> positions(count), normals(count);
    std::vector<std::int32_t> order;
    order.reserve(count);
    smoothed.resize(count);
    for (std::int32_t i = 0; i < count; ++i) {
        const float* v = Words(mesh) + static_cast<std::size_t>(i) * map.StrideDwords;
        // + 0.0f makes -0 and 0 one key, as they compare equal.
        positions[i] = ReadTriple(v, map.X, map.Y, map.Z) + D3DXVECTOR3(0, 0, 0);
        smoothed[i] = normals[i] = ReadTriple(v, map.NX, map.NY, map.NZ);
        // A position that is not a number equals no other.
        if (positions[i] == positions[i]) order.push_back(i);
    }
    auto key = [&positions](std::int32_t i) {
        return std::make_tuple(positions[i].x, positions[i].y, positions[i].z, i);
    };
    std::sort(order.begin(), order.end(),
              [&key](std::int32_t a, std::int32_t b) { return key(a) < key(b); });
    for (std::size_t first = 0, last; first < order.size(); first = last) {
        // order[first, last) share one position, in vertex order.
        for (last = first + 1;
             last < order.size() && positions[order[last]] == positions[order[first]]; ++last) {
        }
        for (std::size_t a = first; a < last; ++a) {
            const std::int32_t own = order[a];
            D3DXVECTOR3 sum = normals[own];
            float summed = 1;
            for (std::size_t b = first, seen = 0; b < last && seen < kMostSharers; ++b) {
                if (b == a) continue;
                ++seen;
                const D3DXVECTOR3 d = normals[order[b]] - normals[own];
                const float difference =
                    (std::fabs(d.x) + std::fabs(d.y) + std::fabs(d.z)) * 0.33333334f;
                if (difference <= threshold) sum += normals[order[b]], ++summed;
            }
            smoothed[own] = sum / summed;
        }
    }
    return true;
}

void WriteMeshNormals(MeshRecord* mesh, const std::vector<D3DXVECTOR3>& normals) {
    VertexOffsetMap map;
    if (!mesh || !mesh->vertices || !GetMeshOffsetMap(mesh, &map) || !map.NZ) return;
    const std::size_t count = std::min(normals.size(), static_cast<std::size_t>(mesh->vertexCount));
    for (std::size_t i = 0; i < count; ++i)
        WriteTriple(Words(mesh) + i * map.StrideDwords, map.NX, map.NY, map.NZ, normals[i]);
    mesh->verticesChanged = 1;
}

bool SmoothMeshNormals(MeshRecord* mesh, float threshold) {
    std::vector<D3DXVECTOR3> normals;
    if (!SmoothedNormals(mesh, threshold, normals)) return false;
    WriteMeshNormals(mesh, normals);
    return true;
}
