// The universe module: the static level world (records in universe/universe_record.h), the
// commands that create and delete it, the module's globals and the geometry helpers that the
// world's build, batches and queries share with the object engine.
#pragma once

#include "core/win32.h"

#include "universe/universe_record.h"

#include <cstdint>

// Beside the world pointer: the area count (the build and the level load write it) and the
// current area of the world's drawing, 1-based, 0 none. The statistics query reads both.
struct UniverseGlobals {
    std::int32_t areaCount = 0;
    std::int32_t currentArea = 0;
};
extern UniverseGlobals g_Universe;

// Commands.
// Replaces any world by a new one whose root node has these half extents; the object engine's
// static collision boxes go too.
void CreateUniverse(float x, float y, float z);
// Destroys the world, if any; the static collision boxes go in every case.
void DeleteUniverse();
// The object module's start: a world with root half extents 3000 on every axis. From here on the
// world is told when an image or effect its meshes use goes or is made again.
void CreateDefaultUniverse();
// The object module's end: the world goes, and is told of images and effects no longer.
void EndUniverseModule();
// The world's keepers of images and effects (universe_keepers.cpp): each lets the world's meshes
// and decal ring go of what is deleted, and take what is made again under its number.
void AddWorldKeepers();
void RemoveWorldKeepers();
// Replaces the world by a new, empty one (none when make is false), starting the module's
// globals afresh; the new world, null when none was made.
Universe* ReplaceUniverse(bool make);

// Meshes of the batches.
// Same texture count and vertex format, both with slot arrays, and slot by slot the same file
// names (letter case counts); two meshes with no textures compare equal.
bool CompareMeshTextureLists(const MeshRecord* a, const MeshRecord* b);
// Copies the render states, the material, the bounds and a fresh copy of the texture slots;
// false when either mesh is missing or the slots cannot be had.
bool CopyMeshRenderSettings(const MeshRecord* from, MeshRecord* to);

// Geometry helpers.
// The eight corners of a node box (centre +- half extents).
void GetNodeCorners(const UniverseNode& node, D3DXVECTOR3 corners[8]);
// Every vertex position of the mesh lies in the node box; false when either is missing or the
// mesh has no vertices.
bool MeshInsideNodeBox(const UniverseNode* node, const MeshRecord* mesh);
// Positions of vertices first .. end - 1 transformed as points, normals as directions.
void TransformMeshVertexRange(MeshRecord* mesh, std::int32_t first, std::int32_t end,
                              const D3DXMATRIX& matrix);
void TransformMeshVertices(MeshRecord* mesh, D3DXMATRIX matrix);
// The boxes overlap on every axis; touching counts.
bool BoxesOverlap(const D3DXVECTOR3& minimumA, const D3DXVECTOR3& maximumA,
                  const D3DXVECTOR3& minimumB, const D3DXVECTOR3& maximumB);
// One vertex of a polygon: position, normal, u, v.
struct UniversePolygonVertex {
    D3DXVECTOR3 position;
    D3DXVECTOR3 normal;
    float u, v;
};
// Every polygon vertex lies within the mesh's bounds widened by 1; true for no vertices, false
// when the mesh is missing.
bool PointInsideBoxes(const std::vector<UniversePolygonVertex>* polygon, const MeshRecord* mesh);
// Tests the ray from `from` towards `to` against every triangle of the mesh. A hit nearer than
// *bestDistance (measured along the ray in engine units) lowers it, fills contact when given, and
// makes the answer true.
bool IntersectMeshRay(const MeshRecord* mesh, const D3DXVECTOR3& from, const D3DXVECTOR3& to,
                      float* bestDistance, UniverseRayContact* contact);
// True when the segment crosses a triangle of the mesh strictly between its ends (a point on a
// face does not shadow itself, nor does a light sitting on an occluder).
bool IntersectSegmentWithMesh(const MeshRecord* mesh, const D3DXVECTOR3& from,
                              const D3DXVECTOR3& to);

// Debug drawing on the object module's device (universe_debug_draw.cpp); each leaves depth test
// and depth writing on.
// A side quad as a wireframe with additive blending, no culling, lighting or depth.
void DrawWireQuad(const UniverseNodeSide& side);
// A line between two points.
void DrawRecordSegmentLine(const D3DXVECTOR3& from, const D3DXVECTOR3& to);
// An identity world transform.
void ResetWorldTransform();
// The twelve edges of the box (centre, half extents) as lines.
void DrawBoundingBoxLines(const UniverseNode& box);
// Whether the eye lies on the walking area's side of the portal: (centre - eye) . normal of its
// side >= 0; true for a missing eye or a side code outside 0 to 5.
bool PortalFacing(const UniversePortal& portal, const D3DXVECTOR3* eye);
