#include "core/win32.h"

#include "core/item_keepers.h"
#include "display/display.h"
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
constexpr std::uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

std::vector<ItemNotice> notices;

void Note(const ItemNotice& notice) {
    notices.push_back(notice);
}

// The image module's keepers hear of every change, with a keeper of the case's own among them.
class ImagesMadeAgain : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_TRUE(AddItemKeeper(ItemOwner::Image, Note));
    }
    void TearDown() override {
        RemoveItemKeeper(ItemOwner::Image, Note);
        notices.clear();
        EngineFixture::TearDown();
    }
    TempFolder folder;
};

// The colour of a 32-bit image at x, y, read through the image lock.
std::uint32_t ImagePixel(std::int32_t n, int x, int y) {
    LockImage(n);
    std::int32_t r = -1, g = -1, b = -1;
    GetImageData(n, y, x, &r, &g, &b);
    UnlockImage(n);
    return static_cast<std::uint32_t>(r << 16 | g << 8 | b);
}

bool FromBlock(std::int32_t n, int side) {
    const std::vector<std::uint32_t> pixels(static_cast<std::size_t>(side * side), kBlue);
    return MakeImageFromMemblock(n, side, side, 32,
                                 reinterpret_cast<const std::uint8_t*>(pixels.data()),
                                 static_cast<std::uint32_t>(pixels.size() * 4));
}

enum class Told { Nothing, Remade, Deleted };

// A command that changes image kImage, made by `make` first; file is a 4 x 4 picture.
struct ChangeRow {
    const char* name;
    void (*make)();
    void (*change)(const std::string& file);
    Told told;
};

void Make8() {
    CreateManagedImage(kImage, 8, 8);
}

const ChangeRow kChanges[] = {
    {"a load over it", Make8, [](const std::string& f) { LoadImage(f.c_str(), kImage); },
     Told::Remade},
    {"a load of the sprite module's", Make8,
     [](const std::string& f) { LoadImageMode1(f.c_str(), kImage); }, Told::Remade},
    {"a load that fails", Make8, [](const std::string&) { LoadImage("none.bmp", kImage); },
     Told::Deleted},
    {"the power-of-two copy", [] { CreateManagedImage(kImage, 100, 60); },
     [](const std::string&) { MakeImagePowerOfTwo(kImage, 128, 64); }, Told::Remade},
    {"a grab of another size", Make8,
     [](const std::string&) { GrabImage(kImage, 0, 0, 16, 16, 1); }, Told::Remade},
    {"a grab again at its size", [] { GrabImage(kImage, 0, 0, 100, 60, 0); },
     [](const std::string&) { GrabImage(kImage, 0, 0, 100, 60, 0); }, Told::Nothing},
    {"a memory block of another size", Make8, [](const std::string&) { FromBlock(kImage, 4); },
     Told::Remade},
    {"a create over it", Make8,
     [](const std::string&) { CreateImageDefaultFormat(kImage, 16, 16, 0); }, Told::Remade},
    {"a delete", Make8, [](const std::string&) { DeleteImage(kImage); }, Told::Deleted},
};

} // namespace

TEST_F(ImagesMadeAgain, KeepersAreToldOldAndNewTexturesBeforeTheOldGoes) {
    const std::string file = folder.Write("red.bmp", BmpBytes(4, 4, [](int, int) { return kRed; }));
    for (const ChangeRow& row : kChanges) {
        SCOPED_TRACE(row.name);
        ClearScreen(kRed);
        row.make();
        IDirect3DTexture9* old = GetImagePointer(kImage);
        ASSERT_NE(old, nullptr);
        old->AddRef(); // the case's own: the texture cannot go before the case lets go
        notices.clear();
        row.change(file);
        IDirect3DTexture9* now = GetImagePointer(kImage);
        if (row.told == Told::Nothing) {
            EXPECT_TRUE(notices.empty());
            EXPECT_EQ(now, old);
        } else {
            ASSERT_EQ(notices.size(), 1u);
            const ItemNotice& n = notices[0];
            EXPECT_EQ(n.change,
                      row.told == Told::Remade ? ItemChange::Remade : ItemChange::Deleted);
            EXPECT_EQ(n.number, kImage);
            EXPECT_EQ(n.before, static_cast<void*>(old));
            EXPECT_EQ(n.after, static_cast<void*>(now));
            EXPECT_EQ(now == nullptr, row.told == Told::Deleted);
        }
        // Once told, the module keeps nothing of the old texture: the case's reference is left.
        EXPECT_EQ(old->Release(), row.told == Told::Nothing ? 1u : 0u);
        if (ImageExist(kImage)) DeleteImage(kImage);
        cell.number = 0;
    }
}

TEST_F(ImagesMadeAgain, ASecondGrabOfTheSameSizeKeepsTheWholePicture) {
    // The power-of-two texture of a 100 x 60 grab takes the next one stretched whole: the blue
    // right tenth of the screen's rectangle lands in its last columns, not cut away.
    ClearScreen(kRed);
    GrabImage(kImage, 0, 0, 100, 60, 0);
    ClearScreen(kRed);
    SetInk(kBlue, 0);
    FillBox(90, 0, 100, 60);
    GrabImage(kImage, 0, 0, 100, 60, 0);
    EXPECT_EQ(cell.number, 0);
    EXPECT_EQ(GetImageWidth(kImage), 100);
    EXPECT_EQ(GetImageUScale(kImage), 1.0f);
    EXPECT_EQ(ImagePixel(kImage, 125, 30), kBlue & 0xFFFFFF);
    EXPECT_EQ(ImagePixel(kImage, 10, 30), kRed & 0xFFFFFF);
}
