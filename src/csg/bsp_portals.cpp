#include "csg/bsp_portals.h"

#include <stdexcept>

// Owns a doubly linked list of portal fragments; whatever it still holds when it goes out of
// scope is deleted, so an exception anywhere in the push frees every fragment in flight.
class BspPortalBuilder::FragmentList {
public:
    FragmentList() = default;
    explicit FragmentList(BspPortal* portal) { PushBack(portal); }
    FragmentList(FragmentList&& other) noexcept : head_(other.head_), tail_(other.tail_) {
        other.head_ = other.tail_ = nullptr;
    }
    FragmentList& operator=(FragmentList&&) = delete;
    ~FragmentList() {
        while (BspPortal* p = PopFront())
            delete p;
    }

    BspPortal* PopFront() {
        BspPortal* p = head_;
        if (!p) return nullptr;
        head_ = p->nextFragment;
        (head_ ? head_->previousFragment : tail_) = nullptr;
        p->nextFragment = p->previousFragment = nullptr;
        return p;
    }
    void PushBack(BspPortal* p) {
        p->previousFragment = tail_;
        p->nextFragment = nullptr;
        (tail_ ? tail_->nextFragment : head_) = p;
        tail_ = p;
    }
    void Join(FragmentList&& other) {
        while (BspPortal* p = other.PopFront())
            PushBack(p);
    }

private:
    BspPortal* head_ = nullptr;
    BspPortal* tail_ = nullptr;
};

namespace {

[[noreturn]] void ThrowMissing(const char* what) {
    throw std::out_of_range(what);
}

// Fills a parent table of count entries with -1.
void ResetTable(BspArray<std::int32_t>& table, int count) {
    table.RemoveAll();
    for (int i = 0; i < count; ++i)
        table.Append(-1);
}

} // namespace

bool BspPortalBuilder::GeneratePortals(BspTree* target) {
    if (!target) return false;
    tree = target;
    if (statistics) statistics->nodes = tree->NodeCount();
    const BspNode* root = tree->GetNode(0);
    if (!root) ThrowMissing("tree without a root node");

    // Where every node and leaf hangs, for telling the sides of a node apart.
    ResetTable(nodeParent_, tree->NodeCount());
    ResetTable(leafParent_, tree->LeafCount());
    for (int i = 0; i < tree->NodeCount(); ++i) {
        const BspNode* node = tree->GetNode(i);
        if (!node) ThrowMissing("missing node");
        const int front = node->frontChild;
        if (front < 0 && -(front + 1) < tree->LeafCount() && leafParent_[-(front + 1)] < 0)
            leafParent_[-(front + 1)] = i;
        for (const int child : {front, node->backChild})
            if (tree->IsChildNode(i, child) && nodeParent_[child] < 0) nodeParent_[child] = i;
    }

    for (int i = 0; i < tree->NodeCount(); ++i) {
        const BspNode* node = tree->GetNode(i);
        if (node->planeIndex == -1) continue; // found no splitter: solid, no plane to portal
        const BspPlane* plane = tree->PlaneOf(node);
        if (!plane) ThrowMissing("missing plane");
        BspPortal* portal = NewBspPortal().release();
        FragmentList owner(portal);
        const BspBounds& bounds = (boundsChoice >> 8) ? root->bounds : node->bounds;
        if (!portal->InitFromPlane(*plane, bounds)) ThrowBspBadAlloc();
        portal->nodeIndex = i;
        FragmentList fragments = PushPortal(0, owner.PopFront());
        StorePortals(fragments);
    }
    if (statistics) statistics->portals = tree->PortalCount();
    return true;
}

// The fragments of the portal that end in leaves, each with the leaves it reached.
BspPortalBuilder::FragmentList BspPortalBuilder::PushPortal(int index, BspPortal* portal) {
    FragmentList owner(portal);
    const BspNode* node = tree->GetNode(index);
    if (!node) ThrowMissing("missing node");
    if (node->planeIndex == -1) return {}; // solid
    const BspPlane* plane = tree->PlaneOf(node);
    if (!plane) ThrowMissing("missing plane");
    const int back = node->backChild;
    if (back >= 0 && !tree->IsChildNode(index, back)) ThrowMissing("missing node");

    switch (portal->Classify(*plane)) {
    case kBspFront:
        return PushFront(index, owner.PopFront());
    case kBspBack:
        if (back < 0) return {};
        return PushPortal(back, owner.PopFront());
    case kBspOnPlane: {
        FragmentList reached = PushFront(index, owner.PopFront());
        if (back < 0) return reached;
        FragmentList result;
        while (BspPortal* fragment = reached.PopFront())
            result.Join(PushPortal(back, fragment));
        return result;
    }
    default: {
        BspPortal* frontPiece = NewBspPortal().release();
        FragmentList frontOwner(frontPiece);
        BspPortal* backPiece = NewBspPortal().release();
        FragmentList backOwner(backPiece);
        const int result = portal->SplitKeepingPortalFields(*plane, frontPiece, backPiece);
        if (result < 0) ThrowBspBadAlloc();
        delete owner.PopFront();
        FragmentList joined = PushFront(index, frontOwner.PopFront());
        if (back >= 0) joined.Join(PushPortal(back, backOwner.PopFront()));
        return joined;
    }
    }
}

// Down the front side of a node: into its front child, or into its leaf.
BspPortalBuilder::FragmentList BspPortalBuilder::PushFront(int index, BspPortal* portal) {
    FragmentList owner(portal);
    const int front = tree->GetNode(index)->frontChild;
    if (front >= 0) {
        if (!tree->IsChildNode(index, front)) ThrowMissing("missing node");
        return PushPortal(front, owner.PopFront());
    }
    const int leaf = -(front + 1);
    if (leaf >= tree->LeafCount()) ThrowMissing("missing leaf");
    const int side = LeafSide(portal->nodeIndex, leaf);
    if (side == 2) return {};
    (side == 0 ? portal->frontLeaf : portal->backLeaf) = leaf;
    ++portal->leafCount;
    return owner;
}

int BspPortalBuilder::LeafSide(int node, int leaf) const {
    int child = leafParent_[leaf];
    if (child < 0) return 2;
    if (child == node) return 0;
    // Parents always come before their children, so the climb ends at the root.
    for (int parent = nodeParent_[child]; parent >= 0; child = parent, parent = nodeParent_[parent])
        if (parent == node) return tree->GetNode(parent)->frontChild == child ? 0 : 1;
    return 2;
}

void BspPortalBuilder::StorePortals(FragmentList& list) {
    while (BspPortal* fragment = list.PopFront()) {
        FragmentList owner(fragment);
        const int a = fragment->frontLeaf, b = fragment->backLeaf;
        if (fragment->leafCount != 2 || !tree->GetLeaf(a) || !tree->GetLeaf(b)) continue;
        BspBounds bounds;
        fragment->GrowBounds(bounds);
        const int existing = FindPortalForLeaves(a, b);
        if (existing >= 0) {
            BspBounds old;
            tree->GetPortal(existing)->GrowBounds(old);
            if (bounds.Size().Length() <= old.Size().Length()) continue;
            tree->SetPortal(existing, std::unique_ptr<BspPortal>(owner.PopFront()));
            continue;
        }
        const int index = tree->AppendPortal(std::unique_ptr<BspPortal>(owner.PopFront()));
        tree->GetLeaf(a)->AddPortal(index);
        tree->GetLeaf(b)->AddPortal(index);
    }
}

int BspPortalBuilder::FindPortalForLeaves(int a, int b) const {
    for (int i = 0; i < tree->PortalCount(); ++i) {
        const BspPortal* p = tree->GetPortal(i);
        if (!p) continue;
        if ((p->frontLeaf == a && p->backLeaf == b) || (p->frontLeaf == b && p->backLeaf == a))
            return i;
    }
    return -1;
}
