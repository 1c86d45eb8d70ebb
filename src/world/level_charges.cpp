#include "core/win32.h"

#include "world/world_level.h"
#include "core/load_budget.h"
#include "world/shader_table.h"

#include <algorithm>
#include <vector>

namespace {

// What a face of one texture record does each frame besides handing over its vertices: its
// passes (once, or once a stage of the shader it names), the modifier passes each of its vertices
// goes through, and whether sweeps test it. Looked up once per record; the shader table is read
// before the level.
struct FaceWork {
    bool known = false;
    std::uint64_t passes = 1;
    std::uint64_t modifierPasses = 0;
    bool swept = true;
};

FaceWork WorkOf(const BspTextureName& record) {
    FaceWork work;
    work.known = true;
    const std::int32_t s = FindShader(BspTextureNameText(record).c_str());
    if (s < 0) return work;
    const ShaderRecord& shader = WorldShaderTable().records[static_cast<std::size_t>(s)];
    work.passes = static_cast<std::uint64_t>(std::max(shader.stageCount, 1));
    for (const ShaderStage& stage : shader.stages)
        work.modifierPasses += stage.modifierCount + (stage.textureCoordinates == 2 ? 1u : 0u);
    work.swept = !shader.nonsolid || shader.playerclip;
    return work;
}

// What one pass over a face hands the device, and the triangles a sweep tests of it: a polygon's
// listed triangles or its fan, a patch's grid; meshes are not swept.
struct FaceSize {
    std::uint64_t vertices = 0;
    std::uint64_t indices = 0;
    std::uint64_t triangles = 0;
};

std::uint64_t Count(std::int32_t value) {
    return static_cast<std::uint64_t>(std::max(value, 0));
}

FaceSize SizeOf(const WorldLevel& level, std::size_t f) {
    const BspFace& face = level.file.faces[f];
    FaceSize size;
    if (face.type == kFacePolygon || face.type == kFaceMesh) {
        size.vertices = Count(face.vertexCount);
        size.indices = Count(face.meshIndexCount);
        if (face.type == kFacePolygon)
            size.triangles = std::max(Count(face.vertexCount - 2), size.indices / 3);
    } else if (face.type == kFacePatch && level.faces[f].patch >= 0) {
        const PatchRecord& patch = level.patches[static_cast<std::size_t>(level.faces[f].patch)];
        size.vertices = patch.vertices.size();
        size.indices = patch.indices.size();
        size.triangles = size.indices / 3;
    }
    return size;
}

// Charges a face's frame work; the triangles sweeps test of it.
std::uint64_t ChargeFace(const FaceSize& size, const FaceWork& work) {
    RequireLoad(size.vertices * sizeof(WorldVertex) + size.indices * sizeof(std::uint16_t),
                work.passes);
    RequireLoad(work.passes - 1, kDrawCallCharge);
    RequireLoad(size.vertices * work.modifierPasses, kModifierVertexCharge);
    return work.swept ? size.triangles : 0;
}

// A frame walks every leaf's faces, however many leaves list the same ones; a sweep walks the
// nodes its move crosses and the faces of their leaves, each leaf below one node (a leaf named
// twice refuses the file).
void ChargeWalks(const BspFile& file) {
    std::uint64_t leafFaces = 0;
    for (const BspLeaf& leaf : file.leaves)
        leafFaces += Count(leaf.leafFaceCount);
    RequireLoad(leafFaces, kLeafFaceWalkCharge);
    RequireLoad(file.nodes.size(), kNodeWalkCharge);
}

} // namespace

bool ChargeLevelWork(const WorldLevel& level) {
    const BspFile& file = level.file;
    ChargeWalks(file);
    RequireLoad(file.textures.size(), sizeof(FaceWork));
    std::vector<FaceWork> works(file.textures.size());
    std::uint64_t swept = 0;
    for (std::size_t f = 0; f < file.faces.size(); ++f) {
        const auto t = static_cast<std::size_t>(file.faces[f].texture);
        FaceWork unknown;
        FaceWork& work = t < works.size() ? works[t] : unknown;
        if (!work.known && t < works.size()) work = WorkOf(file.textures[t]);
        swept += ChargeFace(SizeOf(level, f), work);
    }
    return swept <= kMostSweptTriangles;
}
