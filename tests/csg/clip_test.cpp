// Clipping one tree's polygons by another's solid, restoring cut polygons, copying survivors, and
// the operation object's output.
#include "csg/csg_fixtures.h"
#include "csg/csg_node.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// A quad in the plane y = h from x0 to x1 (z from 0 to 1), facing up.
std::unique_ptr<BspFacePolygon> TopQuad(float x0, float x1, float h) {
    return MakeFace({{x0, h, 0}, {x0, h, 1}, {x1, h, 1}, {x1, h, 0}});
}

// Summed area of the tree's surviving polygons.
float SurvivingArea(const BspTree& tree) {
    float area = 0;
    for (int i = 0; i < tree.PolygonCount(); ++i)
        if (!tree.GetPolygon(i)->removed) area += tree.GetPolygon(i)->Area();
    return area;
}

int Survivors(const BspTree& tree) {
    int n = 0;
    for (int i = 0; i < tree.PolygonCount(); ++i)
        n += tree.GetPolygon(i)->removed ? 0 : 1;
    return n;
}

// A polygon set holding copies of the faces.
std::unique_ptr<BspPolygonSet> SetOf(const FaceList& faces) {
    auto set = std::make_unique<BspPolygonSet>();
    const int first = set->Grow(faces.Count());
    for (int i = 0; i < faces.Count(); ++i) {
        BspFacePolygon* p = set->polygons[first + i];
        p->CopyFaceFrom(*faces.faces[i]);
        p->CopyVerticesFrom(*faces.faces[i]);
    }
    set->ComputeBounds();
    return set;
}

} // namespace

TEST(CsgClip, KeepsWhatLiesOnTheAskedSideOfTheSolid) {
    BspTree box;
    ASSERT_EQ(BuildTree(box, MakeBox({0, 0, 0}, {1, 1, 1})), 0);
    // A quad at y = 0.5 reaching from x = -1 to x = 0.5: half inside the box.
    FaceList faces;
    faces.Add(TopQuad(-1, 0.5f, 0.5f));
    BspTree outside, inside;
    ASSERT_EQ(BuildTree(outside, faces), 0);
    ASSERT_EQ(BuildTree(inside, faces), 0);

    EXPECT_EQ(box.ClipPolygons(&outside, true, false), 0);
    EXPECT_TRUE(outside.GetPolygon(0)->removed); // cut
    EXPECT_NEAR(SurvivingArea(outside), 1.0f, 1e-4f);
    EXPECT_EQ(box.ClipPolygons(&inside, false, false), 0);
    EXPECT_NEAR(SurvivingArea(inside), 0.5f, 1e-4f);
    // Every part names the polygon it was cut from.
    for (int i = 1; i < inside.PolygonCount(); ++i)
        EXPECT_EQ(inside.GetPolygon(i)->polygonId, 0);

    // Nothing to clip, or nothing to clip by: 1, and nothing is marked.
    BspTree empty;
    EXPECT_EQ(box.ClipPolygons(&empty, true, false), 1);
    EXPECT_EQ(empty.ClipPolygons(&inside, true, false), 1);
    EXPECT_EQ(box.ClipPolygons(nullptr, true, false), 1);
    EXPECT_NEAR(SurvivingArea(inside), 0.5f, 1e-4f);
}

TEST(CsgClip, CoplanarFacesGoWhereTheFlagSays) {
    BspTree box;
    ASSERT_EQ(BuildTree(box, MakeBox({0, 0, 0}, {2, 1, 1})), 0);
    FaceList sameWay, otherWay;
    sameWay.Add(TopQuad(0.5f, 1.5f, 1)); // on the box's top, facing up as it does
    otherWay.Add(MakeFace({{0.5f, 1, 0}, {1.5f, 1, 0}, {1.5f, 1, 1}, {0.5f, 1, 1}})); // facing down
    for (bool toBack : {false, true}) {
        BspTree same, other;
        ASSERT_EQ(BuildTree(same, sameWay), 0);
        ASSERT_EQ(BuildTree(other, otherWay), 0);
        box.ClipPolygons(&same, true, toBack);
        box.ClipPolygons(&other, true, toBack);
        EXPECT_EQ(same.GetPolygon(0)->removed, toBack ? 1 : 0) << toBack;
        EXPECT_EQ(other.GetPolygon(0)->removed, 1) << toBack; // facing away: always behind
    }
}

TEST(CsgClip, PartsThatAllSurviveAreMadeWholeAgain) {
    // The quad is cut by the box's planes, but lies wholly outside it.
    BspTree box;
    ASSERT_EQ(BuildTree(box, MakeBox({0, 0, 0}, {1, 1, 1})), 0);
    FaceList faces;
    faces.Add(TopQuad(-1, 2, 3));
    BspTree tree;
    ASSERT_EQ(BuildTree(tree, faces), 0);
    box.ClipPolygons(&tree, true, false);
    ASSERT_GT(tree.PolygonCount(), 1);
    EXPECT_TRUE(tree.GetPolygon(0)->removed);
    tree.ScanFragments();
    EXPECT_FALSE(tree.GetPolygon(0)->removed);
    EXPECT_EQ(Survivors(tree), 1);

    // A part inside keeps the polygon cut.
    BspTree crossing;
    FaceList through;
    through.Add(TopQuad(-1, 2, 0.5f));
    ASSERT_EQ(BuildTree(crossing, through), 0);
    box.ClipPolygons(&crossing, true, false);
    crossing.ScanFragments();
    EXPECT_TRUE(crossing.GetPolygon(0)->removed);
    EXPECT_NEAR(SurvivingArea(crossing), 2.0f, 1e-4f);

    BspPolygonSet set;
    ASSERT_TRUE(set.CopyFromTree(&crossing, true));
    EXPECT_EQ(set.count, Survivors(crossing));
    EXPECT_FALSE(set.CopyFromTree(nullptr, true));
    // A tree whose polygons all went gives nothing and leaves the set as it was.
    BspTree nothing;
    FaceList inner;
    inner.Add(TopQuad(0.2f, 0.8f, 0.5f));
    ASSERT_EQ(BuildTree(nothing, inner), 0);
    box.ClipPolygons(&nothing, true, false);
    const int before = set.count;
    EXPECT_FALSE(set.CopyFromTree(&nothing, false));
    EXPECT_EQ(set.count, before);
}

TEST(CsgNode, LeavesGiveEachPolygonOnce) {
    // The horizontal quad splits the vertical one at the root: its parts reach two leaves.
    FaceList faces;
    faces.Add(MakeFace({{0, -1, -1}, {0, 1, -1}, {0, 1, 1}, {0, -1, 1}})); // x = 0, facing +x
    faces.Add(TopQuad(-1, 1, 0));
    CsgBspNode node;
    node.unionFlag = 0;
    node.BuildResultVertices(true);
    EXPECT_EQ(node.ResultVertexCount(), 0); // no tree yet
    node.AddSet(SetOf(faces));
    ASSERT_TRUE(node.BuildTree());
    EXPECT_EQ(node.SetCount(), 0);
    ASSERT_GE(node.Tree()->LeafCount(), 2);
    int listings = 0;
    for (int l = 0; l < node.Tree()->LeafCount(); ++l)
        for (int k = 0; k < node.Tree()->GetLeaf(l)->idCount; ++k)
            listings += node.Tree()->GetLeaf(l)->polygonIds[k] == 0;
    ASSERT_EQ(listings, 2);
    node.BuildResultVertices(true);
    EXPECT_EQ(node.ResultVertexCount(), 12); // two quads, two triangles each
    EXPECT_EQ(node.treeStatistics.polygonsBefore, 2);

    node.BuildResultVertices(false);
    EXPECT_EQ(node.ResultVertexCount(), 12);
    node.Clear();
    EXPECT_EQ(node.Tree(), nullptr);
    EXPECT_EQ(node.ResultVertexCount(), 0);
}

TEST(CsgUnite, ThreeOverlappingSetsGiveTheSurfaceOfTheirUnion) {
    // Three unit-section bars along x, y and z through the same 1 x 1 x 1 corner cube.
    auto x = SetOf(MakeBox({0, 0, 0}, {3, 1, 1}));
    auto y = SetOf(MakeBox({0, 0, 0}, {1, 3, 1}));
    auto z = SetOf(MakeBox({0, 0, 0}, {1, 1, 3}));
    CsgUnionStatistics stats;
    CsgUnionBuilder builder;
    builder.statistics = &stats;
    for (BspPolygonSet* set : {x.get(), y.get(), z.get()})
        builder.AddSet(set);
    ASSERT_EQ(builder.Unite(), 0);
    ASSERT_TRUE(builder.result);
    double volume = 0;
    for (int i = 0; i < builder.result->count; ++i) {
        const BspPolygon* p = builder.result->polygons[i];
        for (int k = 0; k + 2 < p->count; ++k)
            volume += p->vertices[0].position.Dot(
                p->vertices[k + 1].position.Cross(p->vertices[k + 2].position));
    }
    EXPECT_NEAR(volume / 6, 3 + 3 + 3 - 2, 1e-4);
    EXPECT_EQ(stats.sets, 3);
    EXPECT_EQ(stats.polygonsIn, 18);
    EXPECT_EQ(stats.polygonsOut, builder.result->count);
}
