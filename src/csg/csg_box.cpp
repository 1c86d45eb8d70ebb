// Removing the triangles of a mesh that lie inside another mesh's box.
#include "core/win32.h"

#include "csg/csg_mesh.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"
#include "object3d/vertex_editing.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <new>
#include <vector>

namespace {

// A cutter of more triangles than this must be solid to a grid of rays.
constexpr std::size_t kFewTriangles = 12;
constexpr float kGrowth = 0.1f;

struct Box {
    D3DXVECTOR3 low, high;
};

bool operator==(const Box& a, const Box& b) {
    return a.low == b.low && a.high == b.high;
}

// The world box around a mesh box placed by the matrix: all eight corners, so that a turned
// mesh keeps its extent.
Box PlaceBox(const CollisionBlock& bounds, const D3DXMATRIX& m) {
    Box box{{FLT_MAX, FLT_MAX, FLT_MAX}, {-FLT_MAX, -FLT_MAX, -FLT_MAX}};
    for (int corner = 0; corner < 8; ++corner) {
        const D3DXVECTOR3 local(corner & 1 ? bounds.maximum.x : bounds.minimum.x,
                                corner & 2 ? bounds.maximum.y : bounds.minimum.y,
                                corner & 4 ? bounds.maximum.z : bounds.minimum.z);
        D3DXVECTOR3 p;
        D3DXVec3TransformCoord(&p, &local, &m);
        for (int a = 0; a < 3; ++a) {
            box.low[a] = std::min(box.low[a], p[a]);
            box.high[a] = std::max(box.high[a], p[a]);
        }
    }
    return box;
}

bool Overlap(const Box& a, const Box& b) {
    for (int axis = 0; axis < 3; ++axis)
        if (a.high[axis] < b.low[axis] || a.low[axis] > b.high[axis]) return false;
    return true;
}

// The corner numbers of each triangle in the order the mesh draws them (as a strip or fan
// becomes a list); corners that name no vertex are kept as they are.
std::vector<std::uint32_t> TriangleCorners(const MeshRecord& mesh) {
    const bool indexed = mesh.indices && mesh.indexCount > 0;
    const std::int32_t n = indexed ? mesh.indexCount : mesh.vertexCount;
    auto corner = [&](std::int32_t k) {
        return indexed ? std::uint32_t{mesh.indices[k]} : static_cast<std::uint32_t>(k);
    };
    std::vector<std::uint32_t> corners;
    if (mesh.primitiveType == D3DPT_TRIANGLELIST) {
        for (std::int32_t k = 0; k + 2 < n; k += 3)
            corners.insert(corners.end(), {corner(k), corner(k + 1), corner(k + 2)});
        return corners;
    }
    const bool strip = mesh.primitiveType == D3DPT_TRIANGLESTRIP;
    if (!strip && mesh.primitiveType != D3DPT_TRIANGLEFAN) return corners;
    for (std::int32_t k = 2; k < n; ++k) {
        const std::uint32_t a = corner(strip ? k - 2 : 0), b = corner(k - 1);
        const bool swap = strip && (k & 1);
        corners.insert(corners.end(), {swap ? b : a, swap ? a : b, corner(k)});
    }
    return corners;
}

// Which triangles have all three corners inside the box, in the box's space.
std::vector<bool> TrianglesInside(MeshRecord* mesh, const std::vector<std::uint32_t>& corners,
                                  const D3DXMATRIX& toBox, const Box& box) {
    VertexOffsetMap map;
    std::vector<bool> inside(corners.size() / 3, false);
    if (!mesh->vertices || !GetMeshOffsetMap(mesh, &map) || !map.Z || map.StrideDwords == 0)
        return inside;
    const auto* words = reinterpret_cast<const float*>(mesh->vertices);
    auto within = [&](std::uint32_t v) {
        if (v >= static_cast<std::uint32_t>(mesh->vertexCount)) return false;
        const float* w = words + std::size_t(v) * map.StrideDwords;
        const D3DXVECTOR3 local(w[map.X], w[map.Y], w[map.Z]);
        D3DXVECTOR3 p;
        D3DXVec3TransformCoord(&p, &local, &toBox);
        for (int a = 0; a < 3; ++a)
            if (!(box.low[a] <= p[a] && p[a] <= box.high[a])) return false;
        return true;
    };
    for (std::size_t t = 0; t < inside.size(); ++t)
        inside[t] =
            within(corners[3 * t]) && within(corners[3 * t + 1]) && within(corners[3 * t + 2]);
    return inside;
}

// Keeps the triangles not inside, in order: an index list shrinks, a plain list loses the
// vertices of the dropped triangles.
void KeepTriangles(MeshRecord* mesh, const std::vector<bool>& inside) {
    std::int32_t kept = 0;
    const bool indexed = mesh->indices && mesh->indexCount > 0;
    const std::size_t stride = mesh->vertexSize;
    for (std::size_t t = 0; t < inside.size(); ++t) {
        if (inside[t]) continue;
        if (indexed)
            std::memmove(mesh->indices + 3 * kept, mesh->indices + 3 * t,
                         3 * sizeof(std::uint16_t));
        else
            std::memmove(mesh->vertices + 3 * kept * stride, mesh->vertices + 3 * t * stride,
                         3 * stride);
        ++kept;
    }
    if (indexed) {
        mesh->indexCount = 3 * kept;
    } else {
        mesh->vertexCount = 3 * kept;
        mesh->drawVertexCount = 3 * kept;
    }
    mesh->drawPrimitiveCount = kept;
    mesh->needsRebuild = 1;
}

bool RemoveInsideBox(MeshRecord* a, const D3DXMATRIX& matrixA, MeshRecord* b,
                     const D3DXMATRIX& matrixB) {
    if (TriangleCorners(*b).size() / 3 > kFewTriangles && SampleMeshGrid(b, 5, 5, 5) < 2)
        return false;
    const Box boxA = PlaceBox(a->bounds, matrixA);
    Box boxB = PlaceBox(b->bounds, matrixB);
    if (boxA == boxB) return true;
    boxB.low -= D3DXVECTOR3(kGrowth, kGrowth, kGrowth);
    boxB.high += D3DXVECTOR3(kGrowth, kGrowth, kGrowth);
    if (!Overlap(boxA, boxB)) return true;

    // A's corners are tested in B's own space, against B's box grown by 0.1 world units along
    // each of its axes: exact for a turned cutter too.
    D3DXMATRIX inverseB;
    if (!D3DXMatrixInverse(&inverseB, nullptr, &matrixB)) return false;
    Box local{b->bounds.minimum, b->bounds.maximum};
    for (int axis = 0; axis < 3; ++axis) {
        const D3DXVECTOR3 row(matrixB.m[axis][0], matrixB.m[axis][1], matrixB.m[axis][2]);
        const float growth = kGrowth / D3DXVec3Length(&row);
        if (local.low[axis] > local.high[axis]) std::swap(local.low[axis], local.high[axis]);
        local.low[axis] -= growth;
        local.high[axis] += growth;
    }
    const D3DXMATRIX toB = Multiply(matrixA, inverseB);
    const std::vector<std::uint32_t> corners = TriangleCorners(*a);
    const std::vector<bool> inside = TrianglesInside(a, corners, toB, local);
    if (std::find(inside.begin(), inside.end(), true) == inside.end()) return true;
    if (a->primitiveType != D3DPT_TRIANGLELIST && !ConvertStripToList(a)) return false;
    KeepTriangles(a, inside);
    return true;
}

} // namespace

bool CsgRemoveInsideBox(MeshRecord* a, D3DXMATRIX matrixA, MeshRecord* b, D3DXMATRIX matrixB) {
    if (!a || !b) return false;
    try {
        return RemoveInsideBox(a, matrixA, b, matrixB);
    } catch (const std::bad_alloc&) {
        return CsgOutOfMemory(); // before anything changed: only the reading allocates
    }
}
