// A mesh's texture slots.
#pragma once

#include "core/win32.h"

struct MeshRecord;

// Every slot of the mesh that holds the texture lets go of it.
void ClearTextureReference(MeshRecord* mesh, IDirect3DTexture9* texture);
