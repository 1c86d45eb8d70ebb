#include "core/win32.h"

#include "core/checklist.h"
#include "core/core.h"

#include <cstring>
#include <utility>

namespace {

constexpr std::int32_t kFirstRows = 256;

// Every buffer goes through the core's allocator, the same one modules reach through CoreData.
char* Allocate(std::int32_t bytes) {
    char* p = nullptr;
    CoreResizeString(&p, bytes);
    return p;
}

void Release(void* p) {
    char* c = static_cast<char*>(p);
    CoreResizeString(&c, 0);
}

// Gives rows [from, to) capacity 2 and a fresh empty text; false when a text cannot be had.
bool InitRows(ChecklistEntry* rows, std::int32_t from, std::int32_t to) {
    for (std::int32_t i = from; i < to; ++i) {
        rows[i].capacity = 2;
        rows[i].string = Allocate(3);
        if (!rows[i].string) {
            for (std::int32_t j = from; j < i; ++j)
                Release(rows[j].string);
            return false;
        }
    }
    return true;
}

// A zero-filled array of n rows whose rows from `keep` on are initialised.
ChecklistEntry* NewRowArray(std::int32_t n, std::int32_t keep) {
    if (n <= 0 || static_cast<std::uint32_t>(n) > 0x7FFFFFFFu / sizeof(ChecklistEntry)) {
        return nullptr;
    }
    auto* rows = reinterpret_cast<ChecklistEntry*>(Allocate(n * sizeof(ChecklistEntry)));
    if (rows && !InitRows(rows, keep, n)) {
        Release(rows);
        return nullptr;
    }
    return rows;
}

bool GrowUntilFits(CoreData& core, std::uint32_t row) {
    std::int32_t allocated = core.checklistRowsAllocated < 2 ? 2 : core.checklistRowsAllocated;
    while (row > static_cast<std::uint32_t>(allocated - 2)) {
        if (allocated > 0x3FFFFFFF) return false;
        allocated *= 2;
    }
    if (allocated == core.checklistRowsAllocated) return true;
    ChecklistEntry* rows = NewRowArray(allocated, core.checklistRowsAllocated);
    if (!rows) return false;
    std::memcpy(rows, core.checklistRows, core.checklistRowsAllocated * sizeof(ChecklistEntry));
    Release(core.checklistRows);
    core.checklistRows = rows;
    core.checklistRowsAllocated = allocated;
    return true;
}

} // namespace

bool ReserveChecklistString(std::int32_t row, std::int32_t length) {
    CoreData& core = *g_CoreData;
    // A text of INT32_MAX characters and its terminator pass what the allocator takes.
    if (row < 0 || length == INT32_MAX) return false;
    if (!core.checklistRows) {
        core.checklistRows = NewRowArray(kFirstRows, 0);
        if (!core.checklistRows) return false;
        core.checklistRowsAllocated = kFirstRows;
    }
    if (!GrowUntilFits(core, static_cast<std::uint32_t>(row))) return false;

    ChecklistEntry& entry = core.checklistRows[row];
    if (length > 0 && static_cast<std::uint32_t>(length) > entry.capacity) {
        char* text = Allocate(length + 1);
        if (!text) return false;
        if (entry.string) std::memcpy(text, entry.string, entry.capacity + 1);
        Release(entry.string);
        entry.string = text;
        entry.capacity = static_cast<std::uint32_t>(length);
    }
    return true;
}

namespace {

// Frees the first count texts of a list made aside, and the list.
void ReleaseTexts(char** texts, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i)
        Release(texts[i]);
    Release(texts);
}

} // namespace

bool ReserveChecklistRows(std::int32_t count, std::int32_t length) {
    if (count <= 0) return true;
    if (length == INT32_MAX || count > 0x1FFFFFFF) return false;
    CoreData& core = *g_CoreData;
    // The longer texts are had aside first; the rows take them only once nothing can fail.
    const auto needsText = [&](std::int32_t i) {
        const std::uint32_t capacity = i < core.checklistRowsAllocated && core.checklistRows
                                           ? core.checklistRows[i].capacity
                                           : 2;
        return length > 0 && static_cast<std::uint32_t>(length) > capacity;
    };
    auto** texts =
        reinterpret_cast<char**>(Allocate(count * static_cast<std::int32_t>(sizeof(char*))));
    if (!texts) return false;
    std::int32_t made = 0;
    bool ok = true;
    for (; made < count && ok; ++made)
        if (needsText(made)) ok = (texts[made] = Allocate(length + 1)) != nullptr;
    const bool hadRows = core.checklistRows != nullptr;
    const std::int32_t inUse = core.checklistRowsInUse;
    if (!ok || !ReserveChecklistString(count - 1, 0)) {
        ReleaseTexts(texts, made);
        if (!hadRows && core.checklistRows) FreeChecklist(); // made by the growth that failed
        core.checklistRowsInUse = inUse;
        return false;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        if (!texts[i]) continue;
        ChecklistEntry& entry = core.checklistRows[i];
        if (entry.string) std::memcpy(texts[i], entry.string, entry.capacity + 1);
        Release(entry.string);
        entry.string = std::exchange(texts[i], nullptr);
        entry.capacity = static_cast<std::uint32_t>(length);
    }
    Release(texts);
    return true;
}

void FreeChecklist() {
    CoreData& core = *g_CoreData;
    if (!core.checklistRows) return;
    for (std::int32_t i = 0; i < core.checklistRowsAllocated; ++i) {
        Release(core.checklistRows[i].string);
    }
    Release(core.checklistRows);
    core.checklistRows = nullptr;
    core.checklistRowsAllocated = 0;
    core.checklistRowsInUse = 0;
}
