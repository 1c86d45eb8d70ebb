// What peers can make the module hold: floods of messages against the receive queue's caps.
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
