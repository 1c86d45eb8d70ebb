#include "core/win32.h"

#include "core/core.h"
#include "system/system.h"
#include "system/system_internal.h"

#include <gtest/gtest.h>

TEST(PhysicalMemory, MegabytesAreRoundedUpExactly) {
    EXPECT_EQ(MegabytesRoundedUp(1610612736u), 1536);
    EXPECT_EQ(MegabytesRoundedUp(1048577u), 2);
    EXPECT_EQ(MegabytesRoundedUp(1610612737u), 1537) << "a float product would lose this byte";
    EXPECT_EQ(MegabytesRoundedUp(0xFFFFFFFFu), 4096);
    EXPECT_GE(GetTotalPhysicalMemory(), GetAvailablePhysicalMemory());
    EXPECT_GT(GetAvailablePhysicalMemory(), 0);
}

TEST(SystemSettings, KeysAndEndMessageLiveInCoreData) {
    LinkModules();
    CoreData* core = g_CoreData;
    SystemPassCoreData(core);
    // The platform lets the system keys through while the screen saver is not running.
    const auto screenSaverRunning = [] {
        BOOL running = 2;
        EXPECT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0));
        return running;
    };
    const BOOL original = screenSaverRunning();
    DisableEscapeKey();
    DisableSystemKeys();
    EXPECT_EQ(core->escapeExit, 0);
    EXPECT_EQ(core->systemKeysDisabled, 1);
    EXPECT_EQ(screenSaverRunning(), TRUE);
    EnableEscapeKey();
    EnableSystemKeys();
    EXPECT_EQ(core->escapeExit, 1);
    EXPECT_EQ(core->systemKeysDisabled, 0);
    EXPECT_EQ(screenSaverRunning(), FALSE);
    UINT previous = 0;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, original, &previous, 0);

    std::string text = "Thanks for playing";
    SetCoreDataStrings(text.c_str(), "Goodbye");
    text[0] = 'X';                        // the engine holds its own copy
    SetCoreDataStrings(nullptr, "Later"); // a null text leaves its field
    EXPECT_STREQ(core->endMessageText, "Thanks for playing");
    EXPECT_STREQ(core->endMessageCaption, "Later");
    SetCoreDataStrings(core->endMessageText, nullptr); // its own text, freed only after the copy
    EXPECT_STREQ(core->endMessageText, "Thanks for playing");
    CoreResizeString(&core->endMessageText, 0);
    CoreResizeString(&core->endMessageCaption, 0);
}
