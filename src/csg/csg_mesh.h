// The CSG operations on a pair of meshes placed in the world by their matrices: union, difference,
// clip and box removal, and the weld that turns their triangle output into an indexed mesh. The
// first mesh receives the result; the second (the cutter) keeps its vertices exactly. Each
// returns whether the first mesh got a result; no exception leaves them, and running out of
// memory raises 101 with the first mesh as it was.
#pragma once

#include "core/win32.h"

#include "csg/bsp_polygon.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct MeshRecord;
class CsgBspNode;

// The most vertices and indices a result mesh takes (16-bit indices, and the mesh set-up's
// limit on the index count).
constexpr std::size_t kCsgMostVertices = 65535;
constexpr std::size_t kCsgMostIndices = 65535;

bool CsgUnion(MeshRecord* a, D3DXMATRIX matrixA, MeshRecord* b, D3DXMATRIX matrixB);
// A minus B, with B's surface inside A as the walls of the cut.
bool CsgSubtract(MeshRecord* a, D3DXMATRIX matrixA, MeshRecord* b, D3DXMATRIX matrixB);
// A's surface inside B removed, no walls added.
bool CsgClip(MeshRecord* a, D3DXMATRIX matrixA, MeshRecord* b, D3DXMATRIX matrixB);
// A's triangles with all three corners inside B's box (grown by 0.1) removed; A's vertices stay.
// A cutter of more than 12 triangles must be solid to a grid of rays.
bool CsgRemoveInsideBox(MeshRecord* a, D3DXMATRIX matrixA, MeshRecord* b, D3DXMATRIX matrixB);

// All eight floats exactly equal (as floats: 0 equals -0, a NaN equals nothing).
bool CompareCsgVertices(const BspVertex& a, const BspVertex& b);

// One output vertex per distinct vertex value, in order of first use, and an index per input
// vertex.
struct CsgWeld {
    std::vector<BspVertex> vertices;
    std::vector<std::uint32_t> indices;
};
CsgWeld WeldCsgVertices(const BspVertex* vertices, std::size_t count);

// The triangles welded and written over the mesh in format 274; false, the mesh unchanged, when
// they do not fit a mesh (kCsgMostVertices, kCsgMostIndices) or memory runs out (101).
bool WriteCsgTriangles(MeshRecord* mesh, const std::vector<BspVertex>& corners);
// P's triangles, then Q's (may be null) turned round to face into the cut, written over the mesh.
bool WriteCsgResultToMesh(const CsgBspNode& p, const CsgBspNode* q, MeshRecord* mesh);

// Raises 101, out of memory; false.
bool CsgOutOfMemory();

// While one lives, the data each mesh had before its first CSG result is kept rather than freed,
// so that an operation over several pairs of meshes that runs out of memory part way puts every
// first mesh back as it was. One at a time.
class CsgJournal {
public:
    CsgJournal();
    ~CsgJournal(); // frees what was kept: the results stand
    CsgJournal(const CsgJournal&) = delete;
    CsgJournal& operator=(const CsgJournal&) = delete;

    // Room for the meshes it may keep; false (101 raised) without it.
    bool Reserve(std::size_t meshes);
    // Whether a result ran out of memory since it began.
    bool Failed() const { return failed_; }
    // Every mesh kept takes its old data back; the results go.
    void Undo() noexcept;

    // For the writers: the mesh's data, about to be replaced, kept if it is the first; else
    // freed. Then the run out of memory.
    void Keep(MeshRecord* mesh) noexcept;
    void Fail() { failed_ = true; }
    static CsgJournal* Active();

private:
    struct Kept;
    std::vector<Kept> kept_;
    bool failed_ = false;
};

// Every position, through the mesh's offset map, times the matrix with the homogeneous divide.
void TransformMeshPositions(MeshRecord* mesh, const D3DXMATRIX& matrix);
