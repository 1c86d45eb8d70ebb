// What peers can make the module hold: floods of messages against the receive queue's caps, and
// players and groups coming and going against the 255 player numbers.
#include "core/win32.h"

#include "net_fixture.h"
#include "multiplayer/multiplayer_state.h"

#include <cstring>
#include <ostream>
#include <string>

namespace {

// Well above what one call of the module takes, far below a flood.
constexpr DWORD kTakenPerCall = 1024;
constexpr std::uint64_t kHeldInput = 64ull << 20;

class NetQueue : public NetTest {
protected:
    // The module hosts and Bo joins; the module's peer.
    FakePeer* Start() {
        EXPECT_EQ(ConnectNetGame("Arena", "Host", 8, 1), 1);
        FakePeer* bo = nullptr;
        EXPECT_EQ(Joins("Bo", &bo), 2);
        boId = bo->FirstPlayer();
        return network.ModulePeer();
    }
    // DirectPlay's note that a player (or group) came or went.
    void Tell(FakePeer* module, DWORD type, DPID id, DWORD kind = DPPLAYERTYPE_PLAYER) {
        network.Inject(module, DPID_SYSMSG, FakeNetwork::PlayerMessage(type, id, kind));
    }
    // An integer message from the player to the module's.
    void Say(FakePeer* module, DPID from, std::uint32_t value) {
        network.Inject(module, from, Packet(1, Word(value)), DPID_SERVERPLAYER);
    }
    DPID boId = 0;
};

struct Flood {
    const char* name;
    DWORD bytes; // each packet's
    DWORD count;
    DWORD reads;
    bool kept; // false: each is too large to hold, and is taken and dropped
};

void PrintTo(const Flood& flood, std::ostream* out) {
    *out << flood.name;
}

class NetFlood : public NetQueue, public ::testing::WithParamInterface<Flood> {};

} // namespace

TEST_P(NetFlood, TheQueueStaysWithinItsCapsAndReadsInOrder) {
    const Flood& f = GetParam();
    FakePeer* module = Start();
    module->flood = FakeFlood{boId, DPID_SERVERPLAYER, f.bytes, f.count};
    DWORD before = 0;
    for (DWORD read = 0; read < f.reads && !HasFailure(); ++read) {
        GetNetMessage();
        const DWORD taken = module->flood.taken;
        EXPECT_LE(taken - before, kTakenPerCall) << "one call, read " << read;
        before = taken;
        if (!f.kept) {
            EXPECT_EQ(NetMessageType(), 0);
            EXPECT_EQ(taken, read + 1) << "one dropped a call";
            continue;
        }
        const DWORD queued = taken - (read + 1);
        EXPECT_LE(queued, kNetQueueMessages) << read;
        EXPECT_LE(std::uint64_t{queued} * f.bytes, kHeldInput) << read;
        ASSERT_EQ(NetMessageType(), 4) << read;
        NetMessageMemblock(1);
        ASSERT_EQ(GetMemblockSizeForModule(1), static_cast<std::int32_t>(f.bytes - 8));
        std::uint32_t sequence = 0;
        std::memcpy(&sequence, GetMemblockPtrForModule(1), 4);
        EXPECT_EQ(sequence, read) << "nothing lost, nothing out of order";
    }
    if (f.reads == f.count) {
        GetNetMessage();
        EXPECT_EQ(NetMessageType(), 0);
        EXPECT_EQ(module->flood.taken, f.count);
    }
    EXPECT_EQ(errors.Last(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Floods, NetFlood,
    ::testing::Values(Flood{"MegabyteBlocks", 1u << 20, 200, 200, true},
                      Flood{"KilobyteBlocks", 1u << 10, 300000, 3000, true},
                      Flood{"TheLargestBlocks", kNetLargestMessage, 4, 4, true},
                      Flood{"BlocksTooLargeToHold", kNetLargestMessage + 1, 3, 3, false}),
    [](const ::testing::TestParamInfo<Flood>& info) { return std::string(info.param.name); });

namespace {

struct Visits {
    const char* name;
    DWORD kind;    // DPPLAYERTYPE_PLAYER or DPPLAYERTYPE_GROUP
    bool asked;    // the game asks who came and who went
    bool speaking; // each player sends a message before it leaves, which the game reads
};

void PrintTo(const Visits& visits, std::ostream* out) {
    *out << visits.name;
}

class NetVisits : public NetQueue, public ::testing::WithParamInterface<Visits> {};

} // namespace

TEST_P(NetVisits, NumbersComeBackWhenPlayersLeaveAndGroupsTakeNone) {
    const Visits& v = GetParam();
    const bool group = v.kind == DPPLAYERTYPE_GROUP;
    FakePeer* module = Start();
    for (DPID visit = 0; visit < 260 && !HasFailure(); ++visit) {
        const DPID id = 0x1000 + visit;
        Tell(module, DPSYS_CREATEPLAYERORGROUP, id, v.kind);
        if (v.speaking) Say(module, id, visit);
        Tell(module, DPSYS_DESTROYPLAYERORGROUP, id, v.kind);
        const std::int32_t created = v.asked ? NetPlayerCreated() : 0;
        if (v.asked) {
            EXPECT_TRUE(group ? created == 0 : created >= 3 && created <= 255)
                << created << (group ? ": a group is no player" : "");
        }
        for (int call = 0; v.speaking && call < 3 && NetMessageType() != 1; ++call)
            GetNetMessage();
        if (v.speaking) {
            EXPECT_EQ(NetMessageInteger(), static_cast<std::int32_t>(visit));
            const std::int32_t from = NetMessagePlayerFrom();
            EXPECT_TRUE(from >= 3 && from <= 255) << from;
            EXPECT_TRUE(!v.asked || from == created) << from << " " << created;
            GetNetMessage(); // the next frame's read: nothing yet
        }
        if (v.asked) {
            EXPECT_EQ(NetPlayerDestroyed(), created);
        }
        if (!v.asked && !v.speaking) {
            GetNetMessage(); // sees the arrival
            GetNetMessage(); // and the departure
        }
        EXPECT_TRUE(module->inbox.empty()) << visit;
    }
    // The last speaker's number stays held while its message is the current one.
    const std::int32_t heldBySpeaker = v.speaking ? NetMessagePlayerFrom() : 0;
    EXPECT_EQ(Joins("Cy"), heldBySpeaker == 3 ? 4 : 3) << "a real player after the visits";
    EXPECT_EQ(errors.Last(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Visitors, NetVisits,
    ::testing::Values(Visits{"PlayersAskedAbout", DPPLAYERTYPE_PLAYER, true, false},
                      Visits{"PlayersNeverAskedAbout", DPPLAYERTYPE_PLAYER, false, false},
                      Visits{"SpeakingPlayersNeverAskedAbout", DPPLAYERTYPE_PLAYER, false, true},
                      Visits{"SpeakingPlayersAskedAbout", DPPLAYERTYPE_PLAYER, true, true},
                      Visits{"Groups", DPPLAYERTYPE_GROUP, true, false}),
    [](const ::testing::TestParamInfo<Visits>& info) { return std::string(info.param.name); });

TEST_F(NetQueue, ALeaversUnreadMessagesKeepItsNumberFromTheNextComer) {
    FakePeer* module = Start();
    Tell(module, DPSYS_CREATEPLAYERORGROUP, 0x500);
    EXPECT_EQ(NetPlayerCreated(), 3);
    Say(module, 0x500, 1);
    Say(module, 0x500, 2);
    Tell(module, DPSYS_DESTROYPLAYERORGROUP, 0x500);
    Tell(module, DPSYS_CREATEPLAYERORGROUP, 0x600);
    EXPECT_EQ(NetPlayerDestroyed(), 3);
    EXPECT_EQ(NetPlayerCreated(), 4) << "unread messages still name 3";
    for (std::int32_t value : {1, 2}) {
        GetNetMessage();
        EXPECT_EQ(NetMessageInteger(), value);
        EXPECT_EQ(NetMessagePlayerFrom(), 3);
    }
    GetNetMessage(); // nothing: the last message stays the current one
    EXPECT_EQ(NetMessagePlayerFrom(), 3);
    Say(module, 0x600, 3);
    GetNetMessage();
    EXPECT_EQ(NetMessagePlayerFrom(), 4);
    Tell(module, DPSYS_CREATEPLAYERORGROUP, 0x700);
    EXPECT_EQ(NetPlayerCreated(), 3) << "read out, the leaver's number is free again";
    EXPECT_EQ(errors.Last(), 0);
}
