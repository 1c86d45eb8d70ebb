// Video texture module: its entries for the core's start and stop sequences.
#pragma once

#include "core/core_data.h"

void AnimationConstructor(HINSTANCE);
void AnimationDestructor();
void AnimationSetErrorHandler(RuntimeErrorRecord* cell);
void AnimationPassCoreData(CoreData* core);
void AnimationRefreshD3D(std::int32_t mode);
void AnimationUpdate();
