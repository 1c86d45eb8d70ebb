#include "core/win32.h"

#include "core/item_keepers.h"
#include "draw2d/draw2d.h"
#include "image/image.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr std::int32_t kImage = 9;
std::vector<ItemNotice> notices;

void Note(const ItemNotice& notice) {
    notices.push_back(notice);
}

void Make8() {
    CreateManagedImage(kImage, 8, 8);
}

enum class Told { Nothing, Remade, Deleted };

// A command that changes image kImage, which `make` made first; the file holds a 4 x 4 picture.
struct ChangeRow {
    const char* name;
    void (*make)();
    void (*change)(const char* file);
    Told told;
};

const ChangeRow kChanges[] = {
    {"a load over it", Make8, [](const char* f) { LoadImage(f, kImage); }, Told::Remade},
    {"a load of the sprites'", Make8, [](const char* f) { LoadImageMode1(f, kImage); },
     Told::Remade},
    {"a load that fails", Make8, [](const char*) { LoadImage("none.bmp", kImage); }, Told::Deleted},
    {"the power-of-two copy", [] { CreateManagedImage(kImage, 100, 60); },
     [](const char*) { MakeImagePowerOfTwo(kImage, 128, 64); }, Told::Remade},
    {"a grab of another size", Make8, [](const char*) { GrabImage(kImage, 0, 0, 16, 16, 1); },
     Told::Remade},
    // Stretched over the whole power-of-two texture, the picture needs no second copy.
    {"a grab again at its size", [] { GrabImage(kImage, 0, 0, 100, 60, 0); },
     [](const char*) { GrabImage(kImage, 0, 0, 100, 60, 0); }, Told::Nothing},
    {"a memory block of another size", Make8,
     [](const char*) {
         const std::vector<std::uint32_t> pixels(16, 0xFF0000FFu);
         MakeImageFromMemblock(kImage, 4, 4, 32,
                               reinterpret_cast<const std::uint8_t*>(pixels.data()), 64);
     },
     Told::Remade},
    // As a video's or a camera's target image is made.
    {"a create over it", Make8, [](const char*) { CreateImageDefaultFormat(kImage, 16, 16, 0); },
     Told::Remade},
    {"a delete", Make8, [](const char*) { DeleteImage(kImage); }, Told::Deleted},
};

class ImagesMadeAgain : public EngineFixture {
protected:
    void TearDown() override {
        RemoveItemKeeper(ItemOwner::Image, Note);
        EngineFixture::TearDown();
    }
};

} // namespace

TEST_F(ImagesMadeAgain, KeepersAreToldOldAndNewTexturesBeforeTheOldGoes) {
    ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
    TempFolder folder;
    const std::string file =
        folder.Write("red.bmp", BmpBytes(4, 4, [](int, int) { return 0xFFFF0000u; }));
    ASSERT_TRUE(AddItemKeeper(ItemOwner::Image, Note));
    for (const ChangeRow& row : kChanges) {
        SCOPED_TRACE(row.name);
        ClearScreen(0xFFFF0000);
        row.make();
        IDirect3DTexture9* old = GetImagePointer(kImage);
        ASSERT_NE(old, nullptr);
        old->AddRef(); // the case's own: the texture cannot go before the case lets go
        notices.clear();
        row.change(file.c_str());
        IDirect3DTexture9* now = GetImagePointer(kImage);
        const auto change = row.told == Told::Remade ? ItemChange::Remade : ItemChange::Deleted;
        ASSERT_EQ(notices.size(), row.told == Told::Nothing ? 0u : 1u);
        if (row.told != Told::Nothing) {
            EXPECT_EQ(notices[0].change, change);
            EXPECT_EQ(notices[0].number, kImage);
            EXPECT_EQ(notices[0].before, static_cast<void*>(old));
            EXPECT_EQ(notices[0].after, static_cast<void*>(now));
        }
        EXPECT_EQ(now == old, row.told == Told::Nothing);
        EXPECT_EQ(now == nullptr, row.told == Told::Deleted);
        // Once told, the module keeps nothing of the old texture: the case's reference is left.
        EXPECT_EQ(old->Release(), row.told == Told::Nothing ? 1u : 0u);
        if (ImageExist(kImage)) DeleteImage(kImage);
        cell.number = 0;
    }
}
