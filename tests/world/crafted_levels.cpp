#include "core/win32.h"

#include "world/crafted_levels.h"
#include "world/bsp_file.h"
#include "world/level_builder.h"
#include "world/level_fixtures.h"

namespace {

constexpr std::size_t kFaceBytes = sizeof(BspFace), kVertexBytes = sizeof(BspVertex);
constexpr std::size_t kLeafBytes = sizeof(BspLeaf);

std::string Ints(std::initializer_list<std::int32_t> values) {
    std::string out;
    for (std::int32_t v : values)
        out.append(reinterpret_cast<const char*>(&v), 4);
    return out;
}

// Leaf 0 lists count leaf faces from the first.
void SetLeafFaces(std::string& level, std::int32_t count) {
    PutInt(level, FieldAt(level, kLumpLeaves, kLeafBytes, 0, offsetof(BspLeaf, firstLeafFace)), 0);
    PutInt(level, FieldAt(level, kLumpLeaves, kLeafBytes, 0, offsetof(BspLeaf, leafFaceCount)),
           count);
}

} // namespace

std::string Appended(std::string level, int lump, const std::string& bytes) {
    const auto at = static_cast<std::int32_t>(level.size());
    level += bytes;
    SetLump(level, lump, at, static_cast<std::int32_t>(bytes.size()));
    return level;
}

std::string Repeated(const std::string& record, std::size_t count) {
    std::string out;
    out.reserve(record.size() * count);
    for (std::size_t i = 0; i < count; ++i)
        out += record;
    return out;
}

std::string WallLevel() {
    LevelBuilder builder;
    builder.Wall(D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(0, 0, -1), 2);
    return builder.Bytes();
}

std::string FaceOf(const std::string& level, std::size_t face) {
    return level.substr(FieldAt(level, kLumpFaces, kFaceBytes, face, 0), kFaceBytes);
}

std::string ListingFaces(const std::string& level, std::int32_t count) {
    std::string faces;
    for (std::int32_t f = 0; f < count; ++f)
        faces += Ints({f});
    std::string listing = Appended(level, kLumpLeafFaces, faces);
    SetLeafFaces(listing, count);
    return listing;
}

std::string SharedLeafLevel(std::int32_t nodes, std::int32_t leafFaces) {
    std::string chain;
    constexpr std::int32_t kFar = 100000;
    for (std::int32_t n = 0; n < nodes; ++n)
        chain += Ints({0, n + 1 < nodes ? n + 1 : -2, -1, -kFar, -kFar, -kFar, kFar, kFar, kFar});
    std::string level = Appended(WallLevel(), kLumpNodes, chain);
    level = Appended(level, kLumpLeafFaces, std::string(4 * std::size_t(leafFaces), '\0'));
    SetLeafFaces(level, leafFaces);
    return level;
}

std::string FanFacesLevel(std::int32_t faces, std::int32_t vertices) {
    std::string level = WallLevel();
    const std::string vertex =
        level.substr(FieldAt(level, kLumpVertices, kVertexBytes, 0, 0), kVertexBytes);
    std::string face = FaceOf(level, 0);
    PutInt(face, offsetof(BspFace, vertexCount), vertices);
    PutInt(face, offsetof(BspFace, meshIndexCount), 0);
    level = Appended(level, kLumpVertices, Repeated(vertex, std::size_t(vertices)));
    return ListingFaces(Appended(level, kLumpFaces, Repeated(face, std::size_t(faces))), faces);
}

std::string TriangleFacesLevel(std::int32_t faces) {
    std::string level = WallLevel(), face = FaceOf(level, 0);
    PutInt(face, offsetof(BspFace, vertexCount), 3);
    PutInt(face, offsetof(BspFace, meshIndexCount), 3);
    return ListingFaces(Appended(level, kLumpFaces, Repeated(face, std::size_t(faces))), faces);
}

std::string StagedWallShader(int stages, int modifiers) {
    const std::string stage = " {\n  map $whiteimage\n" +
                              Repeated("  tcmod rotate 30\n", std::size_t(modifiers)) + " }\n";
    return "textures/test/wall\n{\n cull none\n" + Repeated(stage, std::size_t(stages)) + "}\n";
}
