// Meshes read into polygon sets.
#include "core/win32.h"

#include "csg/csg_node.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The vertex layout of BspVertex: position, normal, one texture-coordinate pair.
constexpr std::uint32_t kCsgFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

bool IsStripOrFan(const MeshRecord& mesh) {
    return mesh.primitiveType == D3DPT_TRIANGLESTRIP || mesh.primitiveType == D3DPT_TRIANGLEFAN;
}

struct Triangle {
    std::uint32_t corners[3];
    BspVector normal;
};

// The triangles of a triangle list in format 274 that have an area; false when an index names
// no vertex.
bool CollectTriangles(const MeshRecord& mesh, std::vector<Triangle>& out) {
    const bool indexed = mesh.indices && mesh.indexCount > 0;
    const std::int32_t corners = indexed ? mesh.indexCount : mesh.vertexCount;
    if (corners > 0 && !mesh.vertices) return false;
    const auto vertexCount = static_cast<std::uint32_t>(mesh.vertexCount);
    for (std::int32_t t = 0; t + 2 < corners; t += 3) {
        Triangle triangle;
        BspVector position[3];
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t v =
                indexed ? mesh.indices[t + k] : static_cast<std::uint32_t>(t + k);
            if (v >= vertexCount) return false;
            triangle.corners[k] = v;
            std::memcpy(&position[k], mesh.vertices + std::size_t{v} * sizeof(BspVertex),
                        sizeof(BspVector));
        }
        const BspVector cross = (position[1] - position[0]).Cross(position[2] - position[0]);
        const float length = cross.Length();
        // Also left out: corners that are not numbers, or so far out that the cross product
        // overflows; their normal would not be a number, and every polygon would seem to span
        // its plane.
        if (!(length >= kBspNormalizeEpsilon) || !std::isfinite(length)) continue;
        triangle.normal = cross / length;
        out.push_back(triangle);
    }
    return true;
}

std::unique_ptr<BspPolygonSet> ReadTriangles(const MeshRecord& mesh) {
    std::vector<Triangle> triangles;
    if (!CollectTriangles(mesh, triangles)) return nullptr;
    auto set = std::make_unique<BspPolygonSet>();
    const int first = set->Grow(static_cast<int>(triangles.size()));
    for (std::size_t i = 0; first >= 0 && i < triangles.size(); ++i) {
        BspFacePolygon* polygon = set->polygons[first + static_cast<int>(i)];
        polygon->AddVertices(3);
        for (int k = 0; k < 3; ++k)
            std::memcpy(&polygon->vertices[k],
                        mesh.vertices + std::size_t{triangles[i].corners[k]} * sizeof(BspVertex),
                        sizeof(BspVertex));
        polygon->faceNormal = triangles[i].normal;
    }
    set->ComputeBounds();
    return set;
}

} // namespace

std::unique_ptr<BspPolygonSet> LoadCsgPolygonSet(const MeshRecord* mesh) {
    if (!mesh) return nullptr;
    const bool layout = IsStripOrFan(*mesh);
    if (!layout && mesh->primitiveType != D3DPT_TRIANGLELIST) return nullptr;
    if (mesh->fvf == kCsgFormat && mesh->vertexSize == sizeof(BspVertex) && !layout)
        return ReadTriangles(*mesh);
    // Converted on a copy: the caller's mesh keeps its format, layout and draw buffers.
    MeshRecord working;
    if (!SetupMeshFromTemplate(&working, mesh)) return nullptr;
    if (layout && !ConvertStripToList(&working)) return nullptr;
    if (working.fvf != kCsgFormat) ConvertMeshToFVF(&working, kCsgFormat);
    if (working.fvf != kCsgFormat || working.vertexSize != sizeof(BspVertex)) return nullptr;
    return ReadTriangles(working);
}
