#include "core/win32.h"

#include "core/core.h"
#include "core/idlist.h"
#include "core/module_link.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

TEST(CoreDataLayout, SharedRecordsKeepTheirLayout) {
    EXPECT_EQ(sizeof(RuntimeErrorRecord), 4u);
    // A list head opens with its three fields; its lookup index follows them.
    const IdList list;
    const auto at = [&](const void* field) {
        return static_cast<const char*>(field) - reinterpret_cast<const char*>(&list);
    };
    EXPECT_EQ(at(&list.last), 0);
    EXPECT_EQ(at(&list.first), 4);
    EXPECT_EQ(at(&list.count), 8);
    EXPECT_EQ(sizeof(IdListNode), 16u);
    // The callbacks open the block, in their fixed order.
    EXPECT_EQ(offsetof(CoreData, callbacks), 0u);
    EXPECT_EQ(offsetof(CoreDataCallbacks, chooseCursor), 24u);
}

TEST(LinkModules, ClearsTheBlockAndSetsTheStartValues) {
    CoreData* core = GetCoreDataPointer();
    ASSERT_EQ(core, g_CoreData);
    std::memset(core, 0xAB, sizeof *core);

    EXPECT_TRUE(LinkModules());

    EXPECT_EQ(core->inkForeground, 0xFFFFFFFFu);
    EXPECT_EQ(core->inkBackground, 0u);
    EXPECT_EQ(core->renderPassCount, 1u);
    EXPECT_EQ(core->renderPassIndex, 0u);
    EXPECT_EQ(core->cursorShown, 1);
    EXPECT_EQ(core->escapeExit, 1);

    CoreData rest;
    std::memcpy(&rest, core, sizeof rest);
    rest.inkForeground = 0;
    rest.renderPassCount = 0;
    rest.cursorShown = 0;
    rest.escapeExit = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&rest);
    for (std::size_t i = 0; i < sizeof rest; ++i) {
        ASSERT_EQ(bytes[i], 0) << "byte " << i << " of CoreData is not cleared";
    }
}

// Each module's words: its four entries and those further words the table lists for it.
static_assert(sizeof(DisplayLinks) == (4 + 28) * sizeof(void*));
static_assert(sizeof(VideoLinks) == (4 + 2) * sizeof(void*));
static_assert(sizeof(CameraLinks) == (4 + 5) * sizeof(void*));

TEST(LinkModules, FillsEveryModuleEntry) {
    ModuleLinkTable = ModuleLinkTableRecord{};
    LinkModules();
    // The table is made of pointer words only: after linking, none is left null but the two
    // reserved pass words at its end.
    const auto* words = reinterpret_cast<void* const*>(&ModuleLinkTable);
    const std::size_t count = sizeof ModuleLinkTable / sizeof(void*) - 2;
    ASSERT_EQ(reinterpret_cast<void* const*>(&ModuleLinkTable.reservedPass1), words + count);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_NE(words[i], nullptr) << "link word " << i << " is null";
    }
}

TEST(ErrorCell, ErrorsOverwriteWhileWarningsAndInternalReportsLeaveItAlone) {
    ErrorCellScope errors;
    ReportInternalError("anything");
    EXPECT_EQ(errors.Last(), 0);
    RaiseRuntimeError(7801);
    RaiseRuntimeError(42);
    ReportInternalError("GetVector3 - vector does not exist");
    ReportInternalError(nullptr);
    RaiseRuntimeWarning(9701);
    EXPECT_EQ(errors.Last(), 42);
}

TEST(CoreStrings, ResizeAllocatesZeroedAndFreeClearsTheSlot) {
    char* text = nullptr;
    CoreResizeString(&text, 16);
    ASSERT_NE(text, nullptr);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(text[i], 0);
    CoreResizeString(&text, 0);
    EXPECT_EQ(text, nullptr);
    CoreResizeString(&text, 0); // freeing an empty slot is harmless
    CoreResizeString(nullptr, 8);
}
