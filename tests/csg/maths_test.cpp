// The vector, plane and box arithmetic, at the edges of its tolerances.
#include "csg/bsp_maths.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::uint32_t Bits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

TEST(CsgMaths, NormalizeLeavesTooShortVectorsAlone) {
    BspVector zero;
    zero.Normalize();
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);
    BspVector tiny(1e-6f, 0, 0);
    tiny.Normalize();
    EXPECT_EQ(tiny.x, 1e-6f);
    BspVector v(3, 0, 4);
    v.Normalize();
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);
}

TEST(CsgMaths, EqualityTestsSumOrBoundEachComponent) {
    EXPECT_TRUE(BspVector(1, 0, 0).RoughlyEqual(BspVector(0, 1, 0))); // 1 and -1 cancel
    EXPECT_FALSE(BspVector(1, 0, 0).RoughlyEqual(BspVector(0, 0.5f, 0.3f)));
    EXPECT_FALSE(BspVector(1, 0, 0).RoughlyEqual(BspVector(0, 0, 0)));
    EXPECT_TRUE(BspVector(1, 2, 3).NearlyEqual(BspVector(1.05f, 2, 3), 0.1f));
    EXPECT_FALSE(BspVector(0, 0, 0).NearlyEqual(BspVector(0, 0, 0.5f), 0.5f)); // strict
}

TEST(CsgMaths, PointsWithinOneHundredthLieOnThePlane) {
    const BspPlane plane(BspVector(0, 0, 2), 0.0f); // normal made unit
    EXPECT_FLOAT_EQ(plane.normal.z, 1.0f);
    float distance = 0;
    EXPECT_EQ(plane.ClassifyPoint(BspVector(5, 5, 0.01f), &distance), kBspOnPlane);
    EXPECT_FLOAT_EQ(distance, 0.01f);
    EXPECT_EQ(plane.ClassifyPoint(BspVector(0, 0, -0.01f)), kBspOnPlane);
    EXPECT_EQ(plane.ClassifyPoint(BspVector(0, 0, 0.0101f)), kBspFront);
    EXPECT_EQ(plane.ClassifyPoint(BspVector(0, 0, -0.0101f)), kBspBack);

    const BspPlane shifted = BspPlane::FromPointNormal(BspVector(0, 3, 0), BspVector(7, 2, 1));
    EXPECT_FLOAT_EQ(shifted.d, 2.0f);
    EXPECT_FLOAT_EQ(BspVector(0, 5, 0).PlaneDistance(shifted), 3.0f);
}

TEST(CsgMaths, SegmentsMeetThePlaneIncludingTheirEnds) {
    const BspPlane plane(BspVector(0, 1, 0), 1.0f);
    BspVector hit;
    float t = -1;
    ASSERT_TRUE(plane.IntersectSegment(BspVector(0, 0, 0), BspVector(0, 4, 0), hit, &t));
    EXPECT_FLOAT_EQ(t, 0.25f);
    EXPECT_FLOAT_EQ(hit.y, 1.0f);
    EXPECT_TRUE(plane.IntersectSegment(BspVector(0, 1, 0), BspVector(0, 3, 0), hit, &t));
    EXPECT_EQ(t, 0.0f);
    EXPECT_TRUE(plane.IntersectSegment(BspVector(0, -1, 0), BspVector(0, 1, 0), hit, &t));
    EXPECT_EQ(t, 1.0f);
    EXPECT_FALSE(plane.IntersectSegment(BspVector(0, 2, 0), BspVector(0, 3, 0), hit));
    // Nearly parallel: the direction's product with the normal is below 0.01.
    EXPECT_FALSE(plane.IntersectSegment(BspVector(0, 0.995f, 0), BspVector(10, 1.004f, 0), hit));
}

TEST(CsgMaths, BoxesGrowFromTheEmptyBox) {
    BspBounds box;
    box.GrowByPoints(nullptr, 5, 12, true); // not even the reset
    box.lowest.Set(1, 2, 3);
    box.GrowByPoints(nullptr, 0, 12, true);
    EXPECT_EQ(box.lowest.x, 1.0f);
    const float points[] = {1, 2, 3, -9, -9, -9, 4, 5, 6, -9, -9, -9, -1, 8, 0};
    box.GrowByPoints(points, 0, 24, true);
    EXPECT_EQ(Bits(box.lowest.x), 0x4B18967Fu);
    EXPECT_EQ(Bits(box.highest.z), 0xCB18967Fu);
    box.GrowByPoints(points, 3, 24, false); // every other triple
    EXPECT_EQ(box.lowest.x, -1.0f);
    EXPECT_EQ(box.lowest.z, 0.0f);
    EXPECT_EQ(box.highest.y, 8.0f);
    EXPECT_EQ(box.highest.z, 6.0f);
    EXPECT_FLOAT_EQ(box.Centre().x, 1.5f);
    EXPECT_FLOAT_EQ(box.Size().y, 6.0f);
}

TEST(CsgMaths, OverlapCountsTouchingOnOneSideOnly) {
    BspBounds a, b;
    a.lowest.Set(0, 0, 0);
    a.highest.Set(1, 1, 1);
    b.lowest.Set(1, 0, 0);
    b.highest.Set(2, 1, 1);
    const BspVector none;
    EXPECT_FALSE(a.OverlapsWithMargin(b, none)); // b.low - 0 < a.high + 0 fails: 1 < 1
    EXPECT_TRUE(b.OverlapsWithMargin(a, none));  // b.low <= a.high holds: 1 <= 1
    b.lowest.x = 1.15f;
    EXPECT_TRUE(a.OverlapsWithMargin(b, BspVector(0.1f, 0.1f, 0.1f)));
    b.lowest.x = 1.25f;
    EXPECT_FALSE(a.OverlapsWithMargin(b, BspVector(0.1f, 0.1f, 0.1f)));
}

} // namespace
