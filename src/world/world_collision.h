// The world's collision slots inside the module: their reset and the two per-slot steps the
// frame entries and the set-up commands run.
#pragma once

#include <cstdint>

// Every slot back to its start: threshold 0.003, not started, inactive.
void ResetWorldCollisionSlots();
// Records where the slot's entity stands now (height offset removed) as its previous position.
void ProcessWorldCollisionSlot(std::int32_t slot);
// The slot's step: nothing unless a level with vertices is loaded and the slot is active.
void UpdateWorldCollisionSlot(std::int32_t slot);
