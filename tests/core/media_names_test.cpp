#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "core/core.h"
#include "core/media.h"
#include "core/runtime_arrays.h"
#include "file/file.h"
#include "image/image.h"
#include "music/music.h"
#include "sound/sound.h"
#include "sound/sound_state.h"
#include "support/engine_fixture.h"
#include "support/image_files.h"
#include "support/temp_folder.h"
#include "support/wave_files.h"
#include "video/video.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_openedNames; // what the before-open hook saw

void RecordOpened(char* fileName) {
    g_openedNames.push_back(fileName);
}

// One loader as the policy sees it: its load command, whether it holds the item, its load error,
// and a file it can load.
struct Loader {
    const char* what;
    std::function<void(const char*)> load;
    std::function<bool()> loaded;
    std::int32_t loadError;
    std::string fileName; // a name no other folder has
    std::string bytes;
};

std::string Words(std::initializer_list<std::int32_t> words) {
    return std::string(reinterpret_cast<const char*>(words.begin()), words.size() * 4);
}

class MediaNames : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        std::strncpy(g_CoreData->mediaFolder, folder.Path().c_str(), kCorePathLength - 1);
        g_CoreData->callbacks.beforeOpen = RecordOpened;
        g_openedNames.clear();
        array = DimArray(nullptr, 41, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    }
    void TearDown() override {
        CloseFileSlot(1);
        FreeArray(array);
        EngineFixture::TearDown();
    }

    std::vector<Loader> Loaders() {
        const auto white = [](int, int) { return 0xFFFFFFFFu; };
        std::vector<Loader> loaders = {
            {"image", [](const char* n) { LoadImage(n, 1); }, [] { return ImageExist(1); }, 506,
             "zarvolin-names.bmp", BmpBytes(4, 4, white)},
            {"bitmap", [](const char* n) { LoadBitmap(n, 1); }, [] { return BitmapExist(1) != 0; },
             1003, "zarvolin-names-bitmap.bmp", BmpBytes(4, 4, white)},
            {"music", [](const char* n) { LoadMusicFile(n, 1); }, [] { return MusicExist(1) != 0; },
             3502, "zarvolin-names-music.wav", PcmWave(2205)},
            {"file", [](const char* n) { OpenToRead(1, n); }, [] { return IsFileSlotOpen(1) != 0; },
             105, "zarvolin-names.txt", "text"},
            {"array", [this](const char* n) { LoadArrayFileHooked(n, &array); },
             [this] { return *static_cast<std::int32_t*>(array[0]) == 77; }, 105,
             "zarvolin-names.arr", Words({1, 1, 0, 77, -1})},
            {"video", [](const char* n) { LoadAnimation(n, 1); },
             [] { return AnimationExist(1) != 0; }, 2002, "", ""},
        };
        return loaders;
    }

    static Loader SoundLoader() {
        return {"sound",
                [](const char* n) { LoadSound(n, 1); },
                [] { return SoundExist(1) != 0; },
                3002,
                "zarvolin-names.wav",
                PcmWave(2205)};
    }

    // An over-long name in the folder, beside files that a loader cutting it short would find.
    std::string OverLongName() {
        const std::string overLong = folder.File(std::string(2 * kMediaNameBuffer, 'n'));
        const auto white = [](int, int) { return 0xFFFFFFFFu; };
        for (std::size_t kept : {kMediaNameBuffer - 5, kMediaNameBuffer - 1})
            folder.Write(overLong.substr(folder.Path().size() + 1, kept - folder.Path().size() - 1),
                         BmpBytes(4, 4, white));
        return overLong;
    }

    void ExpectRefused(const Loader& loader, const std::string& overLong) {
        cell.number = 0;
        g_openedNames.clear();
        loader.load(overLong.c_str());
        EXPECT_EQ(cell.number, loader.loadError) << loader.what;
        EXPECT_FALSE(loader.loaded()) << loader.what;
        EXPECT_TRUE(g_openedNames.empty()) << loader.what << ": the refused name was opened";
    }

    // The file is only in the media folder, so only the redirect finds it.
    void ExpectFoundThroughRedirect(const Loader& loader) {
        const std::string target = folder.Write("media\\" + loader.fileName, loader.bytes);
        cell.number = 0;
        g_openedNames.clear();
        loader.load(loader.fileName.c_str());
        EXPECT_EQ(cell.number, 0) << loader.what;
        EXPECT_TRUE(loader.loaded()) << loader.what;
        EXPECT_FALSE(g_openedNames.empty()) << loader.what;
        for (const std::string& opened : g_openedNames)
            EXPECT_EQ(opened, target) << loader.what;
    }

    TempFolder folder;
    RuntimeArray array = nullptr;
};

} // namespace

TEST_F(MediaNames, OverLongNamesAreRefusedWithEachLoadersOwnError) {
    const std::string overLong = OverLongName();
    for (const Loader& loader : Loaders())
        ExpectRefused(loader, overLong);
}

TEST_F(MediaNames, RedirectedNamesAreFoundByEveryLoader) {
    for (const Loader& loader : Loaders())
        if (!loader.fileName.empty()) ExpectFoundThroughRedirect(loader); // video: below
}

TEST_F(MediaNames, SoundFollowsTheSamePolicy) {
    if (!SoundReady()) {
        ASSERT_FALSE(AudioDevicePromised()) << "DirectSound found no device, yet one was set up";
        GTEST_SKIP() << "no audio device: DirectSound could not start";
    }
    ExpectRefused(SoundLoader(), OverLongName());
    ExpectFoundThroughRedirect(SoundLoader());
}

TEST_F(MediaNames, RedirectedVideoIsFound) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string clip(path);
    clip = clip.substr(0, clip.rfind('\\')) + "\\test-data\\quads-mjpeg.avi";
    const std::string bytes = TempFolder::Read(clip);
    if (bytes.empty()) GTEST_SKIP() << "the build's video clip is missing: " << clip;
    folder.Write("media\\zarvolin-names.avi", bytes);
    LoadAnimation("zarvolin-names.avi", 1);
    EXPECT_EQ(cell.number, 0);
    EXPECT_TRUE(AnimationExist(1));
}
