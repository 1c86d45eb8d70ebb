// The areas' draw batches: the level meshes of each area merged, while their textures agree and
// their vertices stay below the 16-bit limit, into a few large meshes placed in the manager's
// buffers.
#include "core/win32.h"

#include "universe/universe.h"
#include "universe/universe_build.h"
#include "object3d/geometry.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_textures.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>
#include <utility>

namespace {

// Batches never reach the 16-bit limit: the vertex sum, its lowest two bits cleared, stays below.
bool SumFits(std::int32_t a, std::int32_t b) {
    return ((a + b) & ~3) < kBatchVertexLimit;
}

bool Indexed(const MeshRecord* mesh) {
    return mesh->indices && mesh->indexCount > 0;
}

// Indices a mesh contributes to a merged list: its own, or one a vertex when it has none.
std::int32_t ListedCorners(const MeshRecord* mesh) {
    return Indexed(mesh) ? mesh->indexCount : mesh->vertexCount;
}

// Whether the holder's mesh can take the mesh: the same look, vertices that lie alike, plain
// triangle lists (strips and fans cannot be joined end to end), and room below the limit.
bool CanTake(const MeshRecord* held, const MeshRecord* mesh) {
    return held && held != mesh && held->vertices && mesh->vertices &&
           held->vertexSize == mesh->vertexSize && held->primitiveType == D3DPT_TRIANGLELIST &&
           mesh->primitiveType == D3DPT_TRIANGLELIST &&
           SumFits(held->vertexCount, mesh->vertexCount) && CompareMeshTextureLists(held, mesh);
}

// Writes first + 0, 1, 2 ... into count indices from at.
void WriteSequence(MeshRecord* mesh, std::int32_t at, std::int32_t count, std::int32_t first) {
    for (std::int32_t i = 0; i < count && at + i < mesh->indexCount; ++i)
        mesh->indices[at + i] = static_cast<std::uint16_t>(first + i);
}

// A new mesh holding the held mesh's data followed by the mesh's; null when it cannot be made.
MeshRecord* MergedMesh(const MeshRecord* held, const MeshRecord* mesh) {
    const std::int32_t vertexSum = held->vertexCount + mesh->vertexCount;
    const bool indexed = Indexed(held) || Indexed(mesh);
    const std::int32_t indexSum = indexed ? ListedCorners(held) + ListedCorners(mesh) : 0;
    auto* merged = new (std::nothrow) MeshRecord;
    if (!merged || !MakeMeshFromData(merged, held, nullptr, indexSum, vertexSum)) {
        delete merged;
        return nullptr;
    }
    CopyMeshRenderSettings(mesh, merged);
    if (indexed) {
        const std::int32_t at = ListedCorners(held);
        if (!Indexed(held)) WriteSequence(merged, 0, at, 0);
        if (Indexed(mesh)) {
            CopyMeshIndicesAt(merged, mesh, at, mesh->indexCount);
            OffsetMeshIndices(merged, at, mesh->indexCount, held->vertexCount);
        } else {
            WriteSequence(merged, at, mesh->vertexCount, held->vertexCount);
        }
    }
    CopyMeshVerticesAt(merged, mesh, held->vertexCount, mesh->vertexCount);
    merged->drawVertexCount = vertexSum;
    merged->drawPrimitiveCount = (indexed ? indexSum : vertexSum) / 3;
    // The batch's box covers both: the settings copied above brought the last mesh's alone.
    CalculateMeshBounds(merged);
    return merged;
}

// minimum < p < maximum on every axis.
bool StrictlyInside(const D3DXVECTOR3& p, const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
    return p.x > low.x && p.x < high.x && p.y > low.y && p.y < high.y && p.z > low.z &&
           p.z < high.z;
}

// minimum <= p < maximum on every axis.
bool HalfOpenInside(const D3DXVECTOR3& p, const D3DXVECTOR3& low, const D3DXVECTOR3& high) {
    return p.x >= low.x && p.x < high.x && p.y >= low.y && p.y < high.y && p.z >= low.z &&
           p.z < high.z;
}

// The mesh is a side mesh of the cell in a way that makes it reach the area from outside.
bool ReachesFromSide(const UniverseNode& cell, const MeshRecord* mesh, const UniverseArea& area) {
    const float y = mesh->bounds.centre.y;
    for (std::int32_t s = 0; s < kUniverseSides; ++s) {
        if (cell.sides[s].mesh != mesh) continue;
        if (s == kSideMinusY ? y < area.maximum.y : s == kSidePlusY ? y > area.maximum.y : true)
            return true;
    }
    return false;
}

} // namespace

bool CompareMeshTextureLists(const MeshRecord* a, const MeshRecord* b) {
    if (!a || !b || !a->textures || !b->textures) return false;
    if (a->textureCount != b->textureCount || a->fvf != b->fvf) return false;
    for (std::int32_t i = 0; i < a->textureCount; ++i)
        if (std::strncmp(a->textures[i].fileName, b->textures[i].fileName, kRecordNameLength) != 0)
            return false;
    return true;
}

MeshRecord* CopiedMesh(const MeshRecord* mesh) {
    auto* copy = new (std::nothrow) MeshRecord;
    if (!copy || !MakeMeshFromFormat(copy, mesh, nullptr)) {
        delete copy;
        return nullptr;
    }
    CopyMeshRenderSettings(mesh, copy);
    CalculateMeshBounds(copy);
    return copy;
}

void FreeWorldMesh(MeshRecord* mesh) {
    if (!mesh) return;
    if (mesh->drawItem) g_Object3D.manager.RemoveMeshFromBuffers(mesh);
    delete mesh;
}

bool CopyMeshRenderSettings(const MeshRecord* from, MeshRecord* to) {
    if (!from || !to) return false;
    if (from == to) return true;
    to->wireframe = from->wireframe, to->lighting = from->lighting, to->culling = from->culling;
    to->fog = from->fog, to->ambient = from->ambient, to->transparency = from->transparency;
    to->alphaReference = from->alphaReference, to->ghost = from->ghost;
    to->visible = from->visible, to->depthRead = from->depthRead;
    to->depthWrite = from->depthWrite, to->ghostMode = from->ghostMode;
    to->depthBiasOn = from->depthBiasOn, to->slopeScaleDepthBias = from->slopeScaleDepthBias;
    to->depthBias = from->depthBias, to->cullMode = from->cullMode;
    to->showBounds = from->showBounds, to->mipmapBias = from->mipmapBias;
    std::copy(std::begin(from->renderWords), std::end(from->renderWords), to->renderWords);
    to->materialOn = from->materialOn, to->alphaFactorOn = from->alphaFactorOn;
    to->diffuseColour = from->diffuseColour;
    to->material = from->material;
    to->bounds = from->bounds;
    CopyMeshTextureSlots(to, from);
    return true;
}

UniverseBatch* Universe::MergeMeshIntoArea(UniverseArea* area, MeshRecord* mesh,
                                           UniverseArea* target) {
    if (!mesh || (!area && !target)) return nullptr;
    auto& list = target ? target->secondBatches : area->batches;
    for (const std::unique_ptr<UniverseBatch>& holder : list) {
        if (!holder || !CanTake(holder->mesh, mesh)) continue;
        MeshRecord* merged = MergedMesh(holder->mesh, mesh);
        if (!merged) continue;
        FreeWorldMesh(std::exchange(holder->mesh, merged));
        merged->needsRebuild = 1;
        return holder.get();
    }
    MeshRecord* copy = CopiedMesh(mesh);
    auto holder = std::unique_ptr<UniverseBatch>(new (std::nothrow) UniverseBatch);
    if (!copy || !holder) {
        delete copy;
        return nullptr;
    }
    holder->mesh = copy;
    copy->needsRebuild = 1;
    list.push_back(std::move(holder));
    return list.back().get();
}

void Universe::BuildAreaMeshLists() {
    for (const std::unique_ptr<UniverseArea>& area : areas) {
        // The last assembly's meshes go, unless the level's mesh list still holds them.
        for (auto* list : {&area->batches, &area->secondBatches})
            for (const std::unique_ptr<UniverseBatch>& holder : *list)
                if (holder && std::find(textureMeshes.begin(), textureMeshes.end(), holder->mesh) ==
                                  textureMeshes.end())
                    FreeWorldMesh(holder->mesh);
        area->batches.clear();
        area->secondBatches.clear();
        area->sharedMeshes.clear();
    }
    for (const std::unique_ptr<UniverseArea>& area : areas)
        for (UniverseNode* cell : area->cells)
            for (MeshRecord* mesh : cell->meshes)
                if (mesh) mesh->universePlaced = 0;
    for (std::int32_t pass = 0; pass < 3; ++pass)
        for (const std::unique_ptr<UniverseArea>& area : areas)
            for (UniverseNode* cell : area->cells)
                PlaceCellMeshes(pass, *area, *cell);
    ComputeCellTriangleBounds();
    AddAreaMeshesToBuffers();
}

void Universe::PlaceCellMeshes(std::int32_t pass, UniverseArea& area, UniverseNode& cell) {
    const D3DXVECTOR3 shrink(0.1f, 0.1f, 0.1f);
    for (MeshRecord* mesh : cell.meshes) {
        if (!mesh) continue;
        const D3DXVECTOR3& m = mesh->bounds.centre;
        if (HalfOpenInside(m, area.minimum, area.maximum)) {
            if (pass == 1 && !mesh->universePlaced &&
                HalfOpenInside(m, cell.Minimum(), cell.Maximum())) {
                MergeMeshIntoArea(&area, mesh, nullptr);
                mesh->universePlaced = 1;
            }
            continue;
        }
        const bool candidate = ReachesFromSide(cell, mesh, area) ||
                               BoxesOverlap(mesh->bounds.minimum, mesh->bounds.maximum,
                                            cell.Minimum() + shrink, cell.Maximum() - shrink);
        if (!candidate) continue;
        if (pass == 2 && !mesh->universePlaced) {
            MergeMeshIntoArea(&area, mesh, nullptr);
            mesh->universePlaced = 1;
        }
        if (pass != 0) continue;
        UniverseArea* home = nullptr;
        for (const std::unique_ptr<UniverseArea>& other : areas)
            if (!home && StrictlyInside(m, other->minimum, other->maximum)) home = other.get();
        if (!home) continue;
        UniverseBatch* holder = nullptr;
        if (!mesh->universePlaced) {
            holder = MergeMeshIntoArea(&area, mesh, home);
            mesh->universePlaced = 1;
        } else {
            for (const std::unique_ptr<UniverseBatch>& h : home->secondBatches)
                if (!holder && h && CompareMeshTextureLists(h->mesh, mesh)) holder = h.get();
            if (std::find(area.sharedMeshes.begin(), area.sharedMeshes.end(), holder) !=
                area.sharedMeshes.end())
                holder = nullptr;
        }
        if (holder) area.sharedMeshes.push_back(holder);
    }
}

void Universe::AddAreaMeshesToBuffers() {
    ObjectManager& manager = g_Object3D.manager;
    // A mesh many holders share is placed once: placing it again for each would copy all its
    // vertices once a holder.
    std::unordered_set<const MeshRecord*> placed;
    for (const std::unique_ptr<UniverseArea>& area : areas)
        for (auto* list : {&area->batches, &area->secondBatches})
            for (const std::unique_ptr<UniverseBatch>& holder : *list) {
                MeshRecord* mesh = holder ? holder->mesh : nullptr;
                if (!mesh || !placed.insert(mesh).second) continue;
                // A second placing would leave the first buffer behind.
                if (mesh->drawItem) manager.RemoveMeshFromBuffers(mesh);
                manager.AddMeshToBuffers(mesh, true);
            }
}
