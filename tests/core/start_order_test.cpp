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

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;

// A name as a template argument: one recorder per module and entry.
template <std::size_t N> struct Name {
    constexpr Name(const char (&name)[N]) { std::copy_n(name, N, text); }
    char text[N];
};

// Points an entry at a recorder that logs "<module>.<entry>".
template <Name M, Name E, typename... Args> void Log(void (*&slot)(Args...)) {
    slot = [](Args...) { calls.push_back(std::string(M.text) + "." + E.text); };
}

template <Name M, typename Entries> void Record(Entries& e) {
    Log<M, "Constructor">(e.constructor);
    Log<M, "Destructor">(e.destructor);
    Log<M, "SetErrorHandler">(e.setErrorHandler);
    Log<M, "PassCoreData">(e.passCoreData);
}

HWND constructedSoundWindow;
HINSTANCE constructedInputInstance;

void RecordEveryModule() {
    ModuleLinkTableRecord& t = ModuleLinkTable;
    t.display.passCoreData = [](CoreData*, std::int32_t phase) {
        calls.push_back("display.PassCoreData" + std::to_string(phase));
    };
    Log<"display", "Destructor">(t.display.destructor);
    Record<"basic2D">(t.basic2D);
    Record<"text">(t.text);
    Record<"image">(t.image);
    Log<"image", "LinkSpriteFunctions">(t.image.linkSpriteFunctions);
    Log<"image", "SetColorKey">(t.image.setColorKey);
    Record<"sprite">(t.sprite);
    Record<"input">(t.input);
    t.input.constructor = [](HINSTANCE instance) {
        constructedInputInstance = instance;
        calls.push_back("input.Constructor");
    };
    Record<"system">(t.system);
    Record<"sound">(t.sound);
    t.sound.constructor = [](HWND window) {
        constructedSoundWindow = window;
        calls.push_back("sound.Constructor");
    };
    Record<"music">(t.music);
    Record<"file">(t.file);
    Record<"ftp">(t.ftp);
    Record<"memblocks">(t.memblocks);
    Record<"animation">(t.animation);
    Record<"bitmap">(t.bitmap);
    Record<"multiplayer">(t.multiplayer);
    Record<"camera">(t.camera);
    Record<"light">(t.light);
    Record<"terrainMatrix">(t.terrainMatrix);
    Record<"basic3D">(t.basic3D);
    Record<"world">(t.world);
    Record<"maths">(t.maths);
    Record<"particles">(t.particles);
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
        Started({"basic2D", "text"}),
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
    EXPECT_EQ(calls, Started({"input", "system", "sound", "music", "file", "ftp", "memblocks",
                              "animation", "bitmap", "multiplayer", "camera", "light",
                              "terrainMatrix", "basic3D", "world", "maths", "particles"}));
    EXPECT_EQ(constructedInputInstance, instance);
    EXPECT_EQ(constructedSoundWindow, reinterpret_cast<HWND>(0x1234));
}

TEST_F(StartOrder, EveryModuleGetsTheCellAndTheBlock) {
    LinkModules(); // the real entries this time
    SetCoreErrorHandler(&cell);
    StartCoreModules();
    StartOtherModules(GetModuleHandleA(nullptr));
    // A module's SetErrorHandler points the shared pointer at the cell that the core handed out.
    EXPECT_EQ(g_CoreData->errorRecord, &cell);
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
