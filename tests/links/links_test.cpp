// One case a link and a change: the used item is deleted, or made again under its number, then
// frames are drawn and the user's commands called. A case fails when the engine uses a device
// object it had let go (held by the test, so the use shows every run), when a lock stays open on
// one, when a user still points at a record the change freed, when a heap is damaged, or when
// the user does what its row does not allow.
#include "core/win32.h"

#include "links/links.h"
#include "camera/camera.h"
#include "core/frame_loop.h"
#include "display/display.h"
#include "object3d/effect.h"
#include "support/device_uses.h"
#include "support/engine_fixture.h"
#include "support/fake_effect.h"
#include "support/heaps.h"
#include "support/method_swap.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>

namespace {

struct Case {
    const Link* link;
    const Change* change;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.link->name << " " << c.change->name;
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (const Link& link : Links())
        for (const Change& change : link.changes)
            cases.push_back({&link, &change});
    return cases;
}

const KnownFault* KnownFaultOf(const Case& c) {
    for (const KnownFault& known : KnownFaults())
        if (std::string(known.link) == c.link->name && std::string(known.change) == c.change->name)
            return &known;
    return nullptr;
}

std::string Said(unsigned outcomes) {
    std::string said;
    for (const auto& [outcome, word] : {std::pair{kOld, "the old item"},
                                        {kNew, "the new item"},
                                        {kWithout, "neither"},
                                        {kError, "an error"}})
        if (outcomes & outcome) said += (said.empty() ? "" : " or ") + std::string(word);
    return said;
}

class Links : public EngineFixture, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        SyncOn();
        SetSyncRate(0);
        AutoCamOff();
        SetCurrentDirectoryA(folder_.Path().c_str());
        WriteLinkFiles();
        SetEffectCreator(CreateFakeEffect);
        uses_ = std::make_unique<DeviceUses>(GetDirect3DDevice());
        ASSERT_TRUE(uses_->Active());
        // Every effect here is the stand-in: its class's methods are watched.
        auto* probe = new FakeEffect;
        uses_->WatchEffects(probe);
        probe->Release();
    }
    void TearDown() override {
        DeleteLinkItems();
        // The engine stops first: what it still points at is freed only when the holds go.
        EngineFixture::TearDown();
        HandOutFakeEffect(nullptr);
        SetEffectCreator(nullptr);
        uses_.reset();
        EXPECT_TRUE(HeapsWhole()) << "a heap is damaged once the engine stopped";
        SetCurrentDirectoryA("C:\\");
    }
    // Holds the item's device objects as they are now.
    std::vector<IUnknown*> Hold(const char* when) {
        std::vector<IUnknown*> objects = GetParam().link->objects();
        objects.erase(std::remove(objects.begin(), objects.end(), nullptr), objects.end());
        for (std::size_t k = 0; k < objects.size(); ++k)
            uses_->Hold(objects[k], std::string(GetParam().link->item) + "'s " + when +
                                        " device object " + std::to_string(k + 1));
        return objects;
    }
    int UsesOf(const std::vector<IUnknown*>& objects) const {
        int n = 0;
        for (IUnknown* o : objects)
            n += uses_->Uses(o);
        return n;
    }
    std::string CallsOf(const std::vector<IUnknown*>& objects) const {
        std::string calls;
        for (IUnknown* o : objects)
            if (uses_->Uses(o) > 0) calls += (calls.empty() ? "" : "; ") + uses_->Calls(o);
        return calls;
    }
    // Fails the case with each failure, or only prints them for a fault mended elsewhere.
    void Report(const std::vector<std::string>& failures) {
        const KnownFault* known = KnownFaultOf(GetParam());
        for (const std::string& failure : failures) {
            if (known) {
                std::printf("links: known, mended elsewhere (%s): %s\n", known->reason,
                            failure.c_str());
            } else {
                ADD_FAILURE() << failure;
            }
        }
        if (known && failures.empty())
            std::printf("links: the known fault shows no more; its mark can go\n");
    }
    std::unique_ptr<DeviceUses> uses_;

private:
    TempFolder folder_;
};

TEST_P(Links, UserDrawsAsItsRowSays) {
    const Link& link = *GetParam().link;
    const Change& change = *GetParam().change;
    if (link.make) link.make();
    Hold("old");
    if (link.link) link.link();
    const std::vector<IUnknown*> old = Hold("old");
    ASSERT_EQ(cell.number, 0) << "making the link raised an error";
    if (link.frameFirst) Sync();
    if (!old.empty() && link.usedFirst) {
        ASSERT_GT(UsesOf(old), 0) << "the link is not in use: the row checks nothing";
    } else if (!old.empty()) {
        ASSERT_EQ(UsesOf(old), 0) << "the user is drawn: the row checks nothing";
    }

    change.apply();
    ASSERT_EQ(cell.number, 0) << "the change raised an error";
    std::vector<std::string> failures;
    if (link.stale) {
        const std::string stale = link.stale();
        if (!stale.empty()) {
            failures.push_back(stale + " (no frame drawn: it would read freed memory)");
            return Report(failures);
        }
    }
    const std::vector<IUnknown*> made = Hold("new");
    uses_->ClearUses();
    Sync();
    Sync();
    if (link.use) link.use();
    Sync();
    const std::int32_t error = cell.number;

    if (!HeapsWhole()) failures.push_back("a heap is damaged");
    for (const std::string& fault : uses_->Faults())
        failures.push_back(fault);
    std::vector<IUnknown*> gone;
    for (IUnknown* o : old)
        if (std::find(made.begin(), made.end(), o) == made.end()) gone.push_back(o);
    unsigned seen = error ? unsigned{kError} : 0u;
    if (UsesOf(made) > 0) seen |= kNew;
    if (UsesOf(gone) > 0) seen |= kOld;
    if (!seen) seen = kWithout;
    std::printf("links: the user used %s\n", Said(seen).c_str());
    if (seen & ~change.expect)
        failures.push_back("the user used " + Said(seen) + " (error " + std::to_string(error) +
                           "; old: " + CallsOf(gone) + "; new: " + CallsOf(made) +
                           "); its row allows " + Said(change.expect));
    Report(failures);
}

INSTANTIATE_TEST_SUITE_P(Table, Links, ::testing::ValuesIn(Cases()), [](const auto& info) {
    return std::string(info.param.link->name) + "_" + info.param.change->name;
});

class LinkWatch : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    }
};

// A use of a held object is a fault once its other holders let go, and only then; a lock left
// open on it is one too, and it ends with the watch.
TEST_F(LinkWatch, AUseAfterTheOtherHoldersLetGoIsAFault) {
    IDirect3DDevice9* device = GetDirect3DDevice();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    DeviceUses uses(device);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    uses.Hold(level, "the texture"); // held as its texture
    level->Release();
    device->SetTexture(0, texture);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(uses.Uses(texture), 2);
    EXPECT_EQ(uses.Calls(texture), "SetTexture, texture LockRect");
    EXPECT_EQ(uses.OpenLocks(texture), 1);
    EXPECT_FALSE(uses.Released(texture));
    EXPECT_TRUE(uses.Faults().empty());

    texture->Release(); // the creator's reference: only the watch's and the binding are left
    EXPECT_TRUE(uses.Released(texture));
    device->SetTexture(1, texture);
    EXPECT_EQ(uses.Faults(),
              (std::vector<std::string>{"SetTexture of the texture, which the engine had let go",
                                        "a lock of the texture still open after the engine let "
                                        "it go"}));
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
}

// The method slots the watch swaps are the interfaces' own.
TEST(LinkWatchSlots, MethodSlotsAreTheInterfacesOrder) {
    EXPECT_EQ(MethodSlot(&IUnknown::Release), 2);
    EXPECT_EQ(MethodSlot(&IDirect3DTexture9::LockRect), 19);
    EXPECT_EQ(MethodSlot(&IDirect3DSurface9::LockRect), 13);
    EXPECT_EQ(MethodSlot(&IDirect3DVertexBuffer9::Unlock), 12);
}

} // namespace
