// An effect of our own behind the platform's effect interface: parameters with semantics and
// annotations, techniques whose passes carry real assembled vertex shaders, and a record of what
// the engine sets and calls. The platform here has no effect compiler; tests hand this in.
#pragma once

#include "core/win32.h"

#include <map>
#include <string>
#include <vector>

struct FakeParameter {
    std::string name;
    std::string semantic;
    D3DXPARAMETER_CLASS parameterClass = D3DXPC_MATRIX_ROWS;
    D3DXPARAMETER_TYPE type = D3DXPT_FLOAT;
    std::string text; // a string parameter's or annotation's value
    INT number = 0;   // an integer annotation's value
    std::vector<FakeParameter> annotations;
};

struct FakeTechnique {
    std::vector<std::vector<DWORD>> passes; // each pass's vertex shader (empty: none)
};

class FakeEffect final : public ID3DXEffect {
public:
    std::vector<FakeParameter> parameters; // fixed once the effect is handed out
    std::vector<FakeTechnique> techniques{FakeTechnique{{{}}}};
    std::vector<std::string> calls; // "Begin", "BeginPass 1", "EndPass", "End", ...
    std::map<std::string, D3DXMATRIX> matrices;
    std::map<std::string, D3DXVECTOR4> vectors;
    std::map<std::string, float> floats;
    std::map<std::string, IDirect3DBaseTexture9*> textures; // not referenced
    std::map<std::string, std::vector<D3DXMATRIX>> matrixArrays;
    ULONG references = 1;

    // The vertex shader assembled from text; empty when it does not assemble.
    static std::vector<DWORD> Assemble(const char* text);

    // IUnknown
    STDMETHOD(QueryInterface)(REFIID, void** out) override;
    STDMETHOD_(ULONG, AddRef)() override { return ++references; }
    STDMETHOD_(ULONG, Release)() override;
    // ID3DXBaseEffect
    STDMETHOD(GetDesc)(D3DXEFFECT_DESC* desc) override;
    STDMETHOD(GetParameterDesc)(D3DXHANDLE parameter, D3DXPARAMETER_DESC* desc) override;
    STDMETHOD(GetTechniqueDesc)(D3DXHANDLE technique, D3DXTECHNIQUE_DESC* desc) override;
    STDMETHOD(GetPassDesc)(D3DXHANDLE pass, D3DXPASS_DESC* desc) override;
    STDMETHOD(GetFunctionDesc)(D3DXHANDLE, D3DXFUNCTION_DESC*) override { return E_NOTIMPL; }
    STDMETHOD_(D3DXHANDLE, GetParameter)(D3DXHANDLE parent, UINT index) override;
    STDMETHOD_(D3DXHANDLE, GetParameterByName)(D3DXHANDLE parent, const char* name) override;
    STDMETHOD_(D3DXHANDLE, GetParameterBySemantic)(D3DXHANDLE, const char*) override {
        return nullptr;
    }
    STDMETHOD_(D3DXHANDLE, GetParameterElement)(D3DXHANDLE, UINT) override { return nullptr; }
    STDMETHOD_(D3DXHANDLE, GetTechnique)(UINT index) override;
    STDMETHOD_(D3DXHANDLE, GetTechniqueByName)(const char*) override { return nullptr; }
    STDMETHOD_(D3DXHANDLE, GetPass)(D3DXHANDLE technique, UINT index) override;
    STDMETHOD_(D3DXHANDLE, GetPassByName)(D3DXHANDLE, const char*) override { return nullptr; }
    STDMETHOD_(D3DXHANDLE, GetFunction)(UINT) override { return nullptr; }
    STDMETHOD_(D3DXHANDLE, GetFunctionByName)(const char*) override { return nullptr; }
    STDMETHOD_(D3DXHANDLE, GetAnnotation)(D3DXHANDLE object, UINT index) override;
    STDMETHOD_(D3DXHANDLE, GetAnnotationByName)(D3DXHANDLE object, const char* name) override;
    STDMETHOD(SetValue)(D3DXHANDLE, const void*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(GetValue)(D3DXHANDLE, void*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(SetBool)(D3DXHANDLE, WINBOOL) override { return E_NOTIMPL; }
    STDMETHOD(GetBool)(D3DXHANDLE, WINBOOL*) override { return E_NOTIMPL; }
    STDMETHOD(SetBoolArray)(D3DXHANDLE, const WINBOOL*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(GetBoolArray)(D3DXHANDLE, WINBOOL*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(SetInt)(D3DXHANDLE, INT) override { return E_NOTIMPL; }
    STDMETHOD(GetInt)(D3DXHANDLE parameter, INT* n) override;
    STDMETHOD(SetIntArray)(D3DXHANDLE, const INT*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(GetIntArray)(D3DXHANDLE, INT*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(SetFloat)(D3DXHANDLE parameter, FLOAT f) override;
    STDMETHOD(GetFloat)(D3DXHANDLE, FLOAT*) override { return E_NOTIMPL; }
    STDMETHOD(SetFloatArray)(D3DXHANDLE, const FLOAT*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(GetFloatArray)(D3DXHANDLE, FLOAT*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(SetVector)(D3DXHANDLE parameter, const D3DXVECTOR4* vector) override;
    STDMETHOD(GetVector)(D3DXHANDLE, D3DXVECTOR4*) override { return E_NOTIMPL; }
    STDMETHOD(SetVectorArray)(D3DXHANDLE, const D3DXVECTOR4*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(GetVectorArray)(D3DXHANDLE, D3DXVECTOR4*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(SetMatrix)(D3DXHANDLE parameter, const D3DXMATRIX* matrix) override;
    STDMETHOD(GetMatrix)(D3DXHANDLE, D3DXMATRIX*) override { return E_NOTIMPL; }
    STDMETHOD(SetMatrixArray)(D3DXHANDLE, const D3DXMATRIX*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(GetMatrixArray)(D3DXHANDLE, D3DXMATRIX*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(SetMatrixPointerArray)(D3DXHANDLE, const D3DXMATRIX**, UINT) override {
        return E_NOTIMPL;
    }
    STDMETHOD(GetMatrixPointerArray)(D3DXHANDLE, D3DXMATRIX**, UINT) override { return E_NOTIMPL; }
    STDMETHOD(SetMatrixTranspose)(D3DXHANDLE, const D3DXMATRIX*) override { return E_NOTIMPL; }
    STDMETHOD(GetMatrixTranspose)(D3DXHANDLE, D3DXMATRIX*) override { return E_NOTIMPL; }
    STDMETHOD(SetMatrixTransposeArray)
    (D3DXHANDLE parameter, const D3DXMATRIX* matrix, UINT count) override;
    STDMETHOD(GetMatrixTransposeArray)(D3DXHANDLE, D3DXMATRIX*, UINT) override { return E_NOTIMPL; }
    STDMETHOD(SetMatrixTransposePointerArray)(D3DXHANDLE, const D3DXMATRIX**, UINT) override {
        return E_NOTIMPL;
    }
    STDMETHOD(GetMatrixTransposePointerArray)(D3DXHANDLE, D3DXMATRIX**, UINT) override {
        return E_NOTIMPL;
    }
    STDMETHOD(SetString)(D3DXHANDLE, const char*) override { return E_NOTIMPL; }
    STDMETHOD(GetString)(D3DXHANDLE parameter, const char** string) override;
    STDMETHOD(SetTexture)(D3DXHANDLE parameter, IDirect3DBaseTexture9* texture) override;
    STDMETHOD(GetTexture)(D3DXHANDLE, IDirect3DBaseTexture9**) override { return E_NOTIMPL; }
    STDMETHOD(GetPixelShader)(D3DXHANDLE, IDirect3DPixelShader9**) override { return E_NOTIMPL; }
    STDMETHOD(GetVertexShader)(D3DXHANDLE, IDirect3DVertexShader9**) override { return E_NOTIMPL; }
    STDMETHOD(SetArrayRange)(D3DXHANDLE, UINT, UINT) override { return E_NOTIMPL; }
    // ID3DXEffect
    STDMETHOD(GetPool)(ID3DXEffectPool**) override { return E_NOTIMPL; }
    STDMETHOD(SetTechnique)(D3DXHANDLE technique) override;
    STDMETHOD_(D3DXHANDLE, GetCurrentTechnique)() override { return current_; }
    STDMETHOD(ValidateTechnique)(D3DXHANDLE) override { return S_OK; }
    STDMETHOD(FindNextValidTechnique)(D3DXHANDLE technique, D3DXHANDLE* next) override;
    STDMETHOD_(WINBOOL, IsParameterUsed)(D3DXHANDLE, D3DXHANDLE) override { return TRUE; }
    STDMETHOD(Begin)(UINT* passes, DWORD flags) override;
    STDMETHOD(BeginPass)(UINT pass) override;
    STDMETHOD(CommitChanges)() override { return S_OK; }
    STDMETHOD(EndPass)() override;
    STDMETHOD(End)() override;
    STDMETHOD(GetDevice)(IDirect3DDevice9**) override { return E_NOTIMPL; }
    STDMETHOD(OnLostDevice)() override { return S_OK; }
    STDMETHOD(OnResetDevice)() override { return S_OK; }
    STDMETHOD(SetStateManager)(ID3DXEffectStateManager*) override { return E_NOTIMPL; }
    STDMETHOD(GetStateManager)(ID3DXEffectStateManager**) override { return E_NOTIMPL; }
    STDMETHOD(BeginParameterBlock)() override { return E_NOTIMPL; }
    STDMETHOD_(D3DXHANDLE, EndParameterBlock)() override { return nullptr; }
    STDMETHOD(ApplyParameterBlock)(D3DXHANDLE) override { return E_NOTIMPL; }
    STDMETHOD(DeleteParameterBlock)(D3DXHANDLE) override { return E_NOTIMPL; }
    STDMETHOD(CloneEffect)(IDirect3DDevice9*, ID3DXEffect**) override { return E_NOTIMPL; }
    STDMETHOD(SetRawValue)(D3DXHANDLE, const void*, UINT, UINT) override { return E_NOTIMPL; }

private:
    // The parameter or annotation a handle names; null for anything else.
    FakeParameter* Find(D3DXHANDLE handle);
    std::string NameOf(D3DXHANDLE handle);
    D3DXHANDLE current_ = nullptr;
};

// Hands the next effect made from a file to the engine; null makes every creation fail with an
// error text. The paths asked for are recorded.
void HandOutFakeEffect(FakeEffect* effect);
extern std::vector<std::string> g_FakeEffectPaths;
HRESULT WINAPI CreateFakeEffect(IDirect3DDevice9*, const char* path, const D3DXMACRO*,
                                ID3DXInclude*, DWORD, ID3DXEffectPool*, ID3DXEffect** effect,
                                ID3DXBuffer** errors);
