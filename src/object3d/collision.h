// Object collision: settings, tests and the per-frame automatic response.
#pragma once

#include <cstdint>

struct ObjectRecord;

// Collision type 1, tested as spheres around the box centres.
void SetCollisionToBoxes(ObjectRecord* object);
// The per-frame snapshot and response of objects with automatic collision.
void RunAutomaticCollision();
// The camera's collision against objects.
void UpdateAutomaticCameraCollision(std::int32_t unused, std::int32_t value);
