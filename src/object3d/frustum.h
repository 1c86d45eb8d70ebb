// The view frustum: planes built from the device's transforms, and the culling tests on them.
#pragma once

#include "core/win32.h"

// Rebuilds plane set 0 from the device's view and projection; a farDistance other than 0 moves
// the far plane there. False without a device.
bool BuildViewFrustum(float farDistance);
// False only when the sphere lies wholly outside one of the planes of set 0.
bool CheckSphereInFrustum(float x, float y, float z, float radius);
