// Running out of memory in the display commands: 101, the checklist as it was, no exception and
// no memory held. This program's allocator is the failing heap.
#include "core/win32.h"

#include "core/checklist.h"
#include "core/error_numbers.h"
#include "display/display.h"
#include "object3d/primitive_makers.h"
#include "support/engine_fixture.h"
#include "support/failing_heap_impl.h"
#include "support/failing_rows.h"
#include "system/system.h"

namespace {

class DisplayMemory : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    }
};

std::string Checklist() {
    std::string rows = std::to_string(ChecklistQuantity());
    for (std::int32_t row = 0; row < ChecklistQuantity(); ++row)
        rows += std::string(";") + g_CoreData->checklistRows[row].string;
    return rows;
}

} // namespace

TEST_F(DisplayMemory, OutOfMemoryRaises101AndKeepsTheChecklist) {
    FreeChecklist(); // lists that make the checklist anew
    RECT excluded[] = {{10, 10, 30, 30}, {20, 40, 60, 50}};
    g_CoreData->excludedRects = excluded;
    g_CoreData->excludedRectCount = 2;
    using failing_heap::FailingRow;
    const auto nothing = [] { return std::string(); };
    failing_heap::CheckFailingRows({
        FailingRow{"DisplayModeChecklist", DisplayModeChecklist, Checklist, kStringNoMemory,
                   FreeChecklist},
        FailingRow{"AdapterNameChecklist", AdapterNameChecklist, Checklist, kStringNoMemory},
        // A frame whose pieces cannot be had is not presented over what is excluded.
        FailingRow{"PresentDisplay", PresentDisplay, nothing, kStringNoMemory},
    });
    g_CoreData->excludedRects = nullptr;
    g_CoreData->excludedRectCount = 0;
}

// A mode change releases and rebuilds every module: a module that runs out of memory there says so
// (101), the others rebuild, and nothing leaves the command.
TEST_F(DisplayMemory, AModeChangeThatRunsOutOfMemoryThrowsNothing) {
    struct Row {
        const char* name;
        void (*before)();
        void (*call)();
    };
    const Row rows[] = {
        {"SetDisplayMode", [] {}, [] { SetDisplayMode(640, 480, 32); }},
        {"Setup", [] {}, [] { ::Setup(); }},
        {"ResetDeviceWindowed", [] { SetDisplayModeFullScreen(1024, 768, 32); },
         ResetDeviceWindowed},
    };
    for (const Row& row : rows)
        for (int k = 1; k < 256; ++k) {
            row.before();
            MakeObjectBox(1, 10.0f);
            const std::string what = std::string(row.name) + " " + std::to_string(k);
            const bool failed = failing_heap::CallFailing(k, row.call, what);
            EXPECT_NE(GetDirect3DDevice(), nullptr) << what;
            if (!failed) break;
        }
}
