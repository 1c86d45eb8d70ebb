#include "core/win32.h"

#include "object3d/object_manager.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

// What an object's first frame makes and does is known when it is loaded: the load is charged for
// it (see FirstFrameBytes), so that a small file can neither make the device's memory grow
// without end nor ask for frames that take seconds. Figures measured under Wine with its software
// renderer, the platform the tests and the budget's ceiling are set on.

namespace {

// A device buffer costs the platform some 5 KB beyond its bytes once a frame drew from it
// (28,000 buffers of 14,000 meshes raised a process by 145 MB), and its bytes are held twice: by
// the buffer and by the renderer's own copy.
constexpr std::uint64_t kBufferRecordBytes = 5 * 1024;
constexpr std::uint64_t kBufferCopies = 2;
// Each primitive a frame draws: the renderer keeps some 200 to 400 bytes of it while the frame is
// built, and sets every one up.
constexpr std::uint64_t kPrimitiveBytes = 512;
// Filling the view once over: a third of a millisecond of the software renderer at 640x480, near
// one at 1024x768 (6,500 triangles stacked on one spot, filling it 2,070 times where the view
// frames them, drew in 0.7 s at 640x480). The ceiling of a load's budget lets an object fill the
// view some 380 times a frame where the view frames the whole object, as a load's camera places
// it; real models fill it 0.3 to 13 times.
constexpr double kScreenBytes = 512 * 1024;
constexpr double kPi = 3.14159265358979;
// More than any budget: charges past it are refused anyway.
constexpr double kMostBytes = 1e18;

std::uint64_t BufferBytes(std::uint64_t entries, std::uint64_t each) {
    return kBufferRecordBytes + kBufferCopies * entries * each;
}

bool Indexed(const MeshRecord* mesh) {
    return mesh->indices && mesh->indexCount > 0;
}

// The buffers the meshes take when each has its own, as objects' meshes are placed by default.
std::uint64_t OwnBufferBytes(const MeshRecord* mesh) {
    std::uint64_t bytes =
        BufferBytes(static_cast<std::uint32_t>(mesh->vertexCount), mesh->vertexSize);
    if (Indexed(mesh)) bytes += BufferBytes(static_cast<std::uint32_t>(mesh->indexCount), 2);
    return bytes;
}

// The shared buffers a load's meshes open, each format's filled one after another: never fewer
// than the manager's first fit makes of them.
class SharedPlan {
public:
    std::uint64_t Bytes(const MeshRecord* mesh) {
        // Vertices of part words get a buffer of their own even here.
        if (mesh->vertexSize % 4 != 0) return OwnBufferBytes(mesh);
        const auto vertices = static_cast<std::uint32_t>(mesh->vertexCount);
        const std::uint32_t indices =
            Indexed(mesh) ? static_cast<std::uint32_t>(mesh->indexCount) : 0;
        std::uint64_t bytes =
            Take(vertices_[FormatKey(mesh)], vertices,
                 NewVertexBufferEntries(vertices, indices, false), mesh->vertexSize);
        if (indices) bytes += Take(indices_, indices, NewIndexBufferEntries(indices, false), 2);
        return bytes;
    }

private:
    struct Open {
        std::uint64_t used = 0;
        std::uint64_t capacity = 0;
    };

    static std::uint64_t Take(Open& open, std::uint32_t count, std::uint32_t entries,
                              std::uint64_t each) {
        if (open.capacity != 0 && open.used + count < open.capacity) {
            open.used += count;
            return 0;
        }
        open = Open{count, entries};
        return BufferBytes(entries, each);
    }

    // Meshes share a buffer only when their vertices are alike: format, size, points and, without
    // a format, the declaration up to its end.
    static std::string FormatKey(const MeshRecord* mesh) {
        std::string key;
        auto add = [&key](const void* p, std::size_t n) {
            key.append(static_cast<const char*>(p), n);
        };
        const std::uint8_t points = mesh->primitiveType == D3DPT_POINTLIST;
        add(&mesh->fvf, sizeof mesh->fvf);
        add(&mesh->vertexSize, sizeof mesh->vertexSize);
        add(&points, 1);
        for (int i = 0; mesh->fvf == 0 && i < MAX_FVF_DECL_SIZE; ++i) {
            add(&mesh->declaration[i], sizeof(D3DVERTEXELEMENT9));
            if (mesh->declaration[i].Stream == 0xFF) break;
        }
        return key;
    }

    std::unordered_map<std::string, Open> vertices_;
    Open indices_;
};

// The primitives a frame draws of the mesh: its ranges when it draws by materials.
std::uint64_t DrawnPrimitives(const MeshRecord* mesh) {
    if (!mesh->multiMaterialOn || !mesh->multiMaterials || mesh->multiMaterialCount <= 0 ||
        !Indexed(mesh))
        return static_cast<std::uint64_t>(DrawablePrimitives(mesh));
    std::uint64_t drawn = 0;
    for (std::int32_t m = 0; m < mesh->multiMaterialCount; ++m) {
        const MultiMaterialRecord& range = mesh->multiMaterials[m];
        const std::uint64_t end =
            std::uint64_t{range.startIndex} + std::uint64_t{range.primitiveCount} * 3;
        if (end <= static_cast<std::uint64_t>(mesh->indexCount)) drawn += range.primitiveCount;
    }
    return drawn;
}

// The area of the triangles the object draws and the box round the vertices they are made of.
struct Coverage {
    double area = 0;
    D3DXVECTOR3 low{0, 0, 0}, high{0, 0, 0};
    bool any = false;

    void Add(const D3DXVECTOR3& p) {
        low =
            any ? D3DXVECTOR3(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)) : p;
        high =
            any ? D3DXVECTOR3(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z))
                : p;
        any = true;
    }
    // How many times over the triangles fill the disc of the box's sphere.
    double Screens() const {
        const D3DXVECTOR3 half = (high - low) * 0.5f;
        const double radiusSquared =
            double{half.x} * half.x + double{half.y} * half.y + double{half.z} * half.z;
        return any && radiusSquared > 0 ? area / (kPi * radiusSquared) : 0;
    }
};

// The mesh's positions placed by the matrix; empty when it has none.
std::vector<D3DXVECTOR3> PlacedPositions(const MeshRecord* mesh, const D3DXMATRIX& matrix) {
    std::vector<D3DXVECTOR3> placed;
    VertexOffsetMap map{};
    if (!mesh->vertices || mesh->vertexCount <= 0 || !GetMeshOffsetMap(mesh, &map) || !map.Z ||
        4 * std::uint64_t{map.Z} + 4 > mesh->vertexSize)
        return placed;
    placed.resize(static_cast<std::size_t>(mesh->vertexCount));
    for (std::size_t v = 0; v < placed.size(); ++v) {
        const auto* words = reinterpret_cast<const float*>(mesh->vertices + v * mesh->vertexSize);
        const D3DXVECTOR3 p(words[map.X], words[map.Y], words[map.Z]);
        D3DXVec3TransformCoord(&placed[v], &p, &matrix);
    }
    return placed;
}

double TriangleArea(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c) {
    const D3DXVECTOR3 u = b - a, v = c - a;
    D3DXVECTOR3 n;
    D3DXVec3Cross(&n, &u, &v);
    return 0.5 * D3DXVec3Length(&n);
}

// The mesh's drawn triangles, walked as its list, strip or fan; other primitives fill nothing.
void AddMeshCoverage(const MeshRecord* mesh, const D3DXMATRIX& matrix, Coverage& coverage) {
    const std::vector<D3DXVECTOR3> placed = PlacedPositions(mesh, matrix);
    if (placed.empty()) return;
    for (const D3DXVECTOR3& p : placed)
        coverage.Add(p);
    const std::int64_t primitives = DrawablePrimitives(mesh);
    auto corner = [&](std::int64_t k) -> const D3DXVECTOR3* {
        const std::int64_t v = Indexed(mesh) ? mesh->indices[k] : k;
        return v < static_cast<std::int64_t>(placed.size()) ? &placed[v] : nullptr;
    };
    double area = 0;
    for (std::int64_t t = 0; t < primitives; ++t) {
        std::int64_t a = 3 * t, b = a + 1, c = a + 2;
        if (mesh->primitiveType == D3DPT_TRIANGLESTRIP)
            a = t, b = t + 1, c = t + 2;
        else if (mesh->primitiveType == D3DPT_TRIANGLEFAN)
            a = 0, b = t + 1, c = t + 2;
        else if (mesh->primitiveType != D3DPT_TRIANGLELIST)
            return;
        const D3DXVECTOR3 *p = corner(a), *q = corner(b), *r = corner(c);
        if (p && q && r) area += TriangleArea(*p, *q, *r);
    }
    // Ranges drawn by materials cover their share of the mesh each time they are drawn.
    if (primitives > 0) area *= static_cast<double>(DrawnPrimitives(mesh)) / primitives;
    coverage.area += area;
}

} // namespace

std::uint64_t FirstFrameBytes(const ObjectRecord* object, bool ownBuffers) {
    if (!object) return 0;
    SharedPlan shared;
    Coverage coverage;
    std::uint64_t bytes = 0;
    WalkFrameTree(object->rootFrame, [&](FrameRecord* frame) {
        for (int slot = 0; slot < kFrameMeshSlots; ++slot) {
            const MeshRecord* mesh = frame->MeshSlot(slot);
            if (!mesh || !mesh->vertices || mesh->vertexCount <= 0) continue;
            bytes += ownBuffers ? OwnBufferBytes(mesh) : shared.Bytes(mesh);
            bytes += kPrimitiveBytes * DrawnPrimitives(mesh);
            // A skinned mesh's vertices are moved by its bones, not by its frame.
            AddMeshCoverage(mesh, mesh->boneCount > 0 ? kIdentityMatrix : frame->combinedMatrix,
                            coverage);
        }
    });
    const double fill = std::min(coverage.Screens() * kScreenBytes, kMostBytes);
    return bytes + static_cast<std::uint64_t>(fill);
}
