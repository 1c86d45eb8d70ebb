// Builders that fill a mesh with generated or copied geometry.
#pragma once

#include "core/win32.h"

struct MeshRecord;

// The mesh becomes a copy of the template, its positions and normals turned and scaled by the
// matrix (its translation is ignored; null is the identity). False when it cannot be made.
bool MakeMeshFromFormat(MeshRecord* mesh, const MeshRecord* source, const D3DXMATRIX* matrix);
