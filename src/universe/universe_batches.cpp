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
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

// Batches never reach the 16-bit limit: the vertex sum, its lowest two bits cleared, stays below.
bool SumFits(std::int32_t a, std::int32_t b) {
    return ((a + b) & ~3) < kBatchVertexLimit;
}

// The most indices a mesh may hold (a 16-bit count): a merge past it cannot be made.
constexpr std::int32_t kMostIndices = 65535;

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

// The piece's vertices as copying it through MakeMeshFromData `passes` times leaves them (an
// identity that may turn a zero's sign and makes normals unit length); null when no pass is asked
// for or none can be made. A pass that changes nothing ends the copying: the rest would not either.
std::unique_ptr<MeshRecord> Recopied(const MeshRecord* piece, std::int32_t passes) {
    std::unique_ptr<MeshRecord> copy;
    for (std::int32_t p = 0; p < passes; ++p) {
        const MeshRecord* from = copy ? copy.get() : piece;
        auto next = std::unique_ptr<MeshRecord>(new (std::nothrow) MeshRecord);
        if (!next || !MakeMeshFromFormat(next.get(), from, nullptr)) break;
        const bool same =
            std::memcmp(next->vertices, from->vertices,
                        static_cast<std::size_t>(from->vertexCount) * from->vertexSize) == 0;
        copy = std::move(next);
        if (same) break;
    }
    return copy;
}

// A new mesh holding the first mesh's data followed by each of the rest's, as merging them one at
// a time makes it: each piece's vertices pass through a copy once for every piece merged after
// it, the render settings are the last piece's. Null when it cannot be made.
MeshRecord* JoinedMesh(const MeshRecord* first, const std::vector<const MeshRecord*>& rest) {
    const auto pieces = static_cast<std::int32_t>(rest.size()) + 1;
    std::int32_t vertexSum = first->vertexCount, indexSum = ListedCorners(first);
    bool indexed = Indexed(first);
    for (const MeshRecord* piece : rest) {
        vertexSum += piece->vertexCount;
        indexSum += ListedCorners(piece);
        indexed = indexed || Indexed(piece);
    }
    if (!indexed) indexSum = 0;
    // The merge that makes the mesh copies the first piece's vertices once more.
    const std::unique_ptr<MeshRecord> head = Recopied(first, pieces - 2);
    auto* merged = new (std::nothrow) MeshRecord;
    if (!merged ||
        !MakeMeshFromData(merged, head ? head.get() : first, nullptr, indexSum, vertexSum)) {
        delete merged;
        return nullptr;
    }
    if (!CopyMeshRenderSettings(rest.back(), merged)) { // its texture slots: memory
        FreeWorldMesh(merged);
        return nullptr;
    }
    std::int32_t corner = ListedCorners(first), vertex = first->vertexCount;
    if (indexed && !Indexed(first)) WriteSequence(merged, 0, corner, 0);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const MeshRecord* piece = rest[i];
        if (indexed && Indexed(piece)) {
            CopyMeshIndicesAt(merged, piece, corner, piece->indexCount);
            OffsetMeshIndices(merged, corner, piece->indexCount, vertex);
        } else if (indexed) {
            WriteSequence(merged, corner, piece->vertexCount, vertex);
        }
        const std::unique_ptr<MeshRecord> again =
            Recopied(piece, pieces - 2 - static_cast<std::int32_t>(i));
        CopyMeshVerticesAt(merged, again ? again.get() : piece, vertex, piece->vertexCount);
        corner += ListedCorners(piece);
        vertex += piece->vertexCount;
    }
    merged->drawVertexCount = vertexSum;
    merged->drawPrimitiveCount = (indexed ? indexSum : vertexSum) / 3;
    // The batch's box covers every piece: the settings copied above brought the last one's alone.
    CalculateMeshBounds(merged);
    return merged;
}

// A new holder at the end of the list, of a copy of the mesh; null when either cannot be made.
UniverseBatch* NewHolder(std::vector<std::unique_ptr<UniverseBatch>>& list,
                         const MeshRecord* mesh) {
    WorldMeshPointer copy(CopiedMesh(mesh));
    auto holder = std::unique_ptr<UniverseBatch>(new (std::nothrow) UniverseBatch);
    if (!copy || !holder) return nullptr;
    MakeRoom(list, 1);
    holder->mesh = copy.release();
    holder->mesh->needsRebuild = 1;
    list.push_back(std::move(holder));
    return list.back().get();
}

// What CompareMeshTextureLists compares, as one key: the format and each slot's file name (as far
// as the comparison reads it); empty for a mesh without slots, which matches none.
std::string TextureLook(const MeshRecord* mesh) {
    if (!mesh || !mesh->textures) return {};
    std::string look(reinterpret_cast<const char*>(&mesh->fvf), sizeof mesh->fvf);
    look.append(reinterpret_cast<const char*>(&mesh->textureCount), sizeof mesh->textureCount);
    for (std::int32_t i = 0; i < mesh->textureCount; ++i) {
        const char* name = mesh->textures[i].fileName;
        look.append(name, strnlen(name, kRecordNameLength)).push_back('\0');
    }
    return look;
}

// What CanTake compares besides room, as one key; empty for a mesh no batch takes or holds.
std::string MergeLook(const MeshRecord* mesh) {
    if (!mesh || !mesh->vertices || mesh->primitiveType != D3DPT_TRIANGLELIST) return {};
    std::string look = TextureLook(mesh);
    if (!look.empty()) look.append(reinterpret_cast<const char*>(&mesh->vertexSize), 4);
    return look;
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
    if (!copy || !MakeMeshFromFormat(copy, mesh, nullptr) || !CopyMeshRenderSettings(mesh, copy)) {
        FreeWorldMesh(copy);
        return nullptr;
    }
    CalculateMeshBounds(copy);
    return copy;
}

void FreeWorldMesh(MeshRecord* mesh) {
    if (!mesh) return;
    if (mesh->drawItem) g_Object3D.manager.RemoveMeshFromBuffers(mesh);
    // Its slots hold uses of the images the object module made for meshes.
    FreeMeshTextures(mesh);
    delete mesh;
}

void Universe::ReleaseMesh(MeshRecord* mesh) {
    if (mesh && rayContact.mesh == mesh) rayContact.mesh = nullptr;
    FreeWorldMesh(mesh);
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
    return CopyMeshTextureSlots(to, from);
}

UniverseBatch* Universe::MergeMeshIntoArea(UniverseArea* area, MeshRecord* mesh,
                                           UniverseArea* target) {
    if (!mesh || (!area && !target)) return nullptr;
    auto& list = target ? target->secondBatches : area->batches;
    for (const std::unique_ptr<UniverseBatch>& holder : list) {
        if (!holder || !CanTake(holder->mesh, mesh)) continue;
        MeshRecord* merged = JoinedMesh(holder->mesh, {mesh});
        if (!merged) continue;
        ReleaseMesh(std::exchange(holder->mesh, merged));
        merged->needsRebuild = 1;
        return holder.get();
    }
    return NewHolder(list, mesh);
}

// One assembly of the areas' batches. It picks the batches MergeMeshIntoArea would, but keeps each
// batch's meshes as pieces and joins them once at the end: merged one at a time, a batch of n
// meshes would be copied whole n times. Batches, second batches with their textures, shared
// entries and the areas holding a point are looked up, not searched.
class BatchAssembly {
public:
    explicit BatchAssembly(const std::vector<std::unique_ptr<UniverseArea>>& areas)
        : areas_(areas), buckets_(areas) {}

    // The batch of the list that takes the mesh as a piece, or a new one holding a copy of it.
    UniverseBatch* Merge(std::vector<std::unique_ptr<UniverseBatch>>& list, MeshRecord* mesh) {
        if (!mesh) return nullptr;
        ListIndex& index = lists_[&list];
        const std::string look = MergeLook(mesh);
        if (!look.empty())
            for (UniverseBatch* holder : index.byLook[look]) {
                Pieces& batch = batches_[holder];
                if (!batch.Fits(mesh)) continue;
                batch.Add(mesh);
                batch.rest.push_back(mesh);
                return holder;
            }
        // An assembly short of memory would save a level without the mesh: it fails instead.
        UniverseBatch* holder = NewHolder(list, mesh);
        if (!holder) throw std::bad_alloc();
        batches_[holder].Add(holder->mesh);
        const std::string held = MergeLook(holder->mesh);
        if (!held.empty()) index.byLook[held].push_back(holder);
        const std::string textures = TextureLook(holder->mesh);
        if (!textures.empty()) index.firstWithTextures.try_emplace(textures, holder);
        return holder;
    }

    // The first of the area's second batches whose textures are the mesh's; null for none.
    UniverseBatch* FirstWithTextures(UniverseArea& area, const MeshRecord* mesh) {
        const auto& first = lists_[&area.secondBatches].firstWithTextures;
        const auto found = first.find(TextureLook(mesh));
        return found == first.end() ? nullptr : found->second;
    }

    // Lists the holder among the area's shared meshes; only once unless asked for `again`.
    void Share(UniverseArea& area, UniverseBatch* holder, bool again) {
        if (holder && (shared_[&area].insert(holder).second || again))
            area.sharedMeshes.push_back(holder);
    }

    // The first area whose box holds the point strictly inside; null for none.
    UniverseArea* Home(const D3DXVECTOR3& point) const {
        for (const std::int32_t i : buckets_.Near(point, point))
            if (StrictlyInside(point, areas_[i]->minimum, areas_[i]->maximum))
                return areas_[i].get();
        return nullptr;
    }

    // Each batch of more than one piece becomes one mesh.
    void Finish() {
        for (auto& [holder, batch] : batches_) {
            if (batch.rest.empty()) continue;
            MeshRecord* joined = JoinedMesh(holder->mesh, batch.rest);
            if (!joined) throw std::bad_alloc(); // the batch would hold its first piece alone
            FreeWorldMesh(std::exchange(holder->mesh, joined));
            joined->needsRebuild = 1;
        }
    }

private:
    // A batch's pieces after its first, and its sums over all of them.
    struct Pieces {
        std::vector<const MeshRecord*> rest;
        std::int32_t vertices = 0;
        std::int32_t corners = 0;
        bool indexed = false;
        // Room below the vertex limit, and (as a merge into one mesh needs) for the indices.
        bool Fits(const MeshRecord* mesh) const {
            return SumFits(vertices, mesh->vertexCount) &&
                   (!(indexed || Indexed(mesh)) || corners + ListedCorners(mesh) <= kMostIndices);
        }
        void Add(const MeshRecord* mesh) {
            vertices += mesh->vertexCount;
            corners += ListedCorners(mesh);
            indexed = indexed || Indexed(mesh);
        }
    };
    struct ListIndex {
        std::unordered_map<std::string, std::vector<UniverseBatch*>> byLook;
        std::unordered_map<std::string, UniverseBatch*> firstWithTextures;
    };
    const std::vector<std::unique_ptr<UniverseArea>>& areas_;
    const AreaBuckets buckets_;
    std::unordered_map<UniverseBatch*, Pieces> batches_;
    std::unordered_map<const void*, ListIndex> lists_;
    std::unordered_map<const UniverseArea*, std::unordered_set<const UniverseBatch*>> shared_;
};

namespace {

// An area's batch lists, held aside while the next assembly runs.
struct AreaLists {
    std::vector<std::unique_ptr<UniverseBatch>> batches, secondBatches;
    std::vector<UniverseBatch*> sharedMeshes;

    void Swap(UniverseArea& area) noexcept {
        std::swap(batches, area.batches);
        std::swap(secondBatches, area.secondBatches);
        std::swap(sharedMeshes, area.sharedMeshes);
    }
    // Each mesh of the holders goes, unless the level's mesh list holds it; it leaves its holder
    // first, so that no list names it while it goes.
    void Release(Universe& world, const std::unordered_set<const MeshRecord*>& listed) {
        for (auto* list : {&batches, &secondBatches})
            for (const std::unique_ptr<UniverseBatch>& holder : *list)
                if (holder && !listed.count(holder->mesh))
                    world.ReleaseMesh(std::exchange(holder->mesh, nullptr));
        batches.clear();
        secondBatches.clear();
        sharedMeshes.clear();
    }
};

} // namespace

void Universe::BuildAreaMeshLists() {
    // The last assembly's lists wait aside until the new one is whole: out of memory, the new
    // one's meshes go and the last one's come back, and this throws.
    const std::unordered_set<const MeshRecord*> listed(textureMeshes.begin(), textureMeshes.end());
    std::vector<AreaLists> last(areas.size());
    for (std::size_t i = 0; i < areas.size(); ++i)
        last[i].Swap(*areas[i]);
    try {
        for (const std::unique_ptr<UniverseArea>& area : areas)
            for (UniverseNode* cell : area->cells)
                for (MeshRecord* mesh : cell->meshes)
                    if (mesh) mesh->universePlaced = 0;
        BatchAssembly assembly(areas);
        for (std::int32_t pass = 0; pass < 3; ++pass)
            for (const std::unique_ptr<UniverseArea>& area : areas)
                for (UniverseNode* cell : area->cells)
                    PlaceCellMeshes(pass, *area, *cell, assembly);
        assembly.Finish();
    } catch (...) {
        const std::unordered_set<const MeshRecord*> none;
        for (std::size_t i = 0; i < areas.size(); ++i) {
            last[i].Swap(*areas[i]); // the new lists are last[i]'s now
            last[i].Release(*this, none);
        }
        throw;
    }
    for (AreaLists& lists : last)
        lists.Release(*this, listed);
    ComputeCellTriangleBounds();
    AddAreaMeshesToBuffers();
}

void Universe::PlaceCellMeshes(std::int32_t pass, UniverseArea& area, UniverseNode& cell,
                               BatchAssembly& assembly) {
    const D3DXVECTOR3 shrink(0.1f, 0.1f, 0.1f);
    for (MeshRecord* mesh : cell.meshes) {
        if (!mesh) continue;
        const D3DXVECTOR3& m = mesh->bounds.centre;
        if (HalfOpenInside(m, area.minimum, area.maximum)) {
            if (pass == 1 && !mesh->universePlaced &&
                HalfOpenInside(m, cell.Minimum(), cell.Maximum())) {
                assembly.Merge(area.batches, mesh);
                mesh->universePlaced = 1;
            }
            continue;
        }
        const bool candidate = ReachesFromSide(cell, mesh, area) ||
                               BoxesOverlap(mesh->bounds.minimum, mesh->bounds.maximum,
                                            cell.Minimum() + shrink, cell.Maximum() - shrink);
        if (!candidate) continue;
        if (pass == 2 && !mesh->universePlaced) {
            assembly.Merge(area.batches, mesh);
            mesh->universePlaced = 1;
        }
        if (pass != 0) continue;
        UniverseArea* home = assembly.Home(m);
        if (!home) continue;
        // A mesh placed here goes into the home's second batches and is shared however often;
        // one placed before shares the home's first batch of its textures, once.
        if (!mesh->universePlaced) {
            assembly.Share(area, assembly.Merge(home->secondBatches, mesh), true);
            mesh->universePlaced = 1;
        } else {
            assembly.Share(area, assembly.FirstWithTextures(*home, mesh), false);
        }
    }
}

void Universe::AddAreaMeshesToBuffers() {
    ObjectManager& manager = g_Object3D.manager;
    // A mesh many holders share is placed once: placing it again for each would copy all its
    // vertices once a holder. The meshes placed are kept in a set while memory allows; without it,
    // each mesh is looked for among the holders before its own.
    std::unordered_set<const MeshRecord*> placed;
    bool hashed = true;
    const auto placedBefore = [&](const UniverseBatch* at, const MeshRecord* mesh) {
        for (const std::unique_ptr<UniverseArea>& area : areas)
            for (auto* list : {&area->batches, &area->secondBatches})
                for (const std::unique_ptr<UniverseBatch>& holder : *list) {
                    if (holder.get() == at) return false;
                    if (holder && holder->mesh == mesh) return true;
                }
        return false;
    };
    for (const std::unique_ptr<UniverseArea>& area : areas)
        for (auto* list : {&area->batches, &area->secondBatches})
            for (const std::unique_ptr<UniverseBatch>& holder : *list) {
                MeshRecord* mesh = holder ? holder->mesh : nullptr;
                if (!mesh) continue;
                if (hashed) {
                    try {
                        if (!placed.insert(mesh).second) continue;
                    } catch (const std::bad_alloc&) {
                        placed.clear();
                        hashed = false;
                    }
                }
                if (!hashed && placedBefore(holder.get(), mesh)) continue;
                // A second placing would leave the first buffer behind.
                if (mesh->drawItem) manager.RemoveMeshFromBuffers(mesh);
                manager.AddMeshToBuffers(mesh, true);
            }
}
