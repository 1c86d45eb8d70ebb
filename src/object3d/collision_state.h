// What object collision keeps between calls: the global switch, the response vector that the pair
// tests leave for the command layer, the last ray result, and the camera's collision body.
#pragma once

#include "core/win32.h"

#include <cstdint>

// Where a ray last hit an object: the frame and the bone frame of the hit, the triangle's vertex
// numbers and mesh-space positions, the world-space hit point, and two triples the universe's
// ray test fills.
struct CollisionRayResult {
    std::int32_t frame = 0;
    std::int32_t boneFrame = 0;
    std::int32_t vertex[3] = {};
    D3DXVECTOR3 vertexPosition[3] = {};
    D3DXVECTOR3 hit{0, 0, 0};
    D3DXVECTOR3 further[2] = {};
};

struct CollisionState {
    std::uint8_t checksEnabled = 1;
    // Written by the pair and box tests; read by the response getters and the automatic
    // response. Valid for sliding when pairResponseValid is 1.
    D3DXVECTOR3 response{0, 0, 0};
    std::uint8_t pairResponseValid = 0;
    CollisionRayResult ray;
    // The camera bound to the collision body, once SetAutoCameraCollision has run.
    std::uint8_t cameraBound = 0;
    std::int32_t camera = 0;
    std::int32_t cameraMoveRule = 0;
    D3DXVECTOR3 cameraSnapshot{0, 0, 0};
    std::uint8_t snapshotTaken = 0;
};

extern CollisionState g_Collision;
