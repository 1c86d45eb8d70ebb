// Solid-leaf BSP trees of the CSG library. Polygon normals point out of the solid: every node
// splits space by a polygon's plane, the front side ends in leaves that collect the polygons
// reaching them, and a back child of -1 is solid space.
#pragma once

#include "csg/bsp_polygon.h"

#include <cstdint>
#include <memory>

// Copied into a tree as one block.
struct BspTreeSettings {
    std::int32_t ownerWord = 1;         // kept for the tree's owner, not read by the tree
    std::int32_t storageMode = 0;       // 1: compiled polygons become the polygon vector; 0: copies
    float splitWeight = 3.0f;           // imbalance that one spanning polygon costs a splitter
    std::int32_t candidateLimit = 60;   // 0: every polygon of a list is a candidate
    std::uint8_t dropBackSplitters = 1; // a back list of marked polygons only becomes solid
    std::uint8_t enclosingBox = 0;      // read by the tree's owner
    std::uint8_t ownerByte1 = 1;
    std::uint8_t ownerByte2 = 0;
};
static_assert(sizeof(BspTreeSettings) == 20);

struct BspTreeStatistics {
    std::int32_t polygonsBefore = 0;
    std::int32_t polygonsKept = 0; // in the polygon vector
    std::int32_t nodes = 0;
    std::int32_t planes = 0;
    std::int32_t leaves = 0;
};

class BspNode : public BspHeapObject {
public:
    virtual ~BspNode() = default;
    // By the vertices of every polygon of a working list.
    void GrowBounds(const BspTreePolygon* list, bool resetFirst);

    std::int32_t planeIndex = -1;
    // A node index, or for a negative value v the leaf -(v + 1).
    std::int32_t frontChild = -1;
    // A node index, or -1: solid space.
    std::int32_t backChild = -1;
    BspBounds bounds;
};

class BspLeaf : public BspHeapObject {
public:
    virtual ~BspLeaf() = default;
    // Records the ids of the list's polygons (each once) and bounds them.
    void AddPolygons(const BspTreePolygon* list);
    void AddPortal(int portalIndex);
    bool HasPolygons() const { return idCount > 0; }

    BspArray<std::int32_t> polygonIds;
    BspArray<std::int32_t> portals;
    std::int32_t idCount = 0;
    std::int32_t portalCount = 0;
    BspBounds bounds;
};

// The polygon that splits a working list best: the fewest spanning polygons (each costing
// weight) and the least imbalance, the earliest polygon winning a tie. Only unmarked polygons
// are candidates, and only the first candidateLimit of them when it is not 0. Null when the
// list holds none.
BspTreePolygon* ChooseBspSplitter(BspTreePolygon* list, int candidateLimit, float splitWeight);

class BspTree : public BspHeapObject {
public:
    BspTree() = default;
    BspTree(const BspTree&) = delete;
    BspTree& operator=(const BspTree&) = delete;
    virtual ~BspTree();

    // Queues copies of the polygons for the next build (polygons without vertices are skipped);
    // with copy, and storage mode other than 1, a second copy goes into the polygon vector.
    // 0 done, 1 nothing given. A build list that is empty first clears the tree. Allocation
    // failure clears the tree and throws BspBadAlloc.
    int AddPolygons(BspFacePolygon* const* polygons, int count, bool copy);
    // Queues six inward-facing quads 10 units outside the queued polygons. 0 done, 1 when
    // nothing is queued.
    int MakeEnclosingBoxPolygons(bool copy);
    // Compiles the queued polygons: 0 done, 1 nothing queued, a negative split result passed
    // up. After an allocation failure (BspBadAlloc) the tree holds partial results until Clear.
    int Build();
    // Deletes everything the tree holds.
    void Clear();

    // Leaf index of the point, or -1 for solid space.
    int FindLeaf(const BspVector& point) const;
    bool SphereTouchesSolid(const BspVector& point, float radius, int node) const;
    bool PolygonTouchesSolid(const BspPolygon* polygon, int node) const;
    // Some polygon of other's polygon vector reaches this tree's solid.
    bool IntersectsPolygonsOf(const BspTree* other) const;

    // Pushes the polygons of other's polygon vector through this tree and marks removed what
    // goes: with removeInSolid the parts inside this tree's solid, else the parts outside it.
    // A face lying in one of this tree's planes and facing its way counts as behind it with
    // coplanarToBack, else in front. A polygon cut by a plane is marked removed and names its
    // two parts, appended to other's vector. 0 done, 1 nothing to clip, a negative split result
    // as it came; BspBadAlloc when memory runs out. Callers start at node 0 with no list.
    int ClipPolygons(BspTree* other, bool removeInSolid, bool coplanarToBack, int node = 0,
                     BspTreePolygon* list = nullptr);
    // Makes each cut polygon whole again whose two parts both survived. From the last polygon
    // back, so that parts cut again collapse first.
    void ScanFragments();

    int NodeCount() const { return nodes_.Count(); }
    int PlaneCount() const { return planes_.Count(); }
    int LeafCount() const { return leaves_.Count(); }
    int PolygonCount() const { return polygons_.Count(); }
    int PortalCount() const { return portals_.Count(); }
    int PendingCount() const { return pending_.Count(); }
    BspNode* GetNode(int i) const { return InRange(i, nodes_) ? nodes_[i] : nullptr; }
    BspPlane* GetPlane(int i) const { return InRange(i, planes_) ? planes_[i] : nullptr; }
    BspLeaf* GetLeaf(int i) const { return InRange(i, leaves_) ? leaves_[i] : nullptr; }
    BspTreePolygon* GetPolygon(int i) const {
        return InRange(i, polygons_) ? polygons_[i] : nullptr;
    }
    BspPortal* GetPortal(int i) const { return InRange(i, portals_) ? portals_[i] : nullptr; }
    // Replace an element the tree owns (the old one is deleted); beyond the count, or given
    // null, they do nothing (and free what they were given). The vectors never hold null.
    void SetNode(int i, std::unique_ptr<BspNode> node) { Replace(nodes_, i, node.release()); }
    void SetPlane(int i, const BspPlane& plane);
    void SetLeaf(int i, std::unique_ptr<BspLeaf> leaf) { Replace(leaves_, i, leaf.release()); }
    void SetPolygon(int i, std::unique_ptr<BspTreePolygon> polygon) {
        Replace(polygons_, i, polygon.release());
    }
    void SetPortal(int i, std::unique_ptr<BspPortal> portal) {
        Replace(portals_, i, portal.release());
    }
    // Take an element into its vector; return its index, or -1 for null.
    int AppendPolygon(std::unique_ptr<BspTreePolygon> polygon);
    int AppendPortal(std::unique_ptr<BspPortal> portal);

    void SetSettings(const BspTreeSettings& settings) { settings_ = settings; }
    const BspTreeSettings& Settings() const { return settings_; }
    void SetStatistics(BspTreeStatistics* statistics) { statistics_ = statistics; }
    void SetOwner(void* owner) { owner_ = owner; }
    void* Owner() const { return owner_; }
    BspBounds* Bounds() { return &bounds_; }
    int PolygonCounter() const { return polygonCounter_; }
    const BspTreePolygon* BuildList() const { return buildList_; }
    // The plane a node splits by, or null for a node without one (solid space) or a bad index.
    const BspPlane* PlaneOf(const BspNode* node) const;
    // A node's child index refers to a later node of this tree: trees only link forwards, so a
    // walk that follows such links always ends.
    bool IsChildNode(int parent, int child) const { return child > parent && child < NodeCount(); }

private:
    struct WorkLists;
    struct BuildTask;
    struct ClipTask;

    template <class T> static bool InRange(int i, const BspArray<T*>& a) {
        return i >= 0 && i < a.Count();
    }
    template <class T> static void Replace(BspArray<T*>& a, int i, T* item) {
        if (!item) return;
        if (!InRange(i, a)) {
            delete item;
            return;
        }
        if (a[i] != item) delete a[i];
        a[i] = item;
    }
    void QueuePolygon(std::unique_ptr<BspTreePolygon> polygon, bool copy);
    void PreparePlanes();
    int FindOrAddPlane(const BspPlane& candidate);
    int BuildNode(int nodeIndex, BspTreePolygon* list);
    int DistributeAtNode(int nodeIndex, WorkLists& lists);
    void FinishNode(int nodeIndex, WorkLists& lists, BspArray<BuildTask>& tasks);
    int AppendNode();
    void MakeLeaf(int leafIndex, BspTreePolygon*& list);
    // countDown: the polygons leave the tree's count too.
    void DeleteList(BspTreePolygon*& list, bool countDown = false);
    // Moves the list into the pending-deletion vector; when that cannot grow it throws, the
    // polygon it could not take still at the head of the list.
    void PendList(BspTreePolygon*& list);
    // The same after a failure, where what cannot be kept is deleted at once.
    void CollectForDeletion(BspTreePolygon*& list) noexcept;
    void CollectForDeletion(WorkLists& lists) noexcept;
    // Sorts a clip list by the plane into front and back, cutting what spans it.
    int SortForClip(BspTree& other, const BspPlane& plane, bool coplanarToBack,
                    BspTreePolygon* list, BspTreePolygon*& front, BspTreePolygon*& back);

    BspTreePolygon* buildList_ = nullptr; // owned, waiting for Build
    std::int32_t polygonCounter_ = 0;     // next polygon id
    BspArray<BspNode*> nodes_;            // node 0 is the root
    BspArray<BspPlane*> planes_;          // shared by coplanar polygons
    BspArray<BspLeaf*> leaves_;
    BspArray<BspTreePolygon*> polygons_; // what clipping and output walk
    BspArray<BspPortal*> portals_;
    BspArray<BspTreePolygon*> pending_; // left over by a failed build, freed by Clear
    BspBounds bounds_;
    BspTreeSettings settings_;
    BspTreeStatistics* statistics_ = nullptr; // the caller's
    void* owner_ = nullptr;                   // stored only
};
