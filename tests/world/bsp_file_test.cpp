// Level files read and checked without a device: the synthetic level whole, then damaged field by
// field, cut and scrambled, each placed before a no-access page.
#include "core/win32.h"

#include "world/bsp_file.h"
#include "world/level_fixtures.h"
#include "world/world_level.h"
#include "world/world_vertex.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <random>
#include <tuple>

namespace {

constexpr std::size_t kFaceSize = 104, kLeafSize = 48, kNodeSize = 36;

class BspFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        level = SyntheticLevel();
        ASSERT_GT(level.size(), kBspHeaderSize) << "the build makes " << LevelPath("synthetic.bsp");
    }
    BspFault Read(const std::string& bytes) { return ReadGuarded(bytes, file); }
    // The level with one int32 field of one record changed.
    std::string With(int lump, std::size_t recordSize, std::size_t index, std::size_t field,
                     std::int32_t value) {
        std::string changed = level;
        PutInt(changed, FieldAt(level, lump, recordSize, index, field), value);
        return changed;
    }
    std::string level;
    BspFile file;
};

TEST_F(BspFileTest, SyntheticLevelReadsWhole) {
    ASSERT_EQ(Read(level), kBspFine);
    EXPECT_EQ(file.version, 46);
    EXPECT_EQ(file.faces.size(), std::size_t{kSyntheticFaces});
    EXPECT_EQ(file.vertices.size(), std::size_t{kSyntheticVertices});
    EXPECT_EQ(file.LightmapCount(), kSyntheticLightmaps);
    EXPECT_EQ(file.textures.size(), 3u);
    EXPECT_EQ(file.planes.size(), 2u);
    EXPECT_EQ(file.nodes.size(), 2u);
    EXPECT_EQ(file.leaves.size(), 3u);
    EXPECT_EQ(file.leafFaces.size(), 8u);
    EXPECT_EQ(file.meshIndices.size(), 42u);
    EXPECT_EQ(file.models.size(), 40u);
    EXPECT_EQ(file.entities.rfind("{", 0), 0u);
    EXPECT_EQ(BspTextureNameText(file.textures[1]), "Textures/Test/SHADED");
    ASSERT_EQ(file.visibilityPresent, 1);
    EXPECT_EQ(file.visibility.clusterCount, 3);
    EXPECT_EQ(file.visibility.bytesPerCluster, 4);
    EXPECT_EQ(file.visibility.rows.size(), 12u);
    EXPECT_EQ(file.faces[kSyntheticPatchFace].patchSize[0], 3);

    // A name that fills its 64 characters stops there.
    std::string full = level;
    std::memset(&full[FieldAt(level, kLumpTextures, 72, 0, 0)], 'x', 64);
    ASSERT_EQ(Read(full), kBspFine);
    EXPECT_EQ(BspTextureNameText(file.textures[0]), std::string(64, 'x'));
}

TEST_F(BspFileTest, MagicAndVersionComeFirst) {
    std::string bytes = level;
    PutInt(bytes, 4, 45);
    EXPECT_EQ(Read(bytes), kBspBadVersion);
    EXPECT_TRUE(file.faces.empty());
    PutInt(bytes, 4, 47);
    EXPECT_EQ(Read(bytes), kBspFine);
    bytes[3] = 'Q';
    EXPECT_EQ(Read(bytes), kBspBadMagic);
    EXPECT_EQ(Read(std::string("IBSP")), kBspBadVersion);
    EXPECT_EQ(Read(std::string()), kBspBadMagic);
    EXPECT_EQ(ReadBspFile(ByteSpan{nullptr, 100}, file), kBspBadMagic);
    // The whole header must be there, even with a good version.
    EXPECT_EQ(Read(level.substr(0, 100)), kBspBadLump);
}

TEST_F(BspFileTest, ShortVisibilityLumpMeansNoVisibility) {
    std::string bytes = level;
    const BspLump vis = LumpOf(level, kLumpVisibility);
    SetLump(bytes, kLumpVisibility, vis.offset, 11);
    ASSERT_EQ(Read(bytes), kBspFine);
    EXPECT_EQ(file.visibilityPresent, 0);
    EXPECT_TRUE(file.visibility.rows.empty());
    // Without rows a leaf's cluster is not checked against them.
    PutInt(bytes, FieldAt(level, kLumpLeaves, kLeafSize, 2, 0), 500);
    EXPECT_EQ(Read(bytes), kBspFine);
    // Twelve bytes claiming rows they do not hold are refused.
    SetLump(bytes, kLumpVisibility, vis.offset, 12);
    EXPECT_EQ(Read(bytes), kBspBadVisibility);
}

TEST_F(BspFileTest, LumpsOutsideTheImageAreRefused) {
    const auto size = static_cast<std::int32_t>(level.size());
    for (int lump : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 16}) {
        const BspLump at = LumpOf(level, lump);
        const std::pair<std::int32_t, std::int32_t> bad[] = {
            {size, 1},          {at.offset, size}, {-1, at.length}, {at.offset, -4},
            {INT_MAX, INT_MAX}, {INT_MIN, 8},      {size - 2, 3},
        };
        for (const auto& [offset, length] : bad) {
            std::string bytes = level;
            SetLump(bytes, lump, offset, length);
            EXPECT_EQ(Read(bytes), kBspBadLump)
                << "lump " << lump << " at " << offset << ", " << length;
            EXPECT_TRUE(file.vertices.empty());
        }
    }
    // Lumps 12 and 15 are never read: what their entries say does not matter.
    std::string bytes = level;
    SetLump(bytes, 12, INT_MAX, INT_MAX);
    SetLump(bytes, 15, -5, -5);
    EXPECT_EQ(Read(bytes), kBspFine);
}

TEST_F(BspFileTest, FaceRangesOutsideTheirArraysAreRefused) {
    struct Case {
        std::size_t face, field;
        std::int32_t value;
    };
    const Case cases[] = {
        {0, 0, 3},
        {0, 0, -1}, // texture index
        {0, 12, 34},
        {0, 12, -1}, // first vertex: 34 + 4 > 37
        {0, 16, INT_MAX},
        {0, 16, -2},                       // vertex count
        {kSyntheticPatchFace, 12, 30},     // the patch's 9 vertices past the end
        {kSyntheticMeshFace, 20, 40},      // first mesh index: 40 + 6 > 42
        {kSyntheticMeshFace, 24, INT_MAX}, // mesh index count
        {kSyntheticMeshFace, 16, 70000},   // more than 16-bit indices address
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(With(kLumpFaces, kFaceSize, c.face, c.field, c.value)), kBspBadFace)
            << "face " << c.face << " field " << c.field << " = " << c.value;
    // A mesh index must address a vertex of its own face.
    std::string bytes = level;
    const std::int32_t firstIndex =
        GetInt(level, FieldAt(level, kLumpFaces, kFaceSize, kSyntheticMeshFace, 20));
    PutInt(bytes, FieldAt(level, kLumpMeshIndices, 4, std::size_t(firstIndex) + 2, 0), 4);
    EXPECT_EQ(Read(bytes), kBspBadFace);
    PutInt(bytes, FieldAt(level, kLumpMeshIndices, 4, std::size_t(firstIndex) + 2, 0), -1);
    EXPECT_EQ(Read(bytes), kBspBadFace);
    // A face of more indices than any real level comes near, every index in range.
    for (std::int32_t count : {kMostFaceIndices, kMostFaceIndices + 1}) {
        std::string many = With(kLumpFaces, kFaceSize, kSyntheticMeshFace, 24, count);
        PutInt(many, FieldAt(level, kLumpFaces, kFaceSize, kSyntheticMeshFace, 20), 0);
        const auto at = static_cast<std::int32_t>(many.size());
        many.append(static_cast<std::size_t>(count) * 4, '\0');
        SetLump(many, kLumpMeshIndices, at, count * 4);
        EXPECT_EQ(Read(many), count > kMostFaceIndices ? kBspBadFace : kBspFine) << count;
    }
    // Billboards and unknown types use no vertices: their ranges are not read.
    EXPECT_EQ(Read(With(kLumpFaces, kFaceSize, 0, 8, 4)), kBspFine);
    std::string billboard = With(kLumpFaces, kFaceSize, 0, 8, 4);
    PutInt(billboard, FieldAt(level, kLumpFaces, kFaceSize, 0, 12), INT_MAX);
    EXPECT_EQ(Read(billboard), kBspFine);
}

TEST_F(BspFileTest, LeavesAndNodesOutsideTheirArraysAreRefused) {
    EXPECT_EQ(Read(With(kLumpLeaves, kLeafSize, 2, 32, 7)), kBspBadLeaf); // faces 7 and 8 of 8
    EXPECT_EQ(Read(With(kLumpLeaves, kLeafSize, 0, 36, -1)), kBspBadLeaf);
    EXPECT_EQ(Read(With(kLumpLeaves, kLeafSize, 1, 0, 3)), kBspBadLeaf); // cluster 3 of 3
    EXPECT_EQ(Read(With(kLumpLeaves, kLeafSize, 1, 0, -1)), kBspFine);   // outside the level
    EXPECT_EQ(Read(With(kLumpLeafFaces, 4, 5, 0, 8)), kBspBadLeaf);
    EXPECT_EQ(Read(With(kLumpLeafFaces, 4, 5, 0, -1)), kBspBadLeaf);
    EXPECT_EQ(Read(With(kLumpNodes, kNodeSize, 1, 0, 2)), kBspBadNode);  // plane 2 of 2
    EXPECT_EQ(Read(With(kLumpNodes, kNodeSize, 0, 4, 2)), kBspBadNode);  // node 2 of 2
    EXPECT_EQ(Read(With(kLumpNodes, kNodeSize, 1, 8, -4)), kBspBadNode); // leaf 3 of 3
    EXPECT_EQ(Read(With(kLumpNodes, kNodeSize, 1, 8, INT_MIN)), kBspBadNode);
}

TEST_F(BspFileTest, NodeCyclesAreRefusedAndWalksStayBounded) {
    EXPECT_EQ(Read(With(kLumpNodes, kNodeSize, 1, 4, 0)), kBspBadNode); // back up to the root
    EXPECT_EQ(Read(With(kLumpNodes, kNodeSize, 1, 8, 1)), kBspBadNode); // itself
    EXPECT_EQ(Read(With(kLumpNodes, kNodeSize, 0, 8, 1)), kBspBadNode); // reached twice
    EXPECT_EQ(Read(With(kLumpNodes, kNodeSize, 0, 4, 0)), kBspBadNode);
    // A leaf below two nodes, or twice below one: a sweep would walk its faces once a naming.
    EXPECT_EQ(Read(With(kLumpNodes, kNodeSize, 1, 8, -3)), kBspBadNode); // node 0's leaf 2
    EXPECT_EQ(Read(With(kLumpNodes, kNodeSize, 1, 8, -1)), kBspBadNode); // leaf 0 on both sides

    // A tree no check has seen: the walk gives up after as many steps as there are nodes.
    BspFile loop;
    loop.planes.push_back(BspPlane{{1, 0, 0}, 0});
    loop.nodes.push_back(BspNode{0, {1, 1}, {}, {}});
    loop.nodes.push_back(BspNode{0, {0, 0}, {}, {}});
    EXPECT_EQ(FindBspLeaf(loop, D3DXVECTOR3(5, 0, 0)), -1);
    loop.nodes[1].plane = 9;
    EXPECT_EQ(FindBspLeaf(loop, D3DXVECTOR3(5, 0, 0)), -1);
    EXPECT_EQ(FindBspLeaf(BspFile{}, D3DXVECTOR3(0, 0, 0)), -1);
}

TEST_F(BspFileTest, HugeClusterCountsAreRefused) {
    const std::size_t at = static_cast<std::size_t>(LumpOf(level, kLumpVisibility).offset);
    const std::pair<std::int32_t, std::int32_t> bad[] = {
        {INT_MAX, INT_MAX},
        {0x10000, 0x10000}, // 2^32 bytes: wraps to 0 in 32 bits
        {-1, 4},
        {3, -1},
        {40, 1},
        {3, 0x20000000}, // clusters past the row's bits; rows past the lump
    };
    for (const auto& [clusters, row] : bad) {
        std::string bytes = level;
        PutInt(bytes, at, clusters);
        PutInt(bytes, at + 4, row);
        EXPECT_EQ(Read(bytes), kBspBadVisibility) << clusters << " x " << row;
    }
}

TEST_F(BspFileTest, NumbersThatAreNoNumbersAreRefused) {
    constexpr std::size_t kVertexSize = 44;
    const auto controlPoint = static_cast<std::size_t>(
        GetInt(level, FieldAt(level, kLumpFaces, kFaceSize, kSyntheticPatchFace, 12)) + 4);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Position x, texture v, normal z of a polygon's vertex and of a patch's middle control
    // point; a plane's distance.
    for (const auto& [lump, record, size, field] :
         {std::tuple{kLumpVertices, std::size_t{0}, kVertexSize, std::size_t{0}},
          {kLumpVertices, std::size_t{0}, kVertexSize, std::size_t{16}},
          {kLumpVertices, controlPoint, kVertexSize, std::size_t{4}},
          {kLumpVertices, controlPoint, kVertexSize, std::size_t{36}},
          {kLumpPlanes, std::size_t{1}, std::size_t{16}, std::size_t{12}}}) {
        for (float value : {nan, inf, -inf, -2e18f, 1e19f, 1e17f}) {
            std::string bytes = level;
            std::memcpy(&bytes[FieldAt(level, lump, size, record, field)], &value, 4);
            EXPECT_EQ(Read(bytes), value == 1e17f ? kBspFine : kBspBadNumber)
                << "lump " << lump << " record " << record << " field " << field << " = " << value;
        }
    }
    // Real levels hold lightmap coordinates that are no numbers: read, and drawn as 0.
    std::string bytes = level;
    std::memcpy(&bytes[FieldAt(level, kLumpVertices, kVertexSize, controlPoint, 20)], &nan, 4);
    ASSERT_EQ(Read(bytes), kBspFine);
    EXPECT_EQ(ToWorldVertex(file.vertices[controlPoint]).lightmapU, 0.0f);
    EXPECT_EQ(ToWorldVertex(file.vertices[controlPoint]).lightmapV,
              file.vertices[controlPoint].lightmap[1]);
}

TEST_F(BspFileTest, FacesAndLightmapsBeyondTheLimitsAreRefused) {
    // Zero faces are valid (texture 0, no type): only their number is wrong.
    for (std::int32_t faces : {kMostLevelFaces, kMostLevelFaces + 1}) {
        std::string bytes = level;
        const auto at = static_cast<std::int32_t>(bytes.size());
        bytes.append(static_cast<std::size_t>(faces) * kFaceSize, '\0');
        SetLump(bytes, kLumpFaces, at, faces * static_cast<std::int32_t>(kFaceSize));
        EXPECT_EQ(
            ReadBspFile(ByteSpan{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                        file),
            faces > kMostLevelFaces ? kBspTooMany : kBspFine);
    }
    std::string bytes = level;
    const auto at = static_cast<std::int32_t>(bytes.size());
    const std::size_t lightmaps = kMostLevelLightmaps + 1;
    bytes.append(lightmaps * kLightmapBytes, '\0');
    SetLump(bytes, kLumpLightmaps, at, static_cast<std::int32_t>(lightmaps * kLightmapBytes));
    EXPECT_EQ(
        ReadBspFile(ByteSpan{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                    file),
        kBspTooMany);
}

TEST_F(BspFileTest, CutsAtEveryLumpAreRefused) {
    std::vector<std::size_t> cuts;
    for (std::size_t n = 0; n < kBspHeaderSize; ++n)
        cuts.push_back(n);
    for (int lump = 0; lump < kBspLumpCount; ++lump) {
        const BspLump at = LumpOf(level, lump);
        if (at.length == 0) continue;
        for (std::int32_t into : {0, 1, at.length / 2, at.length - 1})
            cuts.push_back(static_cast<std::size_t>(at.offset + into));
    }
    for (std::size_t cut : cuts) {
        EXPECT_NE(Read(level.substr(0, cut)), kBspFine) << "cut at " << cut;
        EXPECT_TRUE(file.faces.empty());
    }
}

TEST_F(BspFileTest, RandomBytesNeverCrashAndWhatPassesLoads) {
    std::mt19937 random(46);
    int passed = 0;
    for (int round = 0; round < 600; ++round) {
        std::string bytes = level;
        const int flips = 1 + static_cast<int>(random() % 40);
        for (int k = 0; k < flips; ++k)
            bytes[random() % bytes.size()] = static_cast<char>(random());
        if (round % 3 == 0) bytes.resize(random() % bytes.size());
        if (Read(bytes) != kBspFine) continue;
        ++passed;
        // What the checks let through must load, leaves be found and patches build bounded.
        EXPECT_EQ(LoadBSPData(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                  1);
        for (int k = 0; k < 8; ++k)
            EXPECT_LT(FindBspLeaf(file, D3DXVECTOR3(float(random() % 2000) - 1000.0f,
                                                    float(random() % 2000) - 1000.0f, 0.0f)),
                      static_cast<std::int32_t>(file.leaves.size()));
        for (const PatchRecord& patch : WorldLevelData().patches)
            for (std::uint16_t index : patch.indices)
                ASSERT_LT(index, patch.vertexCount);
    }
    EXPECT_GT(passed, 0); // flips inside texels and floats keep some levels valid
    for (int round = 0; round < 200; ++round) {
        std::string bytes(8 + random() % 4096, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        bytes.replace(0, 8, std::string("IBSP\x2E\0\0\0", 8)); // version 46
        EXPECT_NE(Read(bytes), kBspFine);
    }
    FreeLevelData();
}

TEST_F(BspFileTest, FindBspLeafFollowsThePlanes) {
    ASSERT_EQ(Read(level), kBspFine);
    EXPECT_EQ(FindBspLeaf(file, D3DXVECTOR3(100, 100, 0)), 0); // front, front
    EXPECT_EQ(FindBspLeaf(file, D3DXVECTOR3(100, 0, 0)), 1);   // front, back
    EXPECT_EQ(FindBspLeaf(file, D3DXVECTOR3(0, 100, 0)), 2);   // back
    EXPECT_EQ(FindBspLeaf(file, D3DXVECTOR3(32, 32, 0)), 0);   // on both planes: front
}

TEST(BspUnits, LevelAndEngineSwapYAndZ) {
    const D3DXVECTOR3 engine = LevelToEnginePoint(100, 200, 300);
    EXPECT_FLOAT_EQ(engine.x, 2.9f);
    EXPECT_FLOAT_EQ(engine.y, 8.7f);
    EXPECT_FLOAT_EQ(engine.z, 5.8f);
    const float floats[] = {100, 200, 300};
    const std::int32_t ints[] = {100, 200, 300};
    const std::int16_t shorts[] = {100, 200, 300};
    for (const D3DXVECTOR3& p :
         {LevelToEnginePointFromFloats(floats), LevelToEnginePointFromInts(ints),
          LevelToEnginePointFromShorts(shorts)}) {
        EXPECT_FLOAT_EQ(p.x, engine.x);
        EXPECT_FLOAT_EQ(p.y, engine.y);
        EXPECT_FLOAT_EQ(p.z, engine.z);
    }
    const D3DXVECTOR3 level = EngineToLevelPoint(1, 2, 3);
    EXPECT_FLOAT_EQ(level.x, 34.48276f);
    EXPECT_FLOAT_EQ(level.y, 103.44828f);
    EXPECT_FLOAT_EQ(level.z, 68.96552f);
    EXPECT_FLOAT_EQ(EngineToLevelScalar(2.0f), 68.96552f);
    // The stored constant, not the reciprocal: a round trip is off by a few millionths.
    EXPECT_NEAR(EngineToLevelScalar(kLevelToEngine * 1000.0f), 1000.0f, 0.01f);
}

} // namespace
