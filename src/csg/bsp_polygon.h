// Polygons of the CSG library: convex polygons of 32-byte vertices, the face polygons that meshes
// become, the tree polygons that BSP trees compile and clip, and the portals between their leaves.
// Virtual operations are declared in slot order. Every allocation throws BspBadAlloc on failure.
#pragma once

#include "csg/bsp_maths.h"
#include "csg/bsp_memory.h"

#include <cstdint>
#include <memory>

// The mesh vertex layout of format 274 (position, normal, one texture-coordinate pair): meshes
// are copied to and from polygons byte for byte.
struct BspVertex {
    BspVector position;
    BspVector normal;
    float u = 0.0f;
    float v = 0.0f;

    BspVertex() = default;
    explicit BspVertex(const BspVector& p) : position(p) {}
};
static_assert(sizeof(BspVertex) == 32, "BspVertex is the 32-byte mesh vertex");

constexpr int kBspVertexStride = sizeof(BspVertex);

// kBspFront, kBspBack, kBspOnPlane (all within 0.01 of the plane, and for no points at all) or
// kBspSpanning, for count positions stride bytes apart.
int ClassifyPointsToPlane(const BspPlane& plane, const void* points, int count, int stride);
int ClassifySegmentToPlane(const BspPlane& plane, const BspVector& a, const BspVector& b);

class BspPolygon : public BspHeapObject {
public:
    BspPolygon() = default;
    BspPolygon(const BspPolygon&) = delete;
    BspPolygon& operator=(const BspPolygon&) = delete;

    virtual ~BspPolygon(); // slot 0
    // Slot 1. Fills front and back (either may be null) with the parts on each side; a polygon
    // in the plane goes whole to both. An output receives exactly the vertices gathered for it,
    // or is left untouched when it gathered none. Returns 0.
    virtual int Split(const BspPlane& plane, BspPolygon* front, BspPolygon* back);
    // Slot 2. Makes this a quad in the plane, large enough to cover the bounds.
    virtual bool InitFromPlane(const BspPlane& plane, const BspBounds& bounds);

    // Grows the array by n vertices, keeping the old ones; returns the old count, -1 for n < 1.
    int AddVertices(int n);
    void Clear();
    // One zeroed vertex at index at (0 to count), the tail moved up.
    bool InsertVertex(int at);
    // Replaces the vertices by a copy of count vertices from source.
    void SetVertices(const BspVertex* source, int n);
    void CopyVerticesFrom(const BspPolygon& source) { SetVertices(source.vertices, source.count); }
    // Hands an array from BspAllocate over to the polygon, freeing the old one.
    void AdoptVertices(BspVertex* array, int n);

    bool IsPlanar() const;
    float Area() const;
    BspVector ComputeNormal() const;
    bool IsConvex() const;
    int Classify(const BspPlane& plane) const {
        return ClassifyPointsToPlane(plane, vertices, count, kBspVertexStride);
    }
    // Moves every vertex onto the plane along its normal.
    void SnapToPlane(const BspPlane& plane);
    void GrowBounds(BspBounds& bounds) const {
        bounds.GrowByPoints(vertices, count, kBspVertexStride, false);
    }

    BspVertex* vertices = nullptr; // owned, from BspAllocate
    std::int32_t count = 0;
};

// A polygon of a mesh face: its face normal and five attribute words that the library carries
// through copies and splits without reading them.
class BspFacePolygon : public BspPolygon {
public:
    // Slot 2: the quad, with the plane's normal as face normal.
    bool InitFromPlane(const BspPlane& plane, const BspBounds& bounds) override {
        return InitFromPlaneKeepingNormal(plane, bounds);
    }
    bool InitFromPlaneKeepingNormal(const BspPlane& plane, const BspBounds& bounds);
    // Slot 3: Split, then the face normal and attributes copied into both parts.
    virtual int SplitKeepingAttributes(const BspPlane& plane, BspFacePolygon* front,
                                       BspFacePolygon* back);

    void CopyFaceFrom(const BspFacePolygon& source); // face normal and attributes

    BspVector faceNormal;
    std::int32_t attributes[5] = {-1, -1, 0, 0, 0};
};

// A polygon held by a BspTree, in its working lists and polygon vector.
class BspTreePolygon : public BspFacePolygon {
public:
    // Slot 4: SplitKeepingAttributes, then the splitter mark, polygon id and plane index copied
    // into both parts, so every fragment carries the id of the polygon it came from.
    virtual int SplitKeepingTreeFields(const BspPlane& plane, BspTreePolygon* front,
                                       BspTreePolygon* back);

    std::uint8_t splitterMark = 0; // served as a splitter, or lay in a splitter's plane
    std::int32_t polygonId = -1;
    std::uint8_t removed = 0;        // no longer part of the surface
    std::int32_t frontFragment = -1; // polygon-vector index of the front part of a clip split
    std::int32_t backFragment = -1;  // and of the back part
    BspTreePolygon* next = nullptr;  // working list link, not owning
    std::int32_t planeIndex = -1;    // into the tree's plane vector
};

// A piece of a node's plane between two leaves of a tree.
class BspPortal : public BspPolygon {
public:
    // Slot 3: Split, then the leaf count, generating node and both leaves copied into both parts.
    virtual int SplitKeepingPortalFields(const BspPlane& plane, BspPortal* front, BspPortal* back);

    BspPortal* nextFragment = nullptr; // fragment list links, not owning
    BspPortal* previousFragment = nullptr;
    std::uint8_t leafCount = 0;
    std::int32_t nodeIndex = -1; // the node whose plane made it
    std::int32_t frontLeaf = 2;
    std::int32_t backLeaf = 2;
};

// A default tree polygon, or one with source's face normal, attributes and vertices.
std::unique_ptr<BspTreePolygon> NewBspPolygon(const BspFacePolygon* source = nullptr);
std::unique_ptr<BspPortal> NewBspPortal();

// Polygons without the splitter mark in a working list.
int CountBspPolygons(const BspTreePolygon* list);

class BspTree;

// The polygons of one mesh.
class BspPolygonSet : public BspHeapObject {
public:
    BspPolygonSet() = default;
    BspPolygonSet(const BspPolygonSet&) = delete;
    BspPolygonSet& operator=(const BspPolygonSet&) = delete;
    virtual ~BspPolygonSet();

    void Clear();
    // Appends n new face polygons; returns the index of the first, or -1 for n < 1. On failure
    // the set is unchanged.
    int Grow(int n);
    void ComputeBounds();
    // Appends copies of the polygons of the tree's polygon vector that survived clipping (not
    // removed, three vertices or more), after clearing the set when asked, and bounds the set.
    // False for no tree or no survivors.
    bool CopyFromTree(const BspTree* tree, bool clearFirst);

    BspFacePolygon** polygons = nullptr; // owned array of owned polygons
    std::int32_t count = 0;
    BspBounds bounds;
};

// A pair of raw buffers that nothing outside its own members uses.
class BspPolygonBuffer : public BspHeapObject {
public:
    BspPolygonBuffer() = default;
    explicit BspPolygonBuffer(std::uint16_t size);
    BspPolygonBuffer(const BspPolygonBuffer&) = delete;
    BspPolygonBuffer& operator=(const BspPolygonBuffer&) = delete;
    virtual ~BspPolygonBuffer();

    // Replaces the second buffer by one of size bytes; false when it cannot be allocated.
    bool Resize(std::uint16_t size);
    void ReleaseBuffers();

    void* buffer = nullptr;
    std::uint16_t size = 0;
    void* secondBuffer = nullptr;
};
