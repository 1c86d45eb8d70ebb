#include "core/win32.h"

#include "core/core.h"
#include "core/error_numbers.h"
#include "core/module_link.h"

#include <cstdlib>
#include <cstring>

static_assert(sizeof(void*) == 4, "the engine is a 32-bit program");
static_assert(sizeof(CoreData) == 924, "CoreData is a fixed 924-byte block");

namespace {
CoreData coreDataBlock;
}

CoreData* g_CoreData = &coreDataBlock;

CoreData* GetCoreDataPointer() {
    return &coreDataBlock;
}

bool ConnectCoreData() {
    g_CoreData = GetCoreDataPointer();
    return true;
}

bool LinkModules() {
    std::memset(&coreDataBlock, 0, sizeof coreDataBlock);
    coreDataBlock.inkForeground = 0xFFFFFFFF;
    coreDataBlock.cursorShown = 1;
    coreDataBlock.inkBackground = 0;
    coreDataBlock.escapeExit = 1;
    coreDataBlock.renderPassCount = 1;
    coreDataBlock.renderPassIndex = 0;
    FillModuleLinkTable(ModuleLinkTable);
    return true;
}

void CoreResizeString(char** slot, std::int32_t size) {
    if (!slot) return;
    if (size > 0) {
        *slot = static_cast<char*>(std::calloc(static_cast<std::size_t>(size), 1));
        return;
    }
    std::free(*slot);
    *slot = nullptr;
}

void ResizeModuleString(const CoreData* core, char** slot, std::int32_t size) {
    if (core && core->callbacks.resizeString) {
        core->callbacks.resizeString(slot, size);
    } else {
        CoreResizeString(slot, size);
    }
}

char* NewModuleString(const CoreData* core, std::uint64_t bytes) {
    char* text = nullptr;
    if (bytes > 0 && bytes <= 0x7FFFFFFF)
        ResizeModuleString(core, &text, static_cast<std::int32_t>(bytes));
    if (!text) RaiseRuntimeError(kStringNoMemory);
    return text;
}

char* HandOverModuleString(const CoreData* core, char* previous, char* fresh) {
    if (!fresh) return previous;
    if (previous) ResizeModuleString(core, &previous, 0);
    return fresh;
}

char* ReplaceModuleString(const CoreData* core, char* previous, const char* text,
                          std::size_t length) {
    char* fresh = NewModuleString(core, std::uint64_t{length} + 1);
    if (fresh && length) std::memcpy(fresh, text, length);
    return HandOverModuleString(core, previous, fresh);
}
