// Portals of a compiled tree: for every node, the pieces of its plane that join two leaves, one
// per pair of leaves (the largest wins). Complete, though no command uses it yet.
#pragma once

#include "csg/bsp_tree.h"

#include <cstdint>

struct BspPortalStatistics {
    std::int32_t nodes = 0;
    std::int32_t portals = 0;
};

class BspPortalBuilder : public BspHeapObject {
public:
    BspPortalBuilder() = default;
    BspPortalBuilder(const BspPortalBuilder&) = delete;
    BspPortalBuilder& operator=(const BspPortalBuilder&) = delete;
    virtual ~BspPortalBuilder() = default;

    // Stores the tree's portals in its portal vector and its leaves' portal lists. False for a
    // null tree; throws std::out_of_range for a tree without a root or with a link or plane
    // that is not there, and BspBadAlloc, after deleting what it held, when memory runs out.
    bool GeneratePortals(BspTree* tree);

    // High byte set: every portal quad covers the root's bounds, not its own node's.
    std::uint16_t boundsChoice = 0;
    BspTree* tree = nullptr;
    BspPortalStatistics* statistics = nullptr;

private:
    class FragmentList;

    FragmentList PushPortal(int node, BspPortal* portal);
    FragmentList PushFront(int node, BspPortal* portal);
    // 0 when the leaf lies in front of the node, 1 behind it, 2 in neither subtree.
    int LeafSide(int node, int leaf) const;
    void StorePortals(FragmentList& list);
    int FindPortalForLeaves(int a, int b) const;

    BspArray<std::int32_t> nodeParent_; // parent of each node, -1 for the root or none
    BspArray<std::int32_t> leafParent_; // node whose front child each leaf is
};
