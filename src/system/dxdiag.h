// DxDiag information: the diagnostic provider's containers read into the plain records of
// dxdiag_records.h, for a one-off query that creates, fills and tears the object down again.
// Results are HRESULTs only; nothing reaches the run-time error cell.
#pragma once

#include "core/win32.h"

#include "core/com_ptr.h"
#include "system/dxdiag_records.h"

#include <dxdiag.h>

#include <cstdint>

// Property readers: (container, property name, destination[, size]). A property of another
// variant type gives E_INVALIDARG and leaves the destination as it was.
// Text of at most size - 1 characters, always terminated.
HRESULT GetDxDiagString(IDxDiagContainer* container, const wchar_t* name, char* text,
                        std::uint32_t size);
HRESULT GetDxDiagUInt(IDxDiagContainer* container, const wchar_t* name, std::uint32_t* value);
HRESULT GetDxDiagInt(IDxDiagContainer* container, const wchar_t* name, std::int32_t* value);
// 1 for any non-zero VARIANT_BOOL, else 0.
HRESULT GetDxDiagBool(IDxDiagContainer* container, const wchar_t* name, std::int32_t* value);
// A decimal text read as an unsigned 64-bit number.
HRESULT GetDxDiagInt64(IDxDiagContainer* container, const wchar_t* name, std::uint64_t* value);
// Reads the table's fields into record in order; the first failing read ends it with its result.
HRESULT ReadDxDiagFields(IDxDiagContainer* container, const DxDiagFieldTable& table, void* record);

// Makes the provider object; the default creates the platform's in-process server. Tests hand
// in a provider of their own; null restores the default.
using DxDiagProviderCreator = HRESULT (*)(IDxDiagProvider** provider);
void SetDxDiagProviderCreator(DxDiagProviderCreator creator);

// Device trees are read this many levels deep, so a provider's tree cannot exhaust the stack.
constexpr int kDxDiagMaxTreeDepth = 64;

// The collected information; owns every record and list, all freed by Destroy.
class DxDiagInfo {
public:
    DxDiagInfo() = default;
    ~DxDiagInfo() { Destroy(); }
    DxDiagInfo(const DxDiagInfo&) = delete;
    DxDiagInfo& operator=(const DxDiagInfo&) = delete;

    // COM for this thread, the provider initialised with header version 111, its root container.
    HRESULT CreateDxDiagProvider(BOOL allowWhqlChecks);
    // Every container in a fixed order; a failing reader leaves its part partly filled.
    // E_INVALIDARG without a provider, E_OUTOFMEMORY when a reader ran out of memory, else 0.
    HRESULT CollectAll();

    HRESULT ReadSystemInfo();
    HRESULT ReadSystemDevices();
    HRESULT ReadDirectXFiles();
    HRESULT ReadDisplayDevices();
    HRESULT ReadSoundDevices();
    HRESULT ReadMusic();
    HRESULT ReadInput();
    HRESULT ReadNetwork();
    HRESULT ReadShowFilters();
    HRESULT ReadLogicalDisks();

    HRESULT ReadFileNode(IDxDiagContainer* container, DxDiagFileNode& node,
                         const DxDiagFieldTable& table = kDxDiagFileNodeFields);
    // One file node per child of container, appended to list.
    HRESULT GatherFileList(IDxDiagContainer* container, DxDiagList<DxDiagFileNode>& list,
                           const DxDiagFieldTable& table = kDxDiagFileNodeFields);
    // The node's fields, its "Drivers" files and its child nodes, depth counted from 1.
    HRESULT ReadDeviceTree(IDxDiagContainer* container, DxDiagDeviceNode& node, int depth = 1);

    // Frees every record, releases the root container and the provider, and ends COM when
    // CreateDxDiagProvider started it.
    void Destroy();

    ComPtr<IDxDiagProvider> provider;
    ComPtr<IDxDiagContainer> root;
    std::int32_t comInitialized = 0;
    std::unique_ptr<DxDiagSystemInfo> systemInfo;
    DxDiagList<DxDiagSystemDevice> systemDevices;
    std::unique_ptr<DxDiagDirectXFiles> directXFiles;
    DxDiagList<DxDiagDisplayDevice> displayDevices;
    DxDiagList<DxDiagSoundDevice> soundDevices;
    DxDiagList<DxDiagSoundCaptureDevice> soundCaptureDevices;
    std::unique_ptr<DxDiagMusicInfo> music;
    std::unique_ptr<DxDiagInputInfo> input;
    std::unique_ptr<DxDiagNetworkInfo> network;
    std::unique_ptr<DxDiagShowInfo> show;
    DxDiagList<DxDiagLogicalDisk> logicalDisks;

private:
    // Readers need the root container, which a failed initialisation never hands out.
    bool Ready() const { return provider && root; }
    HRESULT ReadDeviceTreeList(const wchar_t* path, DxDiagList<DxDiagDeviceNode>& list);
    HRESULT ReadDeviceChildren(IDxDiagContainer* container, DxDiagDeviceNode& node, int depth);
};
