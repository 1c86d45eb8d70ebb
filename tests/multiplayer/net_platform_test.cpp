// The platform's own DirectPlay: its connections are listed, and hosting is tried where it can
// work. Wine's service providers cannot open sessions, so there the hosting part is skipped.
#include "core/win32.h"

#include "core/checklist.h"
#include "core/core.h"
#include "multiplayer/directplay_seam.h"
#include "multiplayer/multiplayer.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(NetPlatform, ConnectionsAreListedAndHostingIsTried) {
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    ErrorCellScope errors;
    LinkModules();
    SetDirectPlayCreators({});
    MultiplayerConstructor();
    MultiplayerPassCoreDataExport(g_CoreData);

    ListNetConnections();
    const std::int32_t rows = g_CoreData->checklistRowsInUse;
    EXPECT_LE(rows, 64);
    for (std::int32_t i = 0; i < rows; ++i) {
        EXPECT_NE(std::string(g_CoreData->checklistRows[i].string), "") << i;
        std::printf("connection %d: %s\n", i + 1, g_CoreData->checklistRows[i].string);
    }
    FreeNetGame();

    CreateNetGame("Platform", "Host", 4);
    const bool hosting = NetGameExists() == 1;
    if (hosting) {
        ListNetPlayers();
        EXPECT_EQ(g_CoreData->checklistRowsInUse, 1);
        SendNetMessageInteger(0, 5);
        GetNetMessage();
    }
    FreeNetGame();
    MultiplayerDestructor();
    FreeChecklist();
    EXPECT_EQ(errors.Last(), 0);
    if (com) CoUninitialize();
    if (!hosting) GTEST_SKIP() << "the platform's DirectPlay could not host a session here";
}
