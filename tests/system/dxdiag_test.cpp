#include "core/win32.h"

#include "system/dxdiag.h"
#include "system/fake_dxdiag.h"
#include "system/system.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Every field of the table, each with a value that tells it apart.
void FillFields(FakeNode& node, const DxDiagFieldTable& table) {
    for (std::size_t i = 0; i < table.count; ++i) {
        const DxDiagField& field = table.fields[i];
        switch (field.type) {
        case DxDiagFieldType::Text:
            node.Text(field.name, field.name);
            break;
        case DxDiagFieldType::UInt:
            node.UInt(field.name, 1000 + static_cast<DWORD>(i));
            break;
        case DxDiagFieldType::Int:
            node.Int(field.name, -1000 - static_cast<LONG>(i));
            break;
        case DxDiagFieldType::Bool:
            node.Bool(field.name, VARIANT_TRUE);
            break;
        case DxDiagFieldType::UInt64:
            node.Text(field.name, std::to_wstring(1ull << (i % 60)));
            break;
        }
    }
}

std::wstring CpuLeafName(int row, const wchar_t* columns) {
    wchar_t name[96];
    std::swprintf(name, 96, L"ExtendedCPUFunctionBitmasks_0x%08x_bits%ls", 0x80000009 + row,
                  columns);
    return name;
}

class DxDiagStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        ResetFakeDxDiag();
        SetDxDiagProviderCreator(CreateFakeDxDiagProvider);
    }
    void TearDown() override {
        SetDxDiagProviderCreator(nullptr);
        EXPECT_EQ(fake.liveObjects, 0) << "every container and the provider are released";
    }
    // A collection over the stand-in's current tree.
    void Collect(DxDiagInfo& info) {
        ASSERT_EQ(info.CreateDxDiagProvider(TRUE), S_OK);
        EXPECT_EQ(info.CollectAll(), S_OK);
    }
    FakeDxDiag& fake = TheFakeDxDiag();
};

} // namespace

TEST_F(DxDiagStandIn, DisplayMemoryComesFromTheFirstDisplayDevice) {
    EXPECT_EQ(GetDisplayMemoryMB(), 0) << "no display device";
    EXPECT_EQ(fake.params.dwSize, 16u);
    EXPECT_EQ(fake.params.dwDxDiagHeaderVersion, 111u);
    EXPECT_EQ(fake.params.bAllowWHQLChecks, TRUE);
    EXPECT_EQ(fake.params.pReserved, nullptr);

    FakeNode& displays = fake.root->Child(L"DxDiag_DisplayDevices");
    FillFields(displays.Child(L"0"), kDxDiagDisplayDeviceFields);
    FillFields(displays.Child(L"1"), kDxDiagDisplayDeviceFields);
    auto& first = displays.Child(L"0").properties;
    for (auto& [name, property] : first)
        if (name == L"szDisplayMemoryLocalized") property.text = L"64 MB";
    EXPECT_EQ(GetDisplayMemoryMB(), 64);

    // Only the fields before the memory text are needed; a broken later one changes nothing.
    first.resize(9);
    first.back().second.text = L"  128.0 MB";
    EXPECT_EQ(GetDisplayMemoryMB(), 128);
    first.resize(8);
    EXPECT_EQ(GetDisplayMemoryMB(), 0) << "the memory text is missing";
}

TEST_F(DxDiagStandIn, NoProviderOrAFailedInitialisationReadsNothing) {
    fake.createResult = E_OUTOFMEMORY;
    DxDiagInfo none;
    EXPECT_EQ(none.CreateDxDiagProvider(FALSE), E_OUTOFMEMORY);
    EXPECT_EQ(none.CollectAll(), E_INVALIDARG);
    EXPECT_EQ(none.ReadDisplayDevices(), E_INVALIDARG);
    EXPECT_EQ(GetDisplayMemoryMB(), 0);

    // The provider exists but never handed out its root container.
    fake.createResult = S_OK;
    fake.initializeResult = E_FAIL;
    FillFields(fake.root->Child(L"DxDiag_SystemInfo"), kDxDiagSystemInfoFields);
    DxDiagInfo uninitialised;
    EXPECT_EQ(uninitialised.CreateDxDiagProvider(FALSE), E_FAIL);
    EXPECT_EQ(fake.params.bAllowWHQLChecks, FALSE);
    EXPECT_EQ(uninitialised.ReadSystemInfo(), E_INVALIDARG);
    EXPECT_EQ(uninitialised.CollectAll(), S_OK);
    EXPECT_EQ(uninitialised.systemInfo, nullptr);
}

TEST_F(DxDiagStandIn, ReadersConvertCutAndCheckTheVariantType) {
    fake.root->Text(L"long", std::wstring(300, L'x'))
        .Text(L"memory", L"25274789888")
        .Bool(L"on", VARIANT_TRUE)
        .Bool(L"off", VARIANT_FALSE)
        .Int(L"signed", -5)
        .UInt(L"unsigned", 0xFFFFFFFFu);
    for (std::size_t length : {0, 5, 99, 100, 300})
        fake.root->Text(L"text" + std::to_wstring(length), std::wstring(length, L'x'));
    DxDiagInfo info;
    ASSERT_EQ(info.CreateDxDiagProvider(TRUE), S_OK);
    IDxDiagContainer* root = info.root;

    // Texts shorter than, as long as and longer than the room, each into a buffer that holds no
    // zero: the text ends in one, and nothing past the room is touched.
    char text[104];
    for (std::size_t length : {0, 5, 99, 100, 300}) {
        const std::wstring name = L"text" + std::to_wstring(length);
        std::memset(text, '#', sizeof text);
        EXPECT_EQ(GetDxDiagString(root, name.c_str(), text, 100), S_OK);
        const std::size_t kept = length < 99 ? length : 99;
        EXPECT_EQ(std::string(text, strnlen(text, sizeof text)), std::string(kept, 'x')) << length;
        EXPECT_EQ(std::string(text + 100, 4), "####") << length;
    }
    EXPECT_EQ(GetDxDiagString(root, L"long", text, sizeof text), S_OK);
    EXPECT_EQ(std::string(text), std::string(103, 'x'));
    std::uint64_t big = 0;
    EXPECT_EQ(GetDxDiagInt64(root, L"memory", &big), S_OK);
    EXPECT_EQ(big, 25274789888ull);
    std::int32_t flag = 7;
    EXPECT_EQ(GetDxDiagBool(root, L"on", &flag), S_OK);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(GetDxDiagBool(root, L"off", &flag), S_OK);
    EXPECT_EQ(flag, 0);
    std::int32_t number = 0;
    EXPECT_EQ(GetDxDiagInt(root, L"signed", &number), S_OK);
    EXPECT_EQ(number, -5);
    std::uint32_t word = 0;
    EXPECT_EQ(GetDxDiagUInt(root, L"unsigned", &word), S_OK);
    EXPECT_EQ(word, 0xFFFFFFFFu);

    // Every reader refuses a property of another type and leaves its destination alone.
    word = 77;
    EXPECT_EQ(GetDxDiagUInt(root, L"signed", &word), E_INVALIDARG);
    EXPECT_EQ(word, 77u);
    number = 78;
    EXPECT_EQ(GetDxDiagInt(root, L"unsigned", &number), E_INVALIDARG);
    EXPECT_EQ(number, 78);
    flag = 79;
    EXPECT_EQ(GetDxDiagBool(root, L"memory", &flag), E_INVALIDARG);
    EXPECT_EQ(flag, 79);
    big = 80;
    EXPECT_EQ(GetDxDiagInt64(root, L"on", &big), E_INVALIDARG);
    EXPECT_EQ(big, 80u);
    std::strcpy(text, "kept");
    EXPECT_EQ(GetDxDiagString(root, L"signed", text, sizeof text), E_INVALIDARG);
    EXPECT_STREQ(text, "kept");
    EXPECT_FALSE(SUCCEEDED(GetDxDiagString(root, L"absent", text, sizeof text)));
    EXPECT_STREQ(text, "kept");
}

TEST_F(DxDiagStandIn, AMissingPropertyEndsItsRecordAndTheCpuRowsFollowTheFields) {
    FakeNode& system = fake.root->Child(L"DxDiag_SystemInfo");
    FillFields(system, kDxDiagSystemInfoFields);
    const wchar_t* columns[] = {L"0_31", L"32_63", L"64_95", L"96_127"};
    for (int row = 0; row < kDxDiagCpuLeafRows; ++row)
        for (int column = 0; column < kDxDiagCpuLeafColumns; ++column)
            system.UInt(CpuLeafName(row, columns[column]), static_cast<DWORD>(row * 4 + column));
    {
        DxDiagInfo info;
        Collect(info);
        ASSERT_NE(info.systemInfo, nullptr);
        EXPECT_STREQ(info.systemInfo->szTimeEnglish, "szTimeEnglish");
        EXPECT_EQ(info.systemInfo->bDebug, 1);
        for (int row = 0; row < kDxDiagCpuLeafRows; ++row)
            for (int column = 0; column < kDxDiagCpuLeafColumns; ++column)
                EXPECT_EQ(info.systemInfo->extendedCpuFunctionBitmasks[row][column],
                          static_cast<std::uint32_t>(row * 4 + column));
    }
    // The rows are asked for after the fields, leaf by leaf, 0x80000009 to 0x80000018.
    const auto cpuFirst = fake.propertiesAsked.begin() + kDxDiagSystemInfoFields.count;
    EXPECT_EQ(*cpuFirst, L"ExtendedCPUFunctionBitmasks_0x80000009_bits0_31");
    EXPECT_EQ(cpuFirst[27], L"ExtendedCPUFunctionBitmasks_0x8000000f_bits96_127");
    EXPECT_EQ(cpuFirst[28], L"ExtendedCPUFunctionBitmasks_0x80000010_bits0_31");
    EXPECT_EQ(cpuFirst[63], L"ExtendedCPUFunctionBitmasks_0x80000018_bits96_127");

    // Without bNetMeetingRunning the record ends there: what came before is kept, the rest
    // stays empty although the provider has it.
    std::erase_if(system.properties,
                  [](const auto& property) { return property.first == L"bNetMeetingRunning"; });
    DxDiagInfo info;
    Collect(info);
    ASSERT_NE(info.systemInfo, nullptr);
    EXPECT_EQ(info.systemInfo->dwOSMajorVersion, 1000u);
    EXPECT_STREQ(info.systemInfo->szDirectXVersionLetter, "s") << "text 2 holds one character";
    EXPECT_EQ(info.systemInfo->ullAvailPageFile, 1ull << 11);
    EXPECT_EQ(info.systemInfo->bIsD3D8DebugRuntimeAvailable, 0);
    EXPECT_STREQ(info.systemInfo->szWindowsDir, "");
    EXPECT_EQ(info.systemInfo->extendedCpuFunctionBitmasks[0][1], 0u);
}

TEST_F(DxDiagStandIn, ListsFilesAndTreesKeepTheProvidersOrder) {
    FakeNode& devices = fake.root->Child(L"DxDiag_SystemDevices");
    FakeNode& bus = devices.Child(L"0");
    FillFields(bus, kDxDiagSystemDeviceFields);
    FillFields(bus.Child(L"Drivers").Child(L"0"), kDxDiagFileNodeFields);
    FillFields(bus.Child(L"Drivers").Child(L"1"), kDxDiagFileNodeFields);
    FillFields(devices.Child(L"1"), kDxDiagSystemDeviceFields); // no "Drivers": none
    devices.Child(L"2").Text(L"szDescription", L"half a record");
    FillFields(devices.Child(L"3"), kDxDiagSystemDeviceFields);

    FakeNode& files = fake.root->Child(L"DxDiag_DirectXFiles");
    FillFields(files, kDxDiagDirectXFilesFields);
    FillFields(files.Child(L"0"), kDxDiagFileNodeFields); // its szPath is not read

    FakeNode& input = fake.root->Child(L"DxDiag_DirectInput");
    FillFields(input, kDxDiagInputInfoFields);
    input.Child(L"DxDiag_DirectInputDevices");
    input.Child(L"DxDiag_DirectInputGameports");
    FakeNode& hub = input.Child(L"DxDiag_DirectInputUSBRoot").Child(L"Hub");
    FillFields(hub, kDxDiagDeviceNodeFields);
    FillFields(hub.Child(L"Drivers").Child(L"0"), kDxDiagFileNodeFields);
    FillFields(hub.Child(L"Mouse"), kDxDiagDeviceNodeFields);
    input.Child(L"DxDiag_DirectInputPS2Devices");

    DxDiagInfo info;
    Collect(info);
    ASSERT_EQ(info.systemDevices.size(), 3u) << "the half record ends the list, the fourth unread";
    EXPECT_EQ(info.systemDevices[0]->drivers.size(), 2u);
    EXPECT_STREQ(info.systemDevices[0]->drivers[1]->szPath, "szPath");
    EXPECT_TRUE(info.systemDevices[1]->drivers.empty());
    EXPECT_STREQ(info.systemDevices[2]->szDescription, "half a record");
    EXPECT_STREQ(info.systemDevices[2]->szDeviceID, "");

    ASSERT_NE(info.directXFiles, nullptr);
    ASSERT_EQ(info.directXFiles->files.size(), 1u);
    EXPECT_STREQ(info.directXFiles->files[0]->szName, "szName");
    EXPECT_STREQ(info.directXFiles->files[0]->szPath, "");
    EXPECT_EQ(info.directXFiles->files[0]->bProblem, 1);

    ASSERT_NE(info.input, nullptr);
    ASSERT_EQ(info.input->usbRoot.size(), 1u);
    const DxDiagDeviceNode& root = *info.input->usbRoot[0];
    ASSERT_EQ(root.drivers.size(), 1u);
    ASSERT_EQ(root.children.size(), 1u) << "Drivers is a file list, not a node";
    EXPECT_TRUE(root.children[0]->drivers.empty());
    EXPECT_STREQ(root.children[0]->szFlags2, "szFlags2");
}

TEST_F(DxDiagStandIn, ADeepDeviceTreeIsReadToSixtyFourLevels) {
    FakeNode& input = fake.root->Child(L"DxDiag_DirectInput");
    FillFields(input, kDxDiagInputInfoFields);
    input.Child(L"DxDiag_DirectInputDevices");
    input.Child(L"DxDiag_DirectInputGameports");
    FakeNode& top = input.Child(L"DxDiag_DirectInputUSBRoot").Child(L"Top");
    FillFields(top, kDxDiagDeviceNodeFields);
    top.chainBelow = 999;
    input.Child(L"DxDiag_DirectInputPS2Devices");

    DxDiagInfo info;
    Collect(info);
    ASSERT_NE(info.input, nullptr);
    ASSERT_EQ(info.input->usbRoot.size(), 1u);
    int levels = 0;
    for (const DxDiagDeviceNode* node = info.input->usbRoot[0].get(); node;
         node = node->children.empty() ? nullptr : node->children[0].get()) {
        ++levels;
        EXPECT_STREQ(node->szService, "szService");
    }
    EXPECT_EQ(levels, kDxDiagMaxTreeDepth);
}

TEST(DxDiagPlatform, DisplayMemoryIsReportedEveryTime) {
    SetDxDiagProviderCreator(nullptr);
    const std::int32_t first = GetDisplayMemoryMB();
    const std::int32_t second = GetDisplayMemoryMB();
    EXPECT_GT(first, 0);
    EXPECT_EQ(second, first);

    DxDiagInfo info;
    ASSERT_EQ(info.CreateDxDiagProvider(TRUE), S_OK);
    EXPECT_EQ(info.CollectAll(), S_OK);
    ASSERT_NE(info.systemInfo, nullptr);
    EXPECT_GT(info.systemInfo->dwOSMajorVersion, 0u);
    EXPECT_GT(info.systemInfo->ullPhysicalMemory, 0u);
    ASSERT_FALSE(info.displayDevices.empty());
    EXPECT_GT(std::strlen(info.displayDevices[0]->szDescription), 0u);
}
