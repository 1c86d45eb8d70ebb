// Vertex animation on the processor: bone skinning, vertex keyframes and per-vertex matrices,
// shadow-volume skinning and extrusion, and the blend weights written for effects that skin on
// the graphics card. Each reads the mesh's vertex backup and writes its vertex array.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct ObjectRecord;
struct FrameRecord;
struct MeshRecord;

// Animates the frame's mesh by whichever kind of vertex animation it carries; true.
bool UpdateFrameMesh(ObjectRecord* object, FrameRecord* frame);
bool UpdateFrameMeshVertices(ObjectRecord* object, FrameRecord* frame, MeshRecord* mesh);
// Positions and normals from the backup, weighted over the bones' matrices.
void SkinMeshVertices(ObjectRecord* object, FrameRecord* frame, MeshRecord* mesh);
void SkinFrameMesh(ObjectRecord* object, FrameRecord* frame);
// The frame's mesh between its two vertex keyframes around the current frame.
void InterpolateMeshVertexFrames(ObjectRecord* object, FrameRecord* frame);
// Every vertex of every mesh by its own matrix of the current frame's table.
void UpdateVertexMatrixAnimation(ObjectRecord* object);
// The shadow mesh skinned like its source, then pushed away from the light (extrusion -1: 2000).
bool UpdateShadowMeshFromBones(float lightX, float lightY, float lightZ, MeshRecord* source,
                               float extrusion, MeshRecord* shadow, const D3DXMATRIX* world);
// The same; nothing when either mesh is missing. The trailing value is not used.
bool UpdateShadowVolume(const D3DXVECTOR3* light, float extrusion, MeshRecord* source,
                        MeshRecord* shadow, const D3DXMATRIX* world, std::int32_t unused = 0);
// Up to four bone indices and weights per vertex, written into the D3DX mesh's vertices at the
// two byte offsets.
void BuildVertexBlendWeights(MeshRecord* mesh, ID3DXMesh* dxMesh, std::uint32_t weightOffset,
                             std::uint32_t indexOffset);
