// Box tests between objects: a world-aligned test that pushes the first object out along its axis
// of least penetration, and an oriented (separating-axis) test for turned objects and for single
// limbs. Responses go to g_Collision.response; subtracting the response from the first object's
// position takes it out of the second.
#pragma once

#include "core/win32.h"

#include <cstdint>

struct CollisionBlock;
struct ObjectRecord;

// A box in the world: its centre, half its size along each of its own unit axes.
struct OrientedBox {
    D3DXVECTOR3 centre{0, 0, 0};
    D3DXVECTOR3 halfExtents{0, 0, 0};
    D3DXVECTOR3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

// Above 0 when the objects' boxes collide. Zeroes the response first, then takes the world-aligned
// test when both objects use boxes or the first is of collision type 1, else the oriented test
// with a sliding response.
std::int32_t CheckObjectPolygonCollision(ObjectRecord* object1, ObjectRecord* object2);
// 1 when the objects' scaled boxes at their positions overlap (faces that only touch do not).
// When object 2's response flag is 1, one axis of the response is set: the overlap on the axis
// whose faces were nearest at the old positions.
std::int32_t CheckAxisAlignedBoxes(ObjectRecord* object1, ObjectRecord* object2);
// 1 when the turned boxes overlap, object 1 standing at position, object 2 where its world matrix
// puts it. Faces that touch overlap.
std::int32_t CheckOrientedObjectBoxes(float x, float y, float z, ObjectRecord* object1,
                                      ObjectRecord* object2);
// 1 when two mesh boxes (box minimum and maximum in mesh space) overlap, each turned by its frame's
// world matrix and centred by its translation. The matrices' scale does not size the boxes.
std::int32_t CheckMeshTriangleCollision(const D3DXVECTOR3& translation1, const D3DXMATRIX& world1,
                                        const CollisionBlock& box1, const D3DXVECTOR3& translation2,
                                        const D3DXMATRIX& world2, const CollisionBlock& box2);
// 1 overlap, 0 separated; each box's axes are those of its matrix.
std::int32_t OrientedBoxesOverlap(const D3DXVECTOR3& centreA, const D3DXVECTOR3& halfA,
                                  const D3DXMATRIX& matrixA, const D3DXVECTOR3& centreB,
                                  const D3DXVECTOR3& halfB, const D3DXMATRIX& matrixB);
// The separating-axis test on fifteen axes: 1 overlap, 0 separated.
std::int32_t OrientedBoxesOverlapAxes(const OrientedBox& a, const OrientedBox& b);
// The directions the matrix turns the three unit axes to, each of length 1 (0 for an axis the
// matrix flattens). Returns 1.
std::int32_t GetMatrixAxes(const D3DXMATRIX& matrix, D3DXVECTOR3 axes[3]);
float AbsoluteValue(float value);
