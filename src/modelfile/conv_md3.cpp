#include "core/win32.h"

#include "core/load_budget.h"
#include "modelfile/conv_md3.h"
#include "modelfile/converter_common.h"
#include "modelfile/converters.h"
#include "object3d/vertex_editing.h"
#include "object3d/vertex_layout.h"

#include <cstring>
#include <new>
#include <unordered_set>
#include <utility>

namespace ConvMD3 {

namespace {

// Position, normal, diffuse colour and one texture set.
constexpr std::uint32_t kFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr D3DCOLOR kWhite = 0xFFFFFFFF;
// A position, a normal, a colour and one texture coordinate pair.
constexpr std::uint64_t kVertexBytes = 36;
// What the platform's mesh objects take besides their buffers.
constexpr std::uint64_t kPlatformMeshBytes = 4096;

struct State {
    ConvertedObject kept;
};

State g_State;

// The first tag of frame k, null for a part without tags.
const Tag* FirstTagOf(const Part& part, std::size_t k) {
    const auto perFrame = static_cast<std::size_t>(part.header[kWordTagCount]);
    if (perFrame == 0 || k * perFrame >= part.tags.size()) return nullptr;
    return &part.tags[k * perFrame];
}

// One mesh of the surface, and what the platform makes while it gives the mesh normals: its own
// copy of the mesh, a corner list and a face table, the normals it sums, and the mesh's arrays
// made anew.
std::uint64_t MeshBytes(const Surface& surface) {
    const auto vertices = static_cast<std::uint64_t>(surface.header[kWordVertexCount]);
    const auto faces = static_cast<std::uint64_t>(surface.triangles.size() / 3);
    const std::uint64_t arrays = kVertexBytes * vertices + 6 * faces;
    const std::uint64_t normals =
        vertices == 0 || faces == 0 ? 0
                                    : kPlatformMeshBytes + 2 * arrays + 16 * faces + 16 * vertices;
    return sizeof(MeshRecord) + arrays + normals;
}

// All that one surface becomes: its frame, a place in the chain and in the name map, a texture
// slot and a mesh for frame 0, and a key frame with its mesh for each vertex frame.
std::uint64_t SurfaceBytes(const Surface& surface) {
    const std::uint64_t frames = surface.vertexFrames.size();
    return 2 * sizeof(FrameRecord) + sizeof(void*) + 64 + sizeof(TextureRecord) +
           (frames + 1) * MeshBytes(surface) + frames * sizeof(FrameRecord);
}

// The key of a surface name in CombineParts: its first two characters when it is longer than
// two, else empty.
std::string PartKey(const char* name) {
    const std::size_t length = strnlen(name, kRecordNameLength);
    return length > 2 ? std::string(name, 2) : std::string();
}

// The surface frames hand their meshes, local matrices and names down one chain of frames from
// the root, which ends with an empty frame.
bool ChainSurfaceFrames(FrameRecord* root,
                        std::vector<std::unique_ptr<FrameRecord>>& surfaceFrames) {
    FrameRecord* current = root;
    for (std::unique_ptr<FrameRecord>& surface : surfaceFrames) {
        current->mesh = std::exchange(surface->mesh, nullptr);
        current->initialMatrix = surface->initialMatrix;
        CopyRecordName(current->name, surface->name);
        current->mesh->frameLocal = 1;
        current->mesh->materialOn = 1;
        current->child = new (std::nothrow) FrameRecord;
        if (!current->child) return false;
        current->child->parent = current;
        current = current->child;
    }
    return true;
}

// Whether the parts together stay within what one conversion may make.
bool WithinCaps(const Part (&parts)[kParts]) {
    ConvertedTotals totals;
    for (const Part& part : parts)
        for (const Surface& surface : part.surfaces)
            if (!totals.Add(surface)) return false;
    return true;
}

} // namespace

bool BuildSurfaceMesh(FrameRecord* frame, const Surface& surface, std::size_t k, const Tag* tag) {
    if (!frame || k >= surface.vertexFrames.size()) return false;
    const std::int32_t vertices = surface.header[kWordVertexCount];
    const auto indices = static_cast<std::int32_t>(surface.triangles.size());
    MeshRecord* mesh = NewConvertedMesh(kFormat, vertices, indices, D3DPT_TRIANGLELIST);
    if (!mesh) return false;
    delete frame->mesh;
    frame->mesh = mesh;
    mesh->drawVertexCount = vertices;
    mesh->drawPrimitiveCount = indices / 3;
    if (tag) frame->initialMatrix = QuaternionToMatrix(tag->rotation);
    VertexOffsetMap map;
    GetMeshOffsetMap(mesh, &map);
    auto* out = reinterpret_cast<float*>(mesh->vertices);
    const std::vector<D3DXVECTOR3>& positions = surface.vertexFrames[k];
    for (std::int32_t i = 0; i < vertices; ++i, out += map.StrideDwords) {
        const D3DXVECTOR3& p = positions[i];
        out[map.X] = p.x;
        out[map.Y] = -p.z;
        out[map.Z] = p.y;
        out[map.TexU[0]] = surface.texCoords[i].x;
        out[map.TexV[0]] = surface.texCoords[i].y;
        std::memcpy(out + map.Diffuse, &kWhite, sizeof kWhite);
    }
    // Turning the model's axes round turns the triangles' winding too.
    for (std::int32_t t = 0; t + 2 < indices; t += 3) {
        mesh->indices[t] = surface.triangles[t];
        mesh->indices[t + 1] = surface.triangles[t + 2];
        mesh->indices[t + 2] = surface.triangles[t + 1];
    }
    RecomputeMeshNormals(mesh);
    return true;
}

bool BuildObject(const Part& part, const std::string& texturePrefix, std::string& recentShader,
                 std::vector<std::unique_ptr<FrameRecord>>& surfaceFrames) {
    for (const Surface& surface : part.surfaces) {
        if (!ChargeLoad(SurfaceBytes(surface))) return false;
        auto frame = std::make_unique<FrameRecord>();
        CopyRecordName(frame->name, surface.name);
        std::string shader = surface.shaders.empty() ? std::string() : surface.shaders[0];
        if (shader.empty())
            shader = recentShader;
        else
            recentShader = shader;
        if (!BuildSurfaceMesh(frame.get(), surface, 0, FirstTagOf(part, 0)) ||
            !GiveOneTextureSlot(frame->mesh, shader.empty() ? shader : texturePrefix + shader))
            return false;
        const auto frames = static_cast<std::int32_t>(surface.vertexFrames.size());
        MeshRecord* mesh = frame->mesh;
        mesh->keyFrames = new (std::nothrow) FrameRecord[frames];
        if (!mesh->keyFrames) return false;
        mesh->keyFrameCount = frames;
        for (std::int32_t k = 0; k < frames; ++k)
            if (!BuildSurfaceMesh(&mesh->keyFrames[k], surface, k, FirstTagOf(part, k)))
                return false;
        surfaceFrames.push_back(std::move(frame));
    }
    return true;
}

void CombineParts(std::vector<std::unique_ptr<FrameRecord>>& surfaceFrames) {
    // From the last surface back: one whose key a later surface has already taken loses its turn.
    std::unordered_set<std::string> later;
    for (std::size_t i = surfaceFrames.size(); i-- > 0;) {
        FrameRecord* frame = surfaceFrames[i].get();
        if (strnlen(frame->name, kRecordNameLength) < 2) continue;
        if (later.insert(PartKey(frame->name)).second) continue;
        frame->initialMatrix = kIdentityMatrix;
        MeshRecord* mesh = frame->mesh;
        for (std::int32_t k = 0; mesh && mesh->keyFrames && k < mesh->keyFrameCount; ++k)
            mesh->keyFrames[k].initialMatrix = kIdentityMatrix;
    }
}

bool LoadModel(const char* fileName) {
    State& s = g_State;
    s.kept.object.reset();
    if (!fileName) return false;
    const PartFileNames names = MakePartFileNames(fileName);
    Part parts[kParts];
    int read = 0;
    for (int i = 0; i < kParts; ++i) {
        const PartRead result = LoadPart(names.parts[i].c_str(), parts[i]);
        if (result == PartRead::kDamaged) return false;
        read += result == PartRead::kRead;
    }
    // A folder without any part holds no model at all.
    if (read == 0 || !WithinCaps(parts)) return false;
    std::vector<std::unique_ptr<FrameRecord>> surfaceFrames;
    std::string recentShader;
    for (const Part& part : parts)
        if (!BuildObject(part, names.texturePrefix, recentShader, surfaceFrames)) return false;
    if (!ChargeLoad(sizeof(ObjectRecord) + 2 * sizeof(FrameRecord))) return false;
    auto object = std::make_unique<ObjectRecord>();
    object->rootFrame = new (std::nothrow) FrameRecord;
    if (!object->rootFrame) return false;
    CombineParts(surfaceFrames);
    if (!ChainSurfaceFrames(object->rootFrame, surfaceFrames)) return false;
    s.kept.object = std::move(object);
    return true;
}

const ObjectRecord* LoadedObject() {
    return g_State.kept.object.get();
}

bool Convert(const char* fileName, std::uint8_t** block, std::uint32_t* size) {
    return g_State.kept.Run(LoadModel, fileName, block, size);
}

void Free(std::uint8_t* block) {
    g_State.kept.Free(block);
}

} // namespace ConvMD3
