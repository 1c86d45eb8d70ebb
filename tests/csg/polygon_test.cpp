// Single polygons: classification, splitting with its attributes, the portal quad, the normal and
// convexity, and the polygon set.
#include "csg/csg_fixtures.h"
#include "csg/bsp_polygon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <malloc.h>

namespace {

const BspPlane kGround(BspVector(0, 0, 1), 0.0f); // z = 0, front above

void ExpectAt(const BspVertex& v, float x, float y, float z) {
    EXPECT_NEAR(v.position.x, x, 1e-5f);
    EXPECT_NEAR(v.position.y, y, 1e-5f);
    EXPECT_NEAR(v.position.z, z, 1e-5f);
}

TEST(CsgPolygon, AddVerticesGrowsKeepingWhatWasThere) {
    BspPolygon p;
    EXPECT_EQ(p.AddVertices(0), -1);
    EXPECT_EQ(p.count, 0);
    EXPECT_EQ(p.vertices, nullptr);
    EXPECT_EQ(p.AddVertices(2), 0);
    p.vertices[1].u = 7;
    EXPECT_EQ(p.AddVertices(0), -1);
    EXPECT_EQ(p.count, 2);
    EXPECT_EQ(p.AddVertices(3), 2);
    EXPECT_EQ(p.count, 5);
    EXPECT_EQ(p.vertices[1].u, 7.0f);
    EXPECT_EQ(p.vertices[4].u, 0.0f);
    EXPECT_TRUE(p.InsertVertex(1));
    EXPECT_EQ(p.vertices[2].u, 7.0f);
    EXPECT_FALSE(p.InsertVertex(7));
    p.Clear();
    EXPECT_EQ(p.count, 0);
}

TEST(CsgPolygon, ClassificationToleranceIsInclusive) {
    // One vertex exactly 0.01 in front, two behind: behind, and nothing to split.
    auto tri = MakeFace({{0, 0, 0.01f}, {1, 0, -1}, {0, 1, -1}});
    EXPECT_EQ(tri->Classify(kGround), kBspBack);
    BspPolygon front, back;
    EXPECT_EQ(tri->Split(kGround, &front, &back), 0);
    EXPECT_EQ(front.count, 0);
    ASSERT_EQ(back.count, 3);
    ExpectAt(back.vertices[0], 0, 0, 0.01f);

    auto flat = MakeFace({{0, 0, 0.01f}, {1, 0, -0.01f}, {0, 1, 0}});
    EXPECT_EQ(flat->Classify(kGround), kBspOnPlane);
    auto above = MakeFace({{0, 0, 0.0101f}, {1, 0, 0}, {0, 1, 0.5f}});
    EXPECT_EQ(above->Classify(kGround), kBspFront);
    auto across = MakeFace({{0, 0, 1}, {1, 0, -1}, {0, 1, 0}});
    EXPECT_EQ(across->Classify(kGround), kBspSpanning);
    EXPECT_EQ(ClassifyPointsToPlane(kGround, nullptr, 0, 32), kBspOnPlane);
    EXPECT_EQ(ClassifySegmentToPlane(kGround, {0, 0, 1}, {0, 0, -1}), kBspSpanning);
}

TEST(CsgPolygon, QuadCutAcrossTwoEdgesGivesTwoQuads) {
    auto quad = MakeFace({{0, 0, -1}, {2, 0, -1}, {2, 0, 3}, {0, 0, 3}});
    quad->vertices[0].u = 0;
    quad->vertices[1].u = 1;
    quad->vertices[2].u = 1;
    quad->vertices[2].v = 4; // beyond 1: not clamped
    quad->vertices[3].v = 4;
    quad->vertices[1].normal = {1, 0, 0};
    quad->vertices[2].normal = {0, 0, 1};
    BspPolygon front, back;
    ASSERT_EQ(quad->Split(kGround, &front, &back), 0);
    ASSERT_EQ(front.count, 4);
    ASSERT_EQ(back.count, 4);
    // Walking from vertex 0: its edge stays behind, edge 1-2 crosses at a quarter.
    ExpectAt(back.vertices[0], 0, 0, -1);
    ExpectAt(back.vertices[1], 2, 0, -1);
    ExpectAt(back.vertices[2], 2, 0, 0);
    ExpectAt(back.vertices[3], 0, 0, 0);
    ExpectAt(front.vertices[0], 2, 0, 0);
    ExpectAt(front.vertices[1], 2, 0, 3);
    EXPECT_NEAR(front.vertices[0].v, 1.0f, 1e-5f);
    EXPECT_NEAR(front.vertices[1].v, 4.0f, 1e-5f);
    for (const BspPolygon* part : {&front, &back})
        for (int i = 0; i < part->count; ++i)
            EXPECT_NEAR(part->vertices[i].normal.Length(), 1.0f, 1e-5f);
    // Halfway between (1, 0, 0) and (0, 0, 1) at a quarter, made unit length again.
    const BspVector n = front.vertices[0].normal;
    EXPECT_NEAR(n.x, 0.75f / std::sqrt(0.75f * 0.75f + 0.25f * 0.25f), 1e-5f);
}

TEST(CsgPolygon, TriangleCutThroughAVertexSharesIt) {
    auto tri = MakeFace({{0, 0, 0}, {1, 0, -1}, {1, 0, 1}});
    BspPolygon front, back;
    ASSERT_EQ(tri->Split(kGround, &front, &back), 0);
    ASSERT_EQ(front.count, 3);
    ASSERT_EQ(back.count, 3);
    ExpectAt(back.vertices[0], 0, 0, 0);
    ExpectAt(front.vertices[0], 0, 0, 0);
    ExpectAt(back.vertices[2], 1, 0, 0);
    ExpectAt(front.vertices[1], 1, 0, 0);
}

TEST(CsgPolygon, WholePolygonsGoWhereTheyLie) {
    auto flat = MakeFace({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    BspPolygon front, back;
    flat->Split(kGround, &front, &back);
    EXPECT_EQ(front.count, 3);
    EXPECT_EQ(back.count, 3);
    auto above = MakeFace({{0, 0, 1}, {1, 0, 1}, {0, 1, 2}});
    BspPolygon onlyFront, untouched;
    untouched.AddVertices(1);
    above->Split(kGround, &onlyFront, &untouched);
    EXPECT_EQ(onlyFront.count, 3);
    EXPECT_EQ(untouched.count, 1); // gathered nothing: left alone
    EXPECT_EQ(above->Split(kGround, nullptr, nullptr), 0);
    BspPolygon empty;
    EXPECT_EQ(empty.Split(kGround, &front, &back), 0);
    EXPECT_EQ(front.count, 3);
}

TEST(CsgPolygon, PolygonThatIsNotConvexSplitsWithoutOverrun) {
    // A comb whose 20 teeth dip below the plane: every edge crosses it.
    std::vector<BspVector> points;
    for (int i = 0; i < 40; ++i)
        points.push_back({static_cast<float>(i), 0, (i % 2) ? -1.0f : 1.0f});
    auto comb = MakeFace(points, {0, 1, 0});
    BspPolygon front, back;
    ASSERT_EQ(comb->Split(kGround, &front, &back), 0);
    EXPECT_EQ(_heapchk(), _HEAPOK); // the C runtime's heap is intact
    EXPECT_EQ(front.count, 20 + 40);
    EXPECT_EQ(back.count, 20 + 40);
    EXPECT_FALSE(comb->IsConvex());
}

TEST(CsgPolygon, DerivedSplitsCarryTheirFields) {
    auto source = MakeFace({{0, 0, -1}, {1, 0, -1}, {1, 0, 1}, {0, 0, 1}});
    source->attributes[2] = 77;
    auto tree = NewBspPolygon(source.get());
    tree->polygonId = 12;
    tree->planeIndex = 3;
    tree->splitterMark = 1;
    tree->removed = 1;
    auto front = NewBspPolygon(), back = NewBspPolygon();
    ASSERT_EQ(tree->SplitKeepingTreeFields(kGround, front.get(), back.get()), 0);
    for (const BspTreePolygon* part : {front.get(), back.get()}) {
        EXPECT_EQ(part->polygonId, 12);
        EXPECT_EQ(part->planeIndex, 3);
        EXPECT_EQ(part->splitterMark, 1);
        EXPECT_EQ(part->removed, 0);
        EXPECT_EQ(part->attributes[0], -1);
        EXPECT_EQ(part->attributes[2], 77);
        EXPECT_FLOAT_EQ(part->faceNormal.y, source->faceNormal.y);
    }
    auto portal = NewBspPortal();
    EXPECT_EQ(portal->frontLeaf, 2);
    portal->CopyVerticesFrom(*source);
    portal->nodeIndex = 5;
    portal->leafCount = 1;
    portal->backLeaf = 9;
    auto pf = NewBspPortal(), pb = NewBspPortal();
    portal->SplitKeepingPortalFields(kGround, pf.get(), pb.get());
    EXPECT_EQ(pb->nodeIndex, 5);
    EXPECT_EQ(pb->leafCount, 1);
    EXPECT_EQ(pf->backLeaf, 9);
}

TEST(CsgPolygon, PortalQuadLiesInItsPlaneAndCoversTheBounds) {
    BspBounds bounds;
    bounds.lowest.Set(-1, -1, -1);
    bounds.highest.Set(1, 1, 1);
    BspFacePolygon quad;
    ASSERT_TRUE(quad.InitFromPlane(BspPlane(BspVector(0, 0, 1), 0.5f), bounds));
    ASSERT_EQ(quad.count, 4);
    // For (0, 0, 1) the smallest components tie and the axis is y, so the quad's first
    // direction is the x axis: corners P + A - B, P + A + B, ...
    const float l = std::sqrt(3.0f);
    ExpectAt(quad.vertices[0], l, l, 0.5f);
    ExpectAt(quad.vertices[1], l, -l, 0.5f);
    ExpectAt(quad.vertices[2], -l, -l, 0.5f);
    ExpectAt(quad.vertices[3], -l, l, 0.5f);
    EXPECT_EQ(quad.vertices[2].normal.z, 1.0f);
    EXPECT_EQ(quad.faceNormal.z, 1.0f);
    EXPECT_TRUE(quad.IsConvex());
    EXPECT_NEAR(quad.Area(), 4 * l * l, 1e-3f);

    const BspPlane slanted(BspVector(1, 2, 3), 1.0f);
    ASSERT_TRUE(quad.InitFromPlane(slanted, bounds));
    EXPECT_EQ(quad.count, 4);
    EXPECT_EQ(quad.Classify(slanted), kBspOnPlane);
}

TEST(CsgPolygon, NormalAndConvexity) {
    auto square = MakeFace({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    EXPECT_FLOAT_EQ(square->ComputeNormal().z, 1.0f);
    EXPECT_TRUE(square->IsConvex());
    EXPECT_TRUE(square->IsPlanar());
    // The pair of fan edges nearest to square decides, not the first (here in line).
    auto inLine =
        MakeFace(std::vector<BspVector>{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}}, BspVector());
    EXPECT_FLOAT_EQ(inLine->ComputeNormal().z, 1.0f);
    auto dart = MakeFace({{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {1, 1, 0}});
    EXPECT_FALSE(dart->IsConvex());
    auto bent = MakeFace({{0, 0, 0}, {1, 0, 0}, {1, 1, 0.5f}, {0, 1, 0}});
    EXPECT_FALSE(bent->IsPlanar());
    BspPolygon two;
    two.AddVertices(2);
    EXPECT_FALSE(two.IsConvex());
    EXPECT_EQ(two.ComputeNormal().Length(), 0.0f);
}

TEST(CsgPolygon, SetsGrowByWholePolygons) {
    BspPolygonSet set;
    EXPECT_EQ(set.Grow(0), -1);
    EXPECT_EQ(set.Grow(2), 0);
    set.polygons[1]->AddVertices(1);
    set.polygons[1]->vertices[0].position.Set(4, 5, 6);
    EXPECT_EQ(set.Grow(3), 2);
    EXPECT_EQ(set.count, 5);
    EXPECT_EQ(set.polygons[1]->vertices[0].position.y, 5.0f);
    EXPECT_EQ(set.polygons[4]->attributes[0], -1);
    set.ComputeBounds();
    EXPECT_EQ(set.bounds.lowest.z, 6.0f);
    set.Clear();
    EXPECT_EQ(set.count, 0);

    BspPolygonBuffer buffer(16);
    EXPECT_NE(buffer.secondBuffer, nullptr);
    EXPECT_TRUE(buffer.Resize(64));
    EXPECT_EQ(buffer.size, 64);
}

} // namespace
