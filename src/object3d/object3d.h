// 3D object module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

// Start entry: the core's start sequence readies the module with it, once.
void Basic3DConstructor(HMODULE, HMODULE, HMODULE, HMODULE);
// Stop entry: releases everything the module holds.
void Basic3DDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void Basic3DSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void Basic3DPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void Basic3DRefreshD3D(std::int32_t mode);
// Once a frame, from the frame loop.
void Basic3DUpdate();
// The last pass of a camera: objects drawn over everything else.
void Basic3DRenderLayerFour();
// The first pass of a camera: stencil shadows begin.
void Basic3DBeginStencilShadows();
// Darkens the shadowed pixels once the shadow volumes are drawn.
void Basic3DDrawStencilShadowQuad();
// Resolves automatic object collisions after the passes.
void Basic3DRunAutomaticCollision();
// Keeps the camera out of colliding objects.
void Basic3DUpdateAutomaticCameraCollision();
