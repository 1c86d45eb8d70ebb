#include "core/win32.h"

#include "csg/csg_meshes.h"
#include "object3d/vertex_layout.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

namespace {

constexpr std::uint32_t kFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};

BspVector PositionOf(const MeshRecord& mesh, std::uint32_t v) {
    BspVector p;
    std::memcpy(&p, mesh.vertices + std::size_t(v) * mesh.vertexSize, sizeof p);
    return p;
}

} // namespace

void BoxMesh(MeshRecord& mesh, const BspVector& l, const BspVector& h, bool indexed) {
    ASSERT_TRUE(
        FillBoxMesh(&mesh, D3DXVECTOR3(l.x, l.y, l.z), D3DXVECTOR3(h.x, h.y, h.z), indexed));
}

void StripBoxMesh(MeshRecord& mesh, const BspVector& low, const BspVector& high) {
    MeshRecord box;
    BoxMesh(box, low, high);
    const auto* corners = reinterpret_cast<const Vertex*>(box.vertices);
    std::vector<Vertex> strip;
    for (int f = 0; f < 6; ++f) {
        const Vertex* c = corners + 4 * f;
        // Two repeats join the faces and keep every face's triangles wound as before.
        if (f > 0) strip.insert(strip.end(), {strip.back(), c[0]});
        strip.insert(strip.end(), {c[0], c[1], c[3], c[2]});
    }
    ASSERT_TRUE(SetMeshFromRawVertices(&mesh, kFormat, sizeof(Vertex), strip.data(),
                                       static_cast<std::int32_t>(strip.size()),
                                       D3DPT_TRIANGLESTRIP));
    mesh.drawPrimitiveCount = mesh.vertexCount - 2;
}

void GridMesh(MeshRecord& mesh, int n) {
    ASSERT_TRUE(SetupMeshFVFData(&mesh, kFormat, (n + 1) * (n + 1), 6 * n * n));
    auto* v = reinterpret_cast<Vertex*>(mesh.vertices);
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            v[y * (n + 1) + x] = {float(x), float(y), 0, 0, 0, 1, 0, 0};
    std::uint16_t* i = mesh.indices;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const auto a = std::uint16_t(y * (n + 1) + x), b = std::uint16_t(a + 1),
                       c = std::uint16_t(a + n + 1), d = std::uint16_t(c + 1);
            for (std::uint16_t k : {a, b, d, a, d, c})
                *i++ = k;
        }
    mesh.primitiveType = D3DPT_TRIANGLELIST;
    mesh.drawVertexCount = mesh.vertexCount;
    mesh.drawPrimitiveCount = 2 * n * n;
}

void MarkU(MeshRecord& mesh, float u) {
    for (std::int32_t v = 0; v < mesh.vertexCount; ++v)
        std::memcpy(mesh.vertices + std::size_t(v) * mesh.vertexSize + 24, &u, sizeof u);
}

std::vector<Triangle> Triangles(const MeshRecord& mesh) {
    std::vector<Triangle> out;
    const bool indexed = mesh.indices && mesh.indexCount > 0;
    const std::int32_t n = indexed ? mesh.indexCount : mesh.vertexCount;
    for (std::int32_t t = 0; t + 2 < n; t += 3) {
        Triangle tri;
        for (int k = 0; k < 3; ++k)
            tri[k] = PositionOf(mesh, indexed ? mesh.indices[t + k] : std::uint32_t(t + k));
        out.push_back(tri);
    }
    return out;
}

double SignedVolume(const MeshRecord& mesh) {
    double volume = 0;
    for (const Triangle& t : Triangles(mesh)) {
        const double a[3] = {t[0].x, t[0].y, t[0].z}, b[3] = {t[1].x, t[1].y, t[1].z},
                     c[3] = {t[2].x, t[2].y, t[2].z};
        volume += a[0] * (b[1] * c[2] - b[2] * c[1]) + a[1] * (b[2] * c[0] - b[0] * c[2]) +
                  a[2] * (b[0] * c[1] - b[1] * c[0]);
    }
    return volume / 6.0;
}

bool HasRepeatedTriangle(const MeshRecord& mesh) {
    std::map<std::array<float, 9>, int> seen;
    for (const Triangle& t : Triangles(mesh)) {
        // The rotation that starts at the smallest corner names the triangle.
        int first = 0;
        for (int k = 1; k < 3; ++k)
            if (std::make_tuple(t[k].x, t[k].y, t[k].z) <
                std::make_tuple(t[first].x, t[first].y, t[first].z))
                first = k;
        std::array<float, 9> key;
        for (int k = 0; k < 3; ++k) {
            const BspVector& p = t[(first + k) % 3];
            key[3 * k] = p.x;
            key[3 * k + 1] = p.y;
            key[3 * k + 2] = p.z;
        }
        if (++seen[key] > 1) return true;
    }
    return false;
}

std::vector<std::uint8_t> VertexBytes(const MeshRecord& mesh) {
    return std::vector<std::uint8_t>(mesh.vertices, mesh.vertices + std::size_t(mesh.vertexCount) *
                                                                        mesh.vertexSize);
}

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}
