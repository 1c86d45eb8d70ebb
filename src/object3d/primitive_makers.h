// Commands that make a new numbered object holding one generated or copied mesh, and one that gives
// an existing object a single empty mesh for the vertex-editing commands to fill. A maker stops,
// changing nothing, when the number is illegal or in use (7006, 7007); a mesh that cannot be set
// up raises 7002 (7029 for the sphere) and leaves no object under the number. Every made object
// starts untextured, or with the given image for MakeObjectFromMesh.
#pragma once

#include <cstdint>

// A copy of mesh item `mesh`; 7001 and 7003 for the mesh number, 7002 for an unusable object one.
void MakeObjectFromMesh(std::int32_t n, std::int32_t mesh, std::int32_t image);
void MakeObjectSphere(std::int32_t n, float size, std::int32_t rings = 12,
                      std::int32_t segments = 12);
// Facing the camera of a new scene (turned 180 degrees about y), seen from both sides.
void MakeObjectPlane(std::int32_t n, float width, float height);
void MakeObjectPlane(std::int32_t n, std::int32_t size);
// The same plane built facing -z, not turned.
void MakeObjectPlaneFacingNegativeZ(std::int32_t n, float width, float height);
// Seen from both sides; its normals face -z.
void MakeObjectTriangle(std::int32_t n, float x1, float y1, float z1, float x2, float y2, float z2,
                        float x3, float y3, float z3);
void MakeObjectBox(std::int32_t n, float width, float height, float depth);
void MakeObjectBox(std::int32_t n, float size);
void MakeObjectPyramid(std::int32_t n, float size);
// An open tube of height and width size; an open cone of the same size.
void MakeObjectCylinder(std::int32_t n, float size);
void MakeObjectCone(std::int32_t n, float size);
// Object n's frames and meshes replaced by one frame with one mesh of the FVF and counts, its
// vertices and indices zero. 7002, the object as it was, when such a mesh cannot be made (an
// unusable FVF, a negative count, more than 65,535 vertices or indices).
void ReplaceObjectWithEmptyMesh(std::int32_t n, std::uint32_t fvf, std::int32_t vertexCount,
                                std::int32_t indexCount);
