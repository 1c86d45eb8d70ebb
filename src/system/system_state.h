// The system module's state, shared by its source files only.
#pragma once

#include "core/core_data.h"

#include <cstdint>

constexpr std::int32_t kUserDLLSlots = 256; // slots 1 to 255; entry 0 is never used

// Lives from SystemConstructor to SystemDestructor; only this module writes it.
struct SystemState {
    CoreData* core = nullptr;
    char* returnString = nullptr; // the last checklist text handed out
    // The loaded user libraries, owned here: freed by DeleteUserDLL and the Destructor.
    HMODULE dlls[kUserDLLSlots] = {};
};

extern SystemState g_System;
