// Point, sphere and polygon queries on a compiled tree. A node without a plane (one that found no
// splitter) is solid space. Every walk follows only links to later nodes of the tree, so a
// damaged tree can neither be read outside nor make a walk go round.
#include "csg/bsp_tree.h"

#include <cmath>

namespace {

// Walks depth first from node start, on a stack of its own. At each node step(node, plane,
// visit) tells whether what is walked touches solid there and calls visit(child) for the
// children to go on into, the one to visit first last. A node without a plane is solid.
template <class Step> bool WalkForSolid(const BspTree& tree, int start, Step step) {
    if (!tree.GetNode(start)) return false;
    BspArray<int> stack;
    stack.Append(start);
    while (!stack.Empty()) {
        const int index = stack.PopLast();
        const BspNode* node = tree.GetNode(index);
        const BspPlane* plane = tree.PlaneOf(node);
        if (!plane) return true;
        auto visit = [&](int child) {
            if (tree.IsChildNode(index, child)) stack.Append(child);
        };
        if (step(*node, *plane, visit)) return true;
    }
    return false;
}

} // namespace

int BspTree::FindLeaf(const BspVector& point) const {
    int index = 0;
    while (const BspNode* node = GetNode(index)) {
        const BspPlane* plane = PlaneOf(node);
        if (!plane) return -1;
        if (plane->ClassifyPoint(point) == kBspBack) {
            if (!IsChildNode(index, node->backChild)) return -1;
            index = node->backChild;
            continue;
        }
        const int front = node->frontChild;
        if (front < 0) {
            const int leaf = -(front + 1);
            return leaf < LeafCount() ? leaf : -1;
        }
        if (!IsChildNode(index, front)) return -1;
        index = front;
    }
    return -1;
}

bool BspTree::SphereTouchesSolid(const BspVector& point, float radius, int node) const {
    return WalkForSolid(*this, node, [&](const BspNode& n, const BspPlane& plane, auto visit) {
        float distance = 0.0f;
        const bool behind = plane.ClassifyPoint(point, &distance) == kBspBack;
        const bool reaches = std::fabs(distance) < radius;
        const bool backSolid = n.backChild < 0;
        // The centre's own side first; the other side only when the sphere reaches it.
        if (behind) {
            if (backSolid) return true;
            if (reaches) visit(n.frontChild);
            visit(n.backChild);
        } else {
            if (reaches && backSolid) return true;
            if (reaches) visit(n.backChild);
            visit(n.frontChild);
        }
        return false;
    });
}

bool BspTree::PolygonTouchesSolid(const BspPolygon* polygon, int node) const {
    if (!polygon) return false;
    return WalkForSolid(*this, node, [&](const BspNode& n, const BspPlane& plane, auto visit) {
        const int side = polygon->Classify(plane);
        if (side != kBspFront && n.backChild < 0) return true;
        if (side != kBspFront) visit(n.backChild);
        if (side != kBspBack) visit(n.frontChild);
        return false;
    });
}

bool BspTree::IntersectsPolygonsOf(const BspTree* other) const {
    if (!other) return false;
    for (int i = 0; i < other->PolygonCount(); ++i)
        if (PolygonTouchesSolid(other->polygons_[i], 0)) return true;
    return false;
}
