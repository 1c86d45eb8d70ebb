// Clipping the polygons of one tree against the solid of another, making cut polygons whole again,
// and copying the survivors out.
#include "csg/bsp_tree.h"

namespace {

void Prepend(BspTreePolygon*& list, BspTreePolygon* p) {
    p->next = list;
    list = p;
}

void MarkRemoved(BspTreePolygon* list) {
    for (; list; list = list->next)
        list->removed = 1;
}

} // namespace

// A node still to clip with its list.
struct BspTree::ClipTask {
    int node;
    BspTreePolygon* list;
};

int BspTree::SortForClip(BspTree& other, const BspPlane& plane, bool coplanarToBack,
                         BspTreePolygon* list, BspTreePolygon*& front, BspTreePolygon*& back) {
    while (BspTreePolygon* p = list) {
        list = p->next;
        if (p->removed) continue;
        switch (p->Classify(plane)) {
        case kBspFront:
            Prepend(front, p);
            break;
        case kBspBack:
            Prepend(back, p);
            break;
        case kBspOnPlane: {
            const bool sameWay = p->faceNormal.RoughlyEqual(plane.normal);
            Prepend(sameWay && !coplanarToBack ? front : back, p);
            break;
        }
        default: {
            auto frontPart = NewBspPolygon();
            auto backPart = NewBspPolygon();
            const int result = p->SplitKeepingTreeFields(plane, frontPart.get(), backPart.get());
            if (result < 0) return result;
            BspTreePolygon* f = frontPart.get();
            BspTreePolygon* b = backPart.get();
            const int frontIndex = other.AppendPolygon(std::move(frontPart));
            const int backIndex = other.AppendPolygon(std::move(backPart));
            p->removed = 1;
            p->frontFragment = frontIndex;
            p->backFragment = backIndex;
            Prepend(front, f);
            Prepend(back, b);
            break;
        }
        }
    }
    return 0;
}

// Depth first, the front side before the back, on a stack of its own: a convex solid of many
// faces makes a chain of nodes as deep as its face count.
int BspTree::ClipPolygons(BspTree* other, bool removeInSolid, bool coplanarToBack, int node,
                          BspTreePolygon* list) {
    if (!other || polygons_.Empty() || other->polygons_.Empty() || !GetNode(node)) return 1;
    if (!list) {
        for (int i = other->polygons_.Count() - 1; i >= 0; --i) {
            BspTreePolygon* p = other->polygons_[i];
            p->frontFragment = p->backFragment = -1;
            Prepend(list, p);
        }
    }
    BspArray<ClipTask> tasks;
    tasks.Append({node, list});
    while (!tasks.Empty()) {
        const ClipTask task = tasks.PopLast();
        const BspNode* at = nodes_[task.node];
        const BspPlane* plane = PlaneOf(at);
        if (!plane) {
            // A node that found no splitter is solid space.
            if (removeInSolid) MarkRemoved(task.list);
            continue;
        }
        BspTreePolygon* front = nullptr;
        BspTreePolygon* back = nullptr;
        const int result = SortForClip(*other, *plane, coplanarToBack, task.list, front, back);
        if (result < 0) return result;

        const bool frontIsNode = IsChildNode(task.node, at->frontChild);
        const bool backIsNode = IsChildNode(task.node, at->backChild);
        if (back) {
            if (backIsNode)
                tasks.Append({at->backChild, back});
            else if (removeInSolid)
                MarkRemoved(back); // in this tree's solid
        }
        if (front) {
            if (frontIsNode)
                tasks.Append({at->frontChild, front});
            else if (!removeInSolid)
                MarkRemoved(front); // at a leaf: outside this tree
        }
    }
    return 0;
}

void BspTree::ScanFragments() {
    for (int i = polygons_.Count() - 1; i >= 0; --i) {
        BspTreePolygon* p = polygons_[i];
        if (p->frontFragment == -1) continue;
        BspTreePolygon* front = GetPolygon(p->frontFragment);
        BspTreePolygon* back = GetPolygon(p->backFragment);
        if (!front || !back || front->removed || back->removed) continue;
        p->removed = 0;
        front->removed = 1;
        back->removed = 1;
    }
}

bool BspPolygonSet::CopyFromTree(const BspTree* tree, bool clearFirst) {
    if (!tree) return false;
    if (clearFirst) Clear();
    auto survives = [](const BspTreePolygon* p) { return !p->removed && p->count >= 3; };
    int survivors = 0;
    for (int i = 0; i < tree->PolygonCount(); ++i)
        if (survives(tree->GetPolygon(i))) ++survivors;
    int next = Grow(survivors);
    if (next < 0) return false;
    for (int i = 0; i < tree->PolygonCount(); ++i) {
        const BspTreePolygon* p = tree->GetPolygon(i);
        if (!survives(p)) continue;
        BspFacePolygon* copy = polygons[next++];
        copy->CopyFaceFrom(*p);
        copy->CopyVerticesFrom(*p);
    }
    ComputeBounds();
    return true;
}
