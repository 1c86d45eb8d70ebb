#include "core/win32.h"

#include "object3d/geometry.h"
#include "object3d/object_records.h"
#include "object3d/object_world.h"
#include "object3d/vertex_layout.h"
#include "core/core.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::int32_t kObjectNotMade = 7002;
constexpr std::int32_t kMeshTooLarge = 7029;
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

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

} // namespace

bool MakeMeshBox(std::int32_t setUp, MeshRecord* mesh, float x1, float y1, float z1, float x2,
                 float y2, float z2, std::uint32_t fvf, D3DCOLOR diffuse) {
    if (!mesh) return false;
    if (setUp && !SetupMeshFVFData(mesh, fvf, 24, 36)) {
        RaiseRuntimeError(kObjectNotMade);
        return false;
    }
    if (!mesh->vertices || !mesh->indices || mesh->vertexCount < 24 || mesh->indexCount < 36)
        return false;
    const float xs[2] = {x1, x2}, ys[2] = {y1, y2}, zs[2] = {z1, z2};
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (int f = 0; f < 6; ++f) {
        for (int k = 0; k < 4; ++k) {
            const int* c = kFaceCorners[f][k];
            SetMeshVertexData(mesh, words, 4 * f + k, xs[c[0]], ys[c[1]], zs[c[2]],
                              kFaceNormals[f][0], kFaceNormals[f][1], kFaceNormals[f][2], diffuse,
                              kFaceUVs[f][k][0], kFaceUVs[f][k][1]);
        }
        const auto b = static_cast<std::uint16_t>(4 * f);
        const std::uint16_t face[6] = {b,
                                       std::uint16_t(b + 1),
                                       std::uint16_t(b + 2),
                                       std::uint16_t(b + 2),
                                       std::uint16_t(b + 3),
                                       b};
        std::copy(face, face + 6, mesh->indices + 6 * f);
    }
    mesh->primitiveType = D3DPT_TRIANGLELIST;
    mesh->drawVertexCount = 24;
    mesh->drawPrimitiveCount = 12;
    return true;
}

bool MakeMeshSphere(std::int32_t setUp, MeshRecord* mesh, float cx, float cy, float cz,
                    float radius, std::int32_t rings, std::int32_t segments, std::uint32_t fvf,
                    D3DCOLOR diffuse) {
    if (!mesh || rings < 1 || segments < 1) return false;
    const std::int64_t vertices = static_cast<std::int64_t>(rings + 1) * (segments + 1);
    const std::int64_t indices = static_cast<std::int64_t>(segments + 1) * rings * 2;
    if (setUp && (vertices > 0xFFFF || indices > 0xFFFF ||
                  !SetupMeshFVFData(mesh, fvf, static_cast<std::int32_t>(vertices),
                                    static_cast<std::int32_t>(indices)))) {
        RaiseRuntimeError(kMeshTooLarge);
        return false;
    }
    if (!mesh->vertices || !mesh->indices || mesh->vertexCount < vertices ||
        mesh->indexCount < indices)
        return false;
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    std::int32_t v = 0, i = 0;
    for (std::int32_t r = 0; r <= rings; ++r) {
        const float phi = static_cast<float>(r) * (kPi / static_cast<float>(rings));
        for (std::int32_t k = 0; k <= segments; ++k, ++v) {
            const float theta = static_cast<float>(k) * (kTwoPi / static_cast<float>(segments));
            D3DXVECTOR3 d(std::sin(theta) * std::sin(phi), std::cos(phi),
                          std::cos(theta) * std::sin(phi));
            D3DXVECTOR3 n;
            D3DXVec3Normalize(&n, &d);
            SetMeshVertexData(mesh, words, v, cx + d.x * radius, cy + d.y * radius,
                              cz + d.z * radius, n.x, n.y, n.z, diffuse,
                              1.0f - static_cast<float>(k) / segments,
                              static_cast<float>(r) / rings);
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

// Stand-in until the geometry builders are built: the template's copy through its format, with
// positions and normals turned by the matrix.
bool MakeMeshFromFormat(MeshRecord* mesh, const MeshRecord* source, const D3DXMATRIX* matrix) {
    if (!mesh || !source || !source->vertices || source->vertexCount <= 0 ||
        !SetupMeshFromTemplate(mesh, source))
        return false;
    D3DXMATRIX m = matrix ? *matrix : kIdentityMatrix;
    m._41 = m._42 = m._43 = 0;
    VertexOffsetMap map;
    GetMeshOffsetMap(mesh, &map);
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (std::int32_t i = 0; i < mesh->vertexCount; ++i) {
        float* v = words + static_cast<std::size_t>(i) * map.StrideDwords;
        if (map.Z) {
            auto* p = reinterpret_cast<D3DXVECTOR3*>(v + map.X);
            D3DXVec3TransformCoord(p, p, &m);
        }
        if (map.NZ) {
            auto* n = reinterpret_cast<D3DXVECTOR3*>(v + map.NX);
            D3DXVec3TransformNormal(n, n, &m);
            D3DXVec3Normalize(n, n);
        }
    }
    CalculateMeshBounds(mesh);
    return true;
}
