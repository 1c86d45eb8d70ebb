// Running out of memory in the system commands: 101, CoreData's texts as they were, no exception
// and no memory held. This program's allocator is the failing heap.
#include "core/win32.h"

#include "core/core.h"
#include "core/error_numbers.h"
#include "core/media.h"
#include "system/dxdiag.h"
#include "system/system.h"
#include "support/error_cell.h"
#include "support/failing_heap_impl.h"
#include "support/failing_rows.h"

TEST(SystemMemory, OutOfMemoryRaises101AndKeepsWhatWasThere) {
    LinkModules();
    ErrorCellScope errors;
    SystemConstructor();
    SystemPassCoreData(g_CoreData);
    g_CoreData->callbacks.mediaRedirect = MediaPathRedirect;
    SetDxDiagProviderCreator(nullptr);
    SetCoreDataStrings("old text", "old caption");
    const auto endMessage = [] {
        return std::string(g_CoreData->endMessageText) + "|" + g_CoreData->endMessageCaption;
    };
    using failing_heap::FailingRow;
    failing_heap::CheckFailingRows({
        FailingRow{"LoadUserDLL", [] { LoadUserDLL("a-library-named-past-a-short-string.dll", 1); },
                   [] { return std::string(); }, 0},
        FailingRow{"SetCoreDataStrings", [] { SetCoreDataStrings("new text", "new caption"); },
                   endMessage, kStringNoMemory},
        // The platform's provider: only the engine's own records come from this heap.
        FailingRow{"GetDisplayMemoryMB", [] { GetDisplayMemoryMB(); }, [] { return std::string(); },
                   kStringNoMemory},
    });
    CoreResizeString(&g_CoreData->endMessageText, 0);
    CoreResizeString(&g_CoreData->endMessageCaption, 0);
    g_CoreData->callbacks = CoreDataCallbacks{};
    SystemDestructor();
}
