// What the build's source files share inside the universe module.
#pragma once

#include "core/win32.h"

#include "universe/universe_record.h"

#include <cstdint>

// The corner order of a face's quad, as signs of a box's half extents: side s, corner k, axis.
extern const float kQuadCornerSigns[kUniverseSides][4][3];
// The outward normal of each side of a cell.
extern const D3DXVECTOR3 kSideNormals[kUniverseSides];
// The axis a side lies across: 0 x, 1 y, 2 z.
std::int32_t SideAxis(std::int32_t side);
// The six faces of the node's box as quads of the colour, each open and drawable.
void FillSideQuads(UniverseNode& node, D3DCOLOR colour);
// A new box node for the area (its centre, half its extent) and for the portal, with the six
// debug quads in their colours; each returns the colour it used.
D3DCOLOR GiveAreaBox(UniverseArea& area);
D3DCOLOR GivePortalBox(UniversePortal& portal);
// Frees a world mesh, taking it out of the manager's buffers first when it is placed there.
void FreeWorldMesh(MeshRecord* mesh);
// A new mesh copying the mesh alone, with its render settings and bounds; null when it cannot be
// made.
MeshRecord* CopiedMesh(const MeshRecord* mesh);
