// Static collision boxes: fixed, axis-aligned boxes a program lays out for cheap level collision
// without meshes. A moving box is pushed out of them along its axis of least penetration; a thick
// line can be walked against them for line of sight. One list for the whole module.
#pragma once

#include "core/win32.h"

#include <cstdint>

// One box, corners as passed: the tests take x1 <= x2, y1 <= y2 and z1 <= z2.
struct StaticBoxNode {
    StaticBoxNode* next = nullptr;
    std::uint32_t reserved = 0;
    float x1 = 0, y1 = 0, z1 = 0;
    float x2 = 0, y2 = 0, z2 = 0;
};

// The boxes in the order they were made. last only makes appending cheap.
struct StaticBoxList {
    StaticBoxNode* first = nullptr;
    StaticBoxNode* last = nullptr;
};

// The module's list, read by the tests. Written only by the two functions below.
const StaticBoxList& GetStaticBoxList();

// Appends a box; 1 even when no memory was left for it (the list then stays as it was).
std::int32_t MakeStaticCollisionBox(float x1, float y1, float z1, float x2, float y2, float z2);
void DeleteStaticCollisionBoxes();

// Non-zero when the box newMinimum..newMaximum overlaps a static box. correction receives what
// to subtract from the mover's position to stand outside; the face is chosen by where the box was
// (oldMinimum..oldMaximum).
std::int32_t GetStaticCollisionHit(const D3DXVECTOR3& oldMinimum, const D3DXVECTOR3& oldMaximum,
                                   const D3DXVECTOR3& newMinimum, const D3DXVECTOR3& newMaximum,
                                   D3DXVECTOR3* correction);

// 1 when a probe of the given width, stepping one unit along the line's major horizontal axis
// from start to end, runs into a box; point receives the last free point (the start when not
// blocked). accuracy divides the number of steps, so 2 covers half the line and 0.5 twice it.
std::int32_t GetStaticLineOfSight(float x1, float y1, float z1, float x2, float y2, float z2,
                                  float width, float accuracy, D3DXVECTOR3* point);

// The last static correction and line-of-sight point the command forms kept.
float GetStaticCollisionX();
float GetStaticCollisionY();
float GetStaticCollisionZ();
float GetStaticLineOfSightX();
float GetStaticLineOfSightY();
float GetStaticLineOfSightZ();

// The command forms: their results stay in the module for the getters.
std::int32_t MakeStaticCollisionBoxCmd(float x1, float y1, float z1, float x2, float y2, float z2);
void DeleteStaticCollisionBoxesCmd();
std::int32_t StaticLineOfSightCmd(float x1, float y1, float z1, float x2, float y2, float z2,
                                  float width, float accuracy);
float GetStaticLineOfSightXCmd();
float GetStaticLineOfSightYCmd();
float GetStaticLineOfSightZCmd();
// Clears the universe collision block's valid byte first, so that the getters below report this
// test rather than the last universe volume collision.
std::int32_t GetStaticCollisionHitCmd(float oldMinX, float oldMinY, float oldMinZ, float oldMaxX,
                                      float oldMaxY, float oldMaxZ, float newMinX, float newMinY,
                                      float newMinZ, float newMaxX, float newMaxY, float newMaxZ);
// The universe's movement while its block is valid, else the static correction.
float GetStaticCollisionXCmd();
float GetStaticCollisionYCmd();
float GetStaticCollisionZCmd();
