// Running out of memory in the multiplayer commands: 101, the checklist, the player numbers and
// the network as they were, no exception and no memory held. This program's allocator is the
// failing heap.
#include "core/win32.h"

#include "net_fixture.h"
#include "core/error_numbers.h"
#include "multiplayer/directplay_seam.h"
#include "multiplayer/multiplayer_state.h"
#include "support/failing_heap_impl.h"
#include "support/failing_rows.h"

namespace {

std::string Listed() {
    std::string print = std::to_string(g_CoreData->checklistRowsInUse);
    for (std::int32_t i = 0; i < g_CoreData->checklistRowsInUse; ++i)
        print += std::string(";") + g_CoreData->checklistRows[i].string;
    for (DPID id : g_Multiplayer.players)
        print += id ? "+" + std::to_string(id) : "";
    return print + (g_Multiplayer.connection ? " connected" : "");
}

} // namespace

// The platform's own providers: a list that cannot be had leaves no network made for it.
TEST(NetMemory, ConnectionsThatCannotBeListedLeaveNoNetwork) {
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    ErrorCellScope errors;
    LinkModules();
    SetDirectPlayCreators({});
    MultiplayerConstructor();
    MultiplayerPassCoreDataExport(g_CoreData);
    failing_heap::CheckFailingRows(
        {{"ListNetConnections", ListNetConnections, Listed, kStringNoMemory, FreeNetGame}});
    MultiplayerDestructor();
    FreeChecklist();
    if (com) CoUninitialize();
}

TEST_F(NetTest, PlayersThatCannotBeListedKeepTheirNumbers) {
    EXPECT_EQ(ConnectNetGame("Arena", "Host", 8, 1), 1);
    EXPECT_EQ(Joins("Bo"), 2);
    FreeChecklist();
    failing_heap::CheckFailingRows({{"ListNetPlayers", ListNetPlayers, Listed, kStringNoMemory}});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"Host", "Bo"}));
}

// A message taken from DirectPlay that cannot be queued waits for the next read, ahead of the
// rest: out of memory loses no message.
TEST_F(NetTest, AMessageThatCannotBeQueuedWaitsForTheNextRead) {
    EXPECT_EQ(ConnectNetGame("Arena", "Host", 8, 1), 1);
    FakePeer* bo = nullptr;
    EXPECT_EQ(Joins("Bo", &bo), 2);
    FakePeer* module = network.ModulePeer();
    const std::string text = "a text longer than a short string holds";
    network.Inject(module, bo->FirstPlayer(), Packet(3, text + '\0'), DPID_SERVERPLAYER);
    network.Inject(module, bo->FirstPlayer(), Packet(1, Word(7)), DPID_SERVERPLAYER);
    // Each read fails somewhere else, until one hands the text over.
    for (int k = 1; k < 64 && NetMessageType() == 0; ++k) {
        errors.Clear();
        const bool failed = failing_heap::CallFailing(k, GetNetMessage, "GetNetMessage");
        EXPECT_EQ(errors.Last(), failed ? kStringNoMemory : 0) << k;
    }
    ASSERT_EQ(NetMessageType(), 3);
    EXPECT_EQ(Text(NetMessageString(nullptr)), text);
    GetNetMessage();
    EXPECT_EQ(NetMessageInteger(), 7) << "the next one follows";
}
