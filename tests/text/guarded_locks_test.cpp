#include "core/win32.h"

#include "display/display.h"
#include "support/engine_fixture.h"
#include "support/guarded_locks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

// Whether the byte at end is inaccessible and the one before it can be written.
bool EndsAt(const void* end) {
    MEMORY_BASIC_INFORMATION after{}, last{};
    VirtualQuery(end, &after, sizeof after);
    VirtualQuery(static_cast<const std::uint8_t*>(end) - 1, &last, sizeof last);
    return after.Protect == PAGE_NOACCESS && last.Protect == PAGE_READWRITE;
}

const void* Offset(const void* p, std::size_t bytes) {
    return static_cast<const std::uint8_t*>(p) + bytes;
}

class GuardedLocksTest : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        device = GetDirect3DDevice();
        ASSERT_NE(device, nullptr);
    }
    IDirect3DDevice9* device = nullptr;
};

} // namespace

TEST_F(GuardedLocksTest, BuffersHandOutTheirLockedBytesAndTakeBackWhatWasWritten) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(16, 0, 0, D3DPOOL_SYSTEMMEM, &vb, nullptr), D3D_OK);
    void* p = nullptr;
    {
        GuardedLocks guard(device);
        ASSERT_TRUE(guard.Active());
        ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
        EXPECT_TRUE(EndsAt(Offset(p, 16)));
        std::memset(p, 0x5A, 16);
        ASSERT_EQ(vb->Unlock(), D3D_OK);
        // A span asked past the end is cut at the buffer's end; two locks at once keep apart.
        void* inner = nullptr;
        ASSERT_EQ(vb->Lock(4, 100, &p, 0), D3D_OK);
        ASSERT_EQ(vb->Lock(8, 4, &inner, D3DLOCK_READONLY), D3D_OK);
        EXPECT_TRUE(EndsAt(Offset(p, 12)));
        EXPECT_TRUE(EndsAt(Offset(inner, 4)));
        static_cast<std::uint8_t*>(p)[0] = 7;
        vb->Unlock();
        vb->Unlock();
        EXPECT_EQ(guard.Count(), 3);
    }
    ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
    EXPECT_FALSE(EndsAt(Offset(p, 16))); // no longer guarded
    const auto* bytes = static_cast<const std::uint8_t*>(p);
    EXPECT_EQ(bytes[3], 0x5A);
    EXPECT_EQ(bytes[4], 7);
    EXPECT_EQ(bytes[15], 0x5A);
    vb->Unlock();
    vb->Release();
}

TEST_F(GuardedLocksTest, RectanglesEndAtTheirLastRowsWidthInsideTheLevel) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device->CreateTexture(8, 8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    GuardedLocks guard(device);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3D_OK); // level 1: 4 x 4
    EXPECT_TRUE(EndsAt(Offset(locked.pBits, 3 * locked.Pitch + 16)));
    std::memset(locked.pBits, 0x33, 3 * locked.Pitch + 16);
    texture->UnlockRect(1);
    // A rectangle reaching past the level is cut at its edges: 2 rows of 3 pixels.
    const RECT rect{5, 6, 12, 40};
    ASSERT_EQ(texture->LockRect(0, &locked, &rect, 0), D3D_OK);
    EXPECT_TRUE(EndsAt(Offset(locked.pBits, locked.Pitch + 12)));
    texture->UnlockRect(0);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(1, &level), D3D_OK);
    ASSERT_EQ(level->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_TRUE(EndsAt(Offset(locked.pBits, 3 * locked.Pitch + 16)));
    EXPECT_EQ(static_cast<const std::uint8_t*>(locked.pBits)[3 * locked.Pitch + 15], 0x33);
    level->UnlockRect();
    EXPECT_EQ(guard.Count(), 3); // the texture's own lock of its surface counted once
    level->Release();
    texture->Release();
}
