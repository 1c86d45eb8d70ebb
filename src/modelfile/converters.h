// The model converters: each turns one foreign model file into a block of the native object
// format, which the object loader then reads like a native file.
#pragma once

#include "core/win32.h"

#include <cstdint>
#include <vector>

struct CoreData;

struct ModelConverter {
    const char* name;
    // The converter takes files whose extension begins with this, compared without case.
    const char* extensionPrefix;
    // A new block in *block (the converter keeps it, and its working object, until free).
    bool (*convert)(const char* fileName, std::uint8_t** block, std::uint32_t* size);
    void (*free)(std::uint8_t* block);
    // Handed the engine's shared data before each conversion; null for converters without need.
    void (*passCoreData)(CoreData* core);
};

// The converter for a file extension (without its dot), or null when none takes it.
const ModelConverter* FindModelConverter(const char* extension);

// X files, read through the platform's X file interfaces.
namespace ConvX {
bool Convert(const char* fileName, std::uint8_t** block, std::uint32_t* size);
bool ConvertFile(const char* fileName, std::uint8_t** block, std::uint32_t* size);
void Free(std::uint8_t* block);
// The file as the converter's own object (kept until the next conversion or Free); false when
// it cannot be read.
bool LoadObject(const char* fileName);
// The error the platform's X file parser (or the engine's own walk before it) refused the last
// file with; S_OK when it did not.
HRESULT LastFileError();
// The file whole, unpacked when compressed, and walked through by the engine: false for one no
// platform parser may be given (objects nested past any real file, a standard template declared
// with another layout, damage). image holds the bytes to hand the parser.
bool ReadCheckedXFile(const char* fileName, std::vector<std::uint8_t>& image);
} // namespace ConvX
namespace ConvMD2 {
bool Convert(const char* fileName, std::uint8_t** block, std::uint32_t* size);
void Free(std::uint8_t* block);
} // namespace ConvMD2
namespace ConvMD3 {
bool Convert(const char* fileName, std::uint8_t** block, std::uint32_t* size);
void Free(std::uint8_t* block);
} // namespace ConvMD3
// 3DS scenes, through the text of an X file (modelfile/conv_3ds.h). Free deletes the block and
// the object the conversion loaded.
namespace Conv3DS {
void PassCoreData(CoreData* core);
bool Convert(const char* fileName, std::uint8_t** block, std::uint32_t* size);
void Free(std::uint8_t* block);
} // namespace Conv3DS
namespace ConvMDL {
void PassCoreData(CoreData* core);
bool Convert(const char* fileName, std::uint8_t** block, std::uint32_t* size);
void Free(std::uint8_t* block);
} // namespace ConvMDL
