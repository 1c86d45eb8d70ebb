#include "core/win32.h"

#include "core/load_budget.h"
#include "modelfile/conv_x_internal.h"
#include "object3d/mesh_convert.h"
#include "object3d/object_records.h"
#include "object3d/vertex_layout.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace ConvX {

namespace {

constexpr std::uint32_t kLargest16BitMesh = 65535;
// A material as the per-material array holds it: the material and a zero word.
constexpr std::size_t kMaterialEntry = sizeof(D3DMATERIAL9) + 4;

bool IsType(IDirectXFileData* data, const GUID& type) {
    const GUID* t = nullptr;
    return SUCCEEDED(data->GetType(&t)) && t && std::memcmp(t, &type, sizeof type) == 0;
}

// The next child of a data object as data, inline or through a reference; false at the first
// child that is neither.
bool NextChildData(IDirectXFileData* parent, Held<IDirectXFileData>& child, bool followReferences) {
    Held<IDirectXFileObject> object;
    if (FAILED(parent->GetNextObject(object.out())) || !object.get()) return false;
    RequireLoad(kObjectVisit);
    if (SUCCEEDED(
            object->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(child.out()))))
        return true;
    Held<IDirectXFileDataReference> reference;
    return followReferences &&
           SUCCEEDED(object->QueryInterface(IID_IDirectXFileDataReference,
                                            reinterpret_cast<void**>(reference.out()))) &&
           SUCCEEDED(reference->Resolve(child.out())) && child.get();
}

// Faces cut into fans from their first corner. Faces naming a corner at or past `limit` make no
// triangle, like faces of fewer than three corners; a face whose corners the data does not hold
// ends the reading there.
void TriangulateFaces(DataReader& r, std::uint32_t faces, std::uint32_t limit,
                      std::vector<std::uint32_t>& triangles, std::vector<std::uint32_t>* faceOf) {
    std::uint32_t made = 0;
    std::vector<std::uint32_t> corners;
    for (std::uint32_t f = 0; f < faces; ++f) {
        std::uint32_t n = 0;
        if (!r.Dword(&n) || !r.Holds(n, 4)) return;
        if (n > corners.size()) RequireLoad(n, 4);
        corners.resize(n);
        for (std::uint32_t& c : corners)
            r.Dword(&c);
        if (n < 3 || std::any_of(corners.begin(), corners.end(),
                                 [limit](std::uint32_t c) { return c >= limit; }))
            continue;
        RequireLoad(n - 2, faceOf ? 16 : 12);
        for (std::uint32_t k = 2; k < n; ++k) {
            triangles.insert(triangles.end(), {corners[0], corners[k - 1], corners[k]});
            if (faceOf) faceOf->push_back(made);
        }
        ++made;
    }
}

bool ReadMeshGeometry(IDirectXFileData* mesh) {
    State& s = g_State;
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    if (!GetObjectData(mesh, &bytes, &size)) return false;
    DataReader r(bytes, size);
    std::uint32_t count = 0, faces = 0;
    if (!r.Dword(&count) || !r.Holds(count, 12)) return false;
    RequireLoad(count, sizeof(WorkVertex));
    s.vertices.assign(count, WorkVertex{});
    for (WorkVertex& v : s.vertices) {
        r.Float(&v.x);
        r.Float(&v.y);
        r.Float(&v.z);
    }
    if (!r.Dword(&faces)) return false;
    TriangulateFaces(r, faces, count, s.triangles, &s.triangleFace);
    return true;
}

void ReadMeshNormals(IDirectXFileData* data) {
    State& s = g_State;
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    std::uint32_t count = 0, faces = 0;
    if (!GetObjectData(data, &bytes, &size)) return;
    DataReader r(bytes, size);
    if (!r.Dword(&count) || !r.Holds(count, 12)) return;
    RequireLoad(count, 12);
    s.normals.resize(3u * count);
    r.Floats(s.normals.data(), 3 * count);
    s.normalTriangles.clear();
    if (r.Dword(&faces)) TriangulateFaces(r, faces, count, s.normalTriangles, nullptr);
}

void ReadTextureCoords(IDirectXFileData* data) {
    State& s = g_State;
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    std::uint32_t count = 0;
    if (!GetObjectData(data, &bytes, &size)) return;
    DataReader r(bytes, size);
    if (!r.Dword(&count)) return;
    for (std::uint32_t i = 0; i < count && r.Holds(1, 8); ++i) {
        float uv[2];
        r.Floats(uv, 2);
        if (i < s.vertices.size()) s.vertices[i].u0 = uv[0], s.vertices[i].v0 = uv[1];
    }
}

void ReadFVFData(IDirectXFileData* data) {
    State& s = g_State;
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    std::uint32_t fvf = 0, words = 0;
    if (!GetObjectData(data, &bytes, &size)) return;
    DataReader r(bytes, size);
    if (!r.Dword(&fvf) || !r.Dword(&words)) return;
    words = std::min(words, r.Left() / 4);
    s.extraSets = fvf == 0x302 ? 2 : 1;
    if (fvf != 0x302 && fvf != 0x102) return; // passed over: nothing copied
    const std::uint32_t each = fvf == 0x302 ? 4 : 2;
    for (std::size_t v = 0; v < s.vertices.size() && words >= each; ++v, words -= each) {
        float w[4];
        r.Floats(w, each);
        s.vertices[v].u1 = w[0];
        s.vertices[v].v1 = w[1];
        if (each == 4) s.vertices[v].u2 = w[2], s.vertices[v].v2 = w[3];
    }
}

void ReadVertexColors(IDirectXFileData* data) {
    State& s = g_State;
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    std::uint32_t count = 0;
    if (!GetObjectData(data, &bytes, &size)) return;
    DataReader r(bytes, size);
    if (!r.Dword(&count) || !r.Holds(count, 20)) return;
    RequireLoad(count, sizeof(WorkColour));
    for (std::uint32_t i = 0; i < count; ++i) {
        WorkColour c{};
        r.Dword(&c.vertex);
        r.Float(&c.red), r.Float(&c.green), r.Float(&c.blue), r.Float(&c.alpha);
        s.colours.push_back(c);
    }
}

void ReadMaterial(IDirectXFileData* data) {
    WorkMaterial m{};
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    if (!GetObjectData(data, &bytes, &size)) return;
    DataReader r(bytes, size);
    if (!r.Floats(m.face, 4) || !r.Float(&m.power) || !r.Floats(m.specular, 3) ||
        !r.Floats(m.emissive, 3))
        return;
    // Only a first child that names a texture file counts.
    Held<IDirectXFileData> child;
    if (NextChildData(data, child, true) && IsType(child.get(), kTextureFilename) &&
        GetObjectData(child.get(), &bytes, &size)) {
        DataReader name(bytes, size);
        name.String(&m.texture);
    }
    RequireLoad(sizeof m + m.texture.size());
    g_State.materials.push_back(std::move(m));
}

void ReadMeshMaterialList(IDirectXFileData* data) {
    State& s = g_State;
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    std::uint32_t faces = 0;
    if (!GetObjectData(data, &bytes, &size)) return;
    DataReader r(bytes, size);
    if (!r.Dword(&s.materialCountWord) || !r.Dword(&faces)) return;
    faces = std::min(faces, r.Left() / 4);
    RequireLoad(faces, 4);
    s.faceMaterials.resize(faces);
    for (std::uint32_t& f : s.faceMaterials)
        r.Dword(&f);
    s.hasFaceMaterials = true;
    for (;;) {
        Held<IDirectXFileData> child;
        if (!NextChildData(data, child, true)) break;
        if (IsType(child.get(), kMaterial)) ReadMaterial(child.get());
    }
}

void ReadSkinMeshHeader(IDirectXFileData* data) {
    State& s = g_State;
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    if (!GetObjectData(data, &bytes, &size)) return;
    DataReader r(bytes, size);
    if (size == 12) {
        std::uint32_t w[3] = {};
        r.Dword(&w[0]), r.Dword(&w[1]), r.Dword(&w[2]);
        s.skinMaxPerVertex = w[0] & 0xFFFF, s.skinMaxPerFace = w[1] & 0xFFFF, s.skinBones = w[2];
    } else {
        std::uint16_t w[3] = {};
        if (!r.Word(&w[0]) || !r.Word(&w[1]) || !r.Word(&w[2])) return;
        s.skinMaxPerVertex = w[0], s.skinMaxPerFace = w[1], s.skinBones = w[2];
    }
}

void ReadSkinWeights(IDirectXFileData* data) {
    const std::uint8_t* bytes = nullptr;
    DWORD size = 0;
    if (!GetObjectData(data, &bytes, &size)) return;
    DataReader r(bytes, size);
    WorkSkin skin;
    std::uint32_t count = 0;
    if (!r.String(&skin.bone) || !r.Dword(&count) || !r.Holds(count, 8)) return;
    RequireLoad(sizeof skin + skin.bone.size() + std::uint64_t{8} * count);
    skin.vertices.resize(count);
    skin.weights.resize(count);
    for (std::uint32_t& v : skin.vertices)
        r.Dword(&v);
    r.Floats(skin.weights.data(), count);
    if (!r.Floats(skin.offset, 16)) return;
    g_State.skins.push_back(std::move(skin));
}

// Each corner's vertex takes the normal its normal face gives that corner; only when the normal
// faces cut into as many triangles as the mesh's faces.
void MergeNormals() {
    State& s = g_State;
    if (s.normalTriangles.size() != s.triangles.size()) return;
    const std::size_t normals = s.normals.size() / 3;
    for (std::size_t i = 0; i < s.triangles.size(); ++i) {
        const std::uint32_t v = s.triangles[i], n = s.normalTriangles[i];
        if (v >= s.vertices.size() || n >= normals) continue;
        s.vertices[v].nx = s.normals[3 * n];
        s.vertices[v].ny = s.normals[3 * n + 1];
        s.vertices[v].nz = s.normals[3 * n + 2];
    }
}

bool CreateMeshRecord(FrameRecord* frame, std::uint32_t vertices, std::uint32_t triangles) {
    const State& s = g_State;
    auto* mesh = new (std::nothrow) MeshRecord;
    if (!mesh) return false;
    frame->mesh = mesh;
    const std::uint32_t sets[3] = {0x112, 0x212, 0x312};
    mesh->fvf = mesh->savedFVF = sets[s.extraSets] | (s.colours.empty() ? 0 : D3DFVF_DIFFUSE);
    mesh->vertexSize = 32 + 8 * s.extraSets + (s.colours.empty() ? 0 : 4);
    const std::uint64_t indices = 3ull * triangles;
    if (vertices > 0x7FFFFFFF || indices > 0x7FFFFFFF) return false;
    mesh->vertexCount = mesh->drawVertexCount = static_cast<std::int32_t>(vertices);
    mesh->indexCount = static_cast<std::int32_t>(indices);
    mesh->drawPrimitiveCount = static_cast<std::int32_t>(triangles);
    mesh->primitiveType = D3DPT_TRIANGLELIST;
    const std::uint64_t vertexBytes = std::uint64_t{mesh->vertexSize} * vertices;
    // Meshes past 65,535 vertices hold 32-bit entries in the 16-bit array until expanded.
    const std::uint64_t entries = vertices > kLargest16BitMesh ? 2 * indices : indices;
    if (vertexBytes > 0x7FFFFFFF || entries > 0x3FFFFFFF) return false;
    RequireLoad(sizeof(MeshRecord) + vertexBytes + 2 * entries);
    mesh->vertices = new (std::nothrow) std::uint8_t[vertexBytes ? vertexBytes : 1]();
    mesh->indices = new (std::nothrow) std::uint16_t[entries ? entries : 1]();
    return mesh->vertices && mesh->indices;
}

D3DMATERIAL9 MaterialOf(const WorkMaterial& m) {
    D3DMATERIAL9 out{};
    out.Diffuse = {m.face[0], m.face[1], m.face[2], m.face[3]};
    out.Ambient = out.Diffuse;
    out.Specular = {m.specular[0], m.specular[1], m.specular[2], 1.0f};
    out.Emissive = {m.emissive[0], m.emissive[1], m.emissive[2], 1.0f};
    out.Power = m.power;
    return out;
}

bool SetMeshMaterials(MeshRecord* mesh) {
    const State& s = g_State;
    const std::uint32_t count = std::max<std::uint32_t>(1, s.materials.size());
    const std::uint32_t triangles = static_cast<std::uint32_t>(mesh->indexCount / 3);
    RequireLoad(std::uint64_t{4} * triangles +
                std::uint64_t{count} * (sizeof(TextureRecord) + kMaterialEntry));
    if (s.hasFaceMaterials && !s.faceMaterials.empty()) {
        mesh->triangleMaterials = new (std::nothrow) std::uint32_t[triangles ? triangles : 1]();
        if (!mesh->triangleMaterials) return false;
        for (std::uint32_t t = 0; t < triangles; ++t) {
            const std::uint32_t face = t < s.triangleFace.size() ? s.triangleFace[t] : 0;
            const std::uint32_t index =
                face < s.faceMaterials.size() ? s.faceMaterials[face] : s.faceMaterials.back();
            // A material past the list keeps its triangle, under the last material.
            mesh->triangleMaterials[t] = std::min(index, count - 1);
        }
    }
    mesh->textures = new (std::nothrow) TextureRecord[count];
    mesh->multiMaterialBuffer = new (std::nothrow) std::uint8_t[count * kMaterialEntry]();
    if (!mesh->textures || !mesh->multiMaterialBuffer) return false;
    mesh->textureCount = static_cast<std::int32_t>(count);
    for (std::uint32_t k = 0; k < s.materials.size(); ++k)
        std::strncpy(mesh->textures[k].fileName, s.materials[k].texture.c_str(),
                     kRecordNameLength - 1);
    if (s.materials.empty()) {
        // Without a material list a mesh is drawn white, not black.
        mesh->material = D3DMATERIAL9{};
        mesh->material.Diffuse = mesh->material.Ambient = {1, 1, 1, 1};
        std::memcpy(mesh->multiMaterialBuffer, &mesh->material, sizeof(D3DMATERIAL9));
    } else {
        for (std::uint32_t k = 0; k < count; ++k) {
            const D3DMATERIAL9 m = MaterialOf(s.materials[k]);
            std::memcpy(mesh->multiMaterialBuffer + k * kMaterialEntry, &m, sizeof m);
        }
        mesh->material = MaterialOf(s.materials[0]);
    }
    mesh->materialOn = 1;
    return true;
}

std::uint8_t ColourByte(float c) {
    if (c >= 1.0f) return 255;
    if (!(c > 0.0f)) return 0;
    return static_cast<std::uint8_t>(c * 255.0f + 0.5f);
}

void FillMeshData(MeshRecord* mesh) {
    State& s = g_State;
    VertexOffsetMap map;
    GetMeshOffsetMap(mesh, &map);
    auto* words = reinterpret_cast<float*>(mesh->vertices);
    for (std::size_t i = 0; i < s.vertices.size(); ++i) {
        float* p = words + i * map.StrideDwords;
        const WorkVertex& v = s.vertices[i];
        p[map.X] = v.x, p[map.Y] = v.y, p[map.Z] = v.z;
        p[map.NX] = v.nx, p[map.NY] = v.ny, p[map.NZ] = v.nz;
        p[map.TexU[0]] = v.u0, p[map.TexV[0]] = v.v0;
        if (s.extraSets >= 1) p[map.TexU[1]] = v.u1, p[map.TexV[1]] = v.v1;
        if (s.extraSets >= 2) p[map.TexU[2]] = v.u2, p[map.TexV[2]] = v.v2;
        if (map.Diffuse) {
            const D3DCOLOR white = 0xFFFFFFFF;
            std::memcpy(&p[map.Diffuse], &white, 4);
        }
    }
    for (const WorkColour& c : s.colours) {
        if (c.vertex >= s.vertices.size()) continue;
        const D3DCOLOR colour = (D3DCOLOR(ColourByte(c.alpha)) << 24) |
                                (D3DCOLOR(ColourByte(c.red)) << 16) |
                                (D3DCOLOR(ColourByte(c.green)) << 8) | ColourByte(c.blue);
        std::memcpy(&words[c.vertex * map.StrideDwords + map.Diffuse], &colour, 4);
    }
    if (!s.colours.empty()) {
        mesh->materialOn = 0;
        s.colours.clear();
    }
    if (s.vertices.size() > kLargest16BitMesh)
        std::memcpy(mesh->indices, s.triangles.data(), s.triangles.size() * 4);
    else
        std::transform(s.triangles.begin(), s.triangles.end(), mesh->indices,
                       [](std::uint32_t v) { return static_cast<std::uint16_t>(v); });
}

// The bone's influences replaced by these.
bool SetInfluences(BoneRecord& bone, const std::vector<std::uint32_t>& vertices,
                   const std::vector<float>& weights) {
    delete[] std::exchange(bone.vertices, nullptr);
    delete[] std::exchange(bone.weights, nullptr);
    bone.influenceCount = static_cast<std::uint32_t>(vertices.size());
    if (vertices.empty()) return true;
    RequireLoad(vertices.size(), 8);
    bone.vertices = new (std::nothrow) std::uint32_t[vertices.size()];
    bone.weights = new (std::nothrow) float[weights.size()];
    if (!bone.vertices || !bone.weights) return false;
    std::copy(vertices.begin(), vertices.end(), bone.vertices);
    std::copy(weights.begin(), weights.end(), bone.weights);
    return true;
}

bool CreateBones(MeshRecord* mesh) {
    const State& s = g_State;
    // Never more bones than weights were given for.
    const std::uint32_t count = std::min<std::uint32_t>(s.skinBones, s.skins.size());
    if (count == 0) return true;
    // The bones, and the frame and matrix each is linked to when the object is set up.
    RequireLoad(count, sizeof(BoneRecord) + 2 * sizeof(void*));
    mesh->bones = new (std::nothrow) BoneRecord[count];
    if (!mesh->bones) return false;
    mesh->boneCount = static_cast<std::int32_t>(count);
    for (std::uint32_t b = 0; b < count; ++b) {
        const WorkSkin& skin = s.skins[b];
        BoneRecord& bone = mesh->bones[b];
        std::strncpy(bone.name, skin.bone.c_str(), kRecordNameLength - 1);
        std::memcpy(&bone.offsetMatrix, skin.offset, sizeof skin.offset);
        std::vector<std::uint32_t> vertices;
        std::vector<float> weights;
        RequireLoad(skin.vertices.size(), 8);
        for (std::size_t j = 0; j < skin.vertices.size(); ++j) {
            if (skin.vertices[j] >= static_cast<std::uint32_t>(mesh->vertexCount)) continue;
            vertices.push_back(skin.vertices[j]);
            weights.push_back(skin.weights[j]);
        }
        if (!SetInfluences(bone, vertices, weights)) return false;
    }
    return true;
}

// A mesh past 16-bit indices becomes a plain list; each bone then moves every corner copied from
// each of its vertices.
bool ExpandLargeMesh(MeshRecord* mesh) {
    const State& s = g_State;
    // The corners of each vertex, then the mesh expanded to one vertex a corner.
    RequireLoad(s.vertices.size(), sizeof(std::vector<std::uint32_t>) + 4);
    RequireLoad(s.triangles.size(), 4 + std::uint64_t{mesh->vertexSize});
    std::vector<std::vector<std::uint32_t>> corners(s.vertices.size());
    for (std::size_t k = 0; k < s.triangles.size(); ++k)
        corners[s.triangles[k]].push_back(static_cast<std::uint32_t>(k));
    ExpandMeshIndices(mesh);
    ExpandedVertexRemap.clear();
    ExpandedVertexRemap.shrink_to_fit();
    for (std::int32_t b = 0; b < mesh->boneCount; ++b) {
        BoneRecord& bone = mesh->bones[b];
        std::vector<std::uint32_t> vertices;
        std::vector<float> weights;
        std::uint64_t moved = 0;
        for (std::uint32_t j = 0; bone.vertices && j < bone.influenceCount; ++j)
            moved += corners[bone.vertices[j]].size();
        RequireLoad(moved, 8);
        for (std::uint32_t j = 0; bone.vertices && j < bone.influenceCount; ++j)
            for (std::uint32_t corner : corners[bone.vertices[j]]) {
                vertices.push_back(corner);
                weights.push_back(bone.weights[j]);
            }
        if (!SetInfluences(bone, vertices, weights)) return false;
    }
    return true;
}

bool NeedsMaterialGroups(MeshRecord* mesh) {
    if (mesh->textureCount < 2) {
        delete[] std::exchange(mesh->multiMaterialBuffer, nullptr);
        return false;
    }
    const char* first = mesh->textures[0].fileName;
    for (std::int32_t k = 1; k < mesh->textureCount; ++k)
        if (std::strcmp(first, mesh->textures[k].fileName) != 0) return true;
    if (first[0] == 0) return true;
    // One texture for every material: one slot, no groups.
    auto* one = new (std::nothrow) TextureRecord[1];
    if (!one) return false;
    std::strcpy(one[0].fileName, first);
    delete[] std::exchange(mesh->textures, one);
    mesh->textureCount = 1;
    delete[] std::exchange(mesh->multiMaterialBuffer, nullptr);
    return false;
}

// The first triangle of each group in the gathered list, one pass over the triangles: the
// groups' counts, then their starts (groups + 1 entries, the last the total).
std::vector<std::uint32_t> GroupStarts(const MeshRecord* mesh, std::int32_t groups) {
    std::vector<std::uint32_t> starts(groups + 1, 0);
    for (std::int32_t t = 0; t < mesh->indexCount / 3; ++t) {
        const std::uint32_t material = mesh->triangleMaterials ? mesh->triangleMaterials[t] : 0;
        if (material < static_cast<std::uint32_t>(groups)) ++starts[material + 1];
    }
    for (std::int32_t k = 0; k < groups; ++k)
        starts[k + 1] += starts[k];
    return starts;
}

// The triangles gathered by material, each group keeping its triangles' order.
void BuildMaterialGroups(MeshRecord* mesh) {
    if (!mesh->indices || mesh->indexCount <= 0) return;
    const std::int32_t groups = mesh->textureCount;
    RequireLoad(static_cast<std::uint64_t>(groups) * (sizeof(MultiMaterialRecord) + 8) +
                std::uint64_t{2} * mesh->indexCount);
    const std::vector<std::uint32_t> starts = GroupStarts(mesh, groups);
    auto* entries = new (std::nothrow) MultiMaterialRecord[groups]();
    auto* indices = new (std::nothrow) std::uint16_t[mesh->indexCount]();
    if (!entries || !indices) {
        delete[] entries;
        delete[] indices;
        return;
    }
    std::vector<std::uint32_t> next(starts.begin(), starts.end() - 1);
    for (std::int32_t t = 0; t < mesh->indexCount / 3; ++t) {
        const std::uint32_t material = mesh->triangleMaterials ? mesh->triangleMaterials[t] : 0;
        if (material < static_cast<std::uint32_t>(groups))
            std::copy_n(mesh->indices + 3 * t, 3, indices + 3 * next[material]++);
    }
    for (std::int32_t k = 0; k < groups; ++k) {
        MultiMaterialRecord& e = entries[k];
        e.startIndex = 3 * starts[k];
        e.primitiveCount = starts[k + 1] - starts[k];
        e.indexCount = 3 * e.primitiveCount;
        std::strcpy(e.name, mesh->textures[k].fileName);
        if (mesh->multiMaterialBuffer)
            std::memcpy(&e.material, mesh->multiMaterialBuffer + k * kMaterialEntry,
                        sizeof e.material);
        else
            e.material = mesh->material;
    }
    delete[] std::exchange(mesh->indices, indices);
    delete[] std::exchange(mesh->multiMaterials, entries);
    mesh->multiMaterialCount = groups;
    mesh->multiMaterialOn = 1;
}

} // namespace

bool ReadMesh(IDirectXFileData* data, FrameRecord* frame) {
    State& s = g_State;
    if (!data || !frame || !s.device) return false;
    ResetMeshData();
    if (!ReadMeshGeometry(data)) return false;
    // Only children given inline; the first that is not ends the visit.
    for (;;) {
        Held<IDirectXFileData> child;
        if (!NextChildData(data, child, false)) break;
        IDirectXFileData* c = child.get();
        if (IsType(c, kMeshNormals))
            ReadMeshNormals(c);
        else if (IsType(c, kMeshTextureCoords))
            ReadTextureCoords(c);
        else if (IsType(c, kFVFData))
            ReadFVFData(c);
        else if (IsType(c, kMeshVertexColors))
            ReadVertexColors(c);
        else if (IsType(c, kMeshMaterialList))
            ReadMeshMaterialList(c);
        else if (IsType(c, kXSkinMeshHeader))
            ReadSkinMeshHeader(c);
        else if (IsType(c, kSkinWeights))
            ReadSkinWeights(c);
    }
    MergeNormals();
    const auto vertices = static_cast<std::uint32_t>(s.vertices.size());
    if (!CreateMeshRecord(frame, vertices, static_cast<std::uint32_t>(s.triangles.size() / 3)) ||
        !SetMeshMaterials(frame->mesh))
        return false;
    FillMeshData(frame->mesh);
    if (!CreateBones(frame->mesh)) return false;
    if (vertices > kLargest16BitMesh && !ExpandLargeMesh(frame->mesh)) return false;
    s.materials.clear();
    return true;
}

void ProcessMeshes(ObjectRecord* object) {
    for (std::int32_t f = 0; object && object->frames && f < object->frameCount; ++f) {
        MeshRecord* mesh = object->frames[f] ? object->frames[f]->mesh : nullptr;
        if (mesh && mesh->textures && NeedsMaterialGroups(mesh)) BuildMaterialGroups(mesh);
    }
}

} // namespace ConvX
