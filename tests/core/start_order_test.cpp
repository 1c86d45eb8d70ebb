#include "core/win32.h"

#include "core/checklist.h"
#include "core/core.h"
#include "core/engine.h"
#include "core/module_link.h"
#include "core/window.h"
#include "maths/maths.h"
#include "memblock/memblock.h"
#include "system/system.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;

// Recorders: one instantiation per module name, so each entry logs "<module>.<entry>".
template <const char* Name, typename... Args> void Ctor(Args...) {
    calls.push_back(std::string(Name) + ".Constructor");
}
template <const char* Name> void Dtor() {
    calls.push_back(std::string(Name) + ".Destructor");
}
template <const char* Name> void Err(RuntimeErrorRecord*) {
    calls.push_back(std::string(Name) + ".SetErrorHandler");
}
template <const char* Name> void Pass(CoreData*) {
    calls.push_back(std::string(Name) + ".PassCoreData");
}

template <const char* Name, typename... Args> void SetCtor(void (*&slot)(Args...)) {
    slot = Ctor<Name, Args...>;
}

template <const char* Name, typename Entries> void Record(Entries& e) {
    SetCtor<Name>(e.constructor);
    e.destructor = Dtor<Name>;
    e.setErrorHandler = Err<Name>;
    e.passCoreData = Pass<Name>;
}

#define NAME(n) constexpr char n##_[] = #n
NAME(display);
NAME(basic2D);
NAME(text);
NAME(image);
NAME(sprite);
NAME(input);
NAME(system);
NAME(sound);
NAME(music);
NAME(file);
NAME(ftp);
NAME(memblocks);
NAME(animation);
NAME(bitmap);
NAME(multiplayer);
NAME(camera);
NAME(light);
NAME(terrainMatrix);
NAME(basic3D);
NAME(world);
NAME(maths);
NAME(particles);
#undef NAME

HWND constructedSoundWindow;
HINSTANCE constructedInputInstance;

void RecordEveryModule() {
    ModuleLinkTableRecord& t = ModuleLinkTable;
    t.display.passCoreData = [](CoreData*, std::int32_t phase) {
        calls.push_back("display.PassCoreData" + std::to_string(phase));
    };
    t.display.destructor = Dtor<display_>;
    Record<basic2D_>(t.basic2D);
    Record<text_>(t.text);
    Record<image_>(t.image);
    t.image.linkSpriteFunctions = [](HMODULE) { calls.push_back("image.LinkSpriteFunctions"); };
    t.image.setColorKey = [](std::int32_t, std::int32_t, std::int32_t) {
        calls.push_back("image.SetColorKey");
    };
    Record<sprite_>(t.sprite);
    Record<input_>(t.input);
    t.input.constructor = [](HINSTANCE instance) {
        constructedInputInstance = instance;
        calls.push_back("input.Constructor");
    };
    Record<system_>(t.system);
    Record<sound_>(t.sound);
    t.sound.constructor = [](HWND window) {
        constructedSoundWindow = window;
        calls.push_back("sound.Constructor");
    };
    Record<music_>(t.music);
    Record<file_>(t.file);
    Record<ftp_>(t.ftp);
    Record<memblocks_>(t.memblocks);
    Record<animation_>(t.animation);
    Record<bitmap_>(t.bitmap);
    Record<multiplayer_>(t.multiplayer);
    Record<camera_>(t.camera);
    Record<light_>(t.light);
    Record<terrainMatrix_>(t.terrainMatrix);
    Record<basic3D_>(t.basic3D);
    Record<world_>(t.world);
    Record<maths_>(t.maths);
    Record<particles_>(t.particles);
}

std::vector<std::string> Started(std::initializer_list<const char*> modules) {
    std::vector<std::string> out;
    for (const char* m : modules) {
        out.push_back(std::string(m) + ".Constructor");
        out.push_back(std::string(m) + ".SetErrorHandler");
        out.push_back(std::string(m) + ".PassCoreData");
    }
    return out;
}

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class StartOrder : public ::testing::Test {
protected:
    void SetUp() override {
        LinkModules();
        SetCoreErrorHandler(&cell);
        RecordEveryModule();
        calls.clear();
    }
    void TearDown() override { SetModuleErrorPointer(nullptr); }
    RuntimeErrorRecord cell;
};

} // namespace

TEST_F(StartOrder, CoreModulesStartInTheirFixedOrder) {
    StartCoreModules();
    const std::vector<std::string> expected = Joined({
        {"display.PassCoreData1"},
        Started({basic2D_, text_}),
        {"image.Constructor", "image.LinkSpriteFunctions", "image.SetErrorHandler",
         "image.PassCoreData", "image.SetColorKey"},
        // The sprite module alone takes CoreData before its error cell.
        {"sprite.Constructor", "sprite.PassCoreData", "sprite.SetErrorHandler"},
    });
    EXPECT_EQ(calls, expected);
    const ModulePresentFlags& p = g_CoreData->present;
    EXPECT_TRUE(p.display && p.basic2D && p.text && p.image && p.sprite);
}

TEST_F(StartOrder, TextIsSkippedWhenAlreadyPresent) {
    g_CoreData->present.text = 1;
    StartCoreModules();
    for (const std::string& c : calls)
        EXPECT_EQ(c.rfind("text.", 0), std::string::npos) << c;
}

TEST_F(StartOrder, OtherModulesStartInTheirFixedOrder) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    g_CoreData->window = reinterpret_cast<HWND>(0x1234);
    StartOtherModules(instance);
    EXPECT_EQ(calls, Started({input_, system_, sound_, music_, file_, ftp_, memblocks_, animation_,
                              bitmap_, multiplayer_, camera_, light_, terrainMatrix_, basic3D_,
                              world_, maths_, particles_}));
    EXPECT_EQ(constructedInputInstance, instance);
    EXPECT_EQ(constructedSoundWindow, reinterpret_cast<HWND>(0x1234));
}

TEST_F(StartOrder, EveryModuleGetsTheCellAndTheBlock) {
    LinkModules(); // the real entries this time
    SetCoreErrorHandler(&cell);
    StartCoreModules();
    StartOtherModules(GetModuleHandleA(nullptr));
    // A module's SetErrorHandler points the shared pointer at the cell that the core handed out.
    EXPECT_EQ(GetModuleErrorPointer(), &cell);
    RaiseRuntimeError(116);
    EXPECT_EQ(cell.number, 116);
    StopModules();
    StopCoreModules();
}

TEST_F(StartOrder, NullWordsAreSkipped) {
    ModuleLinkTable = ModuleLinkTableRecord{};
    StartCoreModules();
    StartOtherModules(nullptr);
    StopModules();
    StopCoreModules();
    EXPECT_TRUE(calls.empty());
}

TEST_F(StartOrder, StopOrderRunsDestructorsOnlyOfStartedModules) {
    StartCoreModules();
    StartOtherModules(nullptr);
    calls.clear();
    StopModules();
    StopCoreModules();
    const std::vector<std::string> expected = {
        "maths.Destructor",         "camera.Destructor",      "light.Destructor",
        "terrainMatrix.Destructor", "basic3D.Destructor",     "world.Destructor",
        "particles.Destructor",     "multiplayer.Destructor", "bitmap.Destructor",
        "animation.Destructor",     "memblocks.Destructor",   "ftp.Destructor",
        "file.Destructor",          "system.Destructor",      "input.Destructor",
        "sound.Destructor",         "music.Destructor",       "sprite.Destructor",
        "image.Destructor",         "text.Destructor",        "basic2D.Destructor",
    };
    EXPECT_EQ(calls, expected);

    calls.clear();
    StopModules(); // nothing is started any more
    StopCoreModules();
    EXPECT_TRUE(calls.empty());
}

namespace {

// Starts the engine window with the real modules but a display entry of the test's choosing.
class EngineStart : public ::testing::Test {
protected:
    void SetUp() override {
        LinkModules();
        SetCoreErrorHandler(&cell);
    }
    void TearDown() override {
        ShutdownEngine();
        SetModuleErrorPointer(nullptr);
    }
    std::int32_t Start() {
        return CreateEngineWindow(1, 640, 480, 32, GetModuleHandleA(nullptr), "");
    }
    RuntimeErrorRecord cell;
};

bool AnyOtherModulePresent(const ModulePresentFlags& p) {
    return p.basic2D || p.text || p.image || p.sprite || p.input || p.system || p.sound ||
           p.music || p.file || p.ftp || p.memblocks || p.animation || p.bitmap || p.multiplayer ||
           p.camera || p.light || p.terrainMatrix || p.basic3D || p.world || p.maths || p.particles;
}

} // namespace

TEST_F(EngineStart, CompletesAndStartsEveryModule) {
    ASSERT_EQ(Start(), 0);
    const CoreData& core = *g_CoreData;
    EXPECT_NE(core.window, nullptr);
    EXPECT_NE(core.callbacks.resizeString, nullptr);
    EXPECT_EQ(core.windowMode, 1);
    EXPECT_TRUE(core.present.display && core.present.particles && core.present.maths);
    EXPECT_EQ(cell.number, 0);

    ShutdownEngine();
    EXPECT_EQ(g_CoreData->window, nullptr);
    EXPECT_FALSE(AnyOtherModulePresent(g_CoreData->present));
}

TEST_F(EngineStart, FailingDisplayStopsBeforeAnyOtherModule) {
    ModuleLinkTable.display.constructor = [] { return std::int32_t{0}; };
    EXPECT_EQ(Start(), 1);
    EXPECT_FALSE(AnyOtherModulePresent(g_CoreData->present));
    EXPECT_EQ(g_CoreData->callbacks.resizeString, nullptr);

    // The game goes on all the same: commands of modules that never started must hold up.
    EXPECT_EQ(GetChecklistValueA(1), 0);
    EXPECT_EQ(ReserveChecklistString(3, 20), true);
    char* text = GetChecklistString(nullptr, 1);
    EXPECT_EQ(text, nullptr);
    ASSERT_NE(MakeMemblockForModule(1, 64), nullptr);
    DeleteMemblockForModule(1);
    float v[3] = {1, 2, 3};
    GetVector3(v, 99);
    EXPECT_EQ(v[0], 0.0f);
    EmptyChecklist();
    EXPECT_EQ(ChecklistQuantity(), 0);
}

TEST_F(EngineStart, ErrorWhileTheDisplayStartsStopsStartUp) {
    ModuleLinkTable.display.passCoreData = [](CoreData*, std::int32_t phase) {
        if (phase == 0) RaiseRuntimeError(1508);
    };
    EXPECT_EQ(Start(), 1);
    EXPECT_EQ(cell.number, 1508);
    EXPECT_FALSE(AnyOtherModulePresent(g_CoreData->present));
    EXPECT_EQ(g_CoreData->callbacks.resizeString, nullptr);
}
