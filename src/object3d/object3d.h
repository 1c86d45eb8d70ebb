// 3D object module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void Basic3DConstructor(HMODULE, HMODULE, HMODULE, HMODULE);
void Basic3DDestructor();
void Basic3DSetErrorHandler(RuntimeErrorRecord* cell);
void Basic3DPassCoreData(CoreData* core);
void Basic3DRefreshD3D(std::int32_t mode);
void Basic3DUpdate();
void Basic3DRenderLayerFour();
void Basic3DBeginStencilShadows();
void Basic3DDrawStencilShadowQuad();
void Basic3DRunAutomaticCollision();
void Basic3DUpdateAutomaticCameraCollision();
