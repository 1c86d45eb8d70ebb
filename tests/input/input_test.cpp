#include "core/win32.h"

#include "input/fake_joystick.h"
#include "input/input.h"
#include "input/input_state.h"
#include "system/system.h"
#include "core/checklist.h"
#include "core/error_numbers.h"
#include "support/engine_fixture.h"
#include "support/failing_rows.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

class Input : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        window = g_CoreData->window;
    }
    static std::string Take(char* text) {
        std::string copy = text ? text : "<null>";
        CoreResizeString(&text, 0);
        return copy;
    }
    HWND window = nullptr;
};

int CursorCount() {
    const int count = ShowCursor(TRUE);
    ShowCursor(FALSE);
    return count - 1;
}

} // namespace

TEST(InputWithoutDevices, EveryKeyReadsUpAndNothingCrashes) {
    InputDestructor(); // no interface, no devices
    EXPECT_EQ(IsEscapeKeyDown(), 0);
    EXPECT_EQ(IsShiftKeyDown(), 0);
    EXPECT_EQ(GetScanCode(), 0);
    EXPECT_EQ(KeyState(-1), 0);
    EXPECT_EQ(KeyState(256), 0);
    EXPECT_EQ(KeyState(0x1E), 0);
    EXPECT_EQ(GetMouseClick(), 0);
    EXPECT_EQ(GetMouseMoveX(), 0);
    EXPECT_EQ(GetMouseX(), 0);
    EXPECT_EQ(GetJoystickHatAngle(0), 0);
    EXPECT_FALSE(ResetJoystick());
    HideMouse();
    PositionMouse(1, 1);
    EXPECT_EQ(ReadEntryBuffer(nullptr, 1), nullptr);
    ForcePushUp(10);
}

TEST_F(Input, HidingTwiceHidesOnce) {
    const int shown = CursorCount();
    HideMouse();
    HideMouse();
    EXPECT_EQ(CursorCount(), shown - 1);
    EXPECT_EQ(g_CoreData->cursorShown, 0);
    ShowMouse();
    ShowMouse();
    EXPECT_EQ(CursorCount(), shown);
}

TEST_F(Input, EntryBufferWithAndWithoutBackspaces) {
    for (char c : {'a', 'b', '\b', 'c'})
        SendMessageA(window, WM_CHAR, static_cast<unsigned char>(c), 0);
    EXPECT_EQ(Take(ReadEntryBuffer(nullptr, 1)), "ac");
    EXPECT_EQ(Take(ReadEntryBuffer(nullptr, 0)), "ab\bc");
    EXPECT_EQ(Take(GetEntryBufferCopy()), "ab\bc");
    ClearEntryBuffer();
    EXPECT_EQ(Take(ReadEntryBuffer(nullptr, 1)), "");
    char* old = GetEntryBufferCopy();
    EXPECT_EQ(Take(ReadEntryBuffer(old, 1)), ""); // the old text is handed back
}

TEST_F(Input, ClipboardRoundTrip) {
    WriteClipboard("puzzle \xe9");
    EXPECT_EQ(Take(ReadClipboard(nullptr)), "puzzle \xe9");
    ASSERT_TRUE(OpenClipboard(window));
    EmptyClipboard();
    CloseClipboard();
    EXPECT_EQ(ReadClipboard(nullptr), nullptr);
}

TEST_F(Input, RegistryRoundTripsUnderTheMachineKey) {
    const char* path = "Software\\ZarvolinTest";
    WriteRegistry(path, "number", -42);
    EXPECT_EQ(ReadRegistry(path, "number"), -42);
    WriteRegistryString(path, "text", "hello");
    EXPECT_EQ(Take(ReadRegistryString(path, "text")), "hello");
    EXPECT_EQ(ReadRegistry(path, "missing"), 0);
    EXPECT_EQ(Take(ReadRegistryString(path, "missing")), "");
    const std::string longPath = std::string(path) + "\\" + std::string(260, 'k');
    WriteRegistry(longPath.c_str(), "number", 7);
    EXPECT_EQ(ReadRegistry(longPath.c_str(), "number"), 0);
    // Every text the write stores reads back whole; the write keeps 255 characters of a longer one.
    const struct {
        std::size_t written, read;
    } lengths[] = {{0, 0}, {1, 1}, {253, 253}, {254, 254}, {255, 255}, {256, 255}, {300, 255}};
    for (const auto& row : lengths) {
        std::string text(row.written, 'v');
        if (!text.empty()) text.back() = 'z'; // a cut text reads back without its last letter
        WriteRegistryString(path, "text", text.c_str());
        EXPECT_EQ(Take(ReadRegistryString(path, "text")), text.substr(0, row.read))
            << row.written << " characters written";
    }
    // A value stored by others that is longer than the read takes reads back empty, never past the
    // buffer; one of 256 bytes without a terminator is its 256 characters.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, &key), ERROR_SUCCESS);
    const std::string big(300, 'v');
    RegSetValueExA(key, "big", 0, REG_SZ, reinterpret_cast<const BYTE*>(big.c_str()), 257);
    RegSetValueExA(key, "bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(big.c_str()), 256);
    RegCloseKey(key);
    EXPECT_EQ(Take(ReadRegistryString(path, "big")), "");
    EXPECT_EQ(Take(ReadRegistryString(path, "bare")), big.substr(0, 256));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
}

namespace {

// The engine with the controller list of the test in place of the machine's (which has none).
class Joysticks : public Input {
protected:
    void SetUp() override {
        Input::SetUp();
        g_FakeInput = FakeInputWorld{};
        g_FakeInput.controllers = {{"Pad One", true}, {"Pad Two", false}};
        real = g_Input.directInput;
        g_Input.directInput = MakeFakeDirectInput();
    }
    void TearDown() override {
        ReleaseEffects();
        ReleaseJoystick();
        g_Input.directInput->Release();
        g_Input.directInput = real;
        Input::TearDown();
    }
    IDirectInput8A* real = nullptr;
};

} // namespace

TEST_F(Joysticks, SelectionByNameAndPositionAndTheDeviceChecklist) {
    EXPECT_TRUE(ResetJoystick());
    EXPECT_EQ(Take(GetJoystickName(nullptr)), "Pad One");
    EXPECT_EQ(g_Input.forceFeedback, 1);
    EXPECT_EQ(SelectJoystickByName("Pad Two"), 0); // it is second: position 1, not 0
    EXPECT_EQ(cell.number, 4001);
    EXPECT_EQ(SelectJoystick("Pad Two", 1), 1);
    EXPECT_EQ(Take(GetJoystickName(nullptr)), "Pad Two");
    EXPECT_EQ(g_Input.forceFeedback, 0);
    EXPECT_EQ(SelectJoystick("", 1), 1); // any name, second position
    EXPECT_EQ(SelectJoystick(std::string(400, 'x').c_str(), 0), 0);

    ControlDeviceChecklist();
    ASSERT_EQ(ChecklistQuantity(), 2);
    EXPECT_EQ(Take(GetChecklistString(nullptr, 1)), "Pad One");
    EXPECT_EQ(GetChecklistValueA(1), 1); // force feedback
    EXPECT_EQ(GetChecklistValueA(2), 7); // the name's length
}

// Out of memory for the rows keeps the list there was (none here), and says so.
TEST_F(Joysticks, ADeviceChecklistThatRunsOutOfMemoryKeepsTheOldList) {
    FreeChecklist();
    failing_heap::CheckFailingRows(
        {{"ControlDeviceChecklist", ControlDeviceChecklist,
          [] { return std::to_string(ChecklistQuantity()); }, kStringNoMemory}});
    EXPECT_EQ(ChecklistQuantity(), 2);
}

TEST_F(Joysticks, OutOfRangeButtonsAndHatsReadAsNothing) {
    ResetJoystick();
    g_FakeInput.state.rgbButtons[31] = 0x80;
    g_FakeInput.state.rgdwPOV[0] = 9000;
    EXPECT_EQ(JoystickFireX(31), 1);
    EXPECT_EQ(JoystickFireX(32), 0);
    EXPECT_EQ(JoystickFireX(-1), 0);
    EXPECT_EQ(GetJoystickHatAngle(0), 9000);
    EXPECT_EQ(GetJoystickHatAngle(4), -1);
}

TEST_F(Joysticks, EffectParametersAndDurations) {
    ResetJoystick();
    ForcePushAngle(50, 90, 1999);
    ASSERT_EQ(g_FakeInput.effects.size(), 1u);
    EXPECT_EQ(g_FakeInput.effects[0].duration, 1050000u); // whole seconds + 0.05 s
    EXPECT_EQ(g_FakeInput.effects[0].direction, 9000);
    EXPECT_EQ(g_FakeInput.effects[0].magnitude, 5000);
    EXPECT_EQ(g_FakeInput.effects[0].starts, 1);
    ForceVibrateFast(10, 1999);
    ASSERT_EQ(g_FakeInput.effects.size(), 2u);
    EXPECT_EQ(g_FakeInput.effects[1].duration, 2049000u);
    EXPECT_EQ(g_FakeInput.effects[1].period, 50000u);
    EXPECT_TRUE(IsEqualGUID(g_FakeInput.effects[1].type, GUID_Sine));
    ForceVibrateFast(20, 0); // the same slot, updated: endless
    EXPECT_EQ(g_FakeInput.effects.size(), 2u);
    EXPECT_EQ(g_FakeInput.effects[1].duration, INFINITE);
    EXPECT_EQ(g_FakeInput.effects[1].updates, 1);
    ForcePushUp(100);
    EXPECT_EQ(g_FakeInput.effects.back().direction, 18000);
    EXPECT_EQ(g_FakeInput.effects.back().duration, 100000u);

    PlayConstantForce(30, 500);
    const std::size_t constant = g_FakeInput.effects.size() - 1;
    EXPECT_EQ(g_FakeInput.effects[constant].starts, 0); // made, not played
    PlayConstantForce(30, 500);
    EXPECT_EQ(g_FakeInput.effects[constant].starts, 1);
    StopForceEffects();
    EXPECT_EQ(g_FakeInput.effects[constant].stops, 1);

    cell.number = 0;
    ForcePushAngle(101, 0, 0);
    EXPECT_EQ(cell.number, 4102);
    ForcePushAngle(50, 361, 0);
    EXPECT_EQ(cell.number, 4104);
    ForceVibrateSlow(50, -1);
    EXPECT_EQ(cell.number, 4103);
    SelectJoystick("Pad Two", 1); // no force feedback
    ForcePushUp(10);
    EXPECT_EQ(cell.number, 4101);
}

TEST_F(Joysticks, DurationsLongerThanTheDeviceHoldsAreRefused) {
    ResetJoystick();
    ForceVibrateFast(10, 1); // the slot's effect, updated by the cases below
    ForcePushAngle(10, 0, 1);
    const std::size_t vibrate = g_FakeInput.effects.size() - 2, push = vibrate + 1;
    const struct {
        bool angled;
        std::int32_t ms;
        std::int32_t error;
        DWORD microseconds; // when played
    } cases[] = {
        {false, 4294917, 0, 4294967000u}, {false, 4294918, 4103, 0}, {false, INT_MAX, 4103, 0},
        {true, 4294999, 0, 4294050000u},  {true, 4295000, 4103, 0},  {true, INT_MAX, 4103, 0},
    };
    for (const auto& c : cases) {
        cell.number = 0;
        const std::size_t slot = c.angled ? push : vibrate;
        g_FakeInput.effects[slot].duration = 1;
        c.angled ? ForcePushAngle(10, 0, c.ms) : ForceVibrateFast(10, c.ms);
        EXPECT_EQ(cell.number, c.error) << c.ms;
        // Near: with a device, the processor computes in single precision.
        EXPECT_NEAR(g_FakeInput.effects[slot].duration, c.error ? 1 : c.microseconds, 512) << c.ms;
    }
}

// Real keys and buttons through the X server, as a player's would come, and the X pointer moved:
// both belong to the one display that every test shares.
class InputSerial : public Input {
protected:
    void Focus() {
        ASSERT_TRUE(RunXdotool("windowfocus " + std::to_string(XWindowOf(window))));
        ASSERT_TRUE(PumpUntil([&] { return GetFocus() == window; }));
        PumpFor(200); // let DirectInput take the focus
    }
};

TEST_F(InputSerial, PositionMouseLandsOnTheClientPoint) {
    RECT client{};
    GetClientRect(window, &client);
    g_CoreData->displayWidth = client.right; // no stretching
    g_CoreData->displayHeight = client.bottom;
    PositionMouse(100, 50);
    POINT expected{100, 50}, cursor{};
    ClientToScreen(window, &expected);
    GetCursorPos(&cursor);
    EXPECT_NEAR(cursor.x, expected.x, 1);
    EXPECT_NEAR(cursor.y, expected.y, 1);
}

TEST_F(InputSerial, FarMousePositionsStayOnTheirSideOfTheScreen) {
    RECT client{};
    GetClientRect(window, &client);
    // A display half or as wide as the client: positions are doubled or kept, then moved by the
    // frame, past the 32-bit range.
    for (const int divisor : {2, 1}) {
        g_CoreData->displayWidth = client.right / divisor;
        g_CoreData->displayHeight = client.bottom / divisor;
        for (const std::int32_t edge : {INT_MAX, INT_MAX - 1, INT_MIN}) {
            PositionMouse(edge, edge);
            POINT cursor{};
            GetCursorPos(&cursor);
            const bool right = edge > 0;
            EXPECT_EQ(g_CoreData->mouseX > 0, right) << edge << " / " << divisor;
            EXPECT_EQ(g_CoreData->mouseY > 0, right) << edge << " / " << divisor;
            EXPECT_EQ(cursor.x > GetSystemMetrics(SM_CXSCREEN) / 2, right) << edge;
        }
    }
}

TEST_F(InputSerial, KeysReachKeyStateAndTheLowestScanCode) {
    Focus();
    ASSERT_TRUE(RunXdotool("keydown a"));
    EXPECT_TRUE(PumpUntil([] { return KeyState(0x1E) == 1; }));
    ASSERT_TRUE(RunXdotool("keydown q"));
    EXPECT_TRUE(PumpUntil([] { return GetScanCode() == 0x10; })) << GetScanCode();
    ASSERT_TRUE(RunXdotool("keyup q keyup a"));
    EXPECT_TRUE(PumpUntil([] { return GetScanCode() == 0; }));
    ASSERT_TRUE(RunXdotool("keydown Escape"));
    EXPECT_TRUE(PumpUntil([] { return IsEscapeKeyDown() == 1; }));
    ASSERT_TRUE(RunXdotool("keyup Escape"));
    EXPECT_TRUE(PumpUntil([] { return IsEscapeKeyDown() == 0; }));
}

TEST_F(InputSerial, ButtonsAndMotionReachTheMouse) {
    g_CoreData->escapeExit = 0;
    Focus();
    POINT centre{100, 100};
    ClientToScreen(window, &centre);
    ASSERT_TRUE(
        RunXdotool("mousemove " + std::to_string(centre.x) + " " + std::to_string(centre.y)));
    PumpFor(200);
    GetMouseMoveX(); // forget the motion so far
    ASSERT_TRUE(RunXdotool("mousedown 1 mousedown 3"));
    EXPECT_TRUE(PumpUntil([] { return GetMouseClick() == 3; }));
    ASSERT_TRUE(RunXdotool("mouseup 1 mouseup 3"));
    EXPECT_TRUE(PumpUntil([] { return GetMouseClick() == 0; }));
    ASSERT_TRUE(RunXdotool("mousemove_relative 40 0"));
    std::int32_t moved = 0;
    EXPECT_TRUE(PumpUntil([&] { return (moved += GetMouseMoveX()) >= 40; })) << moved;
    PumpFor(100);
    GetMouseMoveX();
    EXPECT_EQ(GetMouseMoveX(), 0); // read once, then nothing until the mouse moves again
}
