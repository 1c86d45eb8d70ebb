// The view frustum and the portal frustums: plane sets built from the device's transforms or from
// corner points, and the culling tests on them. Set 0 is the camera's view frustum, rebuilt each
// frame; the world builds further sets through its portals.
#pragma once

#include "core/win32.h"

#include <cstdint>

constexpr int kFrustumPlaneSets = 20;

// Six planes a set: near, far, left, right, top, bottom. A point p is inside where
// a·px + b·py + c·pz + d is not negative. All zero until built: every test passes.
extern D3DXPLANE FrustumPlaneSets[kFrustumPlaneSets][6];
// For each set, the corner point each plane was built through (the far plane has none).
extern D3DXVECTOR3 FrustumPlanePoints[kFrustumPlaneSets][6];

// Set 0 from the device's view and projection; a farDistance other than 0 moves the far plane
// there. False without a device.
bool BuildViewFrustum(float farDistance);
// A portal set from the eye through the portal's four corners; it never widens beyond the set
// before it (from set 2 on, or for set 1 when clipToPrevious). False for a set outside the table.
bool BuildFrustumFromPoints(std::int32_t set, const D3DXVECTOR3* eye, const D3DXVECTOR3* p1,
                            const D3DXVECTOR3* p2, const D3DXVECTOR3* p3, const D3DXVECTOR3* p4,
                            bool clipToPrevious);

// The tests: true means possibly visible.
bool CheckPointInFrustum(float x, float y, float z);
// Against planes 2 to 5 (the sides) of the given set only.
bool CheckPointInFrustumSides(const D3DXPLANE* planes, const D3DXVECTOR3* point);
bool CheckSphereInFrustum(float x, float y, float z, float radius);
// Against sets 0 to lastSet in turn; true for a negative lastSet.
bool CheckSphereInFrustums(std::int32_t lastSet, float x, float y, float z, float radius);
bool CheckCubeInFrustum(float x, float y, float z, float halfSize);
// A box of half-extents hx, hy, hz about its centre; one within 0.01 of a plane still passes.
bool CheckBoxInFrustum(std::int32_t set, float cx, float cy, float cz, float hx, float hy,
                       float hz);
bool CheckBoxInMainFrustum(float cx, float cy, float cz, float hx, float hy, float hz);
bool CheckTriangleInFrustum(const D3DXPLANE* planes, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                            const D3DXVECTOR3* p3);
// Has no caller; true.
bool FrustumTestStub();
