// Trees of random convex solids from a seeded generator, checked point by point against the
// half-spaces the solids were made from.
#include "csg/csg_fixtures.h"
#include "csg/bsp_tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

// Points nearer than this to a plane of the solid are not checked: the tree's tolerance is 0.01.
constexpr float kMargin = 0.05f;

struct Solid {
    std::vector<BspPlane> planes; // the planes with a face, normals pointing out
    FaceList faces;
    BspBounds bounds;
};

class Generator {
public:
    explicit Generator(std::uint32_t seed) : rng_(seed) {}

    float Uniform(float low, float high) {
        return low + (high - low) * static_cast<float>(rng_() / 4294967296.0);
    }
    std::uint32_t Next() { return rng_(); }
    BspVector Direction() {
        for (;;) {
            const BspVector v(Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1));
            const float length = v.Length();
            if (length > 0.1f && length <= 1.0f) return v / length;
        }
    }

    // The intersection of 6 to 20 random half-spaces around the centre, as one face polygon per
    // plane that still bounds it. False for a solid that is open or has a sliver of a face.
    bool MakeSolid(const BspVector& centre, Solid& solid) {
        std::vector<BspPlane> planes;
        const int n = 6 + static_cast<int>(Next() % 15);
        for (int i = 0; i < n; ++i) {
            const BspVector normal = Direction();
            planes.push_back(BspPlane(normal, normal.Dot(centre) + Uniform(0.5f, 2.0f)));
        }
        BspBounds space;
        space.lowest = centre - BspVector(20, 20, 20);
        space.highest = centre + BspVector(20, 20, 20);
        for (std::size_t i = 0; i < planes.size(); ++i) {
            BspPolygon face;
            face.InitFromPlane(planes[i], space);
            for (std::size_t j = 0; j < planes.size() && face.count; ++j) {
                if (j == i) continue;
                BspPolygon kept;
                face.Split(planes[j], nullptr, &kept);
                face.CopyVerticesFrom(kept);
            }
            if (face.count < 3) continue;
            auto polygon = std::make_unique<BspFacePolygon>();
            polygon->CopyVerticesFrom(face);
            polygon->faceNormal = planes[i].normal;
            polygon->GrowBounds(solid.bounds);
            solid.planes.push_back(planes[i]);
            solid.faces.Add(std::move(polygon));
        }
        const BspVector reach = solid.bounds.Size();
        return solid.faces.Count() >= 4 && reach.x < 8 && reach.y < 8 && reach.z < 8;
    }

private:
    std::mt19937 rng_;
};

// No face lies (nearly) in the plane of another face: such slivers are where the tolerance of
// the tree, not its structure, decides.
bool WellFormed(const Solid& solid) {
    for (int i = 0; i < solid.faces.Count(); ++i) {
        for (std::size_t j = 0; j < solid.planes.size(); ++j) {
            if (static_cast<int>(j) == i) continue;
            const BspFacePolygon* face = solid.faces.pointers[i];
            float farthest = 0;
            for (int k = 0; k < face->count; ++k)
                farthest = std::fmax(
                    farthest, std::fabs(face->vertices[k].position.PlaneDistance(solid.planes[j])));
            if (farthest < kMargin) return false;
        }
    }
    return true;
}

// 1 inside, 0 outside, -1 too near a plane to tell.
int Inside(const std::vector<BspPlane>& planes, const BspVector& p) {
    bool inside = true;
    for (const BspPlane& plane : planes) {
        const float d = p.PlaneDistance(plane);
        if (std::fabs(d) < kMargin) return -1;
        if (d > 0) inside = false;
    }
    return inside ? 1 : 0;
}

BspTreeSettings RandomSettings(Generator& g) {
    BspTreeSettings settings;
    settings.storageMode = static_cast<int>(g.Next() % 2);
    settings.dropBackSplitters = static_cast<std::uint8_t>(g.Next() % 2);
    const int limits[] = {0, 60, 3, 1};
    settings.candidateLimit = limits[g.Next() % 4];
    settings.splitWeight = g.Uniform(0.0f, 5.0f);
    return settings;
}

struct Tally {
    int inside = 0;
    int outside = 0;
};

// Points in and around the bounds, each checked where the generator can tell.
void CheckPoints(Generator& g, const BspTree& tree, const BspBounds& bounds,
                 const std::vector<const std::vector<BspPlane>*>& solids, Tally& tally) {
    const BspVector low = bounds.lowest - BspVector(2, 2, 2);
    const BspVector high = bounds.highest + BspVector(2, 2, 2);
    for (int k = 0; k < 100; ++k) {
        const bool near = k % 2 == 0;
        const BspVector a = near ? bounds.lowest : low, b = near ? bounds.highest : high;
        const BspVector p(g.Uniform(a.x, b.x), g.Uniform(a.y, b.y), g.Uniform(a.z, b.z));
        int expected = 0;
        for (const auto* planes : solids) {
            const int in = Inside(*planes, p);
            if (in < 0) {
                expected = -1;
                break;
            }
            expected |= in;
        }
        if (expected < 0) continue;
        const int leaf = tree.FindLeaf(p);
        if (expected) {
            ++tally.inside;
            EXPECT_EQ(leaf, -1) << p.x << " " << p.y << " " << p.z;
        } else {
            ++tally.outside;
            EXPECT_GE(leaf, 0) << p.x << " " << p.y << " " << p.z;
        }
    }
}

TEST(CsgRandomSolids, FindLeafAgreesWithTheHalfSpaces) {
    Generator g(20240611u);
    Tally tally;
    int solids = 0, tried = 0;
    while (solids < 1000) {
        ++tried;
        Solid solid;
        const BspVector centre(g.Uniform(-50, 50), g.Uniform(-50, 50), g.Uniform(-50, 50));
        const bool closed = g.MakeSolid(centre, solid);
        BspTree tree;
        tree.SetSettings(RandomSettings(g));
        // Every solid builds, well formed or not.
        ASSERT_EQ(BuildTree(tree, solid.faces), 0);
        ASSERT_GT(tree.NodeCount(), 0);
        if (!closed || !WellFormed(solid)) continue;
        ++solids;
        CheckPoints(g, tree, solid.bounds, {&solid.planes}, tally);
        if (HasFailure()) break;
    }
    EXPECT_LT(tried, 3000);
    EXPECT_GT(tally.inside, 10000);
    EXPECT_GT(tally.outside, 10000);
}

TEST(CsgRandomSolids, TwoSeparateSolidsMakeOneTree) {
    Generator g(77u);
    Tally tally;
    int pairs = 0;
    while (pairs < 200) {
        Solid a, b;
        if (!g.MakeSolid({-3, 0, 0}, a) || !g.MakeSolid({3, 0, 0}, b)) continue;
        if (a.bounds.highest.x + 0.1f >= b.bounds.lowest.x) continue;
        if (!WellFormed(a) || !WellFormed(b)) continue;
        Solid both;
        both.planes = a.planes;
        both.planes.insert(both.planes.end(), b.planes.begin(), b.planes.end());
        both.faces.AddAll(std::move(a.faces));
        both.faces.AddAll(std::move(b.faces));
        if (!WellFormed(both)) continue;
        ++pairs;
        BspTree tree;
        BspTreeSettings settings;
        settings.storageMode = pairs % 2;
        tree.SetSettings(settings);
        ASSERT_EQ(BuildTree(tree, both.faces), 0);
        BspBounds bounds = a.bounds;
        bounds.GrowByPoints(&b.bounds.lowest, 2, sizeof(BspVector), false);
        CheckPoints(g, tree, bounds, {&a.planes, &b.planes}, tally);
        if (HasFailure()) break;
    }
    EXPECT_GT(tally.inside, 1000);
    EXPECT_GT(tally.outside, 1000);
}

} // namespace
