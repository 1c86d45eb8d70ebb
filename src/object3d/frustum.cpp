#include "core/win32.h"

#include "object3d/frustum.h"
#include "object3d/object_state.h"

D3DXPLANE FrustumPlaneSets[kFrustumPlaneSets][6] = {};
D3DXVECTOR3 FrustumPlanePoints[kFrustumPlaneSets][6] = {};

namespace {

constexpr float kBoxSlack = 0.01f;

float Distance(const D3DXPLANE& p, float x, float y, float z) {
    return p.a * x + p.b * y + p.c * z + p.d;
}

D3DXPLANE Combine(const D3DXMATRIX& m, int column, float sign) {
    D3DXPLANE p(m(0, 3) + sign * m(0, column), m(1, 3) + sign * m(1, column),
                m(2, 3) + sign * m(2, column), m(3, 3) + sign * m(3, column));
    D3DXPlaneNormalize(&p, &p);
    return p;
}

// Whether all eight corners of the box lie further than slack behind one of the planes.
bool BoxOutside(const D3DXPLANE* planes, float cx, float cy, float cz, float hx, float hy, float hz,
                float slack) {
    for (int k = 0; k < 6; ++k) {
        bool allBehind = true;
        for (int corner = 0; corner < 8 && allBehind; ++corner) {
            const float x = cx + (corner & 1 ? hx : -hx);
            const float y = cy + (corner & 2 ? hy : -hy);
            const float z = cz + (corner & 4 ? hz : -hz);
            allBehind = Distance(planes[k], x, y, z) < -slack;
        }
        if (allBehind) return true;
    }
    return false;
}

} // namespace

bool BuildViewFrustum(float farDistance) {
    IDirect3DDevice9* device = g_Object3D.device;
    if (!device) return false;
    D3DXMATRIX projection, view;
    device->GetTransform(D3DTS_PROJECTION, &projection);
    device->GetTransform(D3DTS_VIEW, &view);
    if (farDistance != 0.0f && projection._33 != 0.0f) {
        const float nearDistance = -projection._43 / projection._33;
        const float q = farDistance / (farDistance - nearDistance);
        projection._33 = q;
        projection._43 = -q * nearDistance;
    }
    const D3DXMATRIX m = view * projection;
    D3DXPLANE* set = FrustumPlaneSets[0];
    set[0] = Combine(m, 2, 1.0f);  // near
    set[1] = Combine(m, 2, -1.0f); // far
    set[2] = Combine(m, 0, 1.0f);  // left
    set[3] = Combine(m, 0, -1.0f); // right
    set[4] = Combine(m, 1, -1.0f); // top
    set[5] = Combine(m, 1, 1.0f);  // bottom
    return true;
}

bool BuildFrustumFromPoints(std::int32_t set, const D3DXVECTOR3* eye, const D3DXVECTOR3* p1,
                            const D3DXVECTOR3* p2, const D3DXVECTOR3* p3, const D3DXVECTOR3* p4,
                            bool clipToPrevious) {
    if (set < 0 || set >= kFrustumPlaneSets || !eye || !p1 || !p2 || !p3 || !p4) return false;
    D3DXPLANE* planes = FrustumPlaneSets[set];
    D3DXVECTOR3* points = FrustumPlanePoints[set];
    D3DXPlaneFromPoints(&planes[0], p1, p2, p3);
    planes[1] = FrustumPlaneSets[0][1];
    D3DXPlaneFromPoints(&planes[2], eye, p2, p3);
    D3DXPlaneFromPoints(&planes[3], eye, p4, p1);
    D3DXPlaneFromPoints(&planes[4], eye, p1, p2);
    D3DXPlaneFromPoints(&planes[5], eye, p3, p4);
    points[0] = *p1, points[2] = *p2, points[3] = *p4, points[4] = *p1, points[5] = *p3;
    if (set >= 2 || (set == 1 && clipToPrevious)) {
        const D3DXPLANE* previous = FrustumPlaneSets[set - 1];
        for (int k = 0; k < 6; ++k) {
            if (k == 1) continue;
            const D3DXVECTOR3& p = points[k];
            if (static_cast<int>(Distance(previous[k], p.x, p.y, p.z)) < 0) planes[k] = previous[k];
        }
    }
    return true;
}

bool CheckPointInFrustum(float x, float y, float z) {
    for (const D3DXPLANE& p : FrustumPlaneSets[0])
        if (Distance(p, x, y, z) < 0) return false;
    return true;
}

bool CheckPointInFrustumSides(const D3DXPLANE* planes, const D3DXVECTOR3* point) {
    if (!planes || !point) return true;
    for (int k = 2; k < 6; ++k)
        if (Distance(planes[k], point->x, point->y, point->z) < 0) return false;
    return true;
}

bool CheckSphereInFrustum(float x, float y, float z, float radius) {
    for (const D3DXPLANE& p : FrustumPlaneSets[0])
        if (Distance(p, x, y, z) < -radius) return false;
    return true;
}

bool CheckSphereInFrustums(std::int32_t lastSet, float x, float y, float z, float radius) {
    if (lastSet >= kFrustumPlaneSets) lastSet = kFrustumPlaneSets - 1;
    for (std::int32_t set = 0; set <= lastSet; ++set)
        for (const D3DXPLANE& p : FrustumPlaneSets[set])
            if (Distance(p, x, y, z) < -radius) return false;
    return true;
}

bool CheckCubeInFrustum(float x, float y, float z, float halfSize) {
    return !BoxOutside(FrustumPlaneSets[0], x, y, z, halfSize, halfSize, halfSize, 0.0f);
}

bool CheckBoxInFrustum(std::int32_t set, float cx, float cy, float cz, float hx, float hy,
                       float hz) {
    if (set < 0 || set >= kFrustumPlaneSets) return true;
    return !BoxOutside(FrustumPlaneSets[set], cx, cy, cz, hx, hy, hz, kBoxSlack);
}

bool CheckBoxInMainFrustum(float cx, float cy, float cz, float hx, float hy, float hz) {
    return CheckBoxInFrustum(0, cx, cy, cz, hx, hy, hz);
}

bool CheckTriangleInFrustum(const D3DXPLANE* planes, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                            const D3DXVECTOR3* p3) {
    if (!planes || !p1 || !p2 || !p3) return true;
    for (int k = 0; k < 6; ++k) {
        if (Distance(planes[k], p1->x, p1->y, p1->z) < -kBoxSlack &&
            Distance(planes[k], p2->x, p2->y, p2->z) < -kBoxSlack &&
            Distance(planes[k], p3->x, p3->y, p3->z) < -kBoxSlack)
            return false;
    }
    return true;
}

bool FrustumTestStub() {
    return true;
}
