// Building trees from hand-made polygons, and the queries on them.
#include "csg/csg_fixtures.h"
#include "csg/bsp_portals.h"
#include "csg/bsp_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

std::vector<int> IdsOf(const BspLeaf* leaf) {
    std::vector<int> ids(leaf->polygonIds.Data(), leaf->polygonIds.Data() + leaf->idCount);
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Two coplanar quads in z = 0: the first faces up, the second down.
FaceList FacingApart() {
    FaceList faces;
    faces.Add(MakeFace({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}));
    faces.Add(MakeFace({{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}));
    return faces;
}

TEST(CsgTree, OnePolygonMakesOneNodeWithALeafInFront) {
    FaceList faces;
    faces.Add(MakeFace({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}));
    BspTree tree;
    BspTreeStatistics stats;
    tree.SetStatistics(&stats);
    ASSERT_EQ(BuildTree(tree, faces), 0);
    ASSERT_EQ(tree.NodeCount(), 1);
    EXPECT_EQ(tree.GetNode(0)->frontChild, -1); // leaf 0
    EXPECT_EQ(tree.GetNode(0)->backChild, -1);  // solid
    ASSERT_EQ(tree.LeafCount(), 1);
    EXPECT_EQ(IdsOf(tree.GetLeaf(0)), std::vector<int>{0});
    EXPECT_EQ(tree.PolygonCount(), 1); // the kept copy
    EXPECT_EQ(tree.GetPolygon(0)->polygonId, 0);
    EXPECT_EQ(tree.FindLeaf({0.5f, 0.5f, 3}), 0);
    EXPECT_EQ(tree.FindLeaf({0.5f, 0.5f, 0.005f}), 0); // on the plane: front
    EXPECT_EQ(tree.FindLeaf({0.5f, 0.5f, -3}), -1);
    EXPECT_EQ(stats.polygonsBefore, 1);
    EXPECT_EQ(stats.nodes, 1);
    EXPECT_EQ(stats.leaves, 1);
    EXPECT_EQ(stats.planes, 1);
    EXPECT_EQ(tree.Bounds()->highest.x, 1.0f);
    EXPECT_EQ(tree.Build(), 1); // nothing queued any more
    EXPECT_EQ(tree.AddPolygons(nullptr, 3, true), 1);
    EXPECT_EQ(tree.AddPolygons(faces.Data(), 0, true), 1);
}

TEST(CsgTree, CoplanarPolygonFacingAwayGoesBehind) {
    const FaceList faces = FacingApart();
    // The list runs newest first: the downward quad splits, the upward one is marked and put
    // behind. Dropped there, the back is solid.
    BspTree dropped;
    ASSERT_EQ(BuildTree(dropped, faces), 0);
    EXPECT_EQ(dropped.NodeCount(), 1);
    EXPECT_EQ(dropped.GetPlane(dropped.GetNode(0)->planeIndex)->normal.z, -1.0f);
    EXPECT_EQ(IdsOf(dropped.GetLeaf(0)), std::vector<int>{1});
    EXPECT_EQ(dropped.PendingCount(), 0);

    // Kept, it makes a node that finds no splitter: no plane, no children, and solid to every
    // query, as the dropped build made it.
    BspTree kept;
    BspTreeSettings settings;
    settings.dropBackSplitters = 0;
    kept.SetSettings(settings);
    ASSERT_EQ(BuildTree(kept, faces), 0);
    ASSERT_EQ(kept.NodeCount(), 2);
    EXPECT_EQ(kept.GetNode(0)->backChild, 1);
    EXPECT_EQ(kept.GetNode(1)->planeIndex, -1);
    EXPECT_EQ(kept.GetNode(1)->frontChild, -1);
    EXPECT_EQ(kept.GetNode(1)->backChild, -1);
    EXPECT_EQ(kept.PendingCount(), 1);

    auto above = MakeFace({{0, 0, 2}, {1, 0, 2}, {1, 1, 2}});
    for (const BspTree* tree : {&dropped, &kept}) {
        EXPECT_EQ(tree->FindLeaf({0.5f, 0.5f, 1}), -1);
        EXPECT_EQ(tree->FindLeaf({0.5f, 0.5f, -1}), 0);
        EXPECT_TRUE(tree->SphereTouchesSolid({0.5f, 0.5f, 1}, 0.1f, 0));
        EXPECT_TRUE(tree->SphereTouchesSolid({0.5f, 0.5f, -1}, 1.5f, 0));
        EXPECT_FALSE(tree->SphereTouchesSolid({0.5f, 0.5f, -1}, 0.5f, 0));
        EXPECT_TRUE(tree->PolygonTouchesSolid(above.get(), 0));
    }
    kept.Clear();
    EXPECT_EQ(kept.PendingCount(), 0);
    EXPECT_EQ(kept.NodeCount(), 0);
}

TEST(CsgTree, OutwardBoxBuildsAChainOfSixNodes) {
    const FaceList box = MakeBox({-1, -1, -1}, {1, 1, 1});
    BspTree tree;
    ASSERT_EQ(BuildTree(tree, box), 0);
    ASSERT_EQ(tree.NodeCount(), 6);
    ASSERT_EQ(tree.LeafCount(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(tree.GetNode(i)->frontChild, -(i + 1));
        EXPECT_EQ(tree.GetNode(i)->backChild, i < 5 ? i + 1 : -1);
        EXPECT_EQ(tree.GetLeaf(i)->idCount, 1);
    }
    // Every candidate ties; the head of the list, the face added last (+z), wins.
    EXPECT_EQ(tree.GetPlane(tree.GetNode(0)->planeIndex)->normal.z, 1.0f);
    EXPECT_EQ(IdsOf(tree.GetLeaf(0)), std::vector<int>{5});
    EXPECT_EQ(tree.FindLeaf({0, 0, 0}), -1);
    EXPECT_EQ(tree.FindLeaf({0.995f, 0, 0}), 3); // within 0.01 of the +x face: outside
    for (const BspVector& p : {BspVector(2, 0, 0), BspVector(0, -2, 0), BspVector(5, 5, 5)})
        EXPECT_GE(tree.FindLeaf(p), 0);

    EXPECT_TRUE(tree.SphereTouchesSolid({0, 0, 0}, 0.1f, 0));
    EXPECT_FALSE(tree.SphereTouchesSolid({2.5f, 0, 0}, 1.0f, 0));
    EXPECT_TRUE(tree.SphereTouchesSolid({2.5f, 0, 0}, 2.0f, 0));
    EXPECT_FALSE(tree.SphereTouchesSolid({0, 0, 0}, 1.0f, 6)); // no such node

    auto outside = MakeFace({{2, -1, -1}, {2, 1, -1}, {2, 1, 1}});
    auto through = MakeFace({{0, -3, 0}, {0, 3, 0}, {0, 0, 3}});
    EXPECT_FALSE(tree.PolygonTouchesSolid(outside.get(), 0));
    EXPECT_TRUE(tree.PolygonTouchesSolid(through.get(), 0));
    EXPECT_FALSE(tree.PolygonTouchesSolid(nullptr, 0));
    EXPECT_FALSE(tree.PolygonTouchesSolid(through.get(), -1));

    BspTree near, far;
    ASSERT_EQ(BuildTree(near, MakeBox({0.5f, 0.5f, 0.5f}, {3, 3, 3})), 0);
    ASSERT_EQ(BuildTree(far, MakeBox({5, 5, 5}, {6, 6, 6})), 0);
    EXPECT_TRUE(tree.IntersectsPolygonsOf(&near));
    EXPECT_FALSE(tree.IntersectsPolygonsOf(&far));
    EXPECT_FALSE(tree.IntersectsPolygonsOf(nullptr));
}

TEST(CsgTree, SplitterTiesGoToTheHeadAndLimitsCutTheSearch) {
    // a and b are parallel, one in front of the other (each scores 1 against the other); c
    // stands across both their planes and has both in front of its own.
    auto a = NewBspPolygon(MakeFace({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}).get());
    auto b = NewBspPolygon(MakeFace({{0, 0, 1}, {1, 0, 1}, {1, 1, 1}}).get());
    auto c = NewBspPolygon(MakeFace({{0, 0, -1}, {0, 1, -1}, {0, 1, 3}}).get());
    a->next = b.get();
    EXPECT_EQ(ChooseBspSplitter(a.get(), 0, 3.0f), a.get());
    a->next = nullptr;
    b->next = a.get();
    EXPECT_EQ(ChooseBspSplitter(b.get(), 0, 3.0f), b.get());

    // a and b: 1 + one spanning polygon; c: |2 - 0|.
    a->next = b.get();
    b->next = c.get();
    EXPECT_EQ(ChooseBspSplitter(a.get(), 0, 3.0f), c.get());
    EXPECT_EQ(ChooseBspSplitter(a.get(), 0, 0.5f), a.get()); // 1.5 truncates to 1
    EXPECT_EQ(ChooseBspSplitter(a.get(), 2, 3.0f), a.get()); // c is never tried
    a->splitterMark = 1;
    EXPECT_EQ(ChooseBspSplitter(a.get(), 0, 3.0f), c.get());
    EXPECT_EQ(ChooseBspSplitter(a.get(), 1, 3.0f), b.get());
    EXPECT_EQ(CountBspPolygons(a.get()), 2);
    b->splitterMark = c->splitterMark = 1;
    EXPECT_EQ(ChooseBspSplitter(a.get(), 0, 3.0f), nullptr);
    EXPECT_EQ(ChooseBspSplitter(nullptr, 0, 3.0f), nullptr);
}

TEST(CsgTree, FragmentsKeepTheIdOfTheirPolygon) {
    FaceList faces;
    faces.Add(MakeFace({{0, -1, -1}, {0, 1, -1}, {0, 1, 1}, {0, -1, 1}})); // x = 0, faces +x
    faces.Add(MakeFace({{-1, 0, -1}, {-1, 0, 1}, {1, 0, 1}, {1, 0, -1}})); // y = 0, faces +y
    BspTree tree;
    ASSERT_EQ(BuildTree(tree, faces), 0);
    // The +y quad splits first and cuts the +x quad; the +x front piece then cuts the +y quad.
    ASSERT_EQ(tree.NodeCount(), 3);
    ASSERT_EQ(tree.LeafCount(), 2);
    EXPECT_EQ(IdsOf(tree.GetLeaf(0)), (std::vector<int>{0, 1}));
    EXPECT_EQ(IdsOf(tree.GetLeaf(1)), std::vector<int>{0});
    EXPECT_EQ(tree.PolygonCount(), 2);
    EXPECT_EQ(tree.PolygonCounter(), 0); // every build polygon was split or deleted
    EXPECT_EQ(tree.FindLeaf({1, 1, 0}), 0);
    EXPECT_EQ(tree.FindLeaf({1, -1, 0}), 1);
    EXPECT_EQ(tree.FindLeaf({-1, -1, 0}), -1);

    // Stored as compiled, every piece is an entry of its own, numbered by its place.
    BspTree stored;
    BspTreeSettings settings;
    settings.storageMode = 1;
    stored.SetSettings(settings);
    ASSERT_EQ(BuildTree(stored, faces), 0);
    ASSERT_EQ(stored.PolygonCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(stored.GetPolygon(i)->polygonId, i);
    EXPECT_EQ(IdsOf(stored.GetLeaf(0)), (std::vector<int>{0, 1}));
}

TEST(CsgTree, VectorsGrowByAHundred) {
    BspArray<int> array;
    EXPECT_EQ(array.Capacity(), 0);
    array.Append(1);
    EXPECT_EQ(array.Capacity(), 100);
    for (int i = 1; i < 99; ++i)
        array.Append(i);
    EXPECT_EQ(array.Capacity(), 100);
    array.Append(99); // the hundredth would leave no spare element
    EXPECT_EQ(array.Capacity(), 200);
    EXPECT_EQ(array[99], 99);

    // One leaf collects 150 coplanar quads: its id list grows the same way.
    FaceList faces;
    for (int i = 0; i < 150; ++i) {
        const float x = static_cast<float>(i);
        faces.Add(MakeFace({{x, 0, 0}, {x + 1, 0, 0}, {x + 1, 1, 0}, {x, 1, 0}}));
    }
    BspTree tree;
    ASSERT_EQ(BuildTree(tree, faces), 0);
    ASSERT_EQ(tree.LeafCount(), 1);
    EXPECT_EQ(tree.GetLeaf(0)->idCount, 150);
    EXPECT_EQ(tree.GetLeaf(0)->polygonIds.Capacity(), 200);
    EXPECT_EQ(tree.PlaneCount(), 1); // one shared plane
}

TEST(CsgTree, EnclosingBoxMakesTheSpaceAroundEmpty) {
    const FaceList box = MakeBox({-1, -1, -1}, {1, 1, 1});
    BspTree tree;
    EXPECT_EQ(tree.MakeEnclosingBoxPolygons(true), 1); // nothing to enclose
    ASSERT_EQ(tree.AddPolygons(box.Data(), box.Count(), true), 0);
    ASSERT_EQ(tree.MakeEnclosingBoxPolygons(true), 0);
    EXPECT_EQ(tree.PolygonCounter(), 12);
    ASSERT_EQ(tree.PolygonCount(), 12);
    for (int i = 6; i < 12; ++i) {
        const BspTreePolygon* face = tree.GetPolygon(i);
        EXPECT_EQ(face->polygonId, i);
        EXPECT_TRUE(face->ComputeNormal().NearlyEqual(face->faceNormal, 1e-5f));
        EXPECT_TRUE(face->IsConvex());
    }
    EXPECT_EQ(tree.GetPolygon(6)->vertices[0].position.y, 11.0f); // top face first
    ASSERT_EQ(tree.Build(), 0);
    EXPECT_EQ(tree.FindLeaf({0, 0, 0}), -1);
    EXPECT_GE(tree.FindLeaf({5, 0, 0}), 0);
    EXPECT_GE(tree.FindLeaf({0, -10.5f, 0}), 0);
    EXPECT_EQ(tree.FindLeaf({0, 0, 12}), -1);
    EXPECT_EQ(tree.FindLeaf({-30, 0, 0}), -1);

    BspPortalBuilder builder;
    BspPortalStatistics stats;
    builder.statistics = &stats;
    EXPECT_FALSE(builder.GeneratePortals(nullptr));
    ASSERT_TRUE(builder.GeneratePortals(&tree));
    EXPECT_EQ(stats.nodes, tree.NodeCount());
    EXPECT_EQ(stats.portals, tree.PortalCount());
    EXPECT_GT(tree.PortalCount(), 0);
    for (int i = 0; i < tree.PortalCount(); ++i) {
        const BspPortal* portal = tree.GetPortal(i);
        EXPECT_EQ(portal->leafCount, 2);
        EXPECT_NE(portal->frontLeaf, portal->backLeaf);
        for (int leaf : {portal->frontLeaf, portal->backLeaf}) {
            ASSERT_NE(tree.GetLeaf(leaf), nullptr);
            EXPECT_TRUE(tree.GetLeaf(leaf)->portals.Contains(i));
        }
        const BspNode* node = tree.GetNode(portal->nodeIndex);
        EXPECT_EQ(portal->Classify(*tree.GetPlane(node->planeIndex)), kBspOnPlane);
    }
}

TEST(CsgTree, DamagedTreesAreNeverReadOutsideNorWalkedInCircles) {
    BspTree tree;
    ASSERT_EQ(BuildTree(tree, MakeBox({-1, -1, -1}, {1, 1, 1})), 0);
    tree.SetNode(6, std::make_unique<BspNode>()); // beyond the count: nothing
    tree.SetNode(0, nullptr);
    EXPECT_EQ(tree.NodeCount(), 6);
    EXPECT_EQ(tree.GetNode(6), nullptr);
    EXPECT_EQ(tree.GetNode(-1), nullptr);
    EXPECT_EQ(tree.GetPlane(99), nullptr);
    EXPECT_NE(tree.GetNode(0), nullptr);

    tree.GetNode(1)->backChild = 0;    // back up to the root
    tree.GetNode(2)->backChild = 2;    // itself
    tree.GetNode(3)->frontChild = 99;  // no such node
    tree.GetNode(4)->planeIndex = 42;  // no such plane
    tree.GetNode(0)->frontChild = -50; // no such leaf
    const BspVector points[] = {{0, 0, 0}, {0, 0, 5}, {5, 0, 0}, {0, 5, 0}, {-5, 0, 0}};
    for (const BspVector& p : points) {
        const int leaf = tree.FindLeaf(p);
        EXPECT_TRUE(leaf == -1 || tree.GetLeaf(leaf) != nullptr);
        tree.SphereTouchesSolid(p, 3.0f, 0);
        auto face = MakeFace({p, p + BspVector(1, 0, 0), p + BspVector(0, 1, 0)});
        tree.PolygonTouchesSolid(face.get(), 0);
    }
    BspPortalBuilder builder;
    EXPECT_THROW(builder.GeneratePortals(&tree), std::out_of_range);
    BspTree empty;
    EXPECT_EQ(empty.FindLeaf({0, 0, 0}), -1);
    EXPECT_THROW(builder.GeneratePortals(&empty), std::out_of_range);
}

// Every allocation of a build, in turn, fails: each failure throws "bad allocation", the tree
// can be cleared and built again, and nothing is left over.
void ExpectEveryFailureClean(const FaceList& faces, const BspTreeSettings& settings, bool portals) {
    auto run = [&](BspTree& tree) {
        tree.SetSettings(settings);
        ASSERT_EQ(tree.AddPolygons(faces.Data(), faces.Count(), true), 0);
        ASSERT_EQ(tree.MakeEnclosingBoxPolygons(true), 0);
        ASSERT_EQ(tree.Build(), 0);
        if (portals) {
            BspPortalBuilder builder;
            builder.GeneratePortals(&tree);
        }
    };
    BspMemoryWatch whole;
    WatchBspMemory(&whole);
    int nodes = 0;
    {
        BspTree tree;
        run(tree);
        nodes = tree.NodeCount();
    }
    WatchBspMemory(nullptr);
    ASSERT_EQ(whole.live, 0);
    ASSERT_GT(whole.made, 50);

    for (std::int64_t k = 0; k < whole.made; ++k) {
        BspMemoryWatch watch;
        watch.failAt = k;
        WatchBspMemory(&watch);
        bool threw = false;
        {
            BspTree tree;
            try {
                run(tree);
            } catch (const std::bad_alloc& e) {
                threw = true;
                EXPECT_STREQ(e.what(), "bad allocation");
            }
            tree.Clear();
            run(tree);
            EXPECT_EQ(tree.NodeCount(), nodes);
        }
        WatchBspMemory(nullptr);
        EXPECT_TRUE(threw) << "allocation " << k;
        EXPECT_EQ(watch.live, 0) << "allocation " << k;
    }
}

TEST(CsgTree, FailedAllocationsThrowAndLeakNothing) {
    FaceList faces = MakeBox({-1, -1, -1}, {1, 1, 1});
    faces.AddAll(MakeBox({2, -1, -1}, {4, 1, 1}));
    faces.Add(MakeFace({{-3, -3, 0.5f}, {5, -3, 0.5f}, {5, 3, 0.5f}, {-3, 3, 0.5f}}));
    ExpectEveryFailureClean(faces, BspTreeSettings(), true);
    BspTreeSettings kept;
    kept.storageMode = 1;
    kept.dropBackSplitters = 0;
    ExpectEveryFailureClean(faces, kept, false);
}

} // namespace
