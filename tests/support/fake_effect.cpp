#include "core/win32.h"

#include "support/fake_effect.h"

#include <cstring>

std::vector<std::string> g_FakeEffectPaths;

namespace {

FakeEffect* g_Next = nullptr;

template <typename T> D3DXHANDLE HandleOf(const T* p) {
    return reinterpret_cast<D3DXHANDLE>(p);
}

} // namespace

std::vector<DWORD> FakeEffect::Assemble(const char* text) {
    ID3DXBuffer* code = nullptr;
    std::vector<DWORD> words;
    if (SUCCEEDED(D3DXAssembleShader(text, static_cast<UINT>(std::strlen(text)), nullptr, nullptr,
                                     0, &code, nullptr)) &&
        code) {
        const auto* begin = static_cast<const DWORD*>(code->GetBufferPointer());
        words.assign(begin, begin + code->GetBufferSize() / 4);
        code->Release();
    }
    return words;
}

HRESULT FakeEffect::QueryInterface(REFIID, void** out) {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
}

ULONG FakeEffect::Release() {
    const ULONG left = --references;
    if (left == 0) delete this;
    return left;
}

FakeParameter* FakeEffect::Find(D3DXHANDLE handle) {
    for (FakeParameter& p : parameters) {
        if (HandleOf(&p) == handle) return &p;
        for (FakeParameter& a : p.annotations)
            if (HandleOf(&a) == handle) return &a;
    }
    return nullptr;
}

std::string FakeEffect::NameOf(D3DXHANDLE handle) {
    const FakeParameter* p = Find(handle);
    return p ? p->name : "?";
}

HRESULT FakeEffect::GetDesc(D3DXEFFECT_DESC* desc) {
    *desc = D3DXEFFECT_DESC{};
    desc->Parameters = static_cast<UINT>(parameters.size());
    desc->Techniques = static_cast<UINT>(techniques.size());
    return S_OK;
}

HRESULT FakeEffect::GetParameterDesc(D3DXHANDLE parameter, D3DXPARAMETER_DESC* desc) {
    const FakeParameter* p = Find(parameter);
    if (!p) return E_FAIL;
    *desc = D3DXPARAMETER_DESC{};
    desc->Name = p->name.c_str();
    desc->Semantic = p->semantic.empty() ? nullptr : p->semantic.c_str();
    desc->Class = p->parameterClass;
    desc->Type = p->type;
    desc->Annotations = static_cast<UINT>(p->annotations.size());
    return S_OK;
}

HRESULT FakeEffect::GetTechniqueDesc(D3DXHANDLE technique, D3DXTECHNIQUE_DESC* desc) {
    for (const FakeTechnique& t : techniques) {
        if (HandleOf(&t) != technique) continue;
        *desc = D3DXTECHNIQUE_DESC{};
        desc->Passes = static_cast<UINT>(t.passes.size());
        return S_OK;
    }
    return E_FAIL;
}

HRESULT FakeEffect::GetPassDesc(D3DXHANDLE pass, D3DXPASS_DESC* desc) {
    for (const FakeTechnique& t : techniques)
        for (const std::vector<DWORD>& p : t.passes) {
            if (HandleOf(&p) != pass) continue;
            *desc = D3DXPASS_DESC{};
            desc->pVertexShaderFunction = p.empty() ? nullptr : p.data();
            return S_OK;
        }
    return E_FAIL;
}

D3DXHANDLE FakeEffect::GetParameter(D3DXHANDLE parent, UINT index) {
    if (parent || index >= parameters.size()) return nullptr;
    return HandleOf(&parameters[index]);
}

D3DXHANDLE FakeEffect::GetParameterByName(D3DXHANDLE parent, const char* name) {
    if (parent || !name) return nullptr;
    for (const FakeParameter& p : parameters)
        if (p.name == name) return HandleOf(&p);
    return nullptr;
}

D3DXHANDLE FakeEffect::GetTechnique(UINT index) {
    return index < techniques.size() ? HandleOf(&techniques[index]) : nullptr;
}

D3DXHANDLE FakeEffect::GetPass(D3DXHANDLE technique, UINT index) {
    for (const FakeTechnique& t : techniques)
        if (HandleOf(&t) == technique && index < t.passes.size()) return HandleOf(&t.passes[index]);
    return nullptr;
}

D3DXHANDLE FakeEffect::GetAnnotation(D3DXHANDLE object, UINT index) {
    const FakeParameter* p = Find(object);
    return p && index < p->annotations.size() ? HandleOf(&p->annotations[index]) : nullptr;
}

D3DXHANDLE FakeEffect::GetAnnotationByName(D3DXHANDLE object, const char* name) {
    const FakeParameter* p = Find(object);
    for (std::size_t i = 0; p && name && i < p->annotations.size(); ++i)
        if (_stricmp(p->annotations[i].name.c_str(), name) == 0)
            return HandleOf(&p->annotations[i]);
    return nullptr;
}

HRESULT FakeEffect::GetInt(D3DXHANDLE parameter, INT* n) {
    const FakeParameter* p = Find(parameter);
    if (!p) return E_FAIL;
    *n = p->number;
    return S_OK;
}

HRESULT FakeEffect::GetString(D3DXHANDLE parameter, const char** string) {
    const FakeParameter* p = Find(parameter);
    if (!p || p->type != D3DXPT_STRING) return E_FAIL;
    *string = p->text.c_str();
    return S_OK;
}

HRESULT FakeEffect::SetFloat(D3DXHANDLE parameter, FLOAT f) {
    floats[NameOf(parameter)] = f;
    return S_OK;
}

HRESULT FakeEffect::SetVector(D3DXHANDLE parameter, const D3DXVECTOR4* vector) {
    vectors[NameOf(parameter)] = *vector;
    return S_OK;
}

HRESULT FakeEffect::SetMatrix(D3DXHANDLE parameter, const D3DXMATRIX* matrix) {
    matrices[NameOf(parameter)] = *matrix;
    return S_OK;
}

HRESULT FakeEffect::SetMatrixTransposeArray(D3DXHANDLE parameter, const D3DXMATRIX* matrix,
                                            UINT count) {
    matrixArrays[NameOf(parameter)].assign(matrix, matrix + count);
    return S_OK;
}

HRESULT FakeEffect::SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9* texture) {
    textures[NameOf(parameter)] = texture;
    calls.push_back("SetTexture " + NameOf(parameter));
    return S_OK;
}

HRESULT FakeEffect::SetTechnique(D3DXHANDLE technique) {
    current_ = technique;
    return S_OK;
}

HRESULT FakeEffect::FindNextValidTechnique(D3DXHANDLE technique, D3DXHANDLE* next) {
    *next = nullptr;
    if (technique || techniques.empty()) return E_FAIL;
    *next = HandleOf(&techniques[0]);
    return S_OK;
}

HRESULT FakeEffect::Begin(UINT* passes, DWORD) {
    calls.push_back("Begin");
    *passes = 0;
    for (const FakeTechnique& t : techniques)
        if (HandleOf(&t) == current_) *passes = static_cast<UINT>(t.passes.size());
    return S_OK;
}

HRESULT FakeEffect::BeginPass(UINT pass) {
    calls.push_back("BeginPass " + std::to_string(pass));
    return S_OK;
}

HRESULT FakeEffect::EndPass() {
    calls.push_back("EndPass");
    return S_OK;
}

HRESULT FakeEffect::End() {
    calls.push_back("End");
    return S_OK;
}

void HandOutFakeEffect(FakeEffect* effect) {
    g_Next = effect;
}

HRESULT WINAPI CreateFakeEffect(IDirect3DDevice9*, const char* path, const D3DXMACRO*,
                                ID3DXInclude*, DWORD, ID3DXEffectPool*, ID3DXEffect** effect,
                                ID3DXBuffer** errors) {
    g_FakeEffectPaths.push_back(path ? path : "");
    *effect = nullptr;
    if (!g_Next) {
        const char text[] = "no such effect";
        if (errors && SUCCEEDED(D3DXCreateBuffer(sizeof text, errors)))
            std::memcpy((*errors)->GetBufferPointer(), text, sizeof text);
        return E_FAIL;
    }
    *effect = g_Next;
    g_Next = nullptr;
    return S_OK;
}
