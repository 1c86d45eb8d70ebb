#include "core/win32.h"

#include "modelfile/conv_mdl.h"
#include "core/load_budget.h"
#include "modelfile/converter_common.h"
#include "object3d/object_values.h"

#include <cmath>
#include <unordered_map>
#include <utility>

namespace ConvMDL {

namespace {

// Header fields; the header's size.
constexpr std::int64_t kHeaderBytes = 244;
constexpr std::uint64_t kVersionAt = 4, kBonesAt = 140, kSequencesAt = 164, kGroupsAt = 172,
                        kTexturesAt = 180, kSkinRefsAt = 192, kSkinFamiliesAt = 196, kSkinsAt = 200,
                        kBodyPartsAt = 204;
// Record sizes.
constexpr std::uint64_t kBoneBytes = 112, kSequenceBytes = 176, kGroupBytes = 104,
                        kTextureBytes = 80, kBodyPartBytes = 76, kModelBytes = 112, kMeshBytes = 20,
                        kAnimationBytes = 12, kPaletteBytes = 768;
// What remembering one read command costs: its map entry and its place on the walk.
constexpr std::uint64_t kCommandMemoBytes = 48;

// A number the engine can move and draw: finite and no farther out than kLargestLoadedValue.
bool InRange(float value) {
    return std::fabs(value) <= kLargestLoadedValue; // false for a NaN too
}

// count entries of `each` bytes at offset, as TableInFile; a table with entries must also lie past
// the header, whose words would otherwise be read as entries (a zeroed offset is the file's start).
bool StudioTable(const ByteSpan& file, std::int64_t offset, std::uint64_t each, std::int64_t count,
                 ByteSpan& table) {
    return (count == 0 || offset >= kHeaderBytes) && TableInFile(file, offset, each, count, table);
}

// A count and the offset of its table, read from two header words.
bool CountAndOffset(const ByteSpan& file, std::uint64_t at, std::int32_t& count,
                    std::int32_t& offset) {
    return file.I32(at, count) && file.I32(at + 4, offset) && count >= 0;
}

bool ReadBones(const ByteSpan& file, MDLData& data) {
    std::int32_t count = 0, offset = 0;
    ByteSpan table;
    if (!CountAndOffset(file, kBonesAt, count, offset) || count > kMostBones ||
        !StudioTable(file, offset, kBoneBytes, count, table))
        return false;
    RequireLoad(static_cast<std::uint64_t>(count), sizeof(Bone));
    data.bones.resize(static_cast<std::size_t>(count));
    for (std::size_t b = 0; b < data.bones.size(); ++b) {
        Bone& bone = data.bones[b];
        table.I32(kBoneBytes * b + 32, bone.parent);
        // Transforms are made in bone order: a parent must come first.
        if (bone.parent != -1 && (bone.parent < 0 || static_cast<std::size_t>(bone.parent) >= b))
            return false;
        for (int j = 0; j < 6; ++j) {
            table.F32(kBoneBytes * b + 64 + 4 * j, bone.value[j]);
            table.F32(kBoneBytes * b + 88 + 4 * j, bone.scale[j]);
            if (!InRange(bone.value[j]) || !InRange(bone.scale[j])) return false;
        }
    }
    return true;
}

// The first sequence: its frame count and, when its group is this file's own, its animation data.
bool ReadSequence(const ByteSpan& file, MDLData& data) {
    std::int32_t count = 0, offset = 0, groups = 0, groupOffset = 0;
    if (!CountAndOffset(file, kSequencesAt, count, offset)) return false;
    if (count == 0) return true; // nothing moves: the base pose
    ByteSpan sequence, group;
    std::int32_t animation = 0, groupNumber = 0, groupData = 0;
    if (!StudioTable(file, offset, kSequenceBytes, 1, sequence)) return false;
    sequence.I32(56, data.frameCount);
    sequence.I32(124, animation);
    sequence.I32(156, groupNumber);
    // Another group's data lies in a file of its own, which is not read.
    if (groupNumber != 0) return true;
    if (!CountAndOffset(file, kGroupsAt, groups, groupOffset) || groups < 1 ||
        !StudioTable(file, groupOffset, kGroupBytes, 1, group))
        return false;
    group.I32(100, groupData);
    const std::int64_t at = std::int64_t{groupData} + animation;
    ByteSpan records;
    if (!StudioTable(file, at, kAnimationBytes, static_cast<std::int64_t>(data.bones.size()),
                     records))
        return false;
    data.animation = static_cast<std::uint64_t>(at);
    data.animated = true;
    return true;
}

bool ReadTextures(const ByteSpan& file, MDLData& data) {
    std::int32_t count = 0, offset = 0;
    ByteSpan table;
    if (!CountAndOffset(file, kTexturesAt, count, offset) ||
        !StudioTable(file, offset, kTextureBytes, count, table))
        return false;
    RequireLoad(static_cast<std::uint64_t>(count), sizeof(Texture));
    data.textures.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < data.textures.size(); ++i) {
        Texture& t = data.textures[i];
        const std::uint64_t at = kTextureBytes * i;
        std::int32_t pixels = 0;
        t.name = FieldText(table.data + at, 64);
        table.I32(at + 68, t.width);
        table.I32(at + 72, t.height);
        table.I32(at + 76, pixels);
        if (t.width <= 0 || t.height <= 0 ||
            !StudioTable(file, pixels, static_cast<std::uint64_t>(t.width), t.height, t.pixels) ||
            !file.Sub(static_cast<std::uint64_t>(pixels) + t.pixels.size, kPaletteBytes, t.palette))
            return false;
    }
    return true;
}

// The first row of the skin table: a texture number per skin reference; empty without one.
bool ReadSkinRow(const ByteSpan& file, std::vector<std::int32_t>& row) {
    std::int32_t refs = 0, families = 0, offset = 0;
    ByteSpan table;
    if (!file.I32(kSkinRefsAt, refs) || !file.I32(kSkinFamiliesAt, families) ||
        !file.I32(kSkinsAt, offset))
        return false;
    if (refs <= 0 || families <= 0) return true;
    if (!StudioTable(file, offset, 2, refs, table)) return false;
    RequireLoad(static_cast<std::uint64_t>(refs), sizeof(std::int32_t));
    row.resize(static_cast<std::size_t>(refs));
    for (std::size_t i = 0; i < row.size(); ++i)
        table.I16(2 * i, row[i]);
    return true;
}

// The first model's vertex tables.
struct Model {
    ByteSpan positions; // three floats a vertex
    ByteSpan bones;     // a bone number a vertex
    std::int32_t vertexCount = 0;
};

// A strip as its commands make it, before a mesh gives it a texture: s and t as the file has them.
struct Shape {
    StripRecord strip;
    std::vector<std::uint32_t> bones; // a bone a vertex
    std::int32_t next = -1;           // the shape after it in its list; -1 for none
};

// The shapes of every command list the meshes name, each command read once however many meshes
// share its list (or a tail of it): a command's offset maps to the first shape it or a later
// command of its list makes, -1 for none.
struct CommandLists {
    std::vector<Shape> shapes;
    std::unordered_map<std::uint64_t, std::int32_t> first;
};

// One strip or fan of triangle commands into a shape.
bool ReadShape(const ByteSpan& commands, std::int32_t n, const Model& model, const MDLData& data,
               Shape& shape) {
    StripRecord& strip = shape.strip;
    strip.primitiveType = n > 0 ? D3DPT_TRIANGLESTRIP : D3DPT_TRIANGLEFAN;
    strip.vertexCount = n > 0 ? n : -n;
    const auto count = static_cast<std::size_t>(strip.vertexCount);
    RequireLoad(count, 8 * sizeof(float) + sizeof(std::uint32_t));
    strip.vertices.resize(8 * count);
    shape.bones.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::int32_t vertex = 0, s = 0, t = 0;
        commands.I16(8 * i, vertex);
        commands.I16(8 * i + 4, s);
        commands.I16(8 * i + 6, t);
        if (vertex < 0 || vertex >= model.vertexCount) return false;
        model.bones.U8(static_cast<std::uint64_t>(vertex), shape.bones[i]);
        if (shape.bones[i] >= data.bones.size()) return false;
        float* out = &strip.vertices[8 * i];
        for (int c = 0; c < 3; ++c)
            if (!model.positions.F32(12u * vertex + 4u * c, out[c]) || !InRange(out[c]))
                return false;
        out[6] = static_cast<float>(s);
        out[7] = static_cast<float>(t);
    }
    return true;
}

// The command at `at`: its vertex count (negative for a fan) and its vertices' span.
bool ReadCommand(const ByteSpan& file, std::uint64_t at, std::int32_t& n, ByteSpan& commands) {
    if (!file.I16(at, n)) return false;
    const std::uint64_t count = n > 0 ? n : -n;
    return file.Sub(at + 2, 8 * count, commands);
}

// The first shape of the list at `at` (-1 for none): its commands are read up to the command of 0
// vertices or to one an earlier list read, whose shapes then follow.
bool WalkCommands(const ByteSpan& file, std::uint64_t at, const Model& model, const MDLData& data,
                  CommandLists& lists, std::int32_t& first) {
    std::vector<std::pair<std::uint64_t, std::int32_t>> walked; // offset, the shape it made
    std::int32_t tail = -1, n = 0;
    ByteSpan commands;
    for (;; at += 2 + commands.size) {
        const auto known = lists.first.find(at);
        if (known != lists.first.end()) {
            tail = known->second;
            break;
        }
        if (!ReadCommand(file, at, n, commands)) return false;
        if (n == 0) break;
        RequireLoad(kCommandMemoBytes);
        walked.emplace_back(at, -1);
        // Fewer than three vertices make no triangle, and no mesh.
        if (n > -3 && n < 3) continue;
        if (lists.shapes.size() >= static_cast<std::size_t>(kMostStrips)) return false;
        RequireLoad(sizeof(Shape));
        walked.back().second = static_cast<std::int32_t>(lists.shapes.size());
        if (!ReadShape(commands, n, model, data, lists.shapes.emplace_back())) return false;
    }
    for (auto w = walked.rbegin(); w != walked.rend(); ++w) {
        if (w->second >= 0) lists.shapes[w->second].next = std::exchange(tail, w->second);
        lists.first.emplace(w->first, tail);
    }
    first = tail;
    return true;
}

// A mesh's strips: the shapes of its list, with its texture's coordinates.
bool AddMeshStrips(const CommandLists& lists, std::int32_t first, std::int32_t texture,
                   MDLData& data) {
    float fx = 1, fy = 1;
    if (texture >= 0) {
        fx = 1.0f / static_cast<float>(data.textures[texture].width);
        fy = 1.0f / static_cast<float>(data.textures[texture].height);
    }
    for (std::int32_t k = first; k >= 0; k = lists.shapes[k].next) {
        if (data.strips.size() >= static_cast<std::size_t>(kMostStrips)) return false;
        const Shape& shape = lists.shapes[k];
        RequireLoad(sizeof(StripRecord) + shape.strip.vertices.size() * sizeof(float) +
                    shape.bones.size() * sizeof(std::uint32_t));
        StripRecord& strip = data.strips.emplace_back(shape.strip);
        strip.texture = texture;
        for (std::size_t i = 0; i < strip.vertices.size(); i += 8)
            strip.vertices[i + 6] *= fx, strip.vertices[i + 7] *= fy;
        data.vertexBones.insert(data.vertexBones.end(), shape.bones.begin(), shape.bones.end());
    }
    return true;
}

// The texture a mesh's skin reference names: -1 for a reference outside the skin row, or to a
// texture not in this file.
std::int32_t MeshTexture(std::int32_t skin, const std::vector<std::int32_t>& skins,
                         const MDLData& data) {
    const std::int32_t texture = skin >= 0 && static_cast<std::size_t>(skin) < skins.size()
                                     ? skins[static_cast<std::size_t>(skin)]
                                     : -1;
    return texture >= 0 && static_cast<std::size_t>(texture) < data.textures.size() ? texture : -1;
}

bool ReadModel(const ByteSpan& file, std::uint64_t at, MDLData& data) {
    ByteSpan record, meshes;
    Model model;
    std::int32_t meshCount = 0, meshOffset = 0, bonesOffset = 0, positionsOffset = 0;
    std::vector<std::int32_t> skins;
    if (!StudioTable(file, static_cast<std::int64_t>(at), kModelBytes, 1, record) ||
        !ReadSkinRow(file, skins))
        return false;
    record.I32(72, meshCount);
    record.I32(76, meshOffset);
    record.I32(80, model.vertexCount);
    record.I32(84, bonesOffset);
    record.I32(88, positionsOffset);
    if (!StudioTable(file, positionsOffset, 12, model.vertexCount, model.positions) ||
        !StudioTable(file, bonesOffset, 1, model.vertexCount, model.bones) ||
        !StudioTable(file, meshOffset, kMeshBytes, meshCount, meshes))
        return false;
    CommandLists lists;
    for (std::int32_t m = 0; m < meshCount; ++m) {
        std::int32_t commands = 0, skin = 0, first = -1;
        meshes.I32(kMeshBytes * m + 4, commands);
        meshes.I32(kMeshBytes * m + 8, skin);
        if (commands < kHeaderBytes ||
            !WalkCommands(file, static_cast<std::uint64_t>(commands), model, data, lists, first) ||
            !AddMeshStrips(lists, first, MeshTexture(skin, skins, data), data))
            return false;
    }
    return true;
}

// The first model of the first body part; a file without a body part holds no model.
bool ReadBodyParts(const ByteSpan& file, MDLData& data) {
    std::int32_t count = 0, offset = 0, models = 0, modelOffset = 0;
    ByteSpan part;
    if (!CountAndOffset(file, kBodyPartsAt, count, offset) || count < 1 ||
        !StudioTable(file, offset, kBodyPartBytes, 1, part))
        return false;
    part.I32(64, models);
    part.I32(72, modelOffset);
    return models >= 1 && modelOffset >= 0 &&
           ReadModel(file, static_cast<std::uint64_t>(modelOffset), data);
}

} // namespace

std::string SkinFileName(const std::string& name) {
    const std::size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool Decode(const ByteSpan& file, MDLData& data) {
    data = MDLData{};
    data.file = file;
    std::uint32_t magic = 0;
    std::int32_t version = 0;
    return file.U32(0, magic) && magic == kMagic && file.I32(kVersionAt, version) &&
           version == kVersion && ReadBones(file, data) && ReadSequence(file, data) &&
           ReadTextures(file, data) && ReadBodyParts(file, data);
}

} // namespace ConvMDL
