// What peers can make the module hold: floods of messages against the receive queue's caps, and
// players and groups coming and going against the 255 player numbers.
#include "core/win32.h"

#include "net_fixture.h"
#include "multiplayer/multiplayer_state.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

// Well above what one call of the module takes, far below a flood; the input it may hold.
constexpr DWORD kTakenPerCall = 1024;
constexpr std::uint64_t kHeldInput = 64ull << 20;
// The notices the drop may hold back for the game.
constexpr std::size_t kHeldBackNotices = 16;

// The module hosts and Bo joins.
class NetQueue : public NetTest {
protected:
    void SetUp() override {
        NetTest::SetUp();
        EXPECT_EQ(ConnectNetGame("Arena", "Host", 8, 1), 1);
        EXPECT_EQ(Joins("Bo", &bo), 2);
        module = network.ModulePeer();
    }
    // DirectPlay's note that a player (or group) came or went.
    void Tell(DWORD type, DPID id, DWORD kind = DPPLAYERTYPE_PLAYER) {
        network.Inject(module, DPID_SYSMSG, FakeNetwork::PlayerMessage(type, id, kind));
    }
    // An integer message from the player to the module's.
    void Say(DPID from, std::uint32_t value) {
        network.Inject(module, from, Packet(1, Word(value)), DPID_SERVERPLAYER);
    }
    // What the module and the stand-in hold of the peers' messages: queued, current and waiting.
    std::uint64_t Held() {
        DWORD messages = 0, bytes = 0;
        EXPECT_EQ(module->GetMessageQueue(0, 0, DPMESSAGEQUEUE_RECEIVE, &messages, &bytes), DP_OK);
        return g_Multiplayer.queuedBytes + g_Multiplayer.current.data.capacity() + bytes;
    }
    FakePeer* bo = nullptr;
    FakePeer* module = nullptr;
};

struct Flood {
    friend std::ostream& operator<<(std::ostream& out, const Flood& c) { return out << c.name; }
    const char* name;
    DWORD bytes, count, perFrame; // each packet's bytes, the packets sent, and those sent a frame
    bool kept;                    // false: each is too large to hold, and is taken and dropped
    bool counted;                 // the stand-in tells the module what it holds
    bool drops;                   // more arrives than the cap holds
    int visitAt; // the frame whose packets have a player's arrival and departure amid them
};

struct Visits {
    friend std::ostream& operator<<(std::ostream& out, const Visits& c) { return out << c.name; }
    const char* name;
    DWORD kind;           // DPPLAYERTYPE_PLAYER or DPPLAYERTYPE_GROUP
    bool asked, speaking; // the game asks who came and went; each says a word, which it reads
};

// Players come, or leave, one after another, alone or amid a flood that passes the cap.
struct Notices {
    friend std::ostream& operator<<(std::ostream& out, const Notices& c) { return out << c.name; }
    const char* name;
    DWORD type;   // DPSYS_CREATEPLAYERORGROUP or DPSYS_DESTROYPLAYERORGROUP
    DPID players; // more than the module holds back: the oldest are replaced unread
    bool flooded;
};

class NetFlood : public NetQueue, public ::testing::WithParamInterface<Flood> {};
class NetVisits : public NetQueue, public ::testing::WithParamInterface<Visits> {};
class NetNotices : public NetQueue, public ::testing::WithParamInterface<Notices> {};

} // namespace

TEST_P(NetFlood, WhatIsHeldStaysWithinTheCapsAndWhatIsKeptReadsInOrder) {
    const Flood& f = GetParam();
    if (!f.counted) network.messageQueueResult = DPERR_UNSUPPORTED;
    const DPID from = bo->FirstPlayer();
    constexpr DPID kVisitor = 0x900;
    // A call keeps no message too large to hold: it drops one.
    const std::uint64_t queueCap =
        f.kept ? std::min<std::uint64_t>(kNetQueueMessages, kHeldInput / f.bytes) : 0;
    DWORD sent = 0, read = 0, taken = 0;
    std::int64_t last = -1;
    // The peer sends a frame's packets, then the game reads one message.
    for (DWORD frame = 0; frame < 2 * f.count + 2 && !HasFailure(); ++frame) {
        const DWORD now = std::min(f.perFrame, f.count - sent);
        const bool visit = static_cast<int>(frame) == f.visitAt;
        network.Flood(module, from, DPID_SERVERPLAYER, f.bytes, visit ? now / 2 : now);
        if (visit) {
            Tell(DPSYS_CREATEPLAYERORGROUP, kVisitor);
            Tell(DPSYS_DESTROYPLAYERORGROUP, kVisitor);
            network.Flood(module, from, DPID_SERVERPLAYER, f.bytes, now - now / 2);
        }
        sent += now;
        GetNetMessage();
        EXPECT_LE(module->floodTaken - taken, kTakenPerCall) << "one call, frame " << frame;
        taken = module->floodTaken;
        EXPECT_LE(g_Multiplayer.queue.size(), queueCap) << "queued, frame " << frame;
        if (f.counted) {
            ASSERT_LE(Held(), kHeldInput) << "frame " << frame;
        }
        if (visit) {
            EXPECT_EQ(NetPlayerCreated(), 3) << "the visitor came amid the flood";
            EXPECT_EQ(NetPlayerDestroyed(), 3) << "and left";
        }
        if (NetMessageType() == 0 && sent == f.count && module->inbox.empty()) break;
        if (NetMessageType() == 0) continue;
        ASSERT_EQ(NetMessageType(), f.kept ? 4 : 0) << frame;
        NetMessageMemblock(1);
        ASSERT_EQ(GetMemblockSizeForModule(1), static_cast<std::int32_t>(f.bytes - 8));
        std::uint32_t sequence = 0;
        std::memcpy(&sequence, GetMemblockPtrForModule(1), 4);
        EXPECT_GT(sequence, last) << "nothing out of order";
        if (!f.drops) {
            EXPECT_EQ(sequence, read) << "nothing lost";
        }
        last = sequence;
        ++read;
    }
    EXPECT_TRUE(module->inbox.empty());
    const std::uint64_t dropped = g_Multiplayer.droppedMessages;
    EXPECT_EQ(read + dropped, f.count) << "each message read or counted as dropped";
    EXPECT_EQ(dropped > 0, f.drops) << dropped;
    EXPECT_EQ(Joins("Cy"), 3) << "no visitor's number still held";
    EXPECT_EQ(errors.Last(), 0);
}

const Flood kFloods[] = {
    {"MegabyteBlocks", 1u << 20, 200, 200, true, true, true, -1},
    {"MegabyteBlocksFasterThanRead", 1u << 20, 200, 32, true, true, true, 4},
    {"MegabyteBlocksUncounted", 1u << 20, 200, 200, true, false, false, -1},
    {"KilobyteBlocks", 1u << 10, 6000, 6000, true, true, false, -1},
    {"TheLargestBlocks", kNetLargestMessage, 4, 1, true, true, false, -1},
    {"BlocksTooLargeToHold", kNetLargestMessage + 1, 3, 3, false, true, true, -1},
};
INSTANTIATE_TEST_SUITE_P(Floods, NetFlood, ::testing::ValuesIn(kFloods),
                         ::testing::PrintToStringParamName());

TEST_P(NetNotices, AGameAskingOnceAFrameSeesEachWhileTheExcessIsDropped) {
    const Notices& n = GetParam();
    const bool arrivals = n.type == DPSYS_CREATEPLAYERORGROUP;
    for (DPID i = 0; !arrivals && i < n.players; ++i) {
        Tell(DPSYS_CREATEPLAYERORGROUP, 0x700 + i);
        EXPECT_EQ(NetPlayerCreated(), static_cast<std::int32_t>(3 + i));
    }
    // 110 MB against the 64 MB cap, the notices amid it.
    const DPID from = bo->FirstPlayer();
    const DWORD floods[] = {n.flooded ? 100u : 0u, n.flooded ? 10u : 0u};
    network.Flood(module, from, DPID_SERVERPLAYER, 1u << 20, floods[0]);
    for (DPID i = 0; i < n.players; ++i)
        Tell(n.type, 0x700 + i);
    network.Flood(module, from, DPID_SERVERPLAYER, 1u << 20, floods[1]);
    std::vector<std::int32_t> seen;
    std::uint64_t read = 0;
    for (int frame = 0; frame < 400 && !HasFailure(); ++frame) {
        const std::int32_t created = NetPlayerCreated();
        const std::int32_t destroyed = NetPlayerDestroyed();
        if (const std::int32_t number = arrivals ? created : destroyed) seen.push_back(number);
        EXPECT_EQ(arrivals ? destroyed : created, 0) << "frame " << frame;
        GetNetMessage();
        ASSERT_LE(Held(), kHeldInput) << "frame " << frame;
        if (NetMessageType() == 4) ++read;
    }
    // Each once and in order; past what the module holds back, older ones are replaced unread.
    const std::int32_t last = static_cast<std::int32_t>(2 + n.players);
    EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end(), std::greater_equal<>()) ==
                    seen.end() &&
                seen.size() >= std::min<std::size_t>(n.players, kHeldBackNotices + 1) &&
                !seen.empty() && seen.back() == last)
        << ::testing::PrintToString(seen);
    // As many as the cap drops from the same flood without them.
    EXPECT_EQ(g_Multiplayer.droppedMessages, n.flooded ? 47u : 0u);
    EXPECT_EQ(read + g_Multiplayer.droppedMessages, floods[0] + floods[1]);
    EXPECT_TRUE(module->inbox.empty());
    EXPECT_EQ(Joins("Cy"), arrivals ? last + 1 : 3) << "every notice reached the player table";
    EXPECT_EQ(errors.Last(), 0);
}

const Notices kNotices[] = {
    {"TwoArrivalsInAFlood", DPSYS_CREATEPLAYERORGROUP, 2, true},
    {"TwoDeparturesInAFlood", DPSYS_DESTROYPLAYERORGROUP, 2, true},
    {"ArrivalsPastTheHeldBackInAFlood", DPSYS_CREATEPLAYERORGROUP, 40, true},
    {"DeparturesPastTheHeldBackInAFlood", DPSYS_DESTROYPLAYERORGROUP, 40, true},
    {"ThreeArrivals", DPSYS_CREATEPLAYERORGROUP, 3, false},
    {"ThreeDepartures", DPSYS_DESTROYPLAYERORGROUP, 3, false},
};
INSTANTIATE_TEST_SUITE_P(OneAfterAnother, NetNotices, ::testing::ValuesIn(kNotices),
                         ::testing::PrintToStringParamName());

TEST_P(NetVisits, NumbersComeBackWhenPlayersLeaveAndGroupsTakeNone) {
    const Visits& v = GetParam();
    const bool group = v.kind == DPPLAYERTYPE_GROUP;
    for (DPID visit = 0; visit < 260 && !HasFailure(); ++visit) {
        const DPID id = 0x1000 + visit;
        Tell(DPSYS_CREATEPLAYERORGROUP, id, v.kind);
        if (v.speaking) Say(id, visit);
        Tell(DPSYS_DESTROYPLAYERORGROUP, id, v.kind);
        const std::int32_t created = v.asked ? NetPlayerCreated() : 0;
        EXPECT_TRUE(!v.asked || (group ? created == 0 : created >= 3 && created <= 255))
            << created << (group ? ": a group is no player" : "");
        if (v.speaking) {
            for (int call = 0; call < 3 && NetMessageType() != 1; ++call)
                GetNetMessage();
            EXPECT_EQ(NetMessageInteger(), static_cast<std::int32_t>(visit));
            const std::int32_t from = NetMessagePlayerFrom();
            EXPECT_TRUE(from >= 3 && from <= 255 && (!v.asked || from == created))
                << from << " " << created;
            GetNetMessage(); // the next frame's read: nothing yet
        }
        if (v.asked) {
            EXPECT_EQ(NetPlayerDestroyed(), created);
        } else if (!v.speaking) {
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

const Visits kVisits[] = {
    {"PlayersAskedAbout", DPPLAYERTYPE_PLAYER, true, false},
    {"PlayersNeverAskedAbout", DPPLAYERTYPE_PLAYER, false, false},
    {"SpeakingPlayersNeverAskedAbout", DPPLAYERTYPE_PLAYER, false, true},
    {"SpeakingPlayersAskedAbout", DPPLAYERTYPE_PLAYER, true, true},
    {"Groups", DPPLAYERTYPE_GROUP, true, false},
};
INSTANTIATE_TEST_SUITE_P(Visitors, NetVisits, ::testing::ValuesIn(kVisits),
                         ::testing::PrintToStringParamName());

TEST_F(NetQueue, ALeaversUnreadMessagesKeepItsNumberFromTheNextComer) {
    Tell(DPSYS_CREATEPLAYERORGROUP, 0x500);
    EXPECT_EQ(NetPlayerCreated(), 3);
    Say(0x500, 1);
    Say(0x500, 2);
    Tell(DPSYS_DESTROYPLAYERORGROUP, 0x500);
    Tell(DPSYS_CREATEPLAYERORGROUP, 0x600);
    EXPECT_EQ(NetPlayerDestroyed(), 3);
    EXPECT_EQ(NetPlayerCreated(), 4) << "unread messages still name 3";
    for (std::int32_t value : {1, 2}) {
        GetNetMessage();
        EXPECT_EQ(NetMessageInteger(), value);
        EXPECT_EQ(NetMessagePlayerFrom(), 3);
    }
    GetNetMessage(); // nothing: the last message stays the current one
    EXPECT_EQ(NetMessagePlayerFrom(), 3);
    Say(0x600, 3);
    GetNetMessage();
    EXPECT_EQ(NetMessagePlayerFrom(), 4);
    Tell(DPSYS_CREATEPLAYERORGROUP, 0x700);
    EXPECT_EQ(NetPlayerCreated(), 3) << "read out, the leaver's number is free again";
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(NetQueue, AGameAskingOnlyWhoCameSeesEachWithoutReadingMessages) {
    // A waiting room: departures are never asked about, and no message is read.
    for (DWORD type : {DPSYS_CREATEPLAYERORGROUP, DPSYS_DESTROYPLAYERORGROUP})
        for (DPID id : {0x700, 0x701})
            Tell(type, id);
    Tell(DPSYS_CREATEPLAYERORGROUP, 0x702);
    std::vector<std::int32_t> seen;
    for (int frame = 0; frame < 40; ++frame)
        if (const std::int32_t n = NetPlayerCreated()) seen.push_back(n);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{3, 4, 3})) << "the last came after both left";
    EXPECT_TRUE(module->inbox.empty());
    EXPECT_EQ(errors.Last(), 0);
}
