// Bitmaps, sounds and meshes sent between two stand-in peers of a started engine and rebuilt from
// the messages: the same bytes come back.
#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "display/display.h"
#include "image/image.h"
#include "fake_directplay.h"
#include "memblock/memblock.h"
#include "multiplayer/multiplayer.h"
#include "sound/sound_state.h"
#include "support/engine_fixture.h"
#include "support/memblock_bytes.h"
#include "support/wave_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class NetMedia : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        if (!GetDirect3DDevice()) GTEST_SKIP() << "no Direct3D device here";
        ASSERT_EQ(ConnectNetGame("Media", "Host", 4, 1), 1);
        bo = network.NewPeer();
        boId = bo->Join(0, "Bo");
        ASSERT_EQ(NetPlayerCreated(), 2);
    }
    // Item 1 sent to Bo (through block 257) comes back to the module from Bo; item 2 rebuilt from
    // that message, read into block 2.
    std::string RoundTrip(void (*send)(std::int32_t, std::int32_t, std::int32_t),
                          std::uint32_t type, void (*rebuild)(std::int32_t),
                          std::int32_t (*toBlock)(std::int32_t, std::int32_t)) {
        send(2, 1, 1);
        if (bo->inbox.size() != 1) return "nothing sent";
        FakeMessage message = bo->inbox.front();
        bo->inbox.pop_front();
        EXPECT_EQ(message.flags, static_cast<DWORD>(DPSEND_GUARANTEED));
        EXPECT_EQ(message.bytes.substr(8), BlockBytes(257)) << "sent through block 257";
        bo->Send(boId, DPID_SERVERPLAYER, 0, message.bytes.data(),
                 static_cast<DWORD>(message.bytes.size()));
        GetNetMessage();
        EXPECT_EQ(NetMessageType(), static_cast<std::int32_t>(type));
        rebuild(2);
        return toBlock(2, 2) == 1 ? BlockBytes(2) : "not rebuilt";
    }

    FakeNetwork network;
    FakePeer* bo = nullptr;
    DPID boId = 0;
};

} // namespace

TEST_F(NetMedia, ABitmapComesBackIdentically) {
    if (GetBitmapDepth(0) != 32) GTEST_SKIP() << "the screen is not 32-bit";
    FillBlock(1, Words({32, 16, 32}) + BytePattern(32 * 16 * 4, 3));
    ASSERT_EQ(CreateBitmapFromMemblock(1, 1), 1);
    EXPECT_EQ(RoundTrip(SendNetMessageBitmap, 6, NetMessageBitmap, CreateMemblockFromBitmap),
              BlockBytes(1));
    NetMessageImage(3);
    EXPECT_FALSE(ImageExist(3)) << "an image read on a bitmap message";
    NetMessageBitmap(4); // the data stays for another item
    ASSERT_EQ(CreateMemblockFromBitmap(3, 4), 1);
    EXPECT_EQ(BlockBytes(3), BlockBytes(1));
    EXPECT_EQ(cell.number, 0);
}

TEST_F(NetMedia, ASoundComesBackIdentically) {
    if (!SoundReady()) {
        ASSERT_FALSE(AudioDevicePromised()) << "the runner set up an audio device";
        GTEST_SKIP() << "DirectSound has no device here";
    }
    FillBlock(1, Words({WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0}) + BytePattern(4410, 5));
    ASSERT_EQ(CreateSoundFromMemblock(1, 1), 1);
    EXPECT_EQ(RoundTrip(SendNetMessageSound, 7, NetMessageSound, CreateMemblockFromSound),
              BlockBytes(1));
    EXPECT_EQ(cell.number, 0);
}

TEST_F(NetMedia, AMeshComesBackAsTheSameTriangles) {
    std::string vertices;
    for (int v = 0; v < 3; ++v) {
        const float vertex[6] = {v * 1.0f, v * 2.0f, 3.0f, 0.0f, 0.0f, 1.0f};
        vertices.append(reinterpret_cast<const char*>(vertex), sizeof vertex);
    }
    FillBlock(1, Words({D3DFVF_XYZ | D3DFVF_NORMAL, 24, 3}) + vertices);
    ASSERT_EQ(CreateMeshFromMemblock(1, 1), 1);
    SendNetMessageMesh(0, 9, 1);
    EXPECT_EQ(cell.number, 7003);
    cell.number = 0;
    EXPECT_EQ(RoundTrip(SendNetMessageMesh, 8, NetMessageMesh, CreateMemblockFromMesh),
              BlockBytes(1));
    EXPECT_EQ(cell.number, 0);
}
