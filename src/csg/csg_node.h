// The boolean machinery of the CSG library: the union of any number of polygon sets, and the
// operation object that loads triangle meshes as polygon sets, runs the configured steps on them
// and turns the surviving polygons back into a triangle list. Solids keep the trees' convention:
// polygon normals point out of the solid.
#pragma once

#include "core/win32.h"

#include "csg/bsp_tree.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

struct MeshRecord;

// Every tree the CSG operations build: copies in the polygon vector (storage mode 0), split
// weight 3, the first 60 candidates, marked back lists dropped.
inline constexpr BspTreeSettings kCsgTreeSettings{1, 0, 3.0f, 60, 1, 0, 1, 0};

// A tree build that gave up with a negative split result.
class CsgBuildError : public std::runtime_error {
public:
    CsgBuildError() : std::runtime_error("tree build failed") {}
};

struct CsgUnionStatistics {
    std::int32_t sets = 0;
    std::int32_t polygonsIn = 0;
    std::int32_t polygonsOut = 0;
    std::int32_t polygonsRemoved = 0; // in - out (negative when cuts made more than they took)
};

class CsgUnionBuilder : public BspHeapObject {
public:
    CsgUnionBuilder() = default;
    CsgUnionBuilder(const CsgUnionBuilder&) = delete;
    CsgUnionBuilder& operator=(const CsgUnionBuilder&) = delete;
    virtual ~CsgUnionBuilder() = default;

    void AddSet(BspPolygonSet* set) { sets.Append(set); }
    // The surface of the union of the sets into result: each pair of overlapping sets clips
    // the other's polygons once, at the turn of the lower index; where faces of two sets lie in
    // one plane facing the same way, the later set's survive. Returns 0; throws BspBadAlloc or
    // CsgBuildError.
    int Unite();

    BspArray<BspPolygonSet*> sets; // the caller's
    std::unique_ptr<BspPolygonSet> result;
    std::uint8_t option = 0; // the node's union flag, kept only
    void* owner = nullptr;
    CsgUnionStatistics* statistics = nullptr; // may be null
};

struct CsgInputStatistics {
    std::int32_t sets = 0;
    std::int32_t polygons = 0;
    std::int32_t spare[2] = {};
};

// Words that only set the last-operation code (2) through their first byte.
struct CsgOptionBlock {
    std::int32_t words[7] = {0, 2, 1, 0, 0, 0, -1};
};

// The first byte of first and second and the last byte set the last-operation codes 4, 5, 6.
struct CsgOptionWords {
    std::uint16_t first = 0x0101;
    std::uint16_t second = 0x0001;
    std::uint8_t third = 2;
    std::uint8_t last = 1;
};

// One CSG operation: made for one command, configured, run, read, destroyed.
class CsgBspNode : public BspHeapObject {
public:
    CsgBspNode() = default;
    CsgBspNode(const CsgBspNode&) = delete;
    CsgBspNode& operator=(const CsgBspNode&) = delete;
    virtual ~CsgBspNode();

    // Option groups by index: 0 union flag, 1 option block, 2 tree settings, 3 first option
    // word, 4 second option word and the byte after it, 5 last byte; others do nothing.
    void SetOption(int index, const void* data);
    void GetOption(int index, void* out) const;
    // -1 input, 0 union, 1 to 5 the further records (2: the tree's).
    void GetStatistics(int index, void* out) const;
    // Deletes the sets, the tree and the result.
    void Clear();

    bool BuildTreeFlag() const { return (treeSettings.ownerWord & 0xFF) != 0; }
    void SetBuildTreeFlag(bool on) {
        treeSettings.ownerWord = (treeSettings.ownerWord & ~0xFF) | (on ? 1 : 0);
    }
    // Clears the option byte and the three option bytes (the last one kept when asked).
    void ClearOptionBytes(bool keepLast);

    // Loads meshA (and meshB when given) as polygon sets and runs the configured steps. The
    // matrices are not read: callers place the meshes beforehand. The meshes are never changed.
    // False for a mesh that is not made of triangles or cannot be read, and when anything
    // beneath fails; the node then holds nothing half-made.
    bool Run(MeshRecord* meshA, const D3DXMATRIX& matrixA, MeshRecord* meshB,
             const D3DXMATRIX& matrixB);
    // With two sets or more, replaces them by the set of their union's surface.
    bool UniteSets();
    // Compiles every set into the node's tree; the sets go.
    bool BuildTree();
    // Clips this node's tree's polygons by the other tree's solid.
    bool ClipAgainst(BspTree* otherTree, bool removeInSolid);
    // The surviving polygons as a triangle list: those not removed, or with fromLeaves each
    // polygon that reached a leaf, once. Nothing without a tree.
    void BuildResultVertices(bool fromLeaves);

    BspTree* Tree() const { return tree.get(); }
    const std::vector<BspVertex>& ResultVertices() const { return resultVertices; }
    int ResultVertexCount() const { return static_cast<int>(resultVertices.size()); }
    int SetCount() const { return sets.Count(); }
    BspPolygonSet* Set(int i) const { return i >= 0 && i < sets.Count() ? sets[i] : nullptr; }
    // Takes a set (null is kept as an empty slot).
    void AddSet(std::unique_ptr<BspPolygonSet> set);

    BspArray<BspPolygonSet*> sets; // owned
    std::uint8_t unionFlag = 1;
    CsgOptionBlock optionBlock;
    BspTreeSettings treeSettings = kCsgTreeSettings; // low byte of the first word: build a tree
    CsgOptionWords optionWords;
    CsgInputStatistics inputStatistics;
    CsgUnionStatistics unionStatistics;
    std::int32_t record1[3] = {};
    BspTreeStatistics treeStatistics;
    std::int32_t record3[2] = {};
    std::int32_t record4[4] = {};
    std::int32_t record5[4] = {};
    std::int32_t busy = 0;          // 1 while Run works
    std::int32_t lastOperation = 0; // 1 union, 2 option, 3 tree, 4 to 6 options: the last reached
    std::unique_ptr<BspTree> tree;
    std::vector<BspVertex> resultVertices; // three a triangle

private:
    void DeleteSets();
    void RunSteps();
};

// The mesh's triangles as face polygons: 32-byte vertices of format 274 copied byte for byte,
// face normals from the winding. Indexed lists, plain lists, strips and fans are read (a mesh
// in another format or layout through a converted copy; the mesh is never changed); triangles
// without area are left out, since as splitters they would put every polygon in their plane.
// Null for a mesh that is not made of triangles, an index that names no vertex, or a copy the
// platform cannot convert.
std::unique_ptr<BspPolygonSet> LoadCsgPolygonSet(const MeshRecord* mesh);
