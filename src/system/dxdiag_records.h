// The plain records into which the DxDiag collection copies the diagnostic provider's containers.
// Each field is named after the provider property that fills it and is read in field order; the
// lists of fields below make both the records and the tables that the readers walk, so a name
// is written once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// How a field is read: text (cut to its array, always terminated), VT_UI4, VT_I4, VT_BOOL (stored
// as 1 or 0) or a decimal text held as a 64-bit number.
enum class DxDiagFieldType : std::uint8_t { Text, UInt, Int, Bool, UInt64 };

// One row of a record's field table.
struct DxDiagField {
    const wchar_t* name; // the provider's property name
    DxDiagFieldType type;
    std::uint32_t offset; // of the field in its record
    std::uint32_t size;   // of the field in bytes
};

struct DxDiagFieldTable {
    const DxDiagField* fields;
    std::size_t count;
};

// A record's fields, declared from its list.
#define DXDIAG_MEMBER(kind, name, size) DXDIAG_MEMBER_##kind(name, size)
#define DXDIAG_MEMBER_Text(name, size) char name[size] = {};
#define DXDIAG_MEMBER_UInt(name, size) std::uint32_t name = 0;
#define DXDIAG_MEMBER_Int(name, size) std::int32_t name = 0;
#define DXDIAG_MEMBER_Bool(name, size) std::int32_t name = 0;
#define DXDIAG_MEMBER_UInt64(name, size) std::uint64_t name = 0;

// Records own their inner lists; a list keeps its provider's child order.
template <typename Record> using DxDiagList = std::vector<std::unique_ptr<Record>>;

// clang-format off
#define DXDIAG_SYSTEM_INFO_FIELDS(X) \
    X(UInt, dwOSMajorVersion, 0) \
    X(UInt, dwOSMinorVersion, 0) \
    X(UInt, dwOSBuildNumber, 0) \
    X(UInt, dwOSPlatformID, 0) \
    X(UInt, dwDirectXVersionMajor, 0) \
    X(UInt, dwDirectXVersionMinor, 0) \
    X(Text, szDirectXVersionLetter, 2) \
    X(Bool, bDebug, 0) \
    X(Bool, bNECPC98, 0) \
    X(UInt64, ullPhysicalMemory, 0) \
    X(UInt64, ullUsedPageFile, 0) \
    X(UInt64, ullAvailPageFile, 0) \
    X(Bool, bNetMeetingRunning, 0) \
    X(Bool, bIsD3D8DebugRuntimeAvailable, 0) \
    X(Bool, bIsD3DDebugRuntime, 0) \
    X(Bool, bIsDInput8DebugRuntimeAvailable, 0) \
    X(Bool, bIsDInput8DebugRuntime, 0) \
    X(Bool, bIsDMusicDebugRuntimeAvailable, 0) \
    X(Bool, bIsDMusicDebugRuntime, 0) \
    X(Bool, bIsDDrawDebugRuntime, 0) \
    X(Bool, bIsDPlayDebugRuntime, 0) \
    X(Bool, bIsDSoundDebugRuntime, 0) \
    X(Int, nD3DDebugLevel, 0) \
    X(Int, nDDrawDebugLevel, 0) \
    X(Int, nDIDebugLevel, 0) \
    X(Int, nDMusicDebugLevel, 0) \
    X(Int, nDPlayDebugLevel, 0) \
    X(Int, nDSoundDebugLevel, 0) \
    X(Int, nDShowDebugLevel, 0) \
    X(Text, szWindowsDir, 260) \
    X(Text, szBuildLab, 100) \
    X(Text, szDxDiagVersion, 100) \
    X(Text, szSetupParamEnglish, 100) \
    X(Text, szProcessorEnglish, 200) \
    X(Text, szSystemManufacturerEnglish, 200) \
    X(Text, szSystemModelEnglish, 200) \
    X(Text, szBIOSEnglish, 200) \
    X(Text, szPhysicalMemoryEnglish, 100) \
    X(Text, szCSDVersion, 200) \
    X(Text, szDirectXVersionEnglish, 100) \
    X(Text, szDirectXVersionLongEnglish, 100) \
    X(Text, szMachineNameLocalized, 200) \
    X(Text, szOSLocalized, 100) \
    X(Text, szOSExLocalized, 100) \
    X(Text, szOSExLongLocalized, 300) \
    X(Text, szLanguagesLocalized, 200) \
    X(Text, szPageFileLocalized, 100) \
    X(Text, szTimeLocalized, 100) \
    X(Text, szMachineNameEnglish, 200) \
    X(Text, szOSEnglish, 100) \
    X(Text, szOSExEnglish, 100) \
    X(Text, szOSExLongEnglish, 300) \
    X(Text, szLanguagesEnglish, 200) \
    X(Text, szPageFileEnglish, 100) \
    X(Text, szTimeEnglish, 100)

#define DXDIAG_SYSTEM_DEVICE_FIELDS(X) \
    X(Text, szDescription, 500) \
    X(Text, szDeviceID, 300)

#define DXDIAG_FILE_NODE_FIELDS(X) \
    X(Text, szName, 260) \
    X(Text, szPath, 260) \
    DXDIAG_FILE_NODE_DETAILS(X)
// The DirectX files list reads its nodes without szPath.
#define DXDIAG_DIRECTX_FILE_NODE_FIELDS(X) \
    X(Text, szName, 260) \
    DXDIAG_FILE_NODE_DETAILS(X)
#define DXDIAG_FILE_NODE_DETAILS(X) \
    X(Text, szVersion, 50) \
    X(Text, szLanguageEnglish, 100) \
    X(Text, szLanguageLocalized, 100) \
    X(UInt, dwFileTimeLow, 0) \
    X(UInt, dwFileTimeHigh, 0) \
    X(Text, szDatestampEnglish, 30) \
    X(Text, szDatestampLocalized, 30) \
    X(Text, szAttributes, 50) \
    X(Int, lNumBytes, 0) \
    X(Bool, bExists, 0) \
    X(Bool, bBeta, 0) \
    X(Bool, bDebug, 0) \
    X(Bool, bObsolete, 0) \
    X(Bool, bProblem, 0)

#define DXDIAG_DIRECTX_FILES_FIELDS(X) \
    X(Text, szDXFileNotesLocalized, 3000) \
    X(Text, szDXFileNotesEnglish, 3000)

#define DXDIAG_DISPLAY_DEVICE_FIELDS(X) \
    X(Text, szDeviceName, 100) \
    X(Text, szDescription, 200) \
    X(Text, szKeyDeviceID, 200) \
    X(Text, szKeyDeviceKey, 200) \
    X(Text, szManufacturer, 200) \
    X(Text, szChipType, 100) \
    X(Text, szDACType, 100) \
    X(Text, szRevision, 100) \
    X(Text, szDisplayMemoryLocalized, 100) \
    X(Text, szDisplayMemoryEnglish, 100) \
    X(Text, szDisplayModeLocalized, 100) \
    X(Text, szDisplayModeEnglish, 100) \
    X(UInt, dwWidth, 0) \
    X(UInt, dwHeight, 0) \
    X(UInt, dwBpp, 0) \
    X(UInt, dwRefreshRate, 0) \
    X(Text, szMonitorName, 100) \
    X(Text, szMonitorMaxRes, 100) \
    X(Text, szDriverName, 100) \
    X(Text, szDriverVersion, 100) \
    X(Text, szDriverAttributes, 100) \
    X(Text, szDriverLanguageEnglish, 100) \
    X(Text, szDriverLanguageLocalized, 100) \
    X(Text, szDriverDateEnglish, 100) \
    X(Text, szDriverDateLocalized, 100) \
    X(Int, lDriverSize, 0) \
    X(Text, szMiniVdd, 100) \
    X(Text, szMiniVddDateLocalized, 100) \
    X(Text, szMiniVddDateEnglish, 100) \
    X(Int, lMiniVddSize, 0) \
    X(Text, szVdd, 100) \
    X(Bool, bCanRenderWindow, 0) \
    X(Bool, bDriverBeta, 0) \
    X(Bool, bDriverDebug, 0) \
    X(Bool, bDriverSigned, 0) \
    X(Bool, bDriverSignedValid, 0) \
    X(UInt, dwDDIVersion, 0) \
    X(Text, szDDIVersionEnglish, 100) \
    X(Text, szDDIVersionLocalized, 100) \
    X(UInt, iAdapter, 0) \
    X(Text, szVendorId, 50) \
    X(Text, szDeviceId, 50) \
    X(Text, szSubSysId, 50) \
    X(Text, szRevisionId, 50) \
    X(UInt, dwWHQLLevel, 0) \
    X(Text, szDeviceIdentifier, 100) \
    X(Text, szDriverSignDate, 50) \
    X(Bool, bNoHardware, 0) \
    X(Bool, bDDAccelerationEnabled, 0) \
    X(Bool, b3DAccelerationExists, 0) \
    X(Bool, b3DAccelerationEnabled, 0) \
    X(Bool, bAGPEnabled, 0) \
    X(Bool, bAGPExists, 0) \
    X(Bool, bAGPExistenceValid, 0) \
    X(Text, szDXVAModes, 100) \
    X(Text, szDDStatusLocalized, 100) \
    X(Text, szDDStatusEnglish, 100) \
    X(Text, szD3DStatusLocalized, 100) \
    X(Text, szD3DStatusEnglish, 100) \
    X(Text, szAGPStatusLocalized, 100) \
    X(Text, szAGPStatusEnglish, 100) \
    X(Text, szNotesLocalized, 3000) \
    X(Text, szNotesEnglish, 3000) \
    X(Text, szRegHelpText, 3000) \
    X(Text, szTestResultDDLocalized, 3000) \
    X(Text, szTestResultDDEnglish, 3000) \
    X(Text, szTestResultD3D7Localized, 3000) \
    X(Text, szTestResultD3D7English, 3000) \
    X(Text, szTestResultD3D8Localized, 3000) \
    X(Text, szTestResultD3D8English, 3000) \
    X(Text, szTestResultD3D9Localized, 3000) \
    X(Text, szTestResultD3D9English, 3000)

#define DXDIAG_SOUND_DEVICE_FIELDS(X) \
    X(UInt, dwDevnode, 0) \
    X(Text, szGuidDeviceID, 100) \
    X(Text, szHardwareID, 200) \
    X(Text, szRegKey, 200) \
    X(Text, szManufacturerID, 100) \
    X(Text, szProductID, 100) \
    X(Text, szDescription, 200) \
    X(Text, szDriverName, 200) \
    X(Text, szDriverPath, 261) \
    X(Text, szDriverVersion, 100) \
    X(Text, szDriverLanguageEnglish, 100) \
    X(Text, szDriverLanguageLocalized, 100) \
    X(Text, szDriverAttributes, 100) \
    X(Text, szDriverDateEnglish, 60) \
    X(Text, szDriverDateLocalized, 60) \
    X(Text, szOtherDrivers, 200) \
    X(Text, szProvider, 200) \
    X(Text, szType, 100) \
    X(Int, lNumBytes, 0) \
    X(Bool, bDriverBeta, 0) \
    X(Bool, bDriverDebug, 0) \
    X(Bool, bDriverSigned, 0) \
    X(Bool, bDriverSignedValid, 0) \
    X(Int, lAccelerationLevel, 0) \
    X(Bool, bDefaultSoundPlayback, 0) \
    X(Bool, bDefaultVoicePlayback, 0) \
    X(Bool, bVoiceManager, 0) \
    X(Bool, bEAX20Listener, 0) \
    X(Bool, bEAX20Source, 0) \
    X(Bool, bI3DL2Listener, 0) \
    X(Bool, bI3DL2Source, 0) \
    X(Bool, bZoomFX, 0) \
    X(UInt, dwFlags, 0) \
    X(UInt, dwMinSecondarySampleRate, 0) \
    X(UInt, dwMaxSecondarySampleRate, 0) \
    X(UInt, dwPrimaryBuffers, 0) \
    X(UInt, dwMaxHwMixingAllBuffers, 0) \
    X(UInt, dwMaxHwMixingStaticBuffers, 0) \
    X(UInt, dwMaxHwMixingStreamingBuffers, 0) \
    X(UInt, dwFreeHwMixingAllBuffers, 0) \
    X(UInt, dwFreeHwMixingStaticBuffers, 0) \
    X(UInt, dwFreeHwMixingStreamingBuffers, 0) \
    X(UInt, dwMaxHw3DAllBuffers, 0) \
    X(UInt, dwMaxHw3DStaticBuffers, 0) \
    X(UInt, dwMaxHw3DStreamingBuffers, 0) \
    X(UInt, dwFreeHw3DAllBuffers, 0) \
    X(UInt, dwFreeHw3DStaticBuffers, 0) \
    X(UInt, dwFreeHw3DStreamingBuffers, 0) \
    X(UInt, dwTotalHwMemBytes, 0) \
    X(UInt, dwFreeHwMemBytes, 0) \
    X(UInt, dwMaxContigFreeHwMemBytes, 0) \
    X(UInt, dwUnlockTransferRateHwBuffers, 0) \
    X(UInt, dwPlayCpuOverheadSwBuffers, 0) \
    X(Text, szNotesLocalized, 3000) \
    X(Text, szNotesEnglish, 3000) \
    X(Text, szRegHelpText, 3000) \
    X(Text, szTestResultLocalized, 3000) \
    X(Text, szTestResultEnglish, 3000)

#define DXDIAG_SOUND_CAPTURE_DEVICE_FIELDS(X) \
    X(Text, szDescription, 200) \
    X(Text, szGuidDeviceID, 100) \
    X(Text, szDriverName, 200) \
    X(Text, szDriverPath, 261) \
    X(Text, szDriverVersion, 100) \
    X(Text, szDriverLanguageEnglish, 100) \
    X(Text, szDriverLanguageLocalized, 100) \
    X(Text, szDriverAttributes, 100) \
    X(Text, szDriverDateEnglish, 60) \
    X(Text, szDriverDateLocalized, 60) \
    X(Int, lNumBytes, 0) \
    X(Bool, bDriverBeta, 0) \
    X(Bool, bDriverDebug, 0) \
    X(Bool, bDefaultSoundRecording, 0) \
    X(Bool, bDefaultVoiceRecording, 0) \
    X(UInt, dwFlags, 0) \
    X(UInt, dwFormats, 0)

#define DXDIAG_MUSIC_INFO_FIELDS(X) \
    X(Bool, bDMusicInstalled, 0) \
    X(Text, szGMFilePath, 260) \
    X(Text, szGMFileVersion, 100) \
    X(Bool, bAccelerationEnabled, 0) \
    X(Bool, bAccelerationExists, 0) \
    X(Text, szNotesLocalized, 3000) \
    X(Text, szNotesEnglish, 3000) \
    X(Text, szRegHelpText, 3000) \
    X(Text, szTestResultLocalized, 3000) \
    X(Text, szTestResultEnglish, 3000)

#define DXDIAG_MUSIC_PORT_FIELDS(X) \
    X(Text, szGuid, 300) \
    X(Bool, bSoftware, 0) \
    X(Bool, bKernelMode, 0) \
    X(Bool, bUsesDLS, 0) \
    X(Bool, bExternal, 0) \
    X(UInt, dwMaxAudioChannels, 0) \
    X(UInt, dwMaxChannelGroups, 0) \
    X(Bool, bDefaultPort, 0) \
    X(Bool, bOutputPort, 0) \
    X(Text, szDescription, 300)

#define DXDIAG_INPUT_INFO_FIELDS(X) \
    X(Bool, bPollFlags, 0) \
    X(Text, szInputNotesLocalized, 3000) \
    X(Text, szInputNotesEnglish, 3000) \
    X(Text, szRegHelpText, 3000)

#define DXDIAG_INPUT_DEVICE_FIELDS(X) \
    X(Text, szInstanceName, 260) \
    X(Bool, bAttached, 0) \
    X(UInt, dwJoystickID, 0) \
    X(UInt, dwVendorID, 0) \
    X(UInt, dwProductID, 0) \
    X(UInt, dwDevType, 0) \
    X(Text, szFFDriverName, 260) \
    X(Text, szFFDriverDateEnglish, 260) \
    X(Text, szFFDriverVersion, 260) \
    X(Int, lFFDriverSize, 0)

#define DXDIAG_DEVICE_NODE_FIELDS(X) \
    X(UInt, dwVendorID, 0) \
    X(UInt, dwProductID, 0) \
    X(Text, szDescription, 260) \
    X(Text, szLocation, 260) \
    X(Text, szMatchingDeviceId, 260) \
    X(Text, szUpperFilters, 260) \
    X(Text, szService, 260) \
    X(Text, szLowerFilters, 260) \
    X(Text, szOEMData, 260) \
    X(Text, szFlags1, 260) \
    X(Text, szFlags2, 260)

#define DXDIAG_NETWORK_INFO_FIELDS(X) \
    X(Text, szNetworkNotesLocalized, 3000) \
    X(Text, szNetworkNotesEnglish, 3000) \
    X(Text, szRegHelpText, 3000) \
    X(Text, szTestResultLocalized, 3000) \
    X(Text, szTestResultEnglish, 3000) \
    X(Text, szVoiceWizardFullDuplexTestLocalized, 200) \
    X(Text, szVoiceWizardHalfDuplexTestLocalized, 200) \
    X(Text, szVoiceWizardMicTestLocalized, 200) \
    X(Text, szVoiceWizardFullDuplexTestEnglish, 200) \
    X(Text, szVoiceWizardHalfDuplexTestEnglish, 200) \
    X(Text, szVoiceWizardMicTestEnglish, 200)

#define DXDIAG_NETWORK_APP_FIELDS(X) \
    X(Text, szName, 200) \
    X(Text, szGuid, 100) \
    X(Text, szExeFile, 100) \
    X(Text, szExePath, 260) \
    X(Text, szExeVersionLocalized, 50) \
    X(Text, szExeVersionEnglish, 50) \
    X(Text, szLauncherFile, 100) \
    X(Text, szLauncherPath, 260) \
    X(Text, szLauncherVersionLocalized, 50) \
    X(Text, szLauncherVersionEnglish, 50) \
    X(Bool, bRegistryOK, 0) \
    X(Bool, bProblem, 0) \
    X(Bool, bFileMissing, 0) \
    X(UInt, dwDXVer, 0)

#define DXDIAG_NETWORK_PROVIDER_FIELDS(X) \
    X(Text, szNameLocalized, 200) \
    X(Text, szNameEnglish, 200) \
    X(Text, szGuid, 100) \
    X(Text, szFile, 100) \
    X(Text, szPath, 260) \
    X(Text, szVersionLocalized, 50) \
    X(Text, szVersionEnglish, 50) \
    X(Bool, bRegistryOK, 0) \
    X(Bool, bProblem, 0) \
    X(Bool, bFileMissing, 0) \
    X(Bool, bInstalled, 0) \
    X(UInt, dwDXVer, 0)

#define DXDIAG_NETWORK_ADAPTER_FIELDS(X) \
    X(Text, szAdapterName, 200) \
    X(Text, szSPNameEnglish, 200) \
    X(Text, szSPNameLocalized, 200) \
    X(Text, szGuid, 100) \
    X(UInt, dwFlags, 0)

#define DXDIAG_VOICE_CODEC_FIELDS(X) \
    X(Text, szName, 200) \
    X(Text, szGuid, 100) \
    X(Text, szDescription, 500) \
    X(UInt, dwFlags, 0) \
    X(UInt, dwMaxBitsPerSecond, 0)

#define DXDIAG_SHOW_FILTER_FIELDS(X) \
    X(Text, szName, 1024) \
    X(Text, szVersion, 32) \
    X(Text, ClsidFilter, 300) \
    X(Text, szFileName, 260) \
    X(Text, szFileVersion, 32) \
    X(Text, szCatName, 1024) \
    X(Text, ClsidCat, 300) \
    X(UInt, dwInputs, 0) \
    X(UInt, dwOutputs, 0) \
    X(UInt, dwMerit, 0)

#define DXDIAG_LOGICAL_DISK_FIELDS(X) \
    X(Text, szDriveLetter, 64) \
    X(Text, szFreeSpace, 128) \
    X(Text, szMaxSpace, 128) \
    X(Text, szFileSystem, 128) \
    X(Text, szModel, 512) \
    X(Text, szPNPDeviceID, 512) \
    X(UInt, dwHardDriveIndex, 0)

// clang-format on

// Processor feature words of the system record: rows for leaves 0x80000009 to 0x80000018,
// columns bits 0-31, 32-63, 64-95 and 96-127.
constexpr int kDxDiagCpuLeafRows = 16;
constexpr int kDxDiagCpuLeafColumns = 4;

struct DxDiagSystemInfo {
    DXDIAG_SYSTEM_INFO_FIELDS(DXDIAG_MEMBER)
    std::uint32_t extendedCpuFunctionBitmasks[kDxDiagCpuLeafRows][kDxDiagCpuLeafColumns] = {};
};

struct DxDiagFileNode {
    DXDIAG_FILE_NODE_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagSystemDevice {
    DXDIAG_SYSTEM_DEVICE_FIELDS(DXDIAG_MEMBER)
    DxDiagList<DxDiagFileNode> drivers;
};

struct DxDiagDirectXFiles {
    DXDIAG_DIRECTX_FILES_FIELDS(DXDIAG_MEMBER)
    DxDiagList<DxDiagFileNode> files;
};

struct DxDiagDisplayDevice {
    DXDIAG_DISPLAY_DEVICE_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagSoundDevice {
    DXDIAG_SOUND_DEVICE_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagSoundCaptureDevice {
    DXDIAG_SOUND_CAPTURE_DEVICE_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagMusicPort {
    DXDIAG_MUSIC_PORT_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagMusicInfo {
    DXDIAG_MUSIC_INFO_FIELDS(DXDIAG_MEMBER)
    DxDiagList<DxDiagMusicPort> ports;
};

struct DxDiagInputDevice {
    DXDIAG_INPUT_DEVICE_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagDeviceNode {
    DXDIAG_DEVICE_NODE_FIELDS(DXDIAG_MEMBER)
    DxDiagList<DxDiagDeviceNode> children;
    DxDiagList<DxDiagFileNode> drivers;
};

struct DxDiagInputInfo {
    DXDIAG_INPUT_INFO_FIELDS(DXDIAG_MEMBER)
    DxDiagList<DxDiagInputDevice> devices;
    DxDiagList<DxDiagDeviceNode> gamePorts;
    DxDiagList<DxDiagDeviceNode> usbRoot;
    DxDiagList<DxDiagDeviceNode> ps2Devices;
};

struct DxDiagNetworkApp {
    DXDIAG_NETWORK_APP_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagNetworkProvider {
    DXDIAG_NETWORK_PROVIDER_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagNetworkAdapter {
    DXDIAG_NETWORK_ADAPTER_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagVoiceCodec {
    DXDIAG_VOICE_CODEC_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagNetworkInfo {
    DXDIAG_NETWORK_INFO_FIELDS(DXDIAG_MEMBER)
    DxDiagList<DxDiagNetworkApp> apps;
    DxDiagList<DxDiagNetworkProvider> providers;
    DxDiagList<DxDiagNetworkAdapter> adapters;
    DxDiagList<DxDiagVoiceCodec> voiceCodecs;
};

struct DxDiagShowFilter {
    DXDIAG_SHOW_FILTER_FIELDS(DXDIAG_MEMBER)
};

struct DxDiagShowInfo {
    DxDiagList<DxDiagShowFilter> filters;
};

struct DxDiagLogicalDisk {
    DXDIAG_LOGICAL_DISK_FIELDS(DXDIAG_MEMBER)
    DxDiagList<DxDiagFileNode> drivers;
};

// The field tables, one per record kind.
extern const DxDiagFieldTable kDxDiagSystemInfoFields;
extern const DxDiagFieldTable kDxDiagSystemDeviceFields;
extern const DxDiagFieldTable kDxDiagFileNodeFields;
extern const DxDiagFieldTable kDxDiagDirectXFileNodeFields; // without szPath
extern const DxDiagFieldTable kDxDiagDirectXFilesFields;
extern const DxDiagFieldTable kDxDiagDisplayDeviceFields;
extern const DxDiagFieldTable kDxDiagSoundDeviceFields;
extern const DxDiagFieldTable kDxDiagSoundCaptureDeviceFields;
extern const DxDiagFieldTable kDxDiagMusicInfoFields;
extern const DxDiagFieldTable kDxDiagMusicPortFields;
extern const DxDiagFieldTable kDxDiagInputInfoFields;
extern const DxDiagFieldTable kDxDiagInputDeviceFields;
extern const DxDiagFieldTable kDxDiagDeviceNodeFields;
extern const DxDiagFieldTable kDxDiagNetworkInfoFields;
extern const DxDiagFieldTable kDxDiagNetworkAppFields;
extern const DxDiagFieldTable kDxDiagNetworkProviderFields;
extern const DxDiagFieldTable kDxDiagNetworkAdapterFields;
extern const DxDiagFieldTable kDxDiagVoiceCodecFields;
extern const DxDiagFieldTable kDxDiagShowFilterFields;
extern const DxDiagFieldTable kDxDiagLogicalDiskFields;
