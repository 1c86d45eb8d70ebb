#include "core/win32.h"

#include "core/com_ptr.h"
#include "core/file_names.h"
#include "core/load_budget.h"
#include "display/display.h"
#include "modelfile/conv_mdl.h"
#include "modelfile/converter_common.h"
#include "modelfile/converters.h"
#include "object3d/mesh_convert.h"
#include "object3d/model_files.h"
#include "object3d/object_lists.h"
#include "object3d/object_values.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <tuple>
#include <unordered_map>

namespace ConvMDL {

namespace {

constexpr std::uint32_t kFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1; // 0x112
constexpr std::int32_t kLargestOutput = 256;
constexpr std::size_t kStripFloats = 8;
constexpr std::uint64_t kVertexBytes = 32; // kFormat's
// A heap block's own bytes, charged with each baked frame's matrices.
constexpr std::uint64_t kBlockOverhead = 16;
// The largest header the platform writes before a bitmap's pixels.
constexpr std::uint64_t kBitmapHeaderBytes = 138;

struct State {
    ConvertedObject kept;
    CoreData* core = nullptr; // as handed over before each conversion
};

State g_State;

// The float the engine's frame time steps through: each step rounded to a float, as stored.
float StoredFloat(float value) {
    volatile float stored = value;
    return stored;
}

// Each vertex's normal turned round: the platform's normals of these strips point inwards.
void NegateNormals(MeshRecord* mesh) {
    VertexOffsetMap map;
    if (!GetMeshOffsetMap(mesh, &map) || !map.NZ) return;
    auto* v = reinterpret_cast<float*>(mesh->vertices);
    for (std::int32_t i = 0; i < mesh->vertexCount; ++i, v += map.StrideDwords) {
        v[map.NX] = -v[map.NX];
        v[map.NY] = -v[map.NY];
        v[map.NZ] = -v[map.NZ];
    }
}

// What a mesh of n strip vertices (at least 3) costs: its records, its vertices and their backup,
// the platform's mesh and corner lists that make its normals, and its bones in the first pose.
std::uint64_t MeshBytes(std::uint64_t n, std::uint64_t bones) {
    const std::uint64_t corners = 3 * (n - 2);
    return sizeof(FrameRecord) + sizeof(MeshRecord) + sizeof(TextureRecord) + 3 * n * kVertexBytes +
           corners * (2 + 4 + 2) + bones * sizeof(BoneRecord);
}

bool BuildMesh(FrameRecord* frame, const StripRecord& strip, const std::vector<D3DXMATRIX>& pose) {
    const std::int32_t n = strip.vertexCount;
    RequireLoad(MeshBytes(static_cast<std::uint64_t>(n), pose.size()));
    MeshRecord* mesh = NewConvertedMesh(kFormat, n, 0, strip.primitiveType);
    if (!mesh) return false;
    frame->mesh = mesh;
    mesh->drawVertexCount = n - 2;
    mesh->drawPrimitiveCount = n - 2;
    if (!pose.empty()) {
        mesh->bones = new (std::nothrow) BoneRecord[pose.size()];
        if (!mesh->bones) return false;
        mesh->boneCount = static_cast<std::int32_t>(pose.size());
        for (std::size_t b = 0; b < pose.size(); ++b)
            mesh->bones[b].offsetMatrix = pose[b];
    }
    VertexOffsetMap map;
    GetMeshOffsetMap(mesh, &map);
    auto* out = reinterpret_cast<float*>(mesh->vertices);
    for (std::int32_t i = 0; i < n; ++i, out += map.StrideDwords) {
        const float* v = &strip.vertices[kStripFloats * static_cast<std::size_t>(i)];
        out[map.X] = v[0];
        out[map.Y] = v[1];
        out[map.Z] = v[2];
        out[map.TexU[0]] = v[6];
        out[map.TexV[0]] = v[7];
    }
    RecomputeUnindexedNormals(mesh);
    NegateNormals(mesh);
    mesh->culling = 0;
    BackupMeshVertices(mesh);
    if (!mesh->backupVertices || !GiveOneTextureSlot(mesh, strip.textureName)) return false;
    mesh->materialOn = 0;
    return true;
}

// The bone transforms at every kept frame of the first sequence, sampled ten times a frame.
bool BuildAnimation(const MDLData& data, AnimationRecord* animation, AnimationSetRecord* set) {
    const auto bones = static_cast<std::int64_t>(data.bones.size());
    // Frames past the last but one have no next frame to move towards, and a sequence of fewer
    // than two frames keeps none.
    std::int64_t kept = data.animated ? std::int64_t{data.frameCount} * 10 - 10 : 0;
    kept = std::clamp<std::int64_t>(kept, 0, kMostBakedMatrices / std::max<std::int64_t>(bones, 1));
    if (data.strips.empty()) kept = 0; // no mesh holds the bones
    // Every vertex's bone number lies below this, with frames or without.
    animation->bakedMatricesPerFrame = static_cast<std::uint32_t>(bones);
    if (kept == 0) return true;
    RequireLoad(static_cast<std::uint64_t>(kept),
                sizeof(D3DXMATRIX*) + kBlockOverhead + sizeof(D3DXMATRIX) * bones);
    animation->bakedFrames = new (std::nothrow) D3DXMATRIX*[static_cast<std::size_t>(kept)]();
    if (!animation->bakedFrames) return false;
    animation->bakedFrameCount = static_cast<std::uint32_t>(kept);
    set->length = static_cast<std::uint32_t>(kept - 1);
    PoseSampler sampler(data);
    std::vector<BoneTransform> transforms;
    float at = 0;
    for (std::int64_t f = 0; f < kept; ++f, at = StoredFloat(at + 0.1f)) {
        D3DXMATRIX*& matrices = animation->bakedFrames[f];
        matrices = new (std::nothrow) D3DXMATRIX[static_cast<std::size_t>(bones)];
        if (!matrices || !sampler.MakeSkeleton(at, transforms)) return false;
        for (std::int64_t b = 0; b < bones; ++b)
            matrices[b] = PoseMatrix(transforms[static_cast<std::size_t>(b)]);
    }
    return true;
}

// One frame a strip, chained from the root, each mesh holding the bones in the frame-0 pose.
bool BuildFrames(ObjectRecord* object, const MDLData& data) {
    std::vector<BoneTransform> transforms;
    PoseSampler sampler(data);
    if (!sampler.MakeSkeleton(0, transforms)) return false;
    std::vector<D3DXMATRIX> pose;
    for (const BoneTransform& t : transforms)
        pose.push_back(PoseMatrix(t));
    FrameRecord* current = object->rootFrame;
    for (std::size_t k = 0; k < data.strips.size(); ++k) {
        if (!BuildMesh(current, data.strips[k], pose)) return false;
        if (k + 1 == data.strips.size()) break;
        current->child = new (std::nothrow) FrameRecord;
        if (!current->child) return false;
        current->child->parent = current;
        current = current->child;
    }
    return true;
}

// The bytes a skin's file takes in the temporary folder.
std::uint64_t SkinFileBytes(const Texture& texture) {
    return std::uint64_t{4} * OutputSize(texture.width) * OutputSize(texture.height) +
           kBitmapHeaderBytes;
}

bool SaveTexture(IDirect3DDevice9* device, const Texture& texture, const std::string& fileName) {
    const std::int32_t width = OutputSize(texture.width), height = OutputSize(texture.height);
    RequireLoad(SkinFileBytes(texture) + std::uint64_t{16} * width * height / 3);
    ComPtr<IDirect3DTexture9> made;
    D3DLOCKED_RECT locked{};
    if (!device ||
        FAILED(D3DXCreateTexture(device, width, height, D3DX_DEFAULT, 0, D3DFMT_A8R8G8B8,
                                 D3DPOOL_MANAGED, made.PutAddress())) ||
        !made || FAILED(made->LockRect(0, &locked, nullptr, 0)))
        return false;
    // Rows lie as far apart as the platform says, which need not be four bytes a pixel.
    ResampleTexture(texture, width, height, static_cast<std::uint8_t*>(locked.pBits),
                    static_cast<std::uint32_t>(locked.Pitch));
    made->UnlockRect(0);
    if (SUCCEEDED(D3DXSaveTextureToFileA(fileName.c_str(), D3DXIFF_BMP, made, nullptr)))
        return true;
    // What a failed save left is no picture, whichever load wrote the name first.
    DeleteFileA(fileName.c_str());
    return false;
}

// The skin files a conversion made (not those it wrote over), deleted again unless it keeps them;
// kept ones are still deleted should the load go past its budget later.
class MadeFiles {
public:
    MadeFiles() = default;
    MadeFiles(const MadeFiles&) = delete;
    MadeFiles& operator=(const MadeFiles&) = delete;
    ~MadeFiles() {
        for (std::size_t i = 0; !kept_ && i < paths_.size(); ++i)
            DeleteFileA(paths_[i].c_str());
    }
    // Before the file is written.
    void Add(const std::string& path) {
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) paths_.push_back(path);
    }
    void Keep() {
        for (const std::string& path : paths_)
            NoteLoadTempFile(path.c_str());
        kept_ = true;
    }

private:
    std::vector<std::string> paths_;
    bool kept_ = false;
};

} // namespace

std::int32_t OutputSize(std::int32_t size) {
    std::int32_t out = 1;
    while (out < size && out < kLargestOutput)
        out *= 2;
    return out;
}

void ResampleTexture(const Texture& texture, std::int32_t width, std::int32_t height,
                     std::uint8_t* rows, std::uint32_t pitch) {
    const std::int32_t w = texture.width, h = texture.height;
    // Two columns and two rows of the source a quarter of a pixel either side of each centre.
    auto sample = [](std::int32_t i, float quarter, std::int32_t from, std::int32_t to) {
        const auto at = static_cast<std::int32_t>(
            (static_cast<float>(i) + quarter) * static_cast<float>(from) / static_cast<float>(to));
        return std::min(at, from - 1);
    };
    std::vector<std::int32_t> c1(width), c2(width);
    for (std::int32_t x = 0; x < width; ++x)
        c1[x] = sample(x, 0.25f, w, width), c2[x] = sample(x, 0.75f, w, width);
    const std::uint8_t* pixels = texture.pixels.data;
    const std::uint8_t* palette = texture.palette.data;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::size_t r1 = static_cast<std::size_t>(sample(y, 0.25f, h, height)) * w;
        const std::size_t r2 = static_cast<std::size_t>(sample(y, 0.75f, h, height)) * w;
        auto* out = reinterpret_cast<std::uint32_t*>(rows + static_cast<std::size_t>(y) * pitch);
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint8_t* p[4] = {
                palette + 3 * pixels[r1 + c1[x]], palette + 3 * pixels[r1 + c2[x]],
                palette + 3 * pixels[r2 + c1[x]], palette + 3 * pixels[r2 + c2[x]]};
            std::uint32_t colour = 0xFF000000;
            for (int channel = 0; channel < 3; ++channel) {
                const std::uint32_t sum =
                    p[0][channel] + p[1][channel] + p[2][channel] + p[3][channel];
                colour |= (sum >> 2) << (16 - 8 * channel);
            }
            out[x] = colour;
        }
    }
}

void NameTextures(MDLData& data) {
    const std::vector<Texture>& textures = data.textures;
    RequireLoad(textures.size(), 4 * sizeof(std::string) + 64);
    // As if each were saved in turn: the last texture of a name is what its file shows.
    std::vector<std::string> names(textures.size()), files(textures.size());
    // File names are one whatever their case.
    auto folded = [](std::string name) {
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return name;
    };
    std::unordered_map<std::string, std::size_t> last;
    for (std::size_t i = 0; i < textures.size(); ++i)
        if (!(names[i] = SkinFileName(textures[i].name)).empty()) last[folded(names[i])] = i;
    // One file a picture (pixels, size and the palette after them): the first name showing it.
    std::map<std::tuple<const std::uint8_t*, std::int32_t, std::int32_t>, std::string> saved;
    for (std::size_t i = 0; i < textures.size(); ++i) {
        if (names[i].empty()) continue;
        const std::size_t shown = last[folded(names[i])];
        const Texture& t = textures[shown];
        const auto [file, added] =
            saved.emplace(std::tuple(t.pixels.data, t.width, t.height), names[i]);
        if (added) data.skinFiles.emplace_back(names[i], shown);
        files[i] = file->second;
    }
    for (StripRecord& strip : data.strips)
        strip.textureName = strip.texture >= 0 ? files[strip.texture] : std::string();
}

bool SaveTextures(const MDLData& data, const std::string& folder) {
    // Every name passes the check before any file is written: a file that names a device or
    // leaves the folder writes nothing.
    std::vector<std::string> paths(data.skinFiles.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (JoinOutsideName(folder, data.skinFiles[i].first, &paths[i]) != NameProblem::None)
            return false;
    IDirect3DDevice9* device = GetDirect3DDevice();
    MadeFiles made;
    std::uint64_t written = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const Texture& texture = data.textures[data.skinFiles[i].second];
        written += SkinFileBytes(texture);
        if (written > kMostSkinBytes) return false;
        made.Add(paths[i]);
        if (!SaveTexture(device, texture, paths[i])) return false;
    }
    made.Keep();
    return true;
}

ObjectRecord* BuildObject(MDLData& data) {
    auto object = std::make_unique<ObjectRecord>();
    object->rootFrame = new (std::nothrow) FrameRecord;
    object->animationSet = new (std::nothrow) AnimationSetRecord;
    if (!object->rootFrame || !object->animationSet) return nullptr;
    AnimationRecord* animation = object->animationSet->animation =
        new (std::nothrow) AnimationRecord;
    if (!animation) return nullptr;
    // Every vertex follows one bone by baked matrices, not by keys.
    animation->keyed = 0;
    if (!data.vertexBones.empty()) {
        RequireLoad(data.vertexBones.size(), sizeof(std::uint32_t));
        animation->bakedIndices = new (std::nothrow) std::uint32_t[data.vertexBones.size()];
        if (!animation->bakedIndices) return nullptr;
        std::copy(data.vertexBones.begin(), data.vertexBones.end(), animation->bakedIndices);
        animation->bakedIndexCount = static_cast<std::uint32_t>(data.vertexBones.size());
    }
    if (!BuildFrames(object.get(), data) || !BuildAnimation(data, animation, object->animationSet))
        return nullptr;
    SetupObjectLists(object.get());
    return object.release();
}

void PassCoreData(CoreData* core) {
    g_State.core = core;
}

bool LoadModel(const char* fileName) {
    State& s = g_State;
    s.kept.object.reset();
    GetObjectTempDataFolder();
    std::vector<std::uint8_t> bytes;
    MDLData data;
    if (!ReadModelFile(fileName, bytes) || !Decode(ByteSpan{bytes.data(), bytes.size()}, data))
        return false;
    NameTextures(data);
    std::unique_ptr<ObjectRecord> object(BuildObject(data));
    // The skins are written last, once the object is known to hold numbers the load keeps: a
    // file refused on the way leaves none behind.
    if (!object || !ObjectValuesInRange(object.get()) || !SaveTextures(data, ObjectTempDataFolder))
        return false;
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

} // namespace ConvMDL
