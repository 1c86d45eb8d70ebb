// System module: the queries that read the shared checklist, and its emptying.
#include "core/win32.h"

#include "system/system.h"
#include "system/system_state.h"
#include "core/core.h"
#include "core/item_lookup.h"
#include "core/error_numbers.h"

#include <bit>
#include <cstring>

namespace {

SystemState& s = g_System;

// The row's record when every check passes; raises the first failing check's error otherwise.
// A module that was never started has no checklist to read.
const ChecklistEntry* CheckChecklistIndex(std::int32_t row, bool wantStrings) {
    const CoreData* core = s.core;
    if (!core || !core->checklistMade || !core->checklistRows) {
        RaiseRuntimeError(kNoChecklist);
        return nullptr;
    }
    if (!CheckItemNumber(row, {1, core->checklistRowsAllocated, kChecklistRowIllegal, 0}))
        return nullptr;
    if (wantStrings ? !core->checklistHasStrings : !core->checklistHasValues) {
        RaiseRuntimeError(wantStrings ? kChecklistNoStrings : kChecklistNoValues);
        return nullptr;
    }
    if (row > core->checklistRowsInUse) {
        RaiseRuntimeError(kChecklistRowNotInUse);
        return nullptr;
    }
    return &core->checklistRows[row - 1];
}

std::int32_t GetChecklistValue(std::int32_t row, int index) {
    const ChecklistEntry* entry = CheckChecklistIndex(row, false);
    return entry ? entry->values[index] : 0;
}

float GetChecklistFloatValue(std::int32_t row, int index) {
    const ChecklistEntry* entry = CheckChecklistIndex(row, false);
    return entry ? std::bit_cast<float>(entry->values[4 + index]) : 0.0f;
}

} // namespace

void EmptyChecklist() {
    CoreData* core = s.core;
    if (!core) return;
    core->checklistMade = core->checklistHasValues = core->checklistHasStrings = 0;
    core->checklistRowsInUse = 0;
    if (!core->checklistRows) return;
    for (std::int32_t i = 0; i < core->checklistRowsAllocated; ++i) {
        ChecklistEntry& entry = core->checklistRows[i];
        for (int v = 0; v < 4; ++v)
            entry.values[v] = -1;
        if (entry.string) entry.string[0] = 0;
    }
}

std::int32_t ChecklistQuantity() {
    return s.core ? s.core->checklistRowsInUse : 0;
}

std::int32_t GetChecklistValueA(std::int32_t row) {
    return GetChecklistValue(row, 0);
}
std::int32_t GetChecklistValueB(std::int32_t row) {
    return GetChecklistValue(row, 1);
}
std::int32_t GetChecklistValueC(std::int32_t row) {
    return GetChecklistValue(row, 2);
}
std::int32_t GetChecklistValueD(std::int32_t row) {
    return GetChecklistValue(row, 3);
}
float GetChecklistFloatValueA(std::int32_t row) {
    return GetChecklistFloatValue(row, 0);
}
float GetChecklistFloatValueB(std::int32_t row) {
    return GetChecklistFloatValue(row, 1);
}
float GetChecklistFloatValueC(std::int32_t row) {
    return GetChecklistFloatValue(row, 2);
}
float GetChecklistFloatValueD(std::int32_t row) {
    return GetChecklistFloatValue(row, 3);
}

char* GetChecklistString(char* oldString, std::int32_t row) {
    const ChecklistEntry* entry = CheckChecklistIndex(row, true);
    if (!entry || !entry->string) {
        // The caller hands its previous text over on a refused row too, so it is freed.
        if (oldString) ResizeModuleString(s.core, &oldString, 0);
        return nullptr;
    }
    // A row's text never runs past its buffer, even when a producer forgot the terminator.
    const std::size_t length = strnlen(entry->string, entry->capacity + 1);
    char* text = ReplaceModuleString(s.core, oldString, entry->string, length);
    if (text != oldString) s.returnString = text; // else out of memory (101): the caller keeps it
    return text;
}
