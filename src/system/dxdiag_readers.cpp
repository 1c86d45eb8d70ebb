// DxDiag property readers: one provider property into one record field, by variant type.
#include "core/win32.h"

#include "system/dxdiag.h"

#include <cwchar>

namespace {

// Clears the variant on every path out of a reader.
struct VariantHolder {
    VARIANT v;
    VariantHolder() { VariantInit(&v); }
    ~VariantHolder() { VariantClear(&v); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;
};

HRESULT FetchProperty(IDxDiagContainer* container, const wchar_t* name, VARTYPE wanted,
                      VariantHolder& value) {
    if (!container || !name) return E_INVALIDARG;
    const HRESULT result = container->GetProp(name, &value.v);
    if (FAILED(result)) return result;
    return value.v.vt == wanted ? S_OK : E_INVALIDARG;
}

// Narrow text of at most size - 1 bytes. A text that does not fit is cut at the longest prefix
// of whole characters that does, so a double-byte character is never split.
void CopyNarrow(const wchar_t* wide, char* text, std::uint32_t size) {
    text[size - 1] = 0;
    const int length = wide ? static_cast<int>(std::wcslen(wide)) : 0;
    int characters = length < static_cast<int>(size - 1) ? length : static_cast<int>(size - 1);
    int bytes = 0;
    for (; characters > 0; --characters) {
        bytes = WideCharToMultiByte(CP_ACP, 0, wide, characters, text, static_cast<int>(size - 1),
                                    nullptr, nullptr);
        if (bytes > 0) break;
    }
    text[bytes] = 0;
}

} // namespace

HRESULT GetDxDiagString(IDxDiagContainer* container, const wchar_t* name, char* text,
                        std::uint32_t size) {
    if (!text || size == 0) return E_INVALIDARG;
    VariantHolder value;
    const HRESULT result = FetchProperty(container, name, VT_BSTR, value);
    if (FAILED(result)) return result;
    CopyNarrow(value.v.bstrVal, text, size);
    return S_OK;
}

HRESULT GetDxDiagUInt(IDxDiagContainer* container, const wchar_t* name, std::uint32_t* value) {
    if (!value) return E_INVALIDARG;
    VariantHolder v;
    const HRESULT result = FetchProperty(container, name, VT_UI4, v);
    if (SUCCEEDED(result)) *value = v.v.ulVal;
    return result;
}

HRESULT GetDxDiagInt(IDxDiagContainer* container, const wchar_t* name, std::int32_t* value) {
    if (!value) return E_INVALIDARG;
    VariantHolder v;
    const HRESULT result = FetchProperty(container, name, VT_I4, v);
    if (SUCCEEDED(result)) *value = v.v.lVal;
    return result;
}

HRESULT GetDxDiagBool(IDxDiagContainer* container, const wchar_t* name, std::int32_t* value) {
    if (!value) return E_INVALIDARG;
    VariantHolder v;
    const HRESULT result = FetchProperty(container, name, VT_BOOL, v);
    if (SUCCEEDED(result)) *value = v.v.boolVal != 0 ? 1 : 0;
    return result;
}

HRESULT GetDxDiagInt64(IDxDiagContainer* container, const wchar_t* name, std::uint64_t* value) {
    if (!value) return E_INVALIDARG;
    VariantHolder v;
    const HRESULT result = FetchProperty(container, name, VT_BSTR, v);
    if (SUCCEEDED(result)) *value = v.v.bstrVal ? std::wcstoull(v.v.bstrVal, nullptr, 10) : 0;
    return result;
}

HRESULT ReadDxDiagFields(IDxDiagContainer* container, const DxDiagFieldTable& table, void* record) {
    auto* base = static_cast<unsigned char*>(record);
    for (std::size_t i = 0; i < table.count; ++i) {
        const DxDiagField& field = table.fields[i];
        void* at = base + field.offset;
        HRESULT result = E_INVALIDARG;
        switch (field.type) {
        case DxDiagFieldType::Text:
            result = GetDxDiagString(container, field.name, static_cast<char*>(at), field.size);
            break;
        case DxDiagFieldType::UInt:
            result = GetDxDiagUInt(container, field.name, static_cast<std::uint32_t*>(at));
            break;
        case DxDiagFieldType::Int:
            result = GetDxDiagInt(container, field.name, static_cast<std::int32_t*>(at));
            break;
        case DxDiagFieldType::Bool:
            result = GetDxDiagBool(container, field.name, static_cast<std::int32_t*>(at));
            break;
        case DxDiagFieldType::UInt64:
            result = GetDxDiagInt64(container, field.name, static_cast<std::uint64_t*>(at));
            break;
        }
        if (FAILED(result)) return result;
    }
    return S_OK;
}
