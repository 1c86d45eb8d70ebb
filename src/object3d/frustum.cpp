#include "core/win32.h"

#include "object3d/frustum.h"
#include "object3d/object_state.h"

namespace {

// Plane set 0: near, far, left, right, top, bottom. A point is inside where a·x + b·y + c·z + d
// is not negative; all zero until the first build, so every test passes.
D3DXPLANE g_ViewPlanes[6] = {};

D3DXPLANE Combine(const D3DXMATRIX& m, int column, float sign) {
    D3DXPLANE p(m(0, 3) + sign * m(0, column), m(1, 3) + sign * m(1, column),
                m(2, 3) + sign * m(2, column), m(3, 3) + sign * m(3, column));
    D3DXPlaneNormalize(&p, &p);
    return p;
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
    g_ViewPlanes[0] = Combine(m, 2, 1.0f);  // near
    g_ViewPlanes[1] = Combine(m, 2, -1.0f); // far
    g_ViewPlanes[2] = Combine(m, 0, 1.0f);  // left
    g_ViewPlanes[3] = Combine(m, 0, -1.0f); // right
    g_ViewPlanes[4] = Combine(m, 1, -1.0f); // top
    g_ViewPlanes[5] = Combine(m, 1, 1.0f);  // bottom
    return true;
}

bool CheckSphereInFrustum(float x, float y, float z, float radius) {
    for (const D3DXPLANE& p : g_ViewPlanes)
        if (p.a * x + p.b * y + p.c * z + p.d < -radius) return false;
    return true;
}
