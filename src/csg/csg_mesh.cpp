// Union, difference and clip of two meshes in world space, and the weld that writes the result.
#include "core/win32.h"

#include "csg/csg_mesh.h"
#include "csg/csg_node.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "object3d/object_records.h"
#include "object3d/object_world.h"
#include "object3d/vertex_editing.h"
#include "object3d/vertex_layout.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::uint32_t kCsgFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
// Mesh boxes nearer than this are cut against each other.
constexpr float kBoxMargin = 0.1f;

// The words of vertex v.
float* VertexWords(MeshRecord* mesh, const VertexOffsetMap& map, std::int32_t v) {
    return reinterpret_cast<float*>(mesh->vertices) + std::size_t(v) * map.StrideDwords;
}

// The mesh's offset map, when it has vertices with positions that the map reads inside them.
bool PositionMap(const MeshRecord* mesh, VertexOffsetMap& map) {
    return mesh && mesh->vertices && GetMeshOffsetMap(mesh, &map) && map.Z &&
           map.StrideDwords > 0 && map.StrideBytes <= mesh->vertexSize;
}

// The matrix that turns normals as the given one turns positions (its inverse transpose), or
// false when it flattens space.
bool NormalMatrix(const D3DXMATRIX& m, D3DXMATRIX& out) {
    D3DXMATRIX inverse;
    if (!D3DXMatrixInverse(&inverse, nullptr, &m)) return false;
    D3DXMatrixTranspose(&out, &inverse);
    return true;
}

// Turns every vertex normal, keeping its length.
void TurnMeshNormals(MeshRecord* mesh, const D3DXMATRIX& matrix) {
    VertexOffsetMap map;
    D3DXMATRIX turn;
    if (IsIdentity(matrix) || !PositionMap(mesh, map) || !map.NZ || !NormalMatrix(matrix, turn))
        return;
    for (std::int32_t v = 0; v < mesh->vertexCount; ++v) {
        float* w = VertexWords(mesh, map, v);
        const D3DXVECTOR3 n(w[map.NX], w[map.NY], w[map.NZ]);
        D3DXVECTOR3 turned;
        D3DXVec3TransformNormal(&turned, &n, &turn);
        const float before = D3DXVec3Length(&n), after = D3DXVec3Length(&turned);
        if (after > 0) turned *= before / after;
        w[map.NX] = turned.x;
        w[map.NY] = turned.y;
        w[map.NZ] = turned.z;
    }
}

// A mesh moved into world space for one operation. Unless it is mapped back as a new result,
// it gets its own positions and normals back exactly when the placement ends, so a cutter does
// not drift from being used.
class WorldPlacement {
public:
    WorldPlacement(MeshRecord* mesh, const D3DXMATRIX& world) {
        VertexOffsetMap map;
        if (!PositionMap(mesh, map)) return;
        saved_.resize(std::size_t(mesh->vertexCount) * map.StrideDwords);
        std::memcpy(saved_.data(), mesh->vertices, saved_.size() * sizeof(float));
        mesh_ = mesh;
        TransformMeshPositions(mesh, world);
        TurnMeshNormals(mesh, world);
        CalculateMeshBounds(mesh);
    }
    ~WorldPlacement() { Restore(); }
    WorldPlacement(const WorldPlacement&) = delete;
    WorldPlacement& operator=(const WorldPlacement&) = delete;

    // Only the position and normal words go back: nothing else was moved.
    void Restore() {
        VertexOffsetMap map;
        MeshRecord* mesh = std::exchange(mesh_, nullptr);
        if (!PositionMap(mesh, map) ||
            saved_.size() != std::size_t(mesh->vertexCount) * map.StrideDwords)
            return;
        for (std::int32_t v = 0; v < mesh->vertexCount; ++v) {
            float* w = VertexWords(mesh, map, v);
            const float* s = saved_.data() + std::size_t(v) * map.StrideDwords;
            for (std::uint32_t word : {map.X, map.Y, map.Z})
                w[word] = s[word];
            if (map.NZ)
                for (std::uint32_t word : {map.NX, map.NY, map.NZ})
                    w[word] = s[word];
        }
        CalculateMeshBounds(mesh);
    }

private:
    MeshRecord* mesh_ = nullptr;
    std::vector<float> saved_;
};

// A result written in world space, into the mesh's own space by the inverse of its matrix.
void MapBack(MeshRecord* mesh, const D3DXMATRIX& inverse) {
    TransformMeshPositions(mesh, inverse);
    TurnMeshNormals(mesh, inverse);
    CalculateMeshBounds(mesh);
}

bool BoxesOverlap(const CollisionBlock& a, const CollisionBlock& b) {
    for (int axis = 0; axis < 3; ++axis)
        if (a.maximum[axis] + kBoxMargin < b.minimum[axis] ||
            a.minimum[axis] - kBoxMargin > b.maximum[axis])
            return false;
    return true;
}

// One tree over both meshes' union, output from its leaves.
void ConfigureUnion(CsgBspNode& node) {
    node.unionFlag = 1;
    node.SetBuildTreeFlag(true);
    node.treeSettings.storageMode = 0;
    node.ClearOptionBytes(true);
}

// One mesh's own tree, to clip and be clipped.
void ConfigureSolid(CsgBspNode& node) {
    node.unionFlag = 0;
    node.SetBuildTreeFlag(true);
    node.treeSettings.storageMode = 0;
    node.ClearOptionBytes(false);
}

bool UniteMeshes(MeshRecord* a, const D3DXMATRIX& matrixA, MeshRecord* b,
                 const D3DXMATRIX& matrixB) {
    D3DXMATRIX inverseA;
    if (!a || !b || !D3DXMatrixInverse(&inverseA, nullptr, &matrixA)) return false;
    WorldPlacement placedA(a, matrixA);
    WorldPlacement placedB(b == a ? nullptr : b, matrixB);
    CsgBspNode node;
    ConfigureUnion(node);
    if (!node.Run(a, matrixA, b, matrixB)) return false;
    node.BuildResultVertices(true);
    // A's own data is back in its own space before the result replaces it (and may be kept).
    placedA.Restore();
    if (!WriteCsgTriangles(a, node.ResultVertices())) return false;
    MapBack(a, inverseA);
    return true;
}

// The difference (with walls) or the clip (without) of A by B.
bool CutMesh(MeshRecord* a, const D3DXMATRIX& matrixA, MeshRecord* b, const D3DXMATRIX& matrixB,
             bool walls) {
    D3DXMATRIX inverseA;
    if (!a || !b || !D3DXMatrixInverse(&inverseA, nullptr, &matrixA)) return false;
    {
        WorldPlacement placedA(a, matrixA);
        WorldPlacement placedB(b == a ? nullptr : b, matrixB);
        if (BoxesOverlap(a->bounds, b->bounds)) {
            CsgBspNode p, q;
            ConfigureSolid(p);
            ConfigureSolid(q);
            if (!p.Run(a, matrixA, nullptr, matrixA) || !q.Run(b, matrixB, nullptr, matrixB))
                return false;
            q.ClipAgainst(p.Tree(), true);             // A outside B stays
            if (walls) p.ClipAgainst(q.Tree(), false); // B inside A stays
            p.BuildResultVertices(false);
            if (walls) q.BuildResultVertices(false);
            placedA.Restore();
            if (!WriteCsgResultToMesh(p, walls ? &q : nullptr, a)) return false;
            MapBack(a, inverseA);
        }
    }
    RecomputeMeshNormals(a);
    if (b != a) RecomputeMeshNormals(b);
    return true;
}

// An open-addressing table of output vertices keyed by value.
std::uint32_t HashVertex(const BspVertex& vertex) {
    float words[8];
    std::memcpy(words, &vertex, sizeof words);
    std::uint32_t hash = 2166136261u;
    for (float f : words) {
        std::uint32_t bits = 0;
        if (f != 0.0f) std::memcpy(&bits, &f, sizeof bits); // 0 and -0 are one value
        hash = (hash ^ bits) * 16777619u;
        hash ^= hash >> 15;
    }
    return hash;
}

} // namespace

void TransformMeshPositions(MeshRecord* mesh, const D3DXMATRIX& m) {
    VertexOffsetMap map;
    if (IsIdentity(m) || !PositionMap(mesh, map)) return;
    for (std::int32_t v = 0; v < mesh->vertexCount; ++v) {
        float* w = VertexWords(mesh, map, v);
        const float x = w[map.X], y = w[map.Y], z = w[map.Z];
        float px = x * m._11 + y * m._21 + z * m._31 + m._41;
        float py = x * m._12 + y * m._22 + z * m._32 + m._42;
        float pz = x * m._13 + y * m._23 + z * m._33 + m._43;
        const float pw = x * m._14 + y * m._24 + z * m._34 + m._44;
        if (pw != 0.0f && pw != 1.0f) {
            px /= pw;
            py /= pw;
            pz /= pw;
        }
        w[map.X] = px;
        w[map.Y] = py;
        w[map.Z] = pz;
    }
}

bool CompareCsgVertices(const BspVertex& a, const BspVertex& b) {
    return a.position.x == b.position.x && a.position.y == b.position.y &&
           a.position.z == b.position.z && a.u == b.u && a.v == b.v && a.normal.x == b.normal.x &&
           a.normal.y == b.normal.y && a.normal.z == b.normal.z;
}

CsgWeld WeldCsgVertices(const BspVertex* vertices, std::size_t count) {
    CsgWeld weld;
    weld.indices.resize(count);
    std::size_t size = 16;
    while (size < 2 * count)
        size *= 2;
    std::vector<std::int32_t> table(size, -1);
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t slot = HashVertex(vertices[i]) & (size - 1);
        while (table[slot] >= 0 && !CompareCsgVertices(weld.vertices[table[slot]], vertices[i]))
            slot = (slot + 1) & (size - 1);
        if (table[slot] < 0) {
            table[slot] = static_cast<std::int32_t>(weld.vertices.size());
            weld.vertices.push_back(vertices[i]);
        }
        weld.indices[i] = static_cast<std::uint32_t>(table[slot]);
    }
    return weld;
}

bool WriteCsgTriangles(MeshRecord* mesh, const std::vector<BspVertex>& corners) {
    if (!mesh || corners.size() > kCsgMostIndices) return false;
    try {
        const CsgWeld weld = WeldCsgVertices(corners.data(), corners.size());
        if (weld.vertices.size() > kCsgMostVertices) return false;
        const auto vertexCount = static_cast<std::int32_t>(weld.vertices.size());
        const auto indexCount = static_cast<std::int32_t>(weld.indices.size());
        // Made aside first, so that the mesh keeps its data when memory runs out. The counts are
        // within bounds: only memory can refuse them.
        MeshRecord made;
        if (!SetupMeshFVFData(&made, kCsgFormat, vertexCount, indexCount) ||
            (indexCount > 0 && !made.indices))
            throw std::bad_alloc();
        if (vertexCount > 0)
            std::memcpy(made.vertices, weld.vertices.data(),
                        weld.vertices.size() * sizeof(BspVertex));
        for (std::int32_t i = 0; i < indexCount; ++i)
            made.indices[i] = static_cast<std::uint16_t>(weld.indices[i]);
        if (CsgJournal* journal = CsgJournal::Active()) journal->Keep(mesh);
        std::swap(mesh->vertices, made.vertices);
        std::swap(mesh->indices, made.indices);
        mesh->fvf = kCsgFormat;
        mesh->vertexSize = sizeof(BspVertex);
        mesh->vertexCount = vertexCount;
        mesh->indexCount = indexCount;
        mesh->primitiveType = D3DPT_TRIANGLELIST;
        mesh->drawVertexCount = vertexCount;
        mesh->drawPrimitiveCount = indexCount / 3;
        delete[] std::exchange(mesh->backupVertices, nullptr);
        mesh->needsRebuild = 1;
        mesh->indexLayoutChanged = 1;
        return true;
    } catch (const std::bad_alloc&) {
        return CsgOutOfMemory();
    }
}

bool WriteCsgResultToMesh(const CsgBspNode& p, const CsgBspNode* q, MeshRecord* mesh) {
    try {
        std::vector<BspVertex> corners = p.ResultVertices();
        if (q) {
            const std::vector<BspVertex>& walls = q->ResultVertices();
            for (std::size_t t = 0; t + 2 < walls.size(); t += 3)
                corners.insert(corners.end(), {walls[t + 2], walls[t + 1], walls[t]});
        }
        return WriteCsgTriangles(mesh, corners);
    } catch (const std::bad_alloc&) {
        return CsgOutOfMemory();
    }
}

bool CsgOutOfMemory() {
    if (CsgJournal* journal = CsgJournal::Active()) journal->Fail();
    RaiseRuntimeError(kStringNoMemory);
    return false;
}

namespace {
CsgJournal* g_journal = nullptr;
} // namespace

struct CsgJournal::Kept {
    MeshRecord* mesh;
    std::uint8_t* vertices;
    std::uint16_t* indices;
    std::uint32_t fvf, vertexSize;
    std::int32_t vertexCount, indexCount, primitiveType, drawVertexCount, drawPrimitiveCount;
};

CsgJournal::CsgJournal() {
    g_journal = this;
}

CsgJournal::~CsgJournal() {
    g_journal = nullptr;
    for (Kept& k : kept_) {
        delete[] k.vertices;
        delete[] k.indices;
    }
}

bool CsgJournal::Reserve(std::size_t meshes) {
    try {
        kept_.reserve(meshes);
        return true;
    } catch (const std::bad_alloc&) {
        return CsgOutOfMemory();
    }
}

void CsgJournal::Keep(MeshRecord* mesh) noexcept {
    // Its first data only: what a later pair replaces is a result of this operation.
    for (const Kept& k : kept_)
        if (k.mesh == mesh) return;
    if (kept_.size() == kept_.capacity()) return; // not reserved for: it cannot be undone
    kept_.push_back({mesh, std::exchange(mesh->vertices, nullptr),
                     std::exchange(mesh->indices, nullptr), mesh->fvf, mesh->vertexSize,
                     mesh->vertexCount, mesh->indexCount, mesh->primitiveType,
                     mesh->drawVertexCount, mesh->drawPrimitiveCount});
}

void CsgJournal::Undo() noexcept {
    for (Kept& k : kept_) {
        MeshRecord* mesh = k.mesh;
        delete[] std::exchange(mesh->vertices, std::exchange(k.vertices, nullptr));
        delete[] std::exchange(mesh->indices, std::exchange(k.indices, nullptr));
        mesh->fvf = k.fvf;
        mesh->vertexSize = k.vertexSize;
        mesh->vertexCount = k.vertexCount;
        mesh->indexCount = k.indexCount;
        mesh->primitiveType = k.primitiveType;
        mesh->drawVertexCount = k.drawVertexCount;
        mesh->drawPrimitiveCount = k.drawPrimitiveCount;
        CalculateMeshBounds(mesh);
        mesh->needsRebuild = 1;
        mesh->indexLayoutChanged = 1;
    }
    kept_.clear();
}

CsgJournal* CsgJournal::Active() {
    return g_journal;
}

bool CsgUnion(MeshRecord* a, D3DXMATRIX matrixA, MeshRecord* b, D3DXMATRIX matrixB) {
    try {
        return UniteMeshes(a, matrixA, b, matrixB);
    } catch (const std::bad_alloc&) {
        return CsgOutOfMemory(); // the placements have put both meshes back
    } catch (...) {
        return false;
    }
}

bool CsgSubtract(MeshRecord* a, D3DXMATRIX matrixA, MeshRecord* b, D3DXMATRIX matrixB) {
    try {
        return CutMesh(a, matrixA, b, matrixB, true);
    } catch (const std::bad_alloc&) {
        return CsgOutOfMemory();
    } catch (...) {
        return false;
    }
}

bool CsgClip(MeshRecord* a, D3DXMATRIX matrixA, MeshRecord* b, D3DXMATRIX matrixB) {
    try {
        return CutMesh(a, matrixA, b, matrixB, false);
    } catch (const std::bad_alloc&) {
        return CsgOutOfMemory();
    } catch (...) {
        return false;
    }
}
