// Object world matrices, world centres and bounds.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <memory>
#include <vector>

struct ObjectRecord;
struct FrameRecord;
struct MeshRecord;

// Rx, Ry, Rz and R from the angles, in the object's rotation order.
void CalculateObjectRotation(ObjectRecord* object);
// R from the free-flight matrix when that mode is on, else from the angles.
void UpdateObjectRotation(ObjectRecord* object);
// S, T, R, RS and W; glueFrame is the frame of the object this one is glued to, or null.
bool CalculateObjectWorld(ObjectRecord* object, FrameRecord* glueFrame);
// Resolves the glue chain, then CalculateObjectWorld.
bool UpdateObjectWorld(ObjectRecord* object);
// The frame's world matrix from the object's.
void CopyGlueMatrices(ObjectRecord* object, FrameRecord* frame, MeshRecord* mesh);
// Destroys and frees the record and clears the pointer; true.
bool DeleteObjectRecord(ObjectRecord** object);

// The world centre: the bounds centre's offset from the position, in world orientation and scale.
bool UpdateObjectCentre(ObjectRecord* object);
float GetObjectCentreWorldX(ObjectRecord* object);
float GetObjectCentreWorldY(ObjectRecord* object);
float GetObjectCentreWorldZ(ObjectRecord* object);
float GetObjectCentrePositionX(ObjectRecord* object);
float GetObjectCentrePositionY(ObjectRecord* object);
float GetObjectCentrePositionZ(ObjectRecord* object);
void SetObjectCentrePosition(ObjectRecord* object, float x, float y, float z);

// One point into running bounds: pass 0 the box and a centre sum, later passes the squared radius.
void AccumulateBounds(std::int32_t pass, float x, float y, float z, D3DXVECTOR3* minimum,
                      D3DXVECTOR3* maximum, D3DXVECTOR3* centre, float* radius);
bool CalculateMeshBounds(MeshRecord* mesh);
bool GetVertexBounds(std::int32_t pass, MeshRecord* mesh, const D3DXMATRIX* matrix,
                     D3DXVECTOR3* minimum, D3DXVECTOR3* maximum, D3DXVECTOR3* centre,
                     float* radius);
// Box, centre and radius over every frame mesh, and per animation frame; false for null, or
// without the memory to measure (the bounds are then as they were).
bool CalculateObjectBounds(ObjectRecord* object);
// What the measuring needs, had ahead by a change that must not fail once it alters the object.
struct BoundsRoom {
    std::unique_ptr<D3DXVECTOR3[]> minimum, maximum, centre; // per animation frame
    std::unique_ptr<float[]> radius;
    std::int32_t animationFrames = 0; // entries of each of the four
    std::vector<D3DXMATRIX> before;   // a matrix per frame
};
// Room for the object as it is, or with `moreFrames` more frames; false when it cannot be had.
bool ReserveObjectBounds(const ObjectRecord* object, BoundsRoom& room,
                         std::int32_t moreFrames = 0) noexcept;
// The same measuring in the room; false, the bounds as they were, when it does not fit.
bool CalculateObjectBounds(ObjectRecord* object, BoundsRoom& room);
