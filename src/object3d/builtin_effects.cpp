#include "core/win32.h"

#include "object3d/builtin_effects.h"
#include "core/com_ptr.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_properties.h"
#include "object3d/mesh_textures.h"
#include "object3d/object_lists.h"
#include "object3d/object_records.h"
#include "object3d/skinning.h"
#include "object3d/vertex_layout.h"

#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>

std::vector<std::uint32_t> ShadowMeshRemapTable;

namespace {

constexpr float kAdjacencyEpsilon = 0.0001f;
constexpr std::uint32_t kCartoonFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE; // 0x52
constexpr std::uint32_t kRainbowFormat = D3DFVF_XYZ | D3DFVF_NORMAL;                  // 0x12
constexpr std::int32_t kShadingStages = 2;
constexpr DWORD kMost16BitVertices = 0xFFFF;
constexpr std::uint32_t kNoTie = 0xFFFFFFFF;

struct VolumeVertex {
    D3DXVECTOR3 position;
    D3DXVECTOR3 normal;
};
static_assert(sizeof(VolumeVertex) == 24);

const D3DVERTEXELEMENT9 kVolumeDeclaration[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    D3DDECL_END()};

// The unit normal of a triangle wound p0, p1, p2; zero for a triangle without area.
D3DXVECTOR3 FaceNormal(const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2) {
    const D3DXVECTOR3 e1 = p1 - p0, e2 = p2 - p0;
    D3DXVECTOR3 n;
    D3DXVec3Cross(&n, &e1, &e2);
    const float length = D3DXVec3Length(&n);
    return length > 0 ? n / length : D3DXVECTOR3(0, 0, 0);
}

// The mesh as the volume is built from it: positions, faces, and for every vertex the one vertex
// that stands for all vertices at its place.
struct SourceMesh {
    std::vector<VolumeVertex> vertices;
    std::vector<std::uint32_t> indices; // three per face
    std::vector<DWORD> places;
};

HRESULT ReadSource(ID3DXMesh* mesh, SourceMesh& source) {
    ComPtr<IDirect3DDevice9> device;
    HRESULT hr = mesh->GetDevice(device.PutAddress());
    if (FAILED(hr)) return hr;
    ComPtr<ID3DXMesh> clone;
    hr = mesh->CloneMesh(D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, kVolumeDeclaration, device,
                         clone.PutAddress());
    if (FAILED(hr)) return hr;
    const DWORD faces = clone->GetNumFaces(), count = clone->GetNumVertices();
    std::vector<DWORD> adjacency(static_cast<std::size_t>(faces) * 3);
    source.places.resize(count);
    if (FAILED(hr = clone->GenerateAdjacency(kAdjacencyEpsilon, adjacency.data())) ||
        FAILED(hr = clone->ConvertAdjacencyToPointReps(adjacency.data(), source.places.data())))
        return hr;
    void* data = nullptr;
    if (FAILED(hr = clone->LockVertexBuffer(D3DLOCK_READONLY, &data))) return hr;
    const auto* vertices = static_cast<const VolumeVertex*>(data);
    source.vertices.assign(vertices, vertices + count);
    clone->UnlockVertexBuffer();
    if (FAILED(hr = clone->LockIndexBuffer(D3DLOCK_READONLY, &data))) return hr;
    const auto* indices = static_cast<const std::uint32_t*>(data);
    source.indices.assign(indices, indices + adjacency.size());
    clone->UnlockIndexBuffer();
    for (std::uint32_t index : source.indices)
        if (index >= count) return D3DERR_INVALIDCALL;
    for (DWORD v = 0; v < count; ++v)
        if (source.places[v] >= count) source.places[v] = v;
    return S_OK;
}

// Places joined into connected runs: a union-find whose paths are shortened at each look-up.
class PlaceRuns {
public:
    std::uint32_t Root(std::uint32_t place) {
        std::uint32_t root = place;
        for (auto it = parent_.find(root); it != parent_.end() && it->second != root;
             it = parent_.find(root))
            root = it->second;
        while (place != root) {
            std::uint32_t& up = parent_[place];
            place = std::exchange(up, root);
        }
        return root;
    }
    void Join(std::uint32_t a, std::uint32_t b) {
        const std::uint32_t ra = Root(a), rb = Root(b);
        parent_[ra] = ra;
        parent_[rb] = ra;
    }

private:
    std::unordered_map<std::uint32_t, std::uint32_t> parent_;
};

// Builds the volume's vertices and triangles. Edges are matched by place, so that faces which
// meet only in position still close against each other.
class VolumeBuilder {
public:
    explicit VolumeBuilder(const SourceMesh& source) : source_(source) {}
    void Build() {
        AddFaces();
        PairAlike();
        CapHoles();
        TieCorners();
    }

    std::vector<VolumeVertex> vertices;
    std::vector<std::uint32_t> remap;     // the source vertex of each vertex
    std::vector<std::uint32_t> triangles; // three vertices each

private:
    // One side of an edge, from one volume vertex to another as its triangle runs.
    struct Edge {
        std::uint32_t from, to;
    };

    static std::uint64_t Key(std::uint32_t a, std::uint32_t b) {
        return (static_cast<std::uint64_t>(a) << 32) | b;
    }
    std::uint64_t KeyOf(const Edge& e) const { return Key(places_[e.from], places_[e.to]); }

    std::uint32_t AddVertex(const D3DXVECTOR3& position, const D3DXVECTOR3& normal,
                            std::uint32_t sourceVertex, std::uint32_t place) {
        vertices.push_back({position, normal});
        remap.push_back(sourceVertex);
        places_.push_back(place);
        return static_cast<std::uint32_t>(vertices.size() - 1);
    }
    void AddTriangle(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        triangles.insert(triangles.end(), {a, b, c});
    }

    void AddFaces();
    void Offer(const Edge& e);
    void Stitch(const Edge& e1, const Edge& e2, bool opposite);
    void PairAlike();
    void CapHoles();
    void TieCorners();

    const SourceMesh& source_;
    std::vector<std::uint32_t> places_; // per volume vertex: its source place, or a cap's apex
    std::vector<Edge> edges_;           // every edge offered for matching
    std::vector<bool> waiting_;         // per offered edge: not matched yet
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> open_; // by places, in order
    std::vector<Edge> ties_; // two copies of one corner that a quad's short side joins
};

// Every face gets three vertices of its own carrying its normal. A face whose corners do not lie
// at three places has no area: it keeps its vertices but brings no triangle and no edge.
void VolumeBuilder::AddFaces() {
    const std::size_t faces = source_.indices.size() / 3;
    vertices.reserve(faces * 3);
    for (std::size_t f = 0; f < faces; ++f) {
        const std::uint32_t* corner = &source_.indices[f * 3];
        const D3DXVECTOR3 normal =
            FaceNormal(source_.vertices[corner[0]].position, source_.vertices[corner[1]].position,
                       source_.vertices[corner[2]].position);
        std::uint32_t v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = AddVertex(source_.vertices[corner[k]].position, normal, corner[k],
                             source_.places[corner[k]]);
        if (places_[v[0]] == places_[v[1]] || places_[v[1]] == places_[v[2]] ||
            places_[v[2]] == places_[v[0]])
            continue;
        AddTriangle(v[0], v[1], v[2]);
        for (int k = 0; k < 3; ++k)
            Offer({v[k], v[(k + 1) % 3]});
    }
}

// The edge closes against a waiting edge that runs the other way between the same places, or
// waits for one.
void VolumeBuilder::Offer(const Edge& e) {
    const auto other = open_.find(Key(places_[e.to], places_[e.from]));
    if (other != open_.end() && !other->second.empty()) {
        const std::uint32_t partner = other->second.back();
        other->second.pop_back();
        waiting_[partner] = false;
        Stitch(e, edges_[partner], true);
        return;
    }
    open_[KeyOf(e)].push_back(static_cast<std::uint32_t>(edges_.size()));
    edges_.push_back(e);
    waiting_.push_back(true);
}

// Two triangles of no area join the two sides of an edge; when the faces turn apart, they become
// the volume's wall along it. Their short sides tie the copies of each end together.
void VolumeBuilder::Stitch(const Edge& e1, const Edge& e2, bool opposite) {
    const std::uint32_t p1 = e1.from, q1 = e1.to;
    const std::uint32_t p2 = opposite ? e2.to : e2.from, q2 = opposite ? e2.from : e2.to;
    AddTriangle(q1, p1, p2);
    if (opposite)
        AddTriangle(p2, q2, q1);
    else
        AddTriangle(q1, q2, p2);
    ties_.push_back({p1, p2});
    ties_.push_back({q1, q2});
}

// Faces wound against their neighbours bring edges that run the same way: they pair up too.
void VolumeBuilder::PairAlike() {
    for (std::size_t i = 0; i < edges_.size(); ++i) {
        if (!waiting_[i]) continue;
        std::vector<std::uint32_t>& alike = open_[KeyOf(edges_[i])];
        if (alike.size() < 2) continue;
        const std::uint32_t a = alike[0], b = alike[1];
        alike.erase(alike.begin(), alike.begin() + 2);
        waiting_[a] = waiting_[b] = false;
        Stitch(edges_[a], edges_[b], false);
    }
}

// The edges left over bound the holes of an open mesh (each place meets an even number of them).
// Each connected run of them is capped by a cone to the centre of its places: one triangle per
// edge, stitched to the edge, its two other sides stitched to the neighbouring cone triangles.
void VolumeBuilder::CapHoles() {
    std::vector<std::uint32_t> loose;
    for (std::uint32_t i = 0; i < edges_.size(); ++i)
        if (waiting_[i]) loose.push_back(i);
    if (loose.empty()) return;
    open_.clear();
    PlaceRuns runs;
    for (std::uint32_t i : loose)
        runs.Join(places_[edges_[i].from], places_[edges_[i].to]);
    // One apex per run, at the centre of its places; its copies follow the run's first place.
    struct Apex {
        D3DXVECTOR3 sum{0, 0, 0};
        float count = 0;
        std::uint32_t sourceVertex = 0;
    };
    std::vector<Apex> apexes;
    std::unordered_map<std::uint32_t, std::uint32_t> apexOfRun;
    std::unordered_set<std::uint32_t> seen;
    std::vector<std::uint32_t> apexOfEdge(loose.size());
    for (std::size_t n = 0; n < loose.size(); ++n) {
        for (std::uint32_t place : {places_[edges_[loose[n]].from], places_[edges_[loose[n]].to]}) {
            const auto run =
                apexOfRun.emplace(runs.Root(place), static_cast<std::uint32_t>(apexes.size()));
            if (run.second) apexes.push_back({{0, 0, 0}, 0, place});
            if (seen.insert(place).second) {
                apexes[run.first->second].sum += source_.vertices[place].position;
                apexes[run.first->second].count += 1;
            }
            apexOfEdge[n] = run.first->second;
        }
    }
    const auto firstApexPlace = static_cast<std::uint32_t>(source_.vertices.size());
    for (std::size_t n = 0; n < loose.size(); ++n) {
        const Edge e = edges_[loose[n]];
        waiting_[loose[n]] = false;
        const Apex& apex = apexes[apexOfEdge[n]];
        const D3DXVECTOR3 centre = apex.sum / apex.count;
        const D3DXVECTOR3 a = vertices[e.from].position, b = vertices[e.to].position;
        const D3DXVECTOR3 normal = FaceNormal(b, a, centre);
        const std::uint32_t bc = AddVertex(b, normal, remap[e.to], places_[e.to]);
        const std::uint32_t ac = AddVertex(a, normal, remap[e.from], places_[e.from]);
        const std::uint32_t pc =
            AddVertex(centre, normal, apex.sourceVertex, firstApexPlace + apexOfEdge[n]);
        AddTriangle(bc, ac, pc);
        Stitch(e, {bc, ac}, true);
        Offer({ac, pc});
        Offer({pc, bc});
    }
    PairAlike();
}

// Around each corner the quads' short sides form rings of copies of that corner; a fan closes
// each ring. The fans never have area (their copies lie where the corner lies, or where it was
// pushed), but with them every edge of the volume lies in exactly two triangles.
void VolumeBuilder::TieCorners() {
    std::vector<std::array<std::uint32_t, 2>> links(vertices.size(), {kNoTie, kNoTie});
    for (std::uint32_t t = 0; t < ties_.size(); ++t) {
        for (std::uint32_t end : {ties_[t].from, ties_[t].to}) {
            std::array<std::uint32_t, 2>& link = links[end];
            if (link[1] != kNoTie) return; // cannot happen: each copy ends two edges
            link[link[0] == kNoTie ? 0 : 1] = t;
        }
    }
    std::vector<bool> used(ties_.size(), false);
    std::vector<std::uint32_t> ring;
    for (std::uint32_t t = 0; t < ties_.size(); ++t) {
        if (used[t]) continue;
        used[t] = true;
        ring.assign({ties_[t].from});
        std::uint32_t at = ties_[t].to, came = t;
        bool closed = true;
        while (closed && at != ring[0]) {
            ring.push_back(at);
            const std::array<std::uint32_t, 2>& link = links[at];
            const std::uint32_t next = link[0] == came ? link[1] : link[0];
            closed = next != kNoTie && !used[next];
            if (!closed) break;
            used[next] = true;
            at = ties_[next].from == at ? ties_[next].to : ties_[next].from;
            came = next;
        }
        for (std::size_t i = 1; closed && i + 1 < ring.size(); ++i)
            AddTriangle(ring[0], ring[i + 1], ring[i]);
    }
}

HRESULT MakeVolumeMesh(ID3DXMesh* mesh, const VolumeBuilder& built, ID3DXMesh** volume) {
    ComPtr<IDirect3DDevice9> device;
    HRESULT hr = mesh->GetDevice(device.PutAddress());
    if (FAILED(hr)) return hr;
    const auto vertexCount = static_cast<DWORD>(built.vertices.size());
    const auto faces = static_cast<DWORD>(built.triangles.size() / 3);
    const bool wide = vertexCount > kMost16BitVertices;
    // Kept in system memory: the shadow mesh reads it back at once.
    const DWORD options = D3DXMESH_SYSTEMMEM | (wide ? D3DXMESH_32BIT : 0);
    ComPtr<ID3DXMesh> made;
    hr = D3DXCreateMesh(faces, vertexCount, options, kVolumeDeclaration, device, made.PutAddress());
    if (FAILED(hr)) return hr;
    void* data = nullptr;
    if (FAILED(hr = made->LockVertexBuffer(0, &data))) return hr;
    std::memcpy(data, built.vertices.data(), built.vertices.size() * sizeof(VolumeVertex));
    made->UnlockVertexBuffer();
    if (FAILED(hr = made->LockIndexBuffer(0, &data))) return hr;
    if (wide) {
        std::memcpy(data, built.triangles.data(), built.triangles.size() * 4);
    } else {
        auto* out = static_cast<std::uint16_t*>(data);
        for (std::size_t i = 0; i < built.triangles.size(); ++i)
            out[i] = static_cast<std::uint16_t>(built.triangles[i]);
    }
    made->UnlockIndexBuffer();
    *volume = made.Detach();
    return S_OK;
}

// The volume of the mesh's shape into the shadow mesh (made when there is none); false when no
// volume can be made.
bool BuildShadowMesh(MeshRecord* mesh, MeshRecord** shadowMesh) {
    ComPtr<ID3DXMesh> source(MakeDXMeshFromMesh(mesh, nullptr, mesh->fvf));
    if (!source) return false;
    ComPtr<ID3DXMesh> volume;
    if (BuildShadowVolumeMesh(source, volume.PutAddress()) != S_OK) return false;
    const bool made = !*shadowMesh;
    if (made) *shadowMesh = new (std::nothrow) MeshRecord;
    MeshRecord* shadow = *shadowMesh;
    if (!shadow) return false;
    UpdateMeshFromDXMesh(shadow, volume);
    if (shadow->vertexCount <= 0 || !shadow->vertices) {
        if (made) delete std::exchange(*shadowMesh, nullptr);
        return false;
    }
    shadow->primitiveType = D3DPT_TRIANGLELIST;
    shadow->drawVertexCount = shadow->vertexCount;
    shadow->drawPrimitiveCount =
        (shadow->indices && shadow->indexCount > 0 ? shadow->indexCount : shadow->vertexCount) / 3;
    return true;
}

// The shadow vertices made from each source vertex s, in order: made[first[s]] up to
// made[first[s + 1]].
struct ShadowVerticesBySource {
    std::vector<std::uint32_t> first, made;

    explicit ShadowVerticesBySource(std::uint32_t sources) : first(sources + std::size_t{1}, 0) {
        for (std::uint32_t s : ShadowMeshRemapTable)
            if (s < sources) ++first[s + 1];
        for (std::uint32_t s = 0; s < sources; ++s)
            first[s + 1] += first[s];
        made.resize(first[sources]);
        std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
        for (std::uint32_t v = 0; v < ShadowMeshRemapTable.size(); ++v)
            if (ShadowMeshRemapTable[v] < sources) made[fill[ShadowMeshRemapTable[v]]++] = v;
    }
    std::uint32_t Count(std::uint32_t s) const {
        return s + std::size_t{1} < first.size() ? first[s + 1] - first[s] : 0;
    }
};

// One bone carried onto the shadow mesh: each influence of a source vertex goes, with its
// weight, to every shadow vertex made from it. False when its lists cannot be made.
bool CarryBone(const BoneRecord& from, BoneRecord& to, const ShadowVerticesBySource& bySource) {
    std::memcpy(to.name, from.name, sizeof to.name);
    to.offsetMatrix = from.offsetMatrix;
    const bool listed = from.vertices && from.weights;
    std::uint32_t total = 0;
    for (std::uint32_t j = 0; listed && j < from.influenceCount; ++j)
        total += bySource.Count(from.vertices[j]);
    to.vertices = new (std::nothrow) std::uint32_t[total ? total : 1];
    to.weights = new (std::nothrow) float[total ? total : 1];
    if (!to.vertices || !to.weights) return false;
    for (std::uint32_t j = 0; listed && j < from.influenceCount; ++j) {
        const std::uint32_t s = from.vertices[j];
        for (std::uint32_t k = 0; k < bySource.Count(s); ++k) {
            to.vertices[to.influenceCount] = bySource.made[bySource.first[s] + k];
            to.weights[to.influenceCount++] = from.weights[j];
        }
    }
    return true;
}

// The shadow mesh's own bones, following the frames that the source's bones follow.
bool GiveShadowBones(const MeshRecord* mesh, MeshRecord* shadow) {
    if (ShadowMeshRemapTable.size() != static_cast<std::size_t>(shadow->vertexCount)) return false;
    const ShadowVerticesBySource bySource(static_cast<std::uint32_t>(mesh->vertexCount));
    auto* bones = new (std::nothrow) BoneRecord[static_cast<std::size_t>(mesh->boneCount)];
    if (!bones) return false;
    for (std::int32_t b = 0; b < mesh->boneCount; ++b) {
        if (!CarryBone(mesh->bones[b], bones[b], bySource)) {
            delete[] bones;
            return false;
        }
    }
    delete[] std::exchange(shadow->bones, bones);
    shadow->boneCount = mesh->boneCount;
    AllocateMeshBoneArrays(shadow);
    for (std::int32_t b = 0; b < mesh->boneCount && shadow->boneFrames && shadow->boneMatrices;
         ++b) {
        shadow->boneFrames[b] = mesh->boneFrames ? mesh->boneFrames[b] : nullptr;
        shadow->boneMatrices[b] = mesh->boneMatrices ? mesh->boneMatrices[b] : nullptr;
    }
    return true;
}

// Mode 1: the shadow effect extrudes the volume on the graphics card. False, with the shadow mesh
// left without it, when the file does not load or the mesh cannot take it.
bool UseShadowEffect(MeshRecord* mesh, MeshRecord* shadow) {
    // A volume of more vertices than 16-bit indices reach came as a plain list, too large for
    // the D3DX mesh that gives it the effect's vertex elements: it is moved on the processor.
    if (shadow->vertexCount > static_cast<std::int32_t>(kMost16BitVertices)) return false;
    const bool skinned = mesh->boneCount > 0 && mesh->bones;
    auto* effect = new (std::nothrow) EffectBase;
    if (!effect) return false;
    if (effect->Load(skinned ? "stencilshadowbone.fx" : "stencilshadow.fx", false, false) &&
        (!skinned || GiveShadowBones(mesh, shadow)) && SetMeshEffect(shadow, effect, true))
        return true;
    if (shadow->effect == effect) {
        shadow->effect = nullptr;
        shadow->effectInUse = shadow->effectPrepared = 0;
    }
    delete effect;
    return false;
}

// Mode 0: the volume is kept in object space and pushed away from the light on the processor;
// it starts in the mesh's current pose.
bool MoveShadowOnProcessor(MeshRecord* mesh, MeshRecord* shadow) {
    shadow->shadowRange = -1.0f;
    delete[] std::exchange(shadow->backupVertices, nullptr);
    BackupMeshVertices(shadow);
    const D3DXVECTOR3 noLight(0, 0, 0);
    return UpdateShadowVolume(&noLight, -1.0f, mesh, shadow, &kIdentityMatrix, 0);
}

// Where every built-in shading starts: the mesh's old effect is freed and a new one of the kind
// bound with two texture stages. False only out of memory, before the old effect goes; a mesh or
// device that cannot take the shading gives true and a null effect, nothing bound.
template <typename Effect> bool BindShading(MeshRecord* mesh, EffectBase*& bound) {
    bound = nullptr;
    if (!mesh) return true;
    std::unique_ptr<EffectBase> effect(new (std::nothrow) Effect);
    if (!effect || !EnsureMeshTextureCount(mesh, kShadingStages - 1)) return false;
    if (BindEffectToMesh(mesh, kShadingStages, effect.get())) bound = effect.release();
    return true;
}

// The effect's file, then the vertex elements its shaders read. A file that does not load
// leaves an effect without passes: the mesh is then not drawn. False out of memory.
bool LoadShading(MeshRecord* mesh, EffectBase* effect, const char* file) {
    effect->Load(file, false, false);
    effect->PrepareMesh(mesh);
    return effect->PrepareMeshTangents(mesh);
}

bool HasDiffuse(const MeshRecord* mesh) {
    VertexOffsetMap map{};
    return GetMeshOffsetMap(mesh, &map) && map.Diffuse;
}

// A colour that a conversion adds comes out black and clear on some platforms: the vertices
// start white instead, as the fixed pipeline draws a mesh that has no colours.
void WhitenDiffuse(MeshRecord* mesh) {
    VertexOffsetMap map{};
    if (!mesh->vertices || !GetMeshOffsetMap(mesh, &map) || !map.Diffuse) return;
    const D3DCOLOR white = 0xFFFFFFFF;
    for (std::int32_t v = 0; v < mesh->vertexCount; ++v)
        std::memcpy(mesh->vertices + static_cast<std::size_t>(v) * mesh->vertexSize +
                        map.Diffuse * 4,
                    &white, sizeof white);
    mesh->verticesChanged = 1;
}

} // namespace

HRESULT BuildShadowVolumeMesh(ID3DXMesh* mesh, ID3DXMesh** volume) {
    std::vector<std::uint32_t>().swap(ShadowMeshRemapTable);
    if (!volume) return E_INVALIDARG;
    *volume = nullptr;
    if (!mesh) return E_INVALIDARG;
    SourceMesh source;
    HRESULT hr = ReadSource(mesh, source);
    if (FAILED(hr)) return hr;
    VolumeBuilder builder(source);
    builder.Build();
    if (FAILED(hr = MakeVolumeMesh(mesh, builder, volume))) return hr;
    ShadowMeshRemapTable = std::move(builder.remap);
    return S_OK;
}

bool SetShadowShading(MeshRecord* mesh, MeshRecord** shadowMesh, std::int32_t mode) {
    if (!mesh || !shadowMesh) return false;
    // Built from the shape as set up, not as last animated.
    RestoreMeshVertices(mesh);
    bool result = BuildShadowMesh(mesh, shadowMesh);
    if (result && (mode == 0 || mode == 1)) {
        MeshRecord* shadow = *shadowMesh;
        result =
            (mode == 1 && UseShadowEffect(mesh, shadow)) || MoveShadowOnProcessor(mesh, shadow);
    }
    std::vector<std::uint32_t>().swap(ShadowMeshRemapTable);
    return result;
}

bool SetBumpMapping(MeshRecord* mesh, std::int32_t image, std::int32_t ensureNormals) {
    EffectBase* effect = nullptr;
    if (!BindShading<BumpEffect>(mesh, effect)) return false;
    if (!effect) return true;
    if (ensureNormals == 1) effect->ensureNormals = 1;
    SetMeshTextureStage(mesh, 1, image);
    return LoadShading(mesh, effect, "bump.fx");
}

bool SetCartoonShading(MeshRecord* mesh, std::int32_t image1, std::int32_t image2) {
    EffectBase* effect = nullptr;
    if (!BindShading<CartoonEffect>(mesh, effect)) return false;
    if (!effect) return true;
    effect->ensureNormals = 1;
    SetMeshTextureStage(mesh, 0, image1);
    SetMeshTextureStage(mesh, 1, image2);
    const bool coloured = HasDiffuse(mesh);
    if (!FreeMeshOriginalData(mesh, kCartoonFormat)) return false;
    if (!coloured) WhitenDiffuse(mesh);
    return LoadShading(mesh, effect, "cartoon.fx");
}

bool SetRainbowShading(MeshRecord* mesh, std::int32_t image) {
    EffectBase* effect = nullptr;
    if (!BindShading<RainbowEffect>(mesh, effect)) return false;
    if (!effect) return true;
    effect->ensureNormals = 1;
    SetMeshTextureStage(mesh, 0, image);
    SetMeshTextureStage(mesh, 1, image);
    if (!FreeMeshOriginalData(mesh, kRainbowFormat)) return false;
    return LoadShading(mesh, effect, "rainbow.fx");
}
