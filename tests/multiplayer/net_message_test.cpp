// Typed messages between the module and stand-in peers: what goes on the wire, the checks before
// sending, the queue and the readers.
#include "core/win32.h"

#include "net_fixture.h"

#include <cstring>

namespace {

class NetMessages : public NetTest {
protected:
    // The module hosts and Bo joins; Bo's peer.
    FakePeer* Start() {
        EXPECT_EQ(ConnectNetGame("Arena", "Host", 8, 1), 1);
        module = network.ModulePeer();
        FakePeer* bo = nullptr;
        EXPECT_EQ(Joins("Bo", &bo), 2);
        boId = bo->FirstPlayer();
        return bo;
    }
    // Bo sends the bytes to the module's player, as a peer of ours would.
    void FromBo(FakePeer* bo, const std::string& bytes) {
        ASSERT_EQ(bo->Send(boId, DPID_SERVERPLAYER, 0, const_cast<char*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
                  DP_OK);
    }
    FakePeer* module = nullptr;
    DPID boId = 0;
};

} // namespace

TEST_F(NetMessages, AFloatTravelsAsTypeTwoAndReadsAsNoInteger) {
    FakePeer* bo = Start();
    SendNetMessageFloat(0, 1.5f);
    ASSERT_EQ(network.sent.size(), 1u);
    EXPECT_EQ(network.sent[0].bytes, std::string("\x02\0\0\0\x04\0\0\0\x00\x00\xC0\x3F", 12));
    EXPECT_EQ(network.sent[0].from, DPID_SERVERPLAYER);
    EXPECT_EQ(network.sent[0].to, static_cast<DPID>(DPID_ALLPLAYERS));
    EXPECT_EQ(network.sent[0].flags, 0u);
    ASSERT_EQ(bo->inbox.size(), 1u);
    EXPECT_EQ(bo->inbox.front().bytes, network.sent[0].bytes);

    FromBo(bo, bo->inbox.front().bytes);
    GetNetMessage();
    EXPECT_EQ(NetMessageExists(), 1);
    EXPECT_EQ(NetMessageType(), 2);
    EXPECT_EQ(NetMessageFloat(), 1.5f);
    EXPECT_EQ(NetMessageInteger(), 0);
    EXPECT_EQ(NetMessagePlayerFrom(), 2);
    EXPECT_EQ(NetMessagePlayerTo(), 1);

    SendNetMessageInteger(2, -7);
    ASSERT_EQ(network.sent.back().from, DPID_SERVERPLAYER);
    EXPECT_EQ(network.sent.back().bytes, std::string("\x01\0\0\0\x04\0\0\0\xF9\xFF\xFF\xFF", 12));
    EXPECT_EQ(network.sent.back().to, boId);
    FromBo(bo, network.sent.back().bytes);
    GetNetMessage();
    EXPECT_EQ(NetMessageInteger(), -7);
    EXPECT_EQ(NetMessageFloat(), 0.0f);
    EXPECT_EQ(Text(NetMessageString()), "");
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(NetMessages, TextsCarryTheirTerminatorAndReadOnce) {
    FakePeer* bo = Start();
    SendNetMessageString(0, "");
    EXPECT_EQ(network.sent.back().bytes, std::string("\x03\0\0\0\x01\0\0\0\0", 9));
    SendNetMessageString(2, nullptr);
    EXPECT_EQ(network.sent.back().bytes, std::string("\x03\0\0\0\x01\0\0\0\0", 9));
    SendNetMessageString(2, "hello");
    ASSERT_EQ(network.sent.size(), 3u);
    EXPECT_EQ(network.sent.back().to, boId);
    EXPECT_EQ(network.sent.back().bytes, Packet(3, std::string("hello", 6)));

    FromBo(bo, network.sent.back().bytes);
    FromBo(bo, Packet(3, std::string("", 1)));
    GetNetMessage();
    EXPECT_EQ(NetMessageType(), 3);
    EXPECT_EQ(Text(NetMessageString()), "hello");
    EXPECT_EQ(Text(NetMessageString()), "") << "read once";
    GetNetMessage();
    EXPECT_EQ(Text(NetMessageString()), "");

    // The caller's previous string is released through the same allocator.
    char* previous = nullptr;
    CoreResizeString(&previous, 40);
    EXPECT_EQ(Text(NetMessageString(previous)), "");

    GetNetMessage();
    EXPECT_EQ(NetMessageType(), 0) << "empty queue";
    EXPECT_EQ(NetMessageExists(), 0);
    EXPECT_EQ(NetMessagePlayerFrom(), 2) << "the sender of the last message stays";
}

TEST_F(NetMessages, SendsCheckTheirArgumentsInOrder) {
    SendNetMessageInteger(0, 1);
    EXPECT_TRUE(network.sent.empty()) << "no game";
    Start();
    for (int bad : {-1, 256}) {
        errors.Clear();
        SendNetMessageInteger(bad, 1);
        EXPECT_EQ(errors.Last(), 8512) << bad;
    }
    SendNetMessageInteger(7, 1); // an empty slot: a warning
    EXPECT_TRUE(network.sent.empty());

    struct Case {
        void (*send)(std::int32_t, std::int32_t, std::int32_t);
        std::int32_t item;
        std::int32_t error;
    };
    for (const Case& c :
         {Case{SendNetMessageMemblock, 0, 5101}, Case{SendNetMessageMemblock, 256, 5101},
          Case{SendNetMessageMemblock, 3, 5103}, Case{SendNetMessageImage, 0, 501},
          Case{SendNetMessageImage, 22000001, 501}, Case{SendNetMessageImage, 4, 502},
          Case{SendNetMessageBitmap, -1, 1001}, Case{SendNetMessageBitmap, 22000000, 1001},
          Case{SendNetMessageBitmap, 7, 1002}, Case{SendNetMessageSound, 5, 3004},
          Case{SendNetMessageSound, 0, 3001}, Case{SendNetMessageSound, 22000000, 3001},
          Case{SendNetMessageMesh, 0, 7001}, Case{SendNetMessageMesh, 22000000, 7001},
          Case{SendNetMessageMesh, 9, 7003}}) {
        errors.Clear();
        c.send(0, c.item, 1);
        EXPECT_EQ(errors.Last(), c.error) << c.item;
    }
    EXPECT_TRUE(network.sent.empty());

    std::uint8_t* block = MakeMemblock(3, 5);
    std::memcpy(block, "\x01\x02\x03\x04\x05", 5);
    SendNetMessageMemblock(2, 3, 1);
    ASSERT_EQ(network.sent.size(), 1u);
    EXPECT_EQ(network.sent[0].bytes, Packet(4, "\x01\x02\x03\x04\x05"));
    EXPECT_EQ(network.sent[0].flags, static_cast<DWORD>(DPSEND_GUARANTEED));
    SendNetMessageMemblock(2, 3);
    EXPECT_EQ(network.sent[1].flags, 0u);
    SendNetMessageMemblock(2, 3, 2);
    EXPECT_EQ(network.sent[2].flags, 0u) << "only 1 asks for guaranteed delivery";
}

TEST_F(NetMessages, BlocksAreRebuiltOnceAndMediaOnlyFromTheirOwnType) {
    FakePeer* bo = Start();
    FromBo(bo, Packet(4, "block bytes"));
    FromBo(bo, Packet(6, std::string(12, '\x01')));
    GetNetMessage();
    NetMessageMemblock(256);
    EXPECT_EQ(errors.Last(), 5101);
    errors.Clear();
    NetMessageImage(1); // not a block's reader: nothing
    NetMessageMemblock(5);
    EXPECT_EQ(errors.Last(), 0);
    ASSERT_EQ(GetMemblockSizeForModule(5), 11);
    EXPECT_EQ(std::memcmp(GetMemblockPtrForModule(5), "block bytes", 11), 0);
    NetMessageMemblock(6);
    EXPECT_EQ(errors.Last(), 5104) << "the data went to block 5";
    EXPECT_EQ(MemblockExist(6), 0);

    errors.Clear();
    GetNetMessage();
    EXPECT_EQ(NetMessageType(), 6);
    NetMessageImage(1);
    NetMessageMemblock(7);
    NetMessageSound(1);
    NetMessageMesh(1);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(MemblockExist(257), 0) << "an image read on a bitmap message does nothing";
    EXPECT_EQ(MemblockExist(7), 0);
    NetMessageBitmap(-1);
    EXPECT_EQ(errors.Last(), 1001);
}

TEST_F(NetMessages, ASessionEventStopsTheReceiveLoop) {
    FakePeer* bo = Start();
    network.Inject(module, DPID_SYSMSG,
                   FakeNetwork::PlayerMessage(DPSYS_CREATEPLAYERORGROUP, 0x4242));
    FromBo(bo, Packet(1, Word(5)));
    GetNetMessage();
    EXPECT_EQ(NetMessageType(), 0);
    EXPECT_EQ(module->inbox.size(), 1u) << "the message behind the event waits";
    EXPECT_EQ(NetPlayerCreated(), 3);
    EXPECT_TRUE(module->inbox.empty());
    GetNetMessage();
    EXPECT_EQ(NetMessageType(), 1);
    EXPECT_EQ(NetMessageInteger(), 5);

    // The queue outlives the game.
    FromBo(bo, Packet(1, Word(9)));
    NetGameLost();
    FreeNetGame();
    GetNetMessage();
    EXPECT_EQ(NetMessageInteger(), 5) << "no game: the current message stays";
    Host();
    GetNetMessage();
    EXPECT_EQ(NetMessageInteger(), 9);
}

TEST_F(NetMessages, HostilePacketsAreDroppedWithoutHarm) {
    FakePeer* bo = Start();
    std::vector<std::string> hostile;
    for (int n = 0; n < 8; ++n)
        hostile.push_back(std::string("\x01\0\0\0\x04\0\0", n));
    hostile.push_back(Packet(1, "\x01\x02\x03")); // N = 3 for an integer
    hostile.push_back(Packet(2, "\x01\x02\x03\x04\x05"));
    hostile.push_back(Packet(4, "abcdef").substr(0, 10)); // N beyond the body
    std::string huge = Packet(4, "xy");
    huge[7] = '\x7F';
    hostile.push_back(huge);
    for (std::uint32_t type : {0u, 9u, 0xFFFFFFFFu})
        hostile.push_back(Packet(type, "abcd"));
    std::uint32_t seed = 12345;
    for (int i = 0; i < 300; ++i) {
        std::string bytes(seed % 40, '\0');
        for (char& b : bytes) {
            seed = seed * 1103515245u + 12345u;
            b = static_cast<char>(seed >> 16);
        }
        if (bytes.size() >= 8) bytes[0] = static_cast<char>(9 + seed % 200); // never a type
        hostile.push_back(bytes);
    }
    for (const std::string& bytes : hostile)
        FromBo(bo, bytes);
    // Texts without a terminator, or longer than a text can be.
    FromBo(bo, Packet(3, "abc"));
    FromBo(bo, Packet(3, std::string(1000, 'z')));
    // One call takes a bounded number from DirectPlay, dropped ones too.
    for (int call = 0; call < 3 && NetMessageType() == 0; ++call)
        GetNetMessage();
    EXPECT_EQ(NetMessageType(), 3);
    EXPECT_EQ(Text(NetMessageString()), "abc");
    GetNetMessage();
    EXPECT_EQ(Text(NetMessageString()), std::string(255, 'z'));
    GetNetMessage();
    EXPECT_EQ(NetMessageType(), 0) << "everything else was dropped";
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(NetMessages, EmptyMessagesAndReceivesThatNeverFitEndTheLoop) {
    Start();
    network.Inject(module, 0x100, std::string());
    GetNetMessage();
    EXPECT_EQ(NetMessageType(), 0) << "an empty message is dropped";
    EXPECT_TRUE(module->inbox.empty());

    network.Inject(module, 0x100, Packet(1, Word(1)));
    network.receiveNeverFits = true;
    GetNetMessage();
    EXPECT_EQ(NetMessageType(), 0);
    network.receiveNeverFits = false;
    GetNetMessage();
    EXPECT_EQ(NetMessageInteger(), 1);
}

TEST_F(NetMessages, AReceiveThatOverstatesItsSizeTakesOnlyWhatTheBufferHolds) {
    FakePeer* bo = Start();
    network.receiveOverstates = 64;
    // N says 6 bytes but only 2 came: the rest would be read from past the receive buffer.
    FromBo(bo, Packet(4, "abcdef").substr(0, 10));
    // A player event cut before its id.
    network.Inject(module, DPID_SYSMSG,
                   FakeNetwork::PlayerMessage(DPSYS_CREATEPLAYERORGROUP, 0x4242).substr(0, 4));
    FromBo(bo, Packet(1, Word(5)));
    FromBo(bo, Packet(3, "abc"));
    GetNetMessage();
    EXPECT_EQ(NetMessageType(), 1) << "the cut packet and event were dropped";
    EXPECT_EQ(NetMessageInteger(), 5);
    EXPECT_EQ(NetPlayerCreated(), 0);
    GetNetMessage();
    EXPECT_EQ(Text(NetMessageString()), "abc") << "the text ends where the buffer does";
    GetNetMessage();
    EXPECT_EQ(NetMessageType(), 0);
    EXPECT_EQ(errors.Last(), 0);
}
