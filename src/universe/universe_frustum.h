// The portal walks' frustum stack: the walks of the world's drawing and of its visibility query
// build the slot after their own from each portal and must find their own slot as they left it.
#pragma once

#include "core/win32.h"

#include "object3d/frustum.h"

#include <cstdint>
#include <cstring>

// A frustum slot's planes and corner points, put back when the scope ends.
class SavedFrustum {
public:
    explicit SavedFrustum(std::int32_t slot) : slot_(slot) {
        std::memcpy(planes_, FrustumPlaneSets[slot], sizeof planes_);
        std::memcpy(points_, FrustumPlanePoints[slot], sizeof points_);
    }
    ~SavedFrustum() {
        std::memcpy(FrustumPlaneSets[slot_], planes_, sizeof planes_);
        std::memcpy(FrustumPlanePoints[slot_], points_, sizeof points_);
    }
    SavedFrustum(const SavedFrustum&) = delete;
    SavedFrustum& operator=(const SavedFrustum&) = delete;

private:
    std::int32_t slot_;
    D3DXPLANE planes_[6];
    D3DXVECTOR3 points_[6];
};
