// The CSG operations on pairs of meshes, checked by the geometry they leave: volumes, faces and
// the welded vertex lists. No device: the meshes are in format 274 and need no conversion.
#include "core/win32.h"

#include "csg/csg_meshes.h"
#include "csg/csg_mesh.h"
#include "csg/csg_node.h"
#include "object3d/object_world.h"
#include "object3d/vertex_layout.h"
#include "support/object_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

const D3DXMATRIX kIdentity = kIdentityMatrix;

double BoxVolume(const BspVector& low, const BspVector& high) {
    return double(high.x - low.x) * (high.y - low.y) * (high.z - low.z);
}

// Summed area of the triangles lying in y = h and facing up, split by their u mark (0 or 1).
std::array<double, 2> TopArea(const MeshRecord& mesh, float h) {
    std::array<double, 2> area{};
    const bool indexed = mesh.indexCount > 0;
    for (std::int32_t t = 0; t + 2 < (indexed ? mesh.indexCount : mesh.vertexCount); t += 3) {
        BspVertex v[3];
        for (int k = 0; k < 3; ++k)
            std::memcpy(&v[k], mesh.vertices + 32 * (indexed ? mesh.indices[t + k] : t + k), 32);
        const BspVector n = (v[1].position - v[0].position).Cross(v[2].position - v[0].position);
        if (n.y <= 0 || std::fabs(v[0].position.y - h) > 1e-4f) continue;
        area[v[0].u > 0.5f ? 1 : 0] += 0.5 * n.Length();
    }
    return area;
}

} // namespace

TEST_F(ObjectTables, UnionOfBoxesApartKeepsEveryTriangleWelded) {
    MeshRecord a, b;
    BoxMesh(a, {0, 0, 0}, {1, 1, 1});
    BoxMesh(b, {1.2f, 0, 0}, {2.2f, 1, 1});
    const auto cutter = VertexBytes(b);
    ASSERT_TRUE(CsgUnion(&a, kIdentity, &b, kIdentity));
    EXPECT_EQ(a.indexCount, 72);
    EXPECT_EQ(a.drawPrimitiveCount, 24);
    // Each face's two triangles share the two corners of their diagonal.
    EXPECT_EQ(a.vertexCount, 48);
    EXPECT_EQ(a.fvf, static_cast<std::uint32_t>(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
    EXPECT_NEAR(SignedVolume(a), 2.0, 1e-4);
    EXPECT_FALSE(HasRepeatedTriangle(a));
    EXPECT_EQ(VertexBytes(b), cutter);
}

TEST_F(ObjectTables, UnionOfTouchingBoxesLosesBothSharedFaces) {
    MeshRecord a, b;
    BoxMesh(a, {0, 0, 0}, {1, 1, 1});
    BoxMesh(b, {1, 0, 0}, {2, 1, 1});
    ASSERT_TRUE(CsgUnion(&a, kIdentity, &b, kIdentity));
    for (const Triangle& t : Triangles(a)) {
        const bool inSharedPlane = t[0].x == 1 && t[1].x == 1 && t[2].x == 1;
        EXPECT_FALSE(inSharedPlane);
    }
    EXPECT_NEAR(SignedVolume(a), 2.0, 1e-4);
    EXPECT_FALSE(HasRepeatedTriangle(a));
}

TEST_F(ObjectTables, UnionKeepsASharedTopOnceFromTheSecondMesh) {
    MeshRecord a, b;
    BoxMesh(a, {0, 0, 0}, {2, 1, 1});
    BoxMesh(b, {1, 0, 0}, {3, 1, 1});
    MarkU(b, 1);
    ASSERT_TRUE(CsgUnion(&a, kIdentity, &b, kIdentity));
    const auto top = TopArea(a, 1);
    EXPECT_NEAR(top[0], 1.0, 1e-4); // A's top beside B
    EXPECT_NEAR(top[1], 2.0, 1e-4); // B's whole top, over the overlap too
    EXPECT_NEAR(SignedVolume(a), 3.0, 1e-4);
    EXPECT_FALSE(HasRepeatedTriangle(a));
}

TEST_F(ObjectTables, ClipByABoxAroundItLeavesNothing) {
    MeshRecord a, b;
    BoxMesh(a, {0, 0, 0}, {1, 1, 1});
    BoxMesh(b, {-1, -1, -1}, {2, 2, 2});
    ASSERT_TRUE(CsgClip(&a, kIdentity, &b, kIdentity));
    EXPECT_EQ(a.vertexCount, 0);
    EXPECT_EQ(a.indexCount, 0);
    EXPECT_EQ(a.drawPrimitiveCount, 0);
    EXPECT_EQ(b.vertexCount, 24);
    // The clip of a box by a slab keeps the two parts of A's surface outside it, with no walls.
    MeshRecord c, slab;
    BoxMesh(c, {0, 0, 0}, {3, 1, 1});
    BoxMesh(slab, {1, -1, -1}, {2, 2, 2});
    ASSERT_TRUE(CsgClip(&c, kIdentity, &slab, kIdentity));
    double area = 0;
    for (const Triangle& t : Triangles(c))
        area += 0.5 * (t[1] - t[0]).Cross(t[2] - t[0]).Length();
    EXPECT_NEAR(area, 14.0 - 4.0, 1e-4); // the 3 x 1 x 1 surface less the 1 x 1 band
}

TEST_F(ObjectTables, VolumesOfCornerDifferenceAndOverlapUnionAreExact) {
    MeshRecord a, b;
    BoxMesh(a, {0, 0, 0}, {10, 10, 10});
    BoxMesh(b, {0, 0, 0}, {10, 10, 10});
    // Placed apart: A at (3, -2, 7), B half a box further on every axis.
    const auto cutter = VertexBytes(b);
    ASSERT_TRUE(CsgSubtract(&a, Translation(3, -2, 7), &b, Translation(8, 3, 12)));
    EXPECT_NEAR(SignedVolume(a), 1000.0 - 125.0, 1e-2);
    EXPECT_EQ(VertexBytes(b), cutter); // the cutter has not moved by a bit

    MeshRecord c, d;
    BoxMesh(c, {0, 0, 0}, {10, 10, 10});
    BoxMesh(d, {5, 5, 5}, {15, 15, 15});
    ASSERT_TRUE(CsgUnion(&c, kIdentity, &d, kIdentity));
    EXPECT_NEAR(SignedVolume(c), 2000.0 - 125.0, 1e-2);
    EXPECT_FALSE(HasRepeatedTriangle(c));
}

TEST_F(ObjectTables, RandomBoxPairsMatchTheirAnalyticVolumes) {
    std::mt19937 rng(4812);
    auto uniform = [&](float low, float high) {
        return std::uniform_real_distribution<float>(low, high)(rng);
    };
    for (int pair = 0; pair < 200; ++pair) {
        const BspVector sa(uniform(5, 50), uniform(5, 50), uniform(5, 50));
        const BspVector sb(uniform(5, 50), uniform(5, 50), uniform(5, 50));
        BspVector pa, pb;
        double overlap = 1;
        for (int axis = 0; axis < 3; ++axis) {
            const float a = (&sa.x)[axis], b = (&sb.x)[axis];
            (&pb.x)[axis] = uniform(-b * 0.9f, a * 0.9f); // mostly overlapping
            const float low = std::max(0.0f, (&pb.x)[axis]);
            const float high = std::min(a, (&pb.x)[axis] + b);
            overlap *= std::max(0.0f, high - low);
        }
        // Both turned the same way: their planes are not the axes', their overlap still a box.
        D3DXMATRIX turn, placeA, placeB;
        D3DXMatrixRotationYawPitchRoll(&turn, uniform(0, 6.28f), uniform(0, 6.28f),
                                       uniform(0, 6.28f));
        placeA = Translation(pa.x, pa.y, pa.z) * turn;
        placeB = Translation(pb.x, pb.y, pb.z) * turn;
        const double va = BoxVolume({}, sa), vb = BoxVolume({}, sb);

        MeshRecord a, b, c, d;
        BoxMesh(a, {}, sa);
        BoxMesh(b, {}, sb);
        BoxMesh(c, {}, sa);
        BoxMesh(d, {}, sb);
        ASSERT_TRUE(CsgUnion(&a, placeA, &b, placeB));
        const double united = va + vb - overlap;
        EXPECT_NEAR(SignedVolume(a), united, 0.005 * united) << "union " << pair;
        EXPECT_FALSE(HasRepeatedTriangle(a)) << pair;
        ASSERT_TRUE(CsgSubtract(&c, placeA, &d, placeB));
        const double left = va - overlap;
        EXPECT_NEAR(SignedVolume(c), left, std::max(0.005 * left, 1e-4 * va))
            << "difference " << pair;
    }
}

TEST_F(ObjectTables, WeldJoinsEqualVerticesOnly) {
    BspVertex v[6];
    v[0].position = {0, 0, 0};
    v[1].position = {1, 0, 0};
    v[2].position = {1, 1, 0};
    v[3] = v[0];
    v[4] = v[2];
    v[5].position = {0, 1, 0};
    for (BspVertex& x : v)
        x.normal = {0, 0, 1};
    // Two triangles sharing the edge 0-2 share its two vertices.
    CsgWeld weld = WeldCsgVertices(v, 6);
    EXPECT_EQ(weld.vertices.size(), 4u);
    EXPECT_EQ(weld.indices, (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3}));
    // The same positions with another normal, or other texture coordinates, stay apart.
    v[3].normal = {0, 1, 0};
    v[4].u = 0.5f;
    weld = WeldCsgVertices(v, 6);
    EXPECT_EQ(weld.vertices.size(), 6u);
    // Three equal vertices (and -0 beside 0) become one; a value that is not a number never
    // equals another.
    BspVertex same[4];
    same[1].position.x = -0.0f;
    same[3].position.x = std::numeric_limits<float>::quiet_NaN();
    weld = WeldCsgVertices(same, 4);
    EXPECT_EQ(weld.vertices.size(), 2u);
    EXPECT_EQ(weld.indices, (std::vector<std::uint32_t>{0, 0, 0, 1}));
    EXPECT_FALSE(CompareCsgVertices(same[3], same[3]));
    // Half a million vertices of a few values weld in one pass.
    std::vector<BspVertex> many(500000);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i].position.x = float(i % 1000);
    EXPECT_EQ(WeldCsgVertices(many.data(), many.size()).vertices.size(), 1000u);
}

TEST_F(ObjectTables, UnindexedMeshAndStripCutterGiveTheDifference) {
    MeshRecord a, b;
    BoxMesh(a, {0, 0, 0}, {10, 10, 10}, false);
    StripBoxMesh(b, {5, 5, 5}, {15, 15, 15});
    ASSERT_EQ(b.primitiveType, D3DPT_TRIANGLESTRIP);
    const auto cutter = VertexBytes(b);
    ASSERT_TRUE(CsgSubtract(&a, kIdentity, &b, kIdentity));
    EXPECT_NEAR(SignedVolume(a), 875.0, 1e-2);
    // The cutter is read through a copy: it stays the strip it was.
    EXPECT_EQ(b.primitiveType, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(b.indices, nullptr);
    EXPECT_EQ(VertexBytes(b), cutter);

    // And the other way round: a strip cut by a plain list.
    MeshRecord c, d;
    StripBoxMesh(c, {0, 0, 0}, {10, 10, 10});
    BoxMesh(d, {5, 5, 5}, {15, 15, 15}, false);
    ASSERT_TRUE(CsgSubtract(&c, kIdentity, &d, kIdentity));
    EXPECT_EQ(c.primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_NEAR(SignedVolume(c), 875.0, 1e-2);
}

TEST_F(ObjectTables, UnreadableMeshesAreRefusedUnchanged) {
    MeshRecord a, b;
    BoxMesh(a, {0, 0, 0}, {1, 1, 1});
    BoxMesh(b, {0.5f, 0.5f, 0.5f}, {2, 2, 2});
    const auto before = VertexBytes(a);
    b.indices[7] = 24; // names no vertex
    EXPECT_FALSE(CsgUnion(&a, kIdentity, &b, kIdentity));
    EXPECT_FALSE(CsgSubtract(&a, kIdentity, &b, kIdentity));
    EXPECT_EQ(VertexBytes(a), before);
    EXPECT_EQ(a.indexCount, 36);
    b.indices[7] = 1;
    b.primitiveType = D3DPT_POINTLIST;
    EXPECT_FALSE(CsgUnion(&a, kIdentity, &b, kIdentity));
    EXPECT_EQ(LoadCsgPolygonSet(&b), nullptr);
    EXPECT_FALSE(CsgUnion(nullptr, kIdentity, &b, kIdentity));
    EXPECT_FALSE(CsgClip(&a, kIdentity, nullptr, kIdentity));
    // A placement that flattens A could never be undone.
    D3DXMATRIX flat = kIdentity;
    flat._22 = 0;
    b.primitiveType = D3DPT_TRIANGLELIST;
    EXPECT_FALSE(CsgSubtract(&a, flat, &b, kIdentity));
    EXPECT_EQ(VertexBytes(a), before);

    // Triangles without area are left out of the polygons.
    MeshRecord strip;
    StripBoxMesh(strip, {0, 0, 0}, {1, 1, 1});
    auto set = LoadCsgPolygonSet(&strip);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 12); // of 32 strip triangles
    // So are triangles with a corner that is not a number or too far out to have a normal;
    // the rest of the mesh still takes part.
    MeshRecord odd, cutter;
    BoxMesh(odd, {0, 0, 0}, {10, 10, 10}, false);
    BoxMesh(cutter, {5, 5, 5}, {15, 15, 15});
    auto* words = reinterpret_cast<float*>(odd.vertices);
    words[0] = std::numeric_limits<float>::quiet_NaN(); // first triangle
    words[8 * 3] = words[8 * 4 + 1] = 3e38f;            // second triangle
    set = LoadCsgPolygonSet(&odd);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 10);
    EXPECT_TRUE(CsgSubtract(&odd, kIdentity, &cutter, kIdentity));
}

TEST_F(ObjectTables, AResultTooLargeForSixteenBitsLeavesTheMeshAlone) {
    // Two far-apart sheets of 12,000 separate triangles each: 72,000 corners, all distinct.
    auto sheet = [](MeshRecord& mesh, float z) {
        std::vector<float> words;
        for (int t = 0; t < 12000; ++t) {
            const float x = float(t % 120), y = float(t / 120);
            const float corners[3][2] = {{x, y}, {x + 0.5f, y}, {x, y + 0.5f}};
            for (const auto& c : corners)
                words.insert(words.end(), {c[0], c[1], z, 0, 0, 1, float(t), 0});
        }
        ASSERT_TRUE(SetMeshFromRawVertices(&mesh, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, 32,
                                           words.data(), 36000, D3DPT_TRIANGLELIST));
    };
    MeshRecord a, b;
    sheet(a, 0);
    sheet(b, 50);
    const auto before = VertexBytes(a);
    EXPECT_FALSE(CsgUnion(&a, Translation(1, 2, 3), &b, kIdentity));
    EXPECT_EQ(a.vertexCount, 36000);
    EXPECT_EQ(a.indexCount, 0);
    EXPECT_EQ(VertexBytes(a), before);
}

TEST_F(ObjectTables, BoxRemovalDropsWhatLiesWhollyInside) {
    MeshRecord a, cutter;
    GridMesh(a, 4);
    // Around cell (1, 1) and reaching into its neighbours without covering them.
    BoxMesh(cutter, {0.95f, 0.95f, -1}, {2.05f, 2.05f, 1});
    ASSERT_TRUE(CalculateMeshBounds(&a) && CalculateMeshBounds(&cutter));
    ASSERT_TRUE(CsgRemoveInsideBox(&a, kIdentity, &cutter, kIdentity));
    EXPECT_EQ(a.indexCount, 3 * 30);
    EXPECT_EQ(a.drawPrimitiveCount, 30);
    EXPECT_EQ(a.vertexCount, 25); // vertices are not touched
    for (const Triangle& t : Triangles(a)) {
        const bool inCell = t[0].x >= 1 && t[0].x <= 2 && t[1].x >= 1 && t[1].x <= 2 &&
                            t[2].x >= 1 && t[2].x <= 2 && t[0].y >= 1 && t[0].y <= 2 &&
                            t[1].y >= 1 && t[1].y <= 2 && t[2].y >= 1 && t[2].y <= 2;
        EXPECT_FALSE(inCell);
    }

    // A cutter with A's own box changes nothing.
    MeshRecord b, same;
    BoxMesh(b, {0, 0, 0}, {1, 1, 1});
    BoxMesh(same, {0, 0, 0}, {1, 1, 1});
    ASSERT_TRUE(CalculateMeshBounds(&b) && CalculateMeshBounds(&same));
    EXPECT_TRUE(CsgRemoveInsideBox(&b, kIdentity, &same, kIdentity));
    EXPECT_EQ(b.indexCount, 36);
    // Moved so that it holds all of A: everything goes.
    EXPECT_TRUE(CsgRemoveInsideBox(&b, kIdentity, &same, Translation(0.05f, 0, 0)));
    EXPECT_EQ(b.indexCount, 0);

    // A plain list loses the vertices of the triangles that go.
    MeshRecord plain, box;
    BoxMesh(plain, {0, 0, 0}, {1, 1, 1}, false);
    BoxMesh(box, {-1, 0.5f, -1}, {2, 2, 2});
    ASSERT_TRUE(CalculateMeshBounds(&plain) && CalculateMeshBounds(&box));
    EXPECT_TRUE(CsgRemoveInsideBox(&plain, kIdentity, &box, kIdentity));
    EXPECT_EQ(plain.vertexCount, 3 * 10); // only the top face lies wholly inside
    EXPECT_EQ(plain.drawPrimitiveCount, 10);
    for (const Triangle& t : Triangles(plain))
        EXPECT_FALSE(t[0].y == 1 && t[1].y == 1 && t[2].y == 1);
}

TEST_F(ObjectTables, BoxRemovalFollowsATurnedMesh) {
    // The grid turned 45 degrees about z: cell (2, 1) lands around (0.71, 2.83), where an
    // unturned cutter covers it whole and no other cell.
    MeshRecord a, cutter;
    GridMesh(a, 4);
    BoxMesh(cutter, {-0.75f, -0.75f, -1}, {0.75f, 0.75f, 1});
    ASSERT_TRUE(CalculateMeshBounds(&a) && CalculateMeshBounds(&cutter));
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, D3DX_PI / 4);
    const float c = std::cos(D3DX_PI / 4);
    ASSERT_TRUE(CsgRemoveInsideBox(&a, turn, &cutter, Translation(c, 4 * c, 0)));
    ASSERT_EQ(a.indexCount, 3 * 30);
    for (const Triangle& t : Triangles(a)) {
        const float x = (t[0].x + t[1].x + t[2].x) / 3, y = (t[0].y + t[1].y + t[2].y) / 3;
        EXPECT_FALSE(x > 2 && x < 3 && y > 1 && y < 2) << x << ", " << y;
    }
}
