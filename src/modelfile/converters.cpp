#include "core/win32.h"

#include "modelfile/converters.h"
#include "modelfile/object_block.h"

#include <cstring>

namespace {

// In the order the extensions are tried; no two prefixes can match one extension.
const ModelConverter kConverters[] = {
    {"X", "x", ConvX::Convert, ConvX::Free, nullptr},
    {"MD2", "md2", ConvMD2::Convert, ConvMD2::Free, nullptr},
    {"MD3", "md3", ConvMD3::Convert, ConvMD3::Free, nullptr},
    {"3DS", "3ds", Conv3DS::Convert, Conv3DS::Free, Conv3DS::PassCoreData},
    {"MDL", "mdl", ConvMDL::Convert, ConvMDL::Free, ConvMDL::PassCoreData},
};

// Stand-in until the converter is built: it converts nothing.
bool ConvertNothing(std::uint8_t** block, std::uint32_t* size) {
    if (block) *block = nullptr;
    if (size) *size = 0;
    return false;
}

} // namespace

const ModelConverter* FindModelConverter(const char* extension) {
    if (!extension) return nullptr;
    for (const ModelConverter& converter : kConverters) {
        const std::size_t length = std::strlen(converter.extensionPrefix);
        if (_strnicmp(extension, converter.extensionPrefix, length) == 0) return &converter;
    }
    return nullptr;
}

// Stand-in until the converter is built: it converts nothing yet.
void Conv3DS::PassCoreData(CoreData*) {}
bool Conv3DS::Convert(const char*, std::uint8_t** block, std::uint32_t* size) {
    return ConvertNothing(block, size);
}
void Conv3DS::Free(std::uint8_t* block) {
    FreeObjectBlock(block);
}
