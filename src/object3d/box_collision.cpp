#include "core/win32.h"

#include "object3d/box_collision.h"
#include "object3d/collision_state.h"
#include "object3d/object_records.h"

#include <cmath>
#include <limits>

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kInfinity = std::numeric_limits<float>::infinity();
// Below this squared sine two axes count as parallel: their cross product is rounding noise, and
// the box axes already cover that direction.
constexpr float kParallelSine2 = 1e-6f;

D3DXVECTOR3 Times(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return D3DXVECTOR3(a.x * b.x, a.y * b.y, a.z * b.z);
}

D3DXVECTOR3 Magnitudes(const D3DXVECTOR3& v) {
    return D3DXVECTOR3(std::fabs(v.x), std::fabs(v.y), std::fabs(v.z));
}

D3DXVECTOR3 Translation(const D3DXMATRIX& m) {
    return D3DXVECTOR3(m._41, m._42, m._43);
}

// The vector turned by the matrix, its translation left out.
D3DXVECTOR3 Turned(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 r;
    D3DXVec3TransformNormal(&r, &v, &m);
    return r;
}

// An object's turn: its free-flight matrix, or its angles applied X, then Y, then Z.
D3DXMATRIX Orientation(const ObjectPosition& p) {
    if (p.matrixMode) return p.matFreeFlight;
    D3DXMATRIX x, y, z;
    D3DXMatrixRotationX(&x, p.angle.x * kDegreesToRadians);
    D3DXMatrixRotationY(&y, p.angle.y * kDegreesToRadians);
    D3DXMatrixRotationZ(&z, p.angle.z * kDegreesToRadians);
    return Multiply(Multiply(x, y), z);
}

// An object's collision box in its own frame, scaled. A mirroring scale or a box given
// back to front still has a size, not a negative one.
struct ObjectBox {
    D3DXVECTOR3 half;
    D3DXVECTOR3 localCentre;
    D3DXMATRIX turn;
};

ObjectBox BoxOf(const ObjectRecord& o) {
    const D3DXVECTOR3 half = (o.collision.maximum - o.collision.minimum) * 0.5f;
    const D3DXVECTOR3& scale = o.position.scale;
    return {Magnitudes(Times(half, scale)), Times(o.collision.minimum + half, scale),
            Orientation(o.position)};
}

struct AlignedBox {
    D3DXVECTOR3 low, high;
};

// The object's scaled box placed at a position, without turning it.
AlignedBox AlignedBoxAt(const ObjectRecord& o, const D3DXVECTOR3& at) {
    const D3DXVECTOR3 a = Times(o.collision.minimum, o.position.scale) + at;
    const D3DXVECTOR3 b = Times(o.collision.maximum, o.position.scale) + at;
    AlignedBox box;
    D3DXVec3Minimize(&box.low, &a, &b);
    D3DXVec3Maximize(&box.high, &a, &b);
    return box;
}

bool StrictlyOverlap(const AlignedBox& a, const AlignedBox& b) {
    return a.low.x < b.high.x && a.high.x > b.low.x && a.low.y < b.high.y && a.high.y > b.low.y &&
           a.low.z < b.high.z && a.high.z > b.low.z;
}

// The response along the axis whose faces were nearest when the objects stood at their old
// positions: the overlap now, signed so that subtracting it moves object 1 out. Ties keep the
// earlier face (low x of box 2 first).
void SetAlignedResponse(const AlignedBox& old1, const AlignedBox& old2, const AlignedBox& now1,
                        const AlignedBox& now2) {
    const float distance[6] = {
        std::fabs(old1.high.x - old2.low.x), std::fabs(old2.high.x - old1.low.x),
        std::fabs(old1.high.y - old2.low.y), std::fabs(old2.high.y - old1.low.y),
        std::fabs(old1.high.z - old2.low.z), std::fabs(old2.high.z - old1.low.z)};
    int face = 0;
    for (int i = 1; i < 6; ++i)
        if (distance[i] < distance[face]) face = i;
    const int axis = face / 2;
    g_Collision.response[axis] =
        face % 2 == 0 ? now1.high[axis] - now2.low[axis] : now1.low[axis] - now2.high[axis];
}

// Of the four corners of A's box at its middle height, turned and placed at its old centre, the
// one nearest to the point in the x-z plane. Ties keep the earlier corner.
D3DXVECTOR3 NearestCorner(const ObjectBox& a, const D3DXVECTOR3& oldCentre,
                          const D3DXVECTOR3& point) {
    const float sx[4] = {-1, -1, 1, 1}, sz[4] = {-1, 1, -1, 1};
    D3DXVECTOR3 nearest = oldCentre;
    float best = kInfinity;
    for (int i = 0; i < 4; ++i) {
        const D3DXVECTOR3 corner =
            oldCentre + Turned(D3DXVECTOR3(sx[i] * a.half.x, 0, sz[i] * a.half.z), a.turn);
        const float dx = corner.x - point.x, dz = corner.z - point.z;
        const float distance = std::sqrt(dx * dx + dz * dz);
        if (i == 0 || distance < best) nearest = corner, best = distance;
    }
    return nearest;
}

// B's local axis (0 x, 2 z) of the side face the point, given in B's frame, lies nearest outside
// of. A point inside both slabs counts as at the low x face; the y faces are never chosen.
int FaceAxis(const D3DXVECTOR3& k, const D3DXVECTOR3& half) {
    const float distance[4] = {-half.x - k.x, k.x - half.x, -half.z - k.z, k.z - half.z};
    int face = 0;
    float best = kInfinity;
    for (int i = 0; i < 4; ++i)
        if (distance[i] >= 0 && distance[i] < best) face = i, best = distance[i];
    return face < 2 ? 0 : 2;
}

// The response of A, which moved into B this frame: the part of its move that went into B's
// nearest side face, so that subtracting it leaves A sliding along the face; the whole move when
// sliding still overlaps B, or when B's turn cannot be undone.
void SetSlideResponse(ObjectRecord& a, ObjectRecord& b) {
    const ObjectPosition& pa = a.position;
    const D3DXVECTOR3 move = pa.position - pa.oldPosition;
    g_Collision.response = move;
    const ObjectBox boxA = BoxOf(a), boxB = BoxOf(b);
    D3DXMATRIX unturnB;
    if (!D3DXMatrixInverse(&unturnB, nullptr, &boxB.turn)) return;
    const D3DXVECTOR3 oldCentre = pa.oldPosition + Turned(boxA.localCentre, boxA.turn);
    const D3DXVECTOR3 centreB =
        Translation(b.position.matWorld) + Turned(boxB.localCentre, boxB.turn);
    const D3DXVECTOR3 corner = NearestCorner(boxA, oldCentre, b.position.position);
    const int axis = FaceAxis(Turned(corner - centreB, unturnB), boxB.half);
    D3DXVECTOR3 along = Turned(move, unturnB);
    along[axis] = 0;
    const D3DXVECTOR3 into = move - Turned(along, boxB.turn);
    const D3DXVECTOR3 slid = pa.position - into;
    if (!CheckOrientedObjectBoxes(slid.x, slid.y, slid.z, &a, &b)) g_Collision.response = into;
}

// A box of the given size, turned and placed by a frame's world matrix and translation.
OrientedBox MeshBox(const D3DXVECTOR3& translation, const D3DXMATRIX& world,
                    const CollisionBlock& box) {
    const D3DXVECTOR3 half = (box.maximum - box.minimum) * 0.5f;
    OrientedBox r;
    r.centre = Turned(box.minimum + half, world) + translation;
    r.halfExtents = Magnitudes(half);
    GetMatrixAxes(world, r.axes);
    return r;
}

// How far the box reaches along the direction, from its centre.
float Reach(const OrientedBox& box, const D3DXVECTOR3& direction) {
    return box.halfExtents.x * std::fabs(D3DXVec3Dot(&box.axes[0], &direction)) +
           box.halfExtents.y * std::fabs(D3DXVec3Dot(&box.axes[1], &direction)) +
           box.halfExtents.z * std::fabs(D3DXVec3Dot(&box.axes[2], &direction));
}

// Separated along the direction when the centres lie further apart on it than the boxes reach.
// Written so that anything not a number separates rather than collides.
bool SeparatedAlong(const OrientedBox& a, const OrientedBox& b, const D3DXVECTOR3& offset,
                    const D3DXVECTOR3& direction) {
    return !(std::fabs(D3DXVec3Dot(&offset, &direction)) <=
             Reach(a, direction) + Reach(b, direction));
}

} // namespace

std::int32_t CheckObjectPolygonCollision(ObjectRecord* object1, ObjectRecord* object2) {
    g_Collision.response = D3DXVECTOR3(0, 0, 0);
    if (!object1 || !object2) return 0;
    if ((object1->collision.boxUse && object2->collision.boxUse) || object1->collision.type == 1)
        return CheckAxisAlignedBoxes(object1, object2);
    const D3DXVECTOR3 at = Translation(object1->position.matWorld);
    const std::int32_t r = CheckOrientedObjectBoxes(at.x, at.y, at.z, object1, object2);
    if (r <= 0) return r;
    SetSlideResponse(*object1, *object2);
    return r;
}

std::int32_t CheckAxisAlignedBoxes(ObjectRecord* object1, ObjectRecord* object2) {
    if (!object1 || !object2) return 0;
    const ObjectPosition &p1 = object1->position, &p2 = object2->position;
    const AlignedBox now1 = AlignedBoxAt(*object1, p1.position);
    const AlignedBox now2 = AlignedBoxAt(*object2, p2.position);
    if (!StrictlyOverlap(now1, now2)) return 0;
    if (object2->collision.responseFlag != 1) return 1;
    SetAlignedResponse(AlignedBoxAt(*object1, p1.oldPosition),
                       AlignedBoxAt(*object2, p2.oldPosition), now1, now2);
    return 1;
}

std::int32_t CheckOrientedObjectBoxes(float x, float y, float z, ObjectRecord* object1,
                                      ObjectRecord* object2) {
    if (!object1 || !object2) return 0;
    const ObjectBox a = BoxOf(*object1), b = BoxOf(*object2);
    const D3DXVECTOR3 centreA = Turned(a.localCentre, a.turn) + D3DXVECTOR3(x, y, z);
    const D3DXVECTOR3 centreB =
        Turned(b.localCentre, b.turn) + Translation(object2->position.matWorld);
    return OrientedBoxesOverlap(centreA, a.half, a.turn, centreB, b.half, b.turn);
}

std::int32_t CheckMeshTriangleCollision(const D3DXVECTOR3& translation1, const D3DXMATRIX& world1,
                                        const CollisionBlock& box1, const D3DXVECTOR3& translation2,
                                        const D3DXMATRIX& world2, const CollisionBlock& box2) {
    return OrientedBoxesOverlapAxes(MeshBox(translation1, world1, box1),
                                    MeshBox(translation2, world2, box2));
}

std::int32_t OrientedBoxesOverlap(const D3DXVECTOR3& centreA, const D3DXVECTOR3& halfA,
                                  const D3DXMATRIX& matrixA, const D3DXVECTOR3& centreB,
                                  const D3DXVECTOR3& halfB, const D3DXMATRIX& matrixB) {
    OrientedBox a, b;
    a.centre = centreA, a.halfExtents = halfA;
    b.centre = centreB, b.halfExtents = halfB;
    GetMatrixAxes(matrixA, a.axes);
    GetMatrixAxes(matrixB, b.axes);
    return OrientedBoxesOverlapAxes(a, b);
}

std::int32_t OrientedBoxesOverlapAxes(const OrientedBox& a, const OrientedBox& b) {
    const D3DXVECTOR3 offset = b.centre - a.centre;
    for (const D3DXVECTOR3& axis : a.axes)
        if (SeparatedAlong(a, b, offset, axis)) return 0;
    for (const D3DXVECTOR3& axis : b.axes)
        if (SeparatedAlong(a, b, offset, axis)) return 0;
    for (const D3DXVECTOR3& axisA : a.axes)
        for (const D3DXVECTOR3& axisB : b.axes) {
            D3DXVECTOR3 edge;
            D3DXVec3Cross(&edge, &axisA, &axisB);
            const float scale2 = D3DXVec3LengthSq(&axisA) * D3DXVec3LengthSq(&axisB);
            if (D3DXVec3LengthSq(&edge) <= kParallelSine2 * scale2) continue;
            if (SeparatedAlong(a, b, offset, edge)) return 0;
        }
    return 1;
}

std::int32_t GetMatrixAxes(const D3DXMATRIX& matrix, D3DXVECTOR3 axes[3]) {
    // The rows are where the unit vectors go less where the origin goes, for every matrix that
    // does not project; taking them directly spares a division by a w that may be 0.
    for (int i = 0; i < 3; ++i) {
        const D3DXVECTOR3 row(matrix.m[i][0], matrix.m[i][1], matrix.m[i][2]);
        const float length = D3DXVec3Length(&row);
        axes[i] = length > 0 && std::isfinite(length) ? row / length : D3DXVECTOR3(0, 0, 0);
    }
    return 1;
}

float AbsoluteValue(float value) {
    return std::fabs(value);
}
