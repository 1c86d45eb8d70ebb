#include "core/win32.h"

#include "core/core.h"
#include "system/system.h"
#include "support/error_cell.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The test DLLs that the build puts in test-data beside the test program.
std::string DllPath(const char* variant) {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const std::string path(program);
    return path.substr(0, path.rfind('\\')) + "\\test-data\\user_calls_" + variant + ".dll";
}

std::uint32_t Mix(const std::int32_t* a) {
    std::uint32_t h = 17;
    for (int i = 0; i < 10; ++i)
        h = h * 31u + static_cast<std::uint32_t>(a[i]);
    return h;
}

class UserDLLs : public ::testing::Test {
protected:
    void SetUp() override {
        LinkModules();
        SystemConstructor();
        SystemPassCoreData(g_CoreData);
    }
    void TearDown() override {
        g_CoreData->callbacks = CoreDataCallbacks{};
        SystemDestructor();
    }
    const std::string plain = DllPath("plain"), decorated = DllPath("decorated");
    ErrorCellScope errors;
};

std::vector<std::string> g_HookLog;

} // namespace

TEST_F(UserDLLs, SlotsAreCheckedAndAMissingDllIsTheLoadsError) {
    for (std::int32_t slot : {0, 256}) {
        errors.Clear();
        EXPECT_EQ(CallUserDLL(slot, "CdeclNone"), 0);
        EXPECT_EQ(errors.Last(), 9705);
        errors.Clear();
        LoadUserDLL(plain.c_str(), slot);
        EXPECT_EQ(errors.Last(), 9705);
    }
    errors.Clear();
    LoadUserDLL("no such library.dll", 3);
    EXPECT_EQ(errors.Last(), 9701); // the load's error: the slot stays empty
    errors.Clear();
    EXPECT_EQ(UserDLLExist(3), 0);
    EXPECT_EQ(UserDLLCallExist(3, "CdeclNone"), 0);
    EXPECT_EQ(errors.Last(), 0);
    EXPECT_EQ(CallUserDLL(3, "CdeclNone"), 0);
    EXPECT_EQ(errors.Last(), 9702);

    LoadUserDLL(plain.c_str(), 5);
    LoadUserDLL(decorated.c_str(), 5);
    EXPECT_EQ(errors.Last(), 9703);
    EXPECT_EQ(UserDLLCallExist(5, "StdcallOne"), 1) << "still the plain build";
    EXPECT_EQ(GetModuleHandleA(decorated.c_str()), nullptr) << "the refused DLL was not loaded";
    DeleteUserDLL(5);
    EXPECT_EQ(GetModuleHandleA(plain.c_str()), nullptr) << "deleting frees the DLL";
}

TEST_F(UserDLLs, NamesOf260CharactersOrMoreFailAsAMissingDllWould) {
    // The same file reached through "." folders: 259 characters still fit the name buffer.
    const std::size_t cut = plain.rfind('\\') + 1;
    auto nameOfLength = [&](std::size_t length) {
        std::string padding(length - plain.size(), '\\');
        for (std::size_t i = 0; i + 1 < padding.size(); i += 2)
            padding[i] = '.';
        return plain.substr(0, cut) + padding + plain.substr(cut);
    };
    LoadUserDLL(nameOfLength(260).c_str(), 1);
    EXPECT_EQ(UserDLLExist(1), 0);
    EXPECT_EQ(errors.Last(), 9701);
    LoadUserDLL(nameOfLength(259).c_str(), 1);
    EXPECT_EQ(UserDLLExist(1), 1);
}

// Every function notes its frame: a caller whose stack crept by even one word would give the
// next call of the same function another frame, within a few calls.
TEST_F(UserDLLs, TenThousandCallsOfEveryKindReturnRightOnAStackThatStaysPut) {
    LoadUserDLL(plain.c_str(), 1);
    LoadUserDLL(decorated.c_str(), 2);
    const struct {
        std::int32_t slot;
        const char *none, *one, *ten;
        std::int32_t none0, oneTimes, onePlus;
        std::uint32_t tenMask;
    } kinds[] = {{1, "CdeclNone", "CdeclOne", "CdeclTen", 7, 3, 1, 0},
                 {1, "StdcallNone", "StdcallOne", "StdcallTen", 11, 5, -2, ~0u},
                 {2, "StdcallNone@0", "StdcallOne@4", "StdcallTen@40", 11, 5, -2, ~0u}};
    std::int32_t frames[9] = {};
    auto frameKept = [&](int at, std::int32_t slot, int i) {
        const std::int32_t frame = CallUserDLL(slot, "LastFrame");
        return (i == 0 ? frames[at] = frame : frames[at]) == frame;
    };
    for (int i = 0; i < 10000; ++i) {
        for (int k = 0; k < 3; ++k) {
            const auto& f = kinds[k];
            const std::int32_t a[10] = {i, -i, 3, i * 7, 5, 6, -7, 8, i ^ 0x1234, 10};
            ASSERT_EQ(CallUserDLL(f.slot, f.none), f.none0);
            ASSERT_TRUE(frameKept(3 * k, f.slot, i)) << f.none << " " << i;
            ASSERT_EQ(CallUserDLL(f.slot, f.one, i), i * f.oneTimes + f.onePlus);
            ASSERT_TRUE(frameKept(3 * k + 1, f.slot, i)) << f.one << " " << i;
            const std::uint32_t ten = CallUserDLL(f.slot, f.ten, a[0], a[1], a[2], a[3], a[4], a[5],
                                                  a[6], a[7], a[8], a[9]);
            ASSERT_EQ(ten, Mix(a) ^ f.tenMask) << f.ten << " " << i;
            ASSERT_TRUE(frameKept(3 * k + 2, f.slot, i)) << f.ten << " " << i;
            ASSERT_EQ(static_cast<std::uint32_t>(CallUserDLL(f.slot, f.ten, a, 10)), ten);
        }
    }
    EXPECT_EQ(errors.Last(), 0);
}

TEST_F(UserDLLs, NamesAreExactAndArraysHoldZeroToTenArguments) {
    LoadUserDLL(decorated.c_str(), 1);
    EXPECT_EQ(UserDLLCallExist(1, "StdcallTen@40") + UserDLLCallExist(1, "CdeclTen"), 2);
    EXPECT_EQ(UserDLLCallExist(1, "StdcallTen"), 0) << "no decoration is added or removed";
    const std::int32_t a[11] = {};
    EXPECT_EQ(CallUserDLL(1, "CdeclNone", nullptr, 0), 7);
    for (std::int32_t count : {11, -1}) {
        EXPECT_EQ(CallUserDLL(1, "CdeclTen", a, count), 0) << count;
        EXPECT_EQ(errors.Last(), 7801) << count;
    }
    EXPECT_EQ(CallUserDLL(1, "StdcallTen", a, 10), 0);
    EXPECT_EQ(errors.Last(), 9704);
}

TEST_F(UserDLLs, NamesGoThroughTheRedirectAndTheFileHooksAroundTheLoad) {
    static std::string realName;
    realName = plain;
    g_HookLog.clear();
    CoreDataCallbacks& callbacks = g_CoreData->callbacks;
    callbacks.mediaRedirect = [](char* name, std::int32_t) {
        g_HookLog.push_back(std::string("redirect ") + name);
        std::strcpy(name, realName.c_str());
    };
    callbacks.beforeOpen = [](char* name) { g_HookLog.push_back(std::string("before ") + name); };
    callbacks.afterClose = [](char* name) { g_HookLog.push_back(std::string("after ") + name); };
    LoadUserDLL("virtual.dll", 7);
    EXPECT_EQ(UserDLLExist(7), 1);
    EXPECT_EQ(g_HookLog, (std::vector<std::string>{"redirect virtual.dll", "before " + plain,
                                                   "after " + plain}));
    g_HookLog.clear();
    LoadUserDLL("virtual.dll", 7); // a refused slot runs no hook
    EXPECT_TRUE(g_HookLog.empty());
}
