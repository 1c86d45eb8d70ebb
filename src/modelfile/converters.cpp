#include "core/win32.h"

#include "modelfile/converters.h"

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

} // namespace

const ModelConverter* FindModelConverter(const char* extension) {
    if (!extension) return nullptr;
    for (const ModelConverter& converter : kConverters) {
        const std::size_t length = std::strlen(converter.extensionPrefix);
        if (_strnicmp(extension, converter.extensionPrefix, length) == 0) return &converter;
    }
    return nullptr;
}
