#include "core/win32.h"

#include "world/world_level.h"
#include "world/shader_table.h"
#include "world/world_state.h"
#include "world/world_textures.h"
#include "core/load_budget.h"

#include <algorithm>
#include <new>
#include <unordered_set>

namespace {

// Written only by LoadBSPData and FreeLevelData; read by drawing and collision.
WorldLevel current;

bool IsBuiltInFrame(const std::string& name) {
    return _stricmp(name.c_str(), "$lightmap") == 0 || _stricmp(name.c_str(), "$whiteimage") == 0;
}

std::string Lowered(const std::string& text) {
    std::string lowered(text);
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lowered;
}

// The level's files by lowercased name: a level whose faces use shaders of thousands of scripts
// lists each script once, without comparing it with every file listed before.
std::unordered_set<std::string> ListedLevelFiles() {
    std::unordered_set<std::string> listed;
    const ArchiveFileList& files = WorldLevelFiles();
    for (std::int32_t i = 0; i < files.count; ++i)
        listed.insert(Lowered(files.entries[static_cast<std::size_t>(i)].name));
    return listed;
}

// The first time a level's face uses shader s: its script joins the level's files (unless
// listed) and every stage frame that names a picture gets its texture.
void LoadShaderTextures(std::int32_t s, std::unordered_set<std::string>& listed) {
    ShaderRecord& shader = WorldShaderTable().records[static_cast<std::size_t>(s)];
    if (shader.texturesLoaded) return;
    if (listed.insert(Lowered(shader.script)).second) {
        RequireLoad(4 * shader.script.size() + shader.archive.size() + 4 * sizeof(std::string));
        AppendArchiveListEntry(WorldLevelFiles(), shader.script, shader.script, shader.archive);
    }
    for (ShaderStage& stage : shader.stages) {
        const std::size_t frames = std::min<std::size_t>(
            {stage.frameCount, stage.frameNames.size(), stage.frameTextures.size()});
        for (std::size_t k = 0; k < frames; ++k)
            if (!IsBuiltInFrame(stage.frameNames[k]) && stage.frameTextures[k] == -1)
                stage.frameTextures[k] = LoadLevelTextures(stage.frameNames[k].c_str());
    }
    shader.texturesLoaded = 1;
}

// A texture record's shader and texture handle, looked up once for all the faces that name it.
struct FaceTexture {
    bool known = false;
    std::int32_t shader = -1;
    std::int32_t handle = -1;
};

FaceTexture LookUpFaceTexture(const BspTextureName& record,
                              std::unordered_set<std::string>& listed) {
    FaceTexture found;
    found.known = true;
    const std::string name = BspTextureNameText(record);
    found.shader = FindShader(name.c_str());
    if (found.shader >= 0) {
        found.handle = -2 - found.shader;
        LoadShaderTextures(found.shader, listed);
    } else {
        found.handle = LoadLevelTextures(name.c_str());
    }
    return found;
}

void FillPlacement(const BspFace& face, WorldFaceRecord& record) {
    std::copy(face.lightmapOrigin, face.lightmapOrigin + 3, record.origin);
    std::copy(face.normal, face.normal + 3, record.normal);
    record.distance = record.origin[0] * record.normal[0] + record.origin[1] * record.normal[1] +
                      record.origin[2] * record.normal[2];
}

// A polygon's own triangles: whole triangles, every index within its vertices.
void FillPolygonTriangles(const BspFile& file, const BspFace& face, WorldFaceRecord& record) {
    const std::int64_t first = face.firstMeshIndex, count = face.meshIndexCount;
    if (count < 3 || count % 3 || first < 0 ||
        first + count > static_cast<std::int64_t>(file.meshIndices.size()))
        return;
    const std::int32_t* index = file.meshIndices.data() + first;
    for (std::int64_t i = 0; i < count; ++i)
        if (index[i] < 0 || index[i] >= face.vertexCount || index[i] >= kMostFaceVertices) return;
    record.firstTriangleIndex = face.firstMeshIndex;
    record.triangleIndexCount = face.meshIndexCount;
}

void FillRanges(const BspFace& face, WorldFaceRecord& record) {
    if (face.type == kFacePolygon || face.type == kFaceMesh) {
        record.firstVertex = face.firstVertex;
        record.vertexCount = face.vertexCount;
    }
    if (face.type == kFaceMesh) {
        record.firstMeshIndex = face.firstMeshIndex;
        record.meshIndexCount = face.meshIndexCount;
    }
    if (face.type == kFacePolygon || face.type == kFaceMesh || face.type == kFaceBillboard)
        FillPlacement(face, record);
}

} // namespace

WorldLevel& WorldLevelData() {
    return current;
}

void ScaleLightmapColours(std::uint8_t* texels, std::size_t byteCount, float factor) {
    if (!texels) return;
    for (std::size_t t = 0; t + 3 <= byteCount; t += 3) {
        float channel[3];
        float scale = 1.0f;
        for (int k = 0; k < 3; ++k) {
            channel[k] = texels[t + k] * factor * 0.003921569f;
            if (channel[k] > 1.0f && 1.0f / channel[k] < scale) scale = 1.0f / channel[k];
        }
        for (int k = 0; k < 3; ++k) {
            const float value = channel[k] * scale * 255.0f;
            texels[t + k] = static_cast<std::uint8_t>(std::min(static_cast<int>(value), 255));
        }
    }
}

bool MakeLevelPatches(WorldLevel& level) {
    const BspFile& file = level.file;
    RequireLoad(file.faces.size(), sizeof(WorldFaceRecord));
    level.faces.assign(file.faces.size(), WorldFaceRecord{});
    std::int64_t total = 0;
    for (std::size_t f = 0; f < file.faces.size(); ++f) {
        if (file.faces[f].type != kFacePatch) continue;
        level.faces[f].patch = BuildPatch(file.faces[f], file.vertices, level.patches);
        if (level.faces[f].patch >= 0) total += level.patches.back().vertexCount;
        if (total > kMostLevelPatchVertices) return false;
    }
    return true;
}

void MakeLevelLightmaps(WorldLevel& level) {
    BspFile& file = level.file;
    const std::int32_t count = file.LightmapCount();
    RequireLoad(static_cast<std::uint64_t>(count), sizeof(std::int32_t));
    level.lightmapTextures.assign(static_cast<std::size_t>(count), -1);
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint8_t* texels = file.lightmaps.data() + static_cast<std::size_t>(i) * kLightmapBytes;
        ScaleLightmapColours(texels, kLightmapBytes, kLightmapBrightness);
        level.lightmapTextures[static_cast<std::size_t>(i)] =
            CreateLightmapTextures(kLightmapSide, kLightmapSide, 24, texels, kLightmapBytes);
    }
}

void MakeFaceRecords(WorldLevel& level) {
    const BspFile& file = level.file;
    level.faces.resize(file.faces.size());
    RequireLoad(file.textures.size(), sizeof(FaceTexture));
    std::vector<FaceTexture> textures(file.textures.size());
    const auto lightmaps = static_cast<std::int32_t>(level.lightmapTextures.size());
    std::unordered_set<std::string> listed = ListedLevelFiles();
    for (std::size_t f = 0; f < file.faces.size(); ++f) {
        const BspFace& face = file.faces[f];
        WorldFaceRecord& record = level.faces[f];
        record.type = face.type;
        record.lightmap = face.lightmap >= 0 && face.lightmap < lightmaps
                              ? level.lightmapTextures[static_cast<std::size_t>(face.lightmap)]
                              : -1;
        FillRanges(face, record);
        if (face.type == kFacePolygon) FillPolygonTriangles(file, face, record);
        FaceTexture& texture = textures[static_cast<std::size_t>(face.texture)];
        if (!texture.known)
            texture =
                LookUpFaceTexture(file.textures[static_cast<std::size_t>(face.texture)], listed);
        record.shader = texture.shader;
        record.texture = texture.handle;
    }
}

void MakeLevelVertices(WorldLevel& level) {
    const BspFile& file = level.file;
    RequireLoad(file.vertices.size(), sizeof(WorldVertex));
    RequireLoad(file.meshIndices.size(), sizeof(std::uint16_t));
    level.vertices.resize(file.vertices.size());
    std::transform(file.vertices.begin(), file.vertices.end(), level.vertices.begin(),
                   ToWorldVertex);
    level.indices.resize(file.meshIndices.size());
    std::transform(file.meshIndices.begin(), file.meshIndices.end(), level.indices.begin(),
                   [](std::int32_t index) { return static_cast<std::uint16_t>(index & 0xFFFF); });
}

void GroupLevelFaces(WorldLevel& level) {
    std::vector<std::pair<std::int32_t, std::int32_t>> order; // texture handle, face
    // The order, each face's place in a group, at worst a group per face, and its visible flag.
    RequireLoad(level.faces.size(),
                sizeof(order[0]) + 2 * sizeof(std::int32_t) + sizeof(WorldFaceGroup));
    order.reserve(level.faces.size());
    for (std::size_t f = 0; f < level.faces.size(); ++f)
        order.emplace_back(level.faces[f].texture, static_cast<std::int32_t>(f));
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    level.groups.clear();
    for (const auto& [texture, face] : order) {
        if (level.groups.empty() || level.groups.back().texture != texture)
            level.groups.push_back(WorldFaceGroup{texture, {}});
        level.groups.back().faces.push_back(face);
    }
}

int LoadBSPData(const std::uint8_t* image, std::size_t size) {
    try {
        WorldLevel next;
        if (ReadBspFile(ByteSpan{image, size}, next.file) != kBspFine) return 0;
        // Patches need no device and may refuse the file, so they come before any texture.
        if (!MakeLevelPatches(next)) return 0;
        if (!ChargeLevelWork(next)) return 0;
        ResetShaderTextures();
        MakeLevelLightmaps(next);
        MakeFaceRecords(next);
        MakeLevelVertices(next);
        GroupLevelFaces(next);
        next.faceVisible.assign(next.faces.size(), 0);
        current = std::move(next);
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

void FreeFaceGroups(WorldLevel& level) {
    std::vector<WorldFaceGroup>().swap(level.groups);
}

void FreeWorldArrays(WorldLevel& level) {
    FreeFaceGroups(level);
    level = WorldLevel{};
}

void FreeLevelData() {
    FreeWorldArrays(current);
}
