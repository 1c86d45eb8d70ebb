#include "core/win32.h"

#include "object3d/effect_commands.h"
#include "core/com_ptr.h"
#include "core/core.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_properties.h"
#include "object3d/mesh_textures.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "core/error_numbers.h"

#include <new>
#include <utility>

namespace {

// The device takes declarations of at most this many elements.
constexpr std::int32_t kLargestDeclaration = MAX_FVF_DECL_SIZE - 1;
constexpr std::int32_t kLastUsage = D3DDECLUSAGE_SAMPLE;

bool SlotOk(std::int32_t slot) {
    if (slot >= 0 && slot < kShaderSlots) return true;
    RaiseRuntimeError(kShaderSlotIllegal);
    return false;
}

template <typename T> void ReleaseHeld(T*& held) {
    if (T* old = std::exchange(held, nullptr)) old->Release();
}

// Bytes an element of the type takes in a vertex, as the device lays it out.
WORD TypeSize(BYTE type) {
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_UBYTE4N:
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N:
    case D3DDECLTYPE_FLOAT16_2:
        return 4;
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_SHORT4:
    case D3DDECLTYPE_SHORT4N:
    case D3DDECLTYPE_USHORT4N:
    case D3DDECLTYPE_FLOAT16_4:
        return 8;
    case D3DDECLTYPE_FLOAT3:
        return 12;
    case D3DDECLTYPE_FLOAT4:
        return 16;
    default:
        return 0;
    }
}

// The assembled code of the file; null when it does not assemble.
ComPtr<ID3DXBuffer> Assemble(const char* fileName) {
    ComPtr<ID3DXBuffer> code, errors;
    if (!fileName || FAILED(D3DXAssembleShaderFromFileA(fileName, nullptr, nullptr, 0,
                                                        code.PutAddress(), errors.PutAddress())))
        code.Reset();
    return code;
}

const DWORD* CodeOf(const ComPtr<ID3DXBuffer>& code) {
    return static_cast<const DWORD*>(code->GetBufferPointer());
}

template <typename Fn> void ForEachMeshOf(std::int32_t n, Fn&& fn) {
    if (ConfirmObject(n)) ForEachObjectMesh(ObjectAt(n), fn);
}

void SetVertexConstants(std::int32_t reg, const float* values, UINT registers) {
    if (IDirect3DDevice9* device = g_Object3D.device)
        device->SetVertexShaderConstantF(static_cast<UINT>(reg), values, registers);
}

} // namespace

void SetVertexShaderOn(std::int32_t n, std::int32_t slot) {
    if (!ConfirmObject(n) || !SlotOk(slot)) return;
    const VertexShaderSlot& s = g_Object3D.vertexShaders[slot];
    if (!s.declaration) return RaiseRuntimeError(kShaderNoDeclaration);
    // The meshes keep their own vertex layout: the device builds the shader's inputs from it.
    ForEachObjectMesh(ObjectAt(n), [&s](MeshRecord* mesh) {
        SetMeshShaders(mesh, s.shader, nullptr, 1);
        mesh->vertexShaderOn = mesh->vertexShader ? 1 : 0;
    });
}

void SetVertexShaderOff(std::int32_t n) {
    ForEachMeshOf(n, [](MeshRecord* mesh) {
        mesh->vertexShaderOn = 0;
        ReleaseHeld(mesh->vertexShader);
    });
}

void CreateVertexShaderDeclaration(std::int32_t slot, std::int32_t count) {
    if (!SlotOk(slot)) return;
    if (count < 1 || count > kLargestDeclaration)
        return RaiseRuntimeError(kShaderElementCountIllegal);
    auto* elements = new (std::nothrow) D3DVERTEXELEMENT9[count + 1]();
    if (!elements) return RaiseRuntimeError(kShaderOrEffectFailed);
    elements[count] = D3DDECL_END();
    VertexShaderSlot& s = g_Object3D.vertexShaders[slot];
    delete[] std::exchange(s.elements, elements);
    s.elementCount = count;
}

void SetVertexShaderDeclarationElement(std::int32_t slot, std::int32_t element, std::int32_t usage,
                                       std::int32_t type) {
    if (!SlotOk(slot)) return;
    VertexShaderSlot& s = g_Object3D.vertexShaders[slot];
    if (!s.elements || element < 1 || element > s.elementCount)
        return RaiseRuntimeError(kShaderElementIllegal);
    if (usage < 0 || usage > kLastUsage) return RaiseRuntimeError(kShaderUsageIllegal);
    WORD offset = 0;
    for (std::int32_t i = 0; i < element - 1; ++i)
        offset = static_cast<WORD>(offset + TypeSize(s.elements[i].Type));
    s.elements[element - 1] = {
        0, offset, static_cast<BYTE>(type), D3DDECLMETHOD_DEFAULT, static_cast<BYTE>(usage), 0};
}

void LoadVertexShader(std::int32_t slot, const char* fileName) {
    if (!SlotOk(slot)) return;
    VertexShaderSlot& s = g_Object3D.vertexShaders[slot];
    ReleaseHeld(s.shader);
    ReleaseHeld(s.declaration);
    const ComPtr<ID3DXBuffer> code = Assemble(fileName);
    if (!code) return RaiseRuntimeError(kShaderAssemblyFailed);
    IDirect3DDevice9* device = g_Object3D.device;
    if (!device || FAILED(device->CreateVertexShader(CodeOf(code), &s.shader)))
        return RaiseRuntimeError(kShaderOrEffectFailed);
    // Without a declaration the slot's shader waits for one (SetVertexShaderOn says so).
    if (s.elements && FAILED(device->CreateVertexDeclaration(s.elements, &s.declaration)))
        RaiseRuntimeError(kShaderOrEffectFailed);
}

void SetVertexShaderVector(std::int32_t slot, std::int32_t reg, std::int32_t vector) {
    if (!SlotOk(slot) || !g_Object3D.getVector4) return;
    const D3DXVECTOR4 value = g_Object3D.getVector4(vector);
    SetVertexConstants(reg, value, 1);
}

void SetVertexShaderMatrix(std::int32_t slot, std::int32_t reg, std::int32_t matrix) {
    if (!SlotOk(slot) || !g_Object3D.getMatrix) return;
    const D3DXMATRIX value = g_Object3D.getMatrix(matrix);
    SetVertexConstants(reg, value, 4);
}

void DeleteVertexShader(std::int32_t slot) {
    if (!SlotOk(slot)) return;
    VertexShaderSlot& s = g_Object3D.vertexShaders[slot];
    delete[] std::exchange(s.elements, nullptr);
    s.elementCount = 0;
    ReleaseHeld(s.shader);
    ReleaseHeld(s.declaration);
}

bool VertexShaderExist(std::int32_t slot) {
    return SlotOk(slot) && g_Object3D.vertexShaders[slot].shader;
}

void SetPixelShaderOn(std::int32_t n, std::int32_t slot) {
    if (!ConfirmObject(n) || !SlotOk(slot)) return;
    IDirect3DPixelShader9* shader = g_Object3D.pixelShaders[slot];
    // An empty slot takes the meshes' pixel shader away; they go back to their texture stages.
    ForEachObjectMesh(ObjectAt(n), [shader](MeshRecord* mesh) {
        if (!shader) return ClearMeshEffectMode(mesh);
        // The renderer binds a mesh's pixel shader with its first texture stage.
        EnsureMeshTextureCount(mesh, 0);
        SetMeshEffectMode(mesh, shader);
    });
}

void SetPixelShaderOff(std::int32_t n) {
    ForEachMeshOf(n, [](MeshRecord* mesh) { ClearMeshEffectMode(mesh); });
}

void LoadPixelShader(std::int32_t slot, const char* fileName) {
    if (!SlotOk(slot)) return;
    IDirect3DPixelShader9*& shader = g_Object3D.pixelShaders[slot];
    ReleaseHeld(shader);
    const ComPtr<ID3DXBuffer> code = Assemble(fileName);
    if (!code) return RaiseRuntimeError(kShaderAssemblyFailed);
    IDirect3DDevice9* device = g_Object3D.device;
    if (!device || FAILED(device->CreatePixelShader(CodeOf(code), &shader)))
        RaiseRuntimeError(kShaderOrEffectFailed);
}

void DeletePixelShader(std::int32_t slot) {
    if (SlotOk(slot)) ReleaseHeld(g_Object3D.pixelShaders[slot]);
}

bool PixelShaderExist(std::int32_t slot) {
    return SlotOk(slot) && g_Object3D.pixelShaders[slot];
}

void FreeShaderSlots() {
    for (std::int32_t slot = 0; slot < kShaderSlots; ++slot) {
        DeleteVertexShader(slot);
        DeletePixelShader(slot);
    }
}
