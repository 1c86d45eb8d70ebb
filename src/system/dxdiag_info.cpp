// DxDiag collection: the provider, one reader per container, file lists and device trees, the
// teardown, and the display-memory query built on them.
#include "core/win32.h"

#include <initguid.h>

#include "system/dxdiag.h"
#include "system/system.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

constexpr std::uint32_t kChildNameLength = 256;

HRESULT CreatePlatformProvider(IDxDiagProvider** provider) {
    return CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER,
                            IID_IDxDiagProvider, reinterpret_cast<void**>(provider));
}

DxDiagProviderCreator g_CreateProvider = CreatePlatformProvider;

// A zeroed record appended to list; false when memory runs out.
template <typename Record> Record* AppendRecord(DxDiagList<Record>& list) {
    std::unique_ptr<Record> record(new (std::nothrow) Record{});
    if (!record) return nullptr;
    try {
        list.push_back(std::move(record));
        return list.back().get();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

template <typename Record> Record* MakeRecord(std::unique_ptr<Record>& slot) {
    slot.reset(new (std::nothrow) Record{});
    return slot.get();
}

// A named child of container; E_FAIL when the provider hands back no object.
HRESULT GetChild(IDxDiagContainer* container, const wchar_t* name,
                 ComPtr<IDxDiagContainer>& child) {
    const HRESULT result = container->GetChildContainer(name, child.PutAddress());
    if (FAILED(result)) return result;
    return child ? S_OK : E_FAIL;
}

// The index-th child's name, always terminated.
HRESULT ChildName(IDxDiagContainer* container, DWORD index, wchar_t (&name)[kChildNameLength]) {
    name[0] = 0;
    const HRESULT result = container->EnumChildContainerNames(index, name, kChildNameLength);
    name[kChildNameLength - 1] = 0;
    return result;
}

// One record per child of container, appended before it is read: a failure leaves a partly
// filled record at the end of the list and ends the walk with its result.
template <typename Record, typename Read>
HRESULT ReadChildren(IDxDiagContainer* container, DxDiagList<Record>& list, Read read) {
    DWORD count = 0;
    HRESULT result = container->GetNumberOfChildContainers(&count);
    if (FAILED(result)) return result;
    for (DWORD i = 0; i < count; ++i) {
        Record* record = AppendRecord(list);
        if (!record) return E_OUTOFMEMORY;
        wchar_t name[kChildNameLength];
        if (FAILED(result = ChildName(container, i, name))) return result;
        ComPtr<IDxDiagContainer> child;
        if (FAILED(result = GetChild(container, name, child))) return result;
        if (FAILED(result = read(child.Get(), *record))) return result;
    }
    return S_OK;
}

// Records whose only content is their field table.
template <typename Record> auto FieldsOnly(const DxDiagFieldTable& table) {
    return [&table](IDxDiagContainer* child, Record& record) {
        return ReadDxDiagFields(child, table, &record);
    };
}

// The processor feature words: leaves 0x80000009 to 0x80000018, four words each.
HRESULT ReadCpuLeafRows(IDxDiagContainer* container, DxDiagSystemInfo& info) {
    static const wchar_t* const kColumns[kDxDiagCpuLeafColumns] = {L"0_31", L"32_63", L"64_95",
                                                                   L"96_127"};
    for (int row = 0; row < kDxDiagCpuLeafRows; ++row) {
        for (int column = 0; column < kDxDiagCpuLeafColumns; ++column) {
            wchar_t name[96];
            std::swprintf(name, 96, L"ExtendedCPUFunctionBitmasks_0x800000%0.2x_bits%ls", row + 9,
                          kColumns[column]);
            const HRESULT result =
                GetDxDiagUInt(container, name, &info.extendedCpuFunctionBitmasks[row][column]);
            if (FAILED(result)) return result;
        }
    }
    return S_OK;
}

// A record's "Drivers" child as its file list; a record without one has no drivers.
HRESULT ReadDrivers(DxDiagInfo& info, IDxDiagContainer* container,
                    DxDiagList<DxDiagFileNode>& drivers) {
    ComPtr<IDxDiagContainer> child;
    if (FAILED(GetChild(container, L"Drivers", child))) return S_OK;
    return info.GatherFileList(child.Get(), drivers);
}

} // namespace

void SetDxDiagProviderCreator(DxDiagProviderCreator creator) {
    g_CreateProvider = creator ? creator : CreatePlatformProvider;
}

HRESULT DxDiagInfo::CreateDxDiagProvider(BOOL allowWhqlChecks) {
    if (!comInitialized) comInitialized = SUCCEEDED(CoInitialize(nullptr)) ? 1 : 0;
    root.Reset();
    HRESULT result = g_CreateProvider(provider.PutAddress());
    if (FAILED(result)) return result;
    if (!provider) return E_POINTER;
    DXDIAG_INIT_PARAMS params{};
    params.dwSize = sizeof params;
    params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
    params.bAllowWHQLChecks = allowWhqlChecks;
    params.pReserved = nullptr;
    result = provider->Initialize(&params);
    if (SUCCEEDED(result)) result = provider->GetRootContainer(root.PutAddress());
    return result;
}

HRESULT DxDiagInfo::CollectAll() {
    if (!provider) return E_INVALIDARG;
    const HRESULT results[] = {ReadSystemInfo(),     ReadSystemDevices(), ReadDirectXFiles(),
                               ReadDisplayDevices(), ReadSoundDevices(),  ReadMusic(),
                               ReadInput(),          ReadNetwork(),       ReadShowFilters(),
                               ReadLogicalDisks()};
    for (HRESULT result : results)
        if (result == E_OUTOFMEMORY) return E_OUTOFMEMORY;
    return S_OK;
}

HRESULT DxDiagInfo::ReadSystemInfo() {
    if (!Ready()) return E_INVALIDARG;
    ComPtr<IDxDiagContainer> child;
    HRESULT result = GetChild(root, L"DxDiag_SystemInfo", child);
    if (FAILED(result)) return result;
    if (!MakeRecord(systemInfo)) return E_OUTOFMEMORY;
    result = ReadDxDiagFields(child, kDxDiagSystemInfoFields, systemInfo.get());
    if (FAILED(result)) return result;
    return ReadCpuLeafRows(child, *systemInfo);
}

HRESULT DxDiagInfo::ReadSystemDevices() {
    if (!Ready()) return E_INVALIDARG;
    ComPtr<IDxDiagContainer> list;
    const HRESULT result = GetChild(root, L"DxDiag_SystemDevices", list);
    if (FAILED(result)) return result;
    return ReadChildren(
        list.Get(), systemDevices, [this](IDxDiagContainer* child, DxDiagSystemDevice& device) {
            const HRESULT r = ReadDxDiagFields(child, kDxDiagSystemDeviceFields, &device);
            return FAILED(r) ? r : ReadDrivers(*this, child, device.drivers);
        });
}

HRESULT DxDiagInfo::ReadDirectXFiles() {
    if (!Ready()) return E_INVALIDARG;
    ComPtr<IDxDiagContainer> child;
    HRESULT result = GetChild(root, L"DxDiag_DirectXFiles", child);
    if (FAILED(result)) return result;
    if (!MakeRecord(directXFiles)) return E_OUTOFMEMORY;
    result = ReadDxDiagFields(child, kDxDiagDirectXFilesFields, directXFiles.get());
    if (FAILED(result)) return result;
    return GatherFileList(child, directXFiles->files, kDxDiagDirectXFileNodeFields);
}

HRESULT DxDiagInfo::ReadDisplayDevices() {
    if (!Ready()) return E_INVALIDARG;
    ComPtr<IDxDiagContainer> list;
    const HRESULT result = GetChild(root, L"DxDiag_DisplayDevices", list);
    if (FAILED(result)) return result;
    return ReadChildren(list.Get(), displayDevices,
                        FieldsOnly<DxDiagDisplayDevice>(kDxDiagDisplayDeviceFields));
}

HRESULT DxDiagInfo::ReadSoundDevices() {
    if (!Ready()) return E_INVALIDARG;
    ComPtr<IDxDiagContainer> list;
    HRESULT result = GetChild(root, L"DxDiag_DirectSound.DxDiag_SoundDevices", list);
    if (FAILED(result)) return result;
    result = ReadChildren(list.Get(), soundDevices,
                          FieldsOnly<DxDiagSoundDevice>(kDxDiagSoundDeviceFields));
    if (FAILED(result)) return result;
    result = GetChild(root, L"DxDiag_DirectSound.DxDiag_SoundCaptureDevices", list);
    if (FAILED(result)) return result;
    return ReadChildren(list.Get(), soundCaptureDevices,
                        FieldsOnly<DxDiagSoundCaptureDevice>(kDxDiagSoundCaptureDeviceFields));
}

HRESULT DxDiagInfo::ReadMusic() {
    if (!Ready()) return E_INVALIDARG;
    ComPtr<IDxDiagContainer> child;
    HRESULT result = GetChild(root, L"DxDiag_DirectMusic", child);
    if (FAILED(result)) return result;
    if (!MakeRecord(music)) return E_OUTOFMEMORY;
    result = ReadDxDiagFields(child, kDxDiagMusicInfoFields, music.get());
    if (FAILED(result)) return result;
    result = GetChild(root, L"DxDiag_DirectMusic.DxDiag_DirectMusicPorts", child);
    if (FAILED(result)) return result;
    return ReadChildren(child.Get(), music->ports,
                        FieldsOnly<DxDiagMusicPort>(kDxDiagMusicPortFields));
}

HRESULT DxDiagInfo::ReadInput() {
    if (!Ready()) return E_INVALIDARG;
    ComPtr<IDxDiagContainer> child;
    HRESULT result = GetChild(root, L"DxDiag_DirectInput", child);
    if (FAILED(result)) return result;
    if (!MakeRecord(input)) return E_OUTOFMEMORY;
    result = ReadDxDiagFields(child, kDxDiagInputInfoFields, input.get());
    if (FAILED(result)) return result;
    result = GetChild(root, L"DxDiag_DirectInput.DxDiag_DirectInputDevices", child);
    if (FAILED(result)) return result;
    result = ReadChildren(child.Get(), input->devices,
                          FieldsOnly<DxDiagInputDevice>(kDxDiagInputDeviceFields));
    if (FAILED(result)) return result;
    result =
        ReadDeviceTreeList(L"DxDiag_DirectInput.DxDiag_DirectInputGameports", input->gamePorts);
    if (FAILED(result)) return result;
    result = ReadDeviceTreeList(L"DxDiag_DirectInput.DxDiag_DirectInputUSBRoot", input->usbRoot);
    if (FAILED(result)) return result;
    return ReadDeviceTreeList(L"DxDiag_DirectInput.DxDiag_DirectInputPS2Devices",
                              input->ps2Devices);
}

HRESULT DxDiagInfo::ReadNetwork() {
    if (!Ready()) return E_INVALIDARG;
    ComPtr<IDxDiagContainer> child;
    HRESULT result = GetChild(root, L"DxDiag_DirectPlay", child);
    if (FAILED(result)) return result;
    if (!MakeRecord(network)) return E_OUTOFMEMORY;
    result = ReadDxDiagFields(child, kDxDiagNetworkInfoFields, network.get());
    if (FAILED(result)) return result;
    if (FAILED(result = GetChild(root, L"DxDiag_DirectPlay.DxDiag_DirectPlayApps", child)) ||
        FAILED(result = ReadChildren(child.Get(), network->apps,
                                     FieldsOnly<DxDiagNetworkApp>(kDxDiagNetworkAppFields))))
        return result;
    if (FAILED(result = GetChild(root, L"DxDiag_DirectPlay.DxDiag_DirectPlaySPs", child)) ||
        FAILED(result =
                   ReadChildren(child.Get(), network->providers,
                                FieldsOnly<DxDiagNetworkProvider>(kDxDiagNetworkProviderFields))))
        return result;
    if (FAILED(result = GetChild(root, L"DxDiag_DirectPlay.DxDiag_DirectPlayAdapters", child)) ||
        FAILED(result =
                   ReadChildren(child.Get(), network->adapters,
                                FieldsOnly<DxDiagNetworkAdapter>(kDxDiagNetworkAdapterFields))))
        return result;
    if (FAILED(result = GetChild(root, L"DxDiag_DirectPlay.DxDiag_DirectPlayVoiceCodecs", child)))
        return result;
    return ReadChildren(child.Get(), network->voiceCodecs,
                        FieldsOnly<DxDiagVoiceCodec>(kDxDiagVoiceCodecFields));
}

HRESULT DxDiagInfo::ReadShowFilters() {
    if (!Ready()) return E_INVALIDARG;
    ComPtr<IDxDiagContainer> list;
    const HRESULT result = GetChild(root, L"DxDiag_DirectShowFilters", list);
    if (FAILED(result)) return result;
    if (!MakeRecord(show)) return E_OUTOFMEMORY;
    return ReadChildren(list.Get(), show->filters,
                        FieldsOnly<DxDiagShowFilter>(kDxDiagShowFilterFields));
}

HRESULT DxDiagInfo::ReadLogicalDisks() {
    if (!Ready()) return E_INVALIDARG;
    ComPtr<IDxDiagContainer> list;
    const HRESULT result = GetChild(root, L"DxDiag_LogicalDisks", list);
    if (FAILED(result)) return result;
    return ReadChildren(
        list.Get(), logicalDisks, [this](IDxDiagContainer* child, DxDiagLogicalDisk& disk) {
            const HRESULT r = ReadDxDiagFields(child, kDxDiagLogicalDiskFields, &disk);
            return FAILED(r) ? r : ReadDrivers(*this, child, disk.drivers);
        });
}

HRESULT DxDiagInfo::ReadFileNode(IDxDiagContainer* container, DxDiagFileNode& node,
                                 const DxDiagFieldTable& table) {
    return ReadDxDiagFields(container, table, &node);
}

HRESULT DxDiagInfo::GatherFileList(IDxDiagContainer* container, DxDiagList<DxDiagFileNode>& list,
                                   const DxDiagFieldTable& table) {
    return ReadChildren(container, list,
                        [this, &table](IDxDiagContainer* child, DxDiagFileNode& node) {
                            return ReadFileNode(child, node, table);
                        });
}

HRESULT DxDiagInfo::ReadDeviceTreeList(const wchar_t* path, DxDiagList<DxDiagDeviceNode>& list) {
    ComPtr<IDxDiagContainer> container;
    const HRESULT result = GetChild(root, path, container);
    if (FAILED(result)) return result;
    return ReadChildren(container.Get(), list,
                        [this](IDxDiagContainer* child, DxDiagDeviceNode& node) {
                            return ReadDeviceTree(child, node, 1);
                        });
}

HRESULT DxDiagInfo::ReadDeviceTree(IDxDiagContainer* container, DxDiagDeviceNode& node, int depth) {
    const HRESULT result = ReadDxDiagFields(container, kDxDiagDeviceNodeFields, &node);
    if (FAILED(result)) return result;
    return ReadDeviceChildren(container, node, depth);
}

// "Drivers" becomes the node's file list, every other child a node of its own; below the
// deepest level read, child nodes are left out.
HRESULT DxDiagInfo::ReadDeviceChildren(IDxDiagContainer* container, DxDiagDeviceNode& node,
                                       int depth) {
    DWORD count = 0;
    HRESULT result = container->GetNumberOfChildContainers(&count);
    if (FAILED(result)) return result;
    for (DWORD i = 0; i < count; ++i) {
        wchar_t name[kChildNameLength];
        if (FAILED(result = ChildName(container, i, name))) return result;
        const bool drivers = std::wcscmp(name, L"Drivers") == 0;
        if (!drivers && depth >= kDxDiagMaxTreeDepth) continue;
        DxDiagDeviceNode* childNode = nullptr;
        if (!drivers && !(childNode = AppendRecord(node.children))) return E_OUTOFMEMORY;
        ComPtr<IDxDiagContainer> child;
        if (FAILED(result = GetChild(container, name, child))) return result;
        result = drivers ? GatherFileList(child.Get(), node.drivers)
                         : ReadDeviceTree(child.Get(), *childNode, depth + 1);
        if (FAILED(result)) return result;
    }
    return S_OK;
}

void DxDiagInfo::Destroy() {
    systemInfo.reset();
    systemDevices.clear();
    directXFiles.reset();
    displayDevices.clear();
    soundDevices.clear();
    soundCaptureDevices.clear();
    music.reset();
    input.reset();
    network.reset();
    show.reset();
    logicalDisks.clear();
    root.Reset();
    provider.Reset();
    if (comInitialized) CoUninitialize();
    comInitialized = 0;
}

std::int32_t GetDisplayMemoryMB() {
    auto info = std::unique_ptr<DxDiagInfo>(new (std::nothrow) DxDiagInfo);
    // Out of memory may have left the first display device out: 101, not a size of 0.
    if (!info) {
        RaiseRuntimeError(kStringNoMemory);
        return 0;
    }
    info->CreateDxDiagProvider(TRUE);
    if (info->CollectAll() == E_OUTOFMEMORY) {
        RaiseRuntimeError(kStringNoMemory);
        return 0;
    }
    char text[256] = {};
    if (!info->displayDevices.empty()) {
        const char* memory = info->displayDevices.front()->szDisplayMemoryLocalized;
        std::memcpy(text, memory, strnlen(memory, sizeof text - 1));
    }
    info.reset(); // the teardown, COM's end included
    // Leading digits only ("128.0 MB" is 128); long is 32 bits here, so strtol holds a longer
    // number at its limit.
    return static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
}
