// The placement block at the head of every terrain matrix and particle emitter: where the item is,
// how it is turned and scaled, and the world matrix rebuilt from those. A plain record: its owner
// value-initialises it, and InitTransformRecord (text module) writes the starting directions.
#pragma once

#include <cstdint>

struct TransformRecord {
    float world[16]; // scale x rotation x translation, row-vector convention
    float look[3];   // unit directions, derived from the rotation by every rebuild
    float up[3];
    float right[3];
    float position[3];
    float rotation[3];     // Euler degrees about x, y, z
    float freeFlight[3];   // yaw, pitch, roll in degrees
    float scale[3];        // factors (the commands take percent)
    float lastRotation[3]; // the rotation look, up and right were last derived from
    std::uint8_t moved;
    std::uint8_t freeFlightOn; // 1: the rotation comes from the free-flight angles
    std::uint8_t pivotOn;      // 1: the pivot angles turn the item first
    float pivot[3];
    float scaleRotation[16];     // scale x rotation of the last rebuild
    std::uint8_t rebuildPending; // the record's last byte
};
