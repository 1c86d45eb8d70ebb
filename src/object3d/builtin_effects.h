// The ready-made shadings: bump, cartoon and rainbow effects, and stencil-shadow volumes.
#pragma once

#include <cstdint>

struct MeshRecord;

// Builds the mesh's shadow volume into *shadowMesh; false when it cannot be made.
bool SetShadowShading(MeshRecord* mesh, MeshRecord** shadowMesh, std::int32_t mode);
