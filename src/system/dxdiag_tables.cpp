// The field tables of the DxDiag records, made from the same lists as the records.
#include "core/win32.h"

#include "system/dxdiag_records.h"

#include <iterator>
#include <type_traits>

#define DXDIAG_FIELD(kind, name, size)                                                             \
    {L"" #name, DxDiagFieldType::kind, static_cast<std::uint32_t>(offsetof(R, name)),              \
     static_cast<std::uint32_t>(sizeof(R::name))},

// The readers write fields at their offsets, which only a standard-layout record makes reliable.
#define DXDIAG_TABLE(table, Record, LIST)                                                          \
    static_assert(std::is_standard_layout_v<Record>);                                              \
    namespace {                                                                                    \
    struct table##Rows {                                                                           \
        using R = Record;                                                                          \
        static constexpr DxDiagField rows[] = {LIST(DXDIAG_FIELD)};                                \
    };                                                                                             \
    }                                                                                              \
    const DxDiagFieldTable table = {table##Rows::rows, std::size(table##Rows::rows)};

DXDIAG_TABLE(kDxDiagSystemInfoFields, DxDiagSystemInfo, DXDIAG_SYSTEM_INFO_FIELDS)
DXDIAG_TABLE(kDxDiagSystemDeviceFields, DxDiagSystemDevice, DXDIAG_SYSTEM_DEVICE_FIELDS)
DXDIAG_TABLE(kDxDiagFileNodeFields, DxDiagFileNode, DXDIAG_FILE_NODE_FIELDS)
DXDIAG_TABLE(kDxDiagDirectXFileNodeFields, DxDiagFileNode, DXDIAG_DIRECTX_FILE_NODE_FIELDS)
DXDIAG_TABLE(kDxDiagDirectXFilesFields, DxDiagDirectXFiles, DXDIAG_DIRECTX_FILES_FIELDS)
DXDIAG_TABLE(kDxDiagDisplayDeviceFields, DxDiagDisplayDevice, DXDIAG_DISPLAY_DEVICE_FIELDS)
DXDIAG_TABLE(kDxDiagSoundDeviceFields, DxDiagSoundDevice, DXDIAG_SOUND_DEVICE_FIELDS)
DXDIAG_TABLE(kDxDiagSoundCaptureDeviceFields, DxDiagSoundCaptureDevice,
             DXDIAG_SOUND_CAPTURE_DEVICE_FIELDS)
DXDIAG_TABLE(kDxDiagMusicInfoFields, DxDiagMusicInfo, DXDIAG_MUSIC_INFO_FIELDS)
DXDIAG_TABLE(kDxDiagMusicPortFields, DxDiagMusicPort, DXDIAG_MUSIC_PORT_FIELDS)
DXDIAG_TABLE(kDxDiagInputInfoFields, DxDiagInputInfo, DXDIAG_INPUT_INFO_FIELDS)
DXDIAG_TABLE(kDxDiagInputDeviceFields, DxDiagInputDevice, DXDIAG_INPUT_DEVICE_FIELDS)
DXDIAG_TABLE(kDxDiagDeviceNodeFields, DxDiagDeviceNode, DXDIAG_DEVICE_NODE_FIELDS)
DXDIAG_TABLE(kDxDiagNetworkInfoFields, DxDiagNetworkInfo, DXDIAG_NETWORK_INFO_FIELDS)
DXDIAG_TABLE(kDxDiagNetworkAppFields, DxDiagNetworkApp, DXDIAG_NETWORK_APP_FIELDS)
DXDIAG_TABLE(kDxDiagNetworkProviderFields, DxDiagNetworkProvider, DXDIAG_NETWORK_PROVIDER_FIELDS)
DXDIAG_TABLE(kDxDiagNetworkAdapterFields, DxDiagNetworkAdapter, DXDIAG_NETWORK_ADAPTER_FIELDS)
DXDIAG_TABLE(kDxDiagVoiceCodecFields, DxDiagVoiceCodec, DXDIAG_VOICE_CODEC_FIELDS)
DXDIAG_TABLE(kDxDiagShowFilterFields, DxDiagShowFilter, DXDIAG_SHOW_FILTER_FIELDS)
DXDIAG_TABLE(kDxDiagLogicalDiskFields, DxDiagLogicalDisk, DXDIAG_LOGICAL_DISK_FIELDS)
