#include "core/win32.h"

#include "world/crafted_levels.h"
#include "world/bsp_file.h"
#include "world/level_builder.h"
#include "world/level_fixtures.h"

#include <numeric>
#include <vector>

namespace {

std::string Ints(const std::vector<std::int32_t>& words) {
    return std::string(reinterpret_cast<const char*>(words.data()), 4 * words.size());
}

// Leaf 0 lists the leaf faces (four bytes each), which the level gains as its lump.
std::string ListingLeafFaces(const std::string& level, const std::string& leafFaces) {
    std::string out = Appended(level, kLumpLeafFaces, leafFaces);
    PutInt(out, FieldAt(out, kLumpLeaves, sizeof(BspLeaf), 0, offsetof(BspLeaf, leafFaceCount)),
           static_cast<std::int32_t>(leafFaces.size() / 4));
    return out;
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
    return level.substr(FieldAt(level, kLumpFaces, sizeof(BspFace), face, 0), sizeof(BspFace));
}

std::string SharedLeafLevel(std::int32_t nodes, std::int32_t leafFaces) {
    constexpr std::int32_t kFar = 100000;
    std::vector<std::int32_t> chain;
    for (std::int32_t n = 0; n < nodes; ++n)
        chain.insert(chain.end(),
                     {0, n + 1 < nodes ? n + 1 : -2, -1, -kFar, -kFar, -kFar, kFar, kFar, kFar});
    return ListingLeafFaces(Appended(WallLevel(), kLumpNodes, Ints(chain)),
                            std::string(4 * std::size_t(leafFaces), '\0'));
}

std::string FacesLevel(std::int32_t faces, std::int32_t fanVertices) {
    std::string level = WallLevel(), face = FaceOf(level, 0);
    PutInt(face, offsetof(BspFace, vertexCount), fanVertices ? fanVertices : 3);
    PutInt(face, offsetof(BspFace, meshIndexCount), fanVertices ? 0 : 3);
    const std::string vertex =
        level.substr(FieldAt(level, kLumpVertices, sizeof(BspVertex), 0, 0), sizeof(BspVertex));
    if (fanVertices)
        level = Appended(level, kLumpVertices, Repeated(vertex, std::size_t(fanVertices)));
    std::vector<std::int32_t> listed(static_cast<std::size_t>(faces));
    std::iota(listed.begin(), listed.end(), 0);
    return ListingLeafFaces(Appended(level, kLumpFaces, Repeated(face, std::size_t(faces))),
                            Ints(listed));
}

std::string WallShader(int stages, const std::string& stage) {
    return "textures/test/wall\n{\n cull none\n" +
           Repeated(" {\n  map $whiteimage\n" + stage + " }\n", std::size_t(stages)) + "}\n";
}
