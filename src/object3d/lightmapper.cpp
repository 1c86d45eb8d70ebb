#include "core/win32.h"

#include "object3d/lightmapper.h"
#include "core/core.h"
#include "core/error_numbers.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_looks.h"
#include "object3d/mesh_textures.h"
#include "object3d/object_state.h"
#include "object3d/object_world.h"
#include "object3d/vertex_editing.h"
#include "universe/universe.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Progress codes of the CoreData progress word.
constexpr std::int32_t kProgressAddStart = 10001;
constexpr std::int32_t kProgressListStart = 10002;
constexpr std::int32_t kProgressListEnd = 10003;
constexpr std::int32_t kProgressMeshTaken = 10004;
constexpr std::int32_t kProgressMeshAdded = 10008;
constexpr std::int32_t kProgressAddEnd = 10009;
constexpr std::int32_t kProgressBuild = 10011;
constexpr std::int32_t kProgressLight = 10021;
constexpr std::int32_t kProgressFirstPage = 11000;
constexpr std::int32_t kProgressMesh = 11001;
constexpr std::int32_t kProgressSaving = 19001;
constexpr std::int32_t kProgressDone = 19002;
// A list whose corners need more vertices than 16-bit indices reach cannot be prepared.
constexpr std::int64_t kMostCorners = 0xFFFF;

// Stage settings of a lightmapped mesh: the page added to the lit colour on stage 0 from the
// second coordinate set, clamped and unfiltered between levels; the mesh's own texture
// modulating it on stage 1 from the first set.
constexpr std::uint32_t kPageOperation = D3DTOP_ADD;
constexpr std::uint32_t kPageCoordinates = 11;
constexpr std::uint32_t kBaseOperation = D3DTOP_MODULATE;
constexpr std::uint32_t kBaseCoordinates = 10;

void Progress(std::int32_t code) {
    if (g_Object3D.core) g_Object3D.core->loadProgress = code;
}

ObjectRecord* FrameOwner(ObjectRecord* object) {
    return object && object->instanceSource ? object->instanceSource : object;
}

bool HasPrimitives(const MeshRecord* mesh) {
    return mesh && mesh->vertices && mesh->vertexCount > 0 &&
           (mesh->drawPrimitiveCount > 0 || mesh->vertexCount >= 3);
}

// Corners the mesh has as a plain triangle list.
std::int64_t ListCorners(const MeshRecord* mesh) {
    const std::int64_t corners =
        mesh->indices && mesh->indexCount > 0 ? mesh->indexCount : mesh->vertexCount;
    if (mesh->primitiveType == D3DPT_TRIANGLELIST) return corners;
    if (mesh->primitiveType == D3DPT_TRIANGLESTRIP || mesh->primitiveType == D3DPT_TRIANGLEFAN)
        return corners > 2 ? 3 * (corners - 2) : 0;
    return 0;
}

// A plain list in the lightmap format with fresh normals. The vertex backup no longer fits the
// vertices and is dropped; *hadBackup says whether one must be taken again at the end. Throws
// std::bad_alloc where a step runs out of memory rather than pass the mesh by.
bool PrepareMesh(MeshRecord* mesh, bool* hadBackup) {
    *hadBackup = false;
    if (!mesh->vertices || mesh->vertexSize == 0) return false;
    const std::int64_t corners = ListCorners(mesh);
    if (corners < 3 || corners > kMostCorners) return false;
    // Strips past 16-bit vertex numbers stay strips; anything else becomes a list unless memory
    // runs out.
    const bool listable =
        mesh->primitiveType == D3DPT_TRIANGLELIST || mesh->vertexCount <= kMostCorners;
    *hadBackup = mesh->backupVertices != nullptr;
    delete[] std::exchange(mesh->backupVertices, nullptr);
    ExpandMeshIndices(mesh);
    // Nothing here reads which vertex each corner came from.
    std::vector<std::uint32_t>().swap(ExpandedVertexRemap);
    if (mesh->primitiveType != D3DPT_TRIANGLELIST || (mesh->indices && mesh->indexCount > 0)) {
        if (listable) throw std::bad_alloc();
        return false;
    }
    if (!ConvertMeshToFVF(mesh, kLightmapFVF)) throw std::bad_alloc();
    if (mesh->fvf != kLightmapFVF || mesh->vertexSize != sizeof(LightmapVertex)) return false;
    if (!RecomputeMeshNormals(mesh)) throw std::bad_alloc();
    if (mesh->fvf != kLightmapFVF || mesh->vertexSize != sizeof(LightmapVertex)) return false;
    // A shader's format given up later returns to this one, lightmap coordinates and all.
    mesh->savedFVF = kLightmapFVF;
    return true;
}

// Vertex k of triangle f of a prepared mesh, or -1 when the index names no vertex.
std::int32_t PreparedCorner(const MeshRecord* mesh, std::int32_t f, std::int32_t k) {
    const std::int32_t at = 3 * f + k;
    std::int32_t v = at;
    if (mesh->indices && mesh->indexCount > 0) {
        if (at >= mesh->indexCount) return -1;
        v = mesh->indices[at];
    }
    return v < mesh->vertexCount ? v : -1;
}

// The matrix that places the entry's mesh in the world, from the entry's object (an instance's
// own position for its source's frame). The frame keeps its owner's matrix afterwards.
bool EntryWorldMatrix(const LightmapMeshEntry& entry, D3DXMATRIX* world) {
    if (!entry.object || !entry.frame || entry.mesh->worldSpace) return false;
    UpdateObjectWorld(entry.object);
    CopyGlueMatrices(entry.object, entry.frame, entry.mesh);
    *world = entry.frame->worldMatrix;
    ObjectRecord* owner = FrameOwner(entry.object);
    if (owner != entry.object) {
        UpdateObjectWorld(owner);
        CopyGlueMatrices(owner, entry.frame, entry.mesh);
    }
    return true;
}

// Moves a prepared mesh into world space for its lighting and puts back the exact positions it
// had when the lighting ends.
class WorldPlacement {
public:
    explicit WorldPlacement(const LightmapMeshEntry& entry) : mesh_(entry.mesh) {
        D3DXMATRIX world;
        if (!EntryWorldMatrix(entry, &world)) return;
        auto* v = reinterpret_cast<LightmapVertex*>(mesh_->vertices);
        saved_.resize(static_cast<std::size_t>(mesh_->vertexCount));
        for (std::size_t k = 0; k < saved_.size(); ++k) {
            saved_[k] = v[k].position;
            D3DXVec3TransformCoord(&v[k].position, &saved_[k], &world);
        }
    }
    ~WorldPlacement() {
        auto* v = reinterpret_cast<LightmapVertex*>(mesh_->vertices);
        for (std::size_t k = 0; k < saved_.size(); ++k)
            v[k].position = saved_[k];
    }
    WorldPlacement(const WorldPlacement&) = delete;
    WorldPlacement& operator=(const WorldPlacement&) = delete;

private:
    MeshRecord* mesh_;
    std::vector<D3DXVECTOR3> saved_;
};

// The box of the entry's mesh in the world.
void EntryWorldBox(const LightmapMeshEntry& entry, D3DXVECTOR3* low, D3DXVECTOR3* high) {
    const CollisionBlock& b = entry.mesh->bounds;
    *low = b.minimum;
    *high = b.maximum;
    D3DXMATRIX world;
    if (!EntryWorldMatrix(entry, &world)) return;
    for (int corner = 0; corner < 8; ++corner) {
        const D3DXVECTOR3 p(corner & 1 ? b.maximum.x : b.minimum.x,
                            corner & 2 ? b.maximum.y : b.minimum.y,
                            corner & 4 ? b.maximum.z : b.minimum.z);
        D3DXVECTOR3 moved;
        D3DXVec3TransformCoord(&moved, &p, &world);
        if (corner == 0) *low = *high = moved;
        D3DXVec3Minimize(low, low, &moved);
        D3DXVec3Maximize(high, high, &moved);
    }
}

// Slot 0 already holds a page: lighting the mesh again replaces the page and keeps the mesh's own
// texture where the first lighting moved it.
bool HoldsLightmapPage(const TextureRecord& slot) {
    return slot.imageNumber == 0 && slot.overrideTexture &&
           slot.colourOperation == kPageOperation && slot.coordinateMode == kPageCoordinates;
}

} // namespace

LightMapper& ModuleLightMapper() {
    static LightMapper mapper;
    return mapper;
}

void LightMapper::AddEntry(FrameRecord* frame, MeshRecord* mesh, ObjectRecord* object,
                           std::int32_t number) {
    if (!mesh) return;
    LightmapMeshEntry entry;
    entry.frame = frame;
    entry.mesh = mesh;
    entry.object = object;
    entry.objectNumber = number;
    entry.objectSerial = object ? object->serial : 0;
    const auto listed = std::find_if(meshes_.begin(), meshes_.end(),
                                     [mesh](const LightmapMeshEntry& e) { return e.mesh == mesh; });
    if (listed == meshes_.end()) {
        meshes_.push_back(entry);
    } else if (listed->object && !StillLive(*listed)) {
        // The entry's object is gone; the mesh lives on in its source or was made anew at the
        // same address.
        *listed = entry;
    }
}

void LightMapper::AddObject(std::int32_t number) {
    ObjectRecord* object = ObjectAt(number);
    ObjectRecord* owner = FrameOwner(object);
    for (std::int32_t f = 0; owner && owner->frames && f < owner->frameCount; ++f)
        if (FrameRecord* frame = owner->frames[f]; frame && frame->mesh)
            AddEntry(frame, frame->mesh, object, number);
}

void LightMapper::AddLimb(std::int32_t number, std::int32_t limb) {
    ObjectRecord* object = ObjectAt(number);
    ObjectRecord* owner = FrameOwner(object);
    if (!owner || !owner->frames || limb < 0 || limb >= owner->frameCount) return;
    if (FrameRecord* frame = owner->frames[limb]; frame && frame->mesh)
        AddEntry(frame, frame->mesh, object, number);
}

void LightMapper::AddMesh(Universe* universe) {
    if (!universe) return;
    Progress(kProgressAddStart);
    Progress(kProgressListStart);
    std::vector<MeshRecord*> meshes;
    universe->GatherAreaBatchMeshes(meshes);
    for (MeshRecord* mesh : meshes) {
        Progress(kProgressMeshTaken);
        AddEntry(nullptr, mesh, nullptr, 0);
        Progress(kProgressMeshAdded);
    }
    Progress(kProgressListEnd);
    Progress(kProgressAddEnd);
}

void LightMapper::AddLight(float x, float y, float z, float range, float red, float green,
                           float blue, float brightness, std::uint8_t castsShadows) {
    LightmapLight light;
    light.position = D3DXVECTOR3(x, y, z);
    light.range = range;
    light.brightness = brightness * 0.01f;
    light.colour = D3DXVECTOR3(red, green, blue) * light.brightness;
    light.castsShadows = castsShadows;
    lights_.push_back(light);
}

void LightMapper::Reset() {
    lights_.clear();
    meshes_.clear();
    tileWidth_ = tileHeight_ = kSmallestLightmapTile;
}

bool LightMapper::StillLive(const LightmapMeshEntry& entry) const {
    if (!entry.mesh) return false;
    const Object3DState& s = g_Object3D;
    if (!entry.object) {
        const Universe* world = s.universe;
        if (!world) return false;
        std::vector<MeshRecord*> meshes;
        world->GatherAreaBatchMeshes(meshes);
        return std::find(meshes.begin(), meshes.end(), entry.mesh) != meshes.end();
    }
    // Nothing of the listed record is read before the table vouches for it: it may be freed, and
    // a new object under the same number may sit at the same address.
    const ObjectRecord* object = ObjectAt(entry.objectNumber);
    if (!object || object != entry.object || object->serial != entry.objectSerial) return false;
    const ObjectRecord* owner = FrameOwner(entry.object);
    if (!owner->frames) return false;
    for (std::int32_t f = 0; f < owner->frameCount; ++f)
        if (owner->frames[f] == entry.frame) return entry.frame->mesh == entry.mesh;
    return false;
}

void LightMapper::PlaceLightsInAreas() {
    const Universe* world = g_Object3D.universe;
    if (!world) return;
    for (std::size_t i = 0; i < lights_.size(); ++i) {
        Progress(kProgressLight + static_cast<std::int32_t>(i));
        LightmapLight& light = lights_[i];
        light.area = 0;
        for (std::size_t a = 0; a < world->areas.size() && light.area == 0; ++a) {
            const UniverseArea* area = world->areas[a].get();
            if (area && BoxesOverlap(light.position, light.position, area->minimum, area->maximum))
                light.area = static_cast<std::int32_t>(a) + 1;
        }
    }
}

std::vector<LightmapMeshLight> LightMapper::GatherMeshLights(const LightmapMeshEntry& entry) const {
    std::vector<LightmapMeshLight> reaching;
    Universe* world = g_Object3D.universe;
    if (!world) {
        // Without a world nothing stands between: every light counts.
        for (const LightmapLight& light : lights_)
            reaching.push_back({&light, {}, {}});
        return reaching;
    }
    D3DXVECTOR3 low, high;
    EntryWorldBox(entry, &low, &high);
    const D3DXVECTOR3 centre = (low + high) * 0.5f, half = (high - low) * 0.5f;
    const float radius = D3DXVec3Length(&half);
    for (const LightmapLight& light : lights_) {
        const bool touched = world->IsBoxVisibleFromArea(light.area, &light.position, centre, half);
        // The plane sets are the caller's to clear: a light outside every area adds none.
        std::vector<UniversePlaneSet> portals = std::move(world->visibleFrusta);
        world->visibleFrusta.clear();
        if (!touched && portals.empty()) continue;
        const D3DXVECTOR3 apart = light.position - centre;
        if (D3DXVec3Length(&apart) - radius > light.range) continue;
        LightmapMeshLight reached{&light, std::move(portals), {}};
        D3DXVECTOR3 boxLow = low, boxHigh = high;
        D3DXVec3Minimize(&boxLow, &boxLow, &light.position);
        D3DXVec3Maximize(&boxHigh, &boxHigh, &light.position);
        // Every level mesh may stand between.
        world->GatherMeshesInBox(boxLow, boxHigh);
        for (MeshRecord* mesh : world->queryMeshes)
            if (mesh) reached.occluders.push_back(mesh);
        reaching.push_back(std::move(reached));
    }
    return reaching;
}

void LightMapper::Build(std::int32_t quality, std::int32_t colourStep, const char* folder) {
    // What the call changes of the mapper, put back when it runs out of memory.
    const std::int32_t oldWidth = tileWidth_, oldHeight = tileHeight_, oldStep = colourStep_,
                       oldPageNumber = pageNumber_;
    std::vector<std::int32_t> oldAreas;
    std::string oldFolder;
    bool swapped = false, lit = false;
    MeshLooks looks;
    try {
        oldAreas.reserve(lights_.size());
        for (const LightmapLight& light : lights_)
            oldAreas.push_back(light.area);
        oldFolder = folder ? folder : "";
        folder_.swap(oldFolder);
        swapped = true;
        tileWidth_ = tileHeight_ = std::clamp(quality, kSmallestLightmapTile, kLargestLightmapTile);
        colourStep_ = std::clamp(colourStep, 0, 255);
        LightAll(looks);
        lit = true;
    } catch (...) {
    }
    if (!lit) {
        looks.Undo();
        for (const LightmapMeshEntry& entry : meshes_)
            if (entry.object && StillLive(entry))
                g_Object3D.manager.MarkObjectChanged(FrameOwner(entry.object));
        for (std::size_t i = 0; i < oldAreas.size(); ++i)
            lights_[i].area = oldAreas[i];
        if (swapped) folder_.swap(oldFolder);
        tileWidth_ = oldWidth;
        tileHeight_ = oldHeight;
        colourStep_ = oldStep;
        pageNumber_ = oldPageNumber;
        page_.reset();
        finished_.clear();
        std::vector<std::uint32_t>().swap(lumels_);
        RaiseRuntimeError(kObjectNotMade);
        return;
    }
    looks.Keep();
    // Only now is a page written: a build that failed leaves the old files as they were.
    for (const std::unique_ptr<LightmapPage>& page : finished_)
        WritePage(*page);
    finished_.clear();
    Progress(kProgressDone);
    meshes_.clear();
}

void LightMapper::LightAll(MeshLooks& looks) {
    Progress(kProgressBuild);
    pageNumber_ = 0;
    PlaceLightsInAreas();
    Progress(kProgressFirstPage);
    finished_.clear();
    page_ = std::make_unique<LightmapPage>();
    CreatePage(*page_, tileWidth_, tileHeight_, pageNumber_);
    lumels_.assign(static_cast<std::size_t>(tileWidth_) * tileHeight_, 0);
    for (std::size_t m = 0; m < meshes_.size(); ++m) {
        Progress(kProgressMesh + static_cast<std::int32_t>(m));
        // A mesh whose object or world went away since it was listed is not touched.
        if (StillLive(meshes_[m])) LightEntry(meshes_[m], looks);
    }
    Progress(kProgressSaving);
    finished_.reserve(finished_.size() + 1);
    FinishPage(*page_);
    finished_.push_back(std::move(page_));
}

void LightMapper::NextPage() {
    finished_.reserve(finished_.size() + 1);
    auto next = std::make_unique<LightmapPage>();
    FinishPage(*page_);
    finished_.push_back(std::exchange(page_, std::move(next)));
    CreatePage(*page_, tileWidth_, tileHeight_, pageNumber_);
}

void LightMapper::LightEntry(const LightmapMeshEntry& entry, MeshLooks& looks) {
    if (!HasPrimitives(entry.mesh)) return;
    // The mesh's own arrays, slots and effect wait aside until every mesh is lit.
    if (!looks.Aside(entry.mesh)) throw std::bad_alloc();
    // A mesh that fills the page is placed once more on a fresh page; one that does not fit a
    // fresh page either keeps the coordinates it got but no page.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (ApplyToMesh(entry) != Outcome::PageFull) return;
        NextPage();
    }
}

LightMapper::Outcome LightMapper::ApplyToMesh(const LightmapMeshEntry& entry) {
    MeshRecord* mesh = entry.mesh;
    const std::vector<LightmapMeshLight> lights = GatherMeshLights(entry);
    bool hadBackup = false;
    Outcome outcome = Outcome::Skipped;
    if (PrepareMesh(mesh, &hadBackup)) {
        WorldPlacement placed(entry);
        outcome = LightTriangles(mesh, lights);
    }
    if (hadBackup) {
        BackupMeshVertices(mesh);
        if (!mesh->backupVertices) throw std::bad_alloc();
    }
    if (outcome == Outcome::Placed) BindPage(entry);
    // The mesh's format and vertices changed whether or not it was lit: its place in the device
    // buffers is made anew.
    mesh->verticesChanged = 1;
    if (entry.object) g_Object3D.manager.MarkObjectChanged(FrameOwner(entry.object));
    return outcome;
}

LightMapper::Outcome LightMapper::LightTriangles(MeshRecord* mesh,
                                                 const std::vector<LightmapMeshLight>& lights) {
    auto* vertices = reinterpret_cast<LightmapVertex*>(mesh->vertices);
    const std::int32_t corners =
        mesh->indices && mesh->indexCount > 0 ? mesh->indexCount : mesh->vertexCount;
    page_->BeginMesh(mesh);
    for (std::int32_t f = 0; f < corners / 3; ++f) {
        const std::int32_t a = PreparedCorner(mesh, f, 0), b = PreparedCorner(mesh, f, 1),
                           c = PreparedCorner(mesh, f, 2);
        if (a < 0 || b < 0 || c < 0) continue;
        LightmapTriangle t;
        SetupTriangle(t, &vertices[a], &vertices[b], &vertices[c]);
        NormalizeTriangleUV(t);
        SetupLumelPlane(t);
        const std::uint8_t shadow =
            LightTriangle(t, lights, tileWidth_, tileHeight_, colourStep_, lumels_.data());
        if (!page_->PlaceTriangle(lumels_.data(), shadow, t)) return Outcome::PageFull;
    }
    return Outcome::Placed;
}

void LightMapper::BindPage(const LightmapMeshEntry& entry) {
    MeshRecord* mesh = entry.mesh;
    IDirect3DTexture9* page = page_->GetTexture();
    // A page the device could not make has nothing to show: the mesh keeps its look.
    if (!page) return;
    if (!EnsureMeshTextureCount(mesh, 1)) throw std::bad_alloc();
    if (!HoldsLightmapPage(mesh->textures[0])) {
        ShareMeshTextureSlot(mesh, 0, 1);
        TextureRecord& base = mesh->textures[1];
        base.stage = 1;
        base.colourOperation = kBaseOperation;
        base.argument1 = D3DTA_TEXTURE;
        base.argument2 = D3DTA_CURRENT;
        base.coordinateMode = kBaseCoordinates;
    }
    // The slot holds a reference of its own and no image number: the page is no image, and a
    // number would let the slot's release delete an image another mesh draws.
    SetMeshStageTextureObject(mesh, 0, page);
    TextureRecord& slot = mesh->textures[0];
    std::memcpy(slot.fileName, page_->GetFileName(), sizeof slot.fileName);
    slot.stage = 0;
    slot.colourOperation = kPageOperation;
    slot.argument1 = D3DTA_TEXTURE;
    slot.argument2 = D3DTA_DIFFUSE;
    slot.addressU = D3DTADDRESS_CLAMP;
    slot.addressV = D3DTADDRESS_CLAMP;
    slot.magFilter = D3DTEXF_LINEAR;
    slot.minFilter = D3DTEXF_LINEAR;
    slot.mipFilter = D3DTEXF_NONE;
    slot.coordinateMode = kPageCoordinates;
}
