#include "core/win32.h"

#include "modelfile/tangent_builder.h"
#include "core/com_ptr.h"
#include "object3d/effect.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_properties.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/skinning.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr char kDeclarations[] = " dcl_position v0 dcl_normal v3 dcl_color v6 dcl_texcoord v7";
static_assert(sizeof kDeclarations - 1 == 59);
constexpr std::size_t kVersionToken = 6;

bool StartsAt(const std::string& text, std::size_t at, const char* word) {
    const std::size_t n = std::strlen(word);
    return at + n <= text.size() && _strnicmp(text.c_str() + at, word, n) == 0;
}

bool Contains(const std::string& text, const char* word) {
    for (std::size_t at = 0; at < text.size(); ++at)
        if (StartsAt(text, at, word)) return true;
    return false;
}

std::string ReadText(const char* fileName) {
    std::string text;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    LARGE_INTEGER size{};
    DWORD read = 0;
    if (GetFileSizeEx(file, &size) && size.QuadPart < (64 << 20)) {
        text.resize(size.LowPart);
        if (!ReadFile(file, text.data(), size.LowPart, &read, nullptr)) read = 0;
        text.resize(read);
    }
    CloseHandle(file);
    return text;
}

struct AddedElements {
    bool normal = false, colour = false, tangent = false, binormal = false, blend = false;
    WORD weightOffset = 0, indexOffset = 0;
};

// Appends the elements asked for that the declaration lacks, each at the end of the vertex.
AddedElements AppendElements(D3DVERTEXELEMENT9* declaration, WORD stride, bool addNormal,
                             bool addTangentFrame, bool addColour, bool addBlend) {
    int end = 0;
    bool has[16] = {};
    while (end < MAX_FVF_DECL_SIZE && declaration[end].Stream != 0xFF) {
        if (declaration[end].Usage < 16) has[declaration[end].Usage] = true;
        ++end;
    }
    AddedElements added;
    auto append = [&](BYTE type, BYTE usage, BYTE index, WORD size) {
        if (end + 1 >= MAX_FVF_DECL_SIZE) return false;
        declaration[end++] = {0, stride, type, D3DDECLMETHOD_DEFAULT, usage, index};
        stride = static_cast<WORD>(stride + size);
        return true;
    };
    if (addNormal && !has[D3DDECLUSAGE_NORMAL])
        added.normal = append(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0, 12);
    if (addColour && !has[D3DDECLUSAGE_COLOR])
        added.colour = append(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_COLOR, 0, 4);
    if (addTangentFrame && !has[D3DDECLUSAGE_TANGENT])
        added.tangent = append(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TANGENT, 0, 12);
    if (addTangentFrame && !has[D3DDECLUSAGE_BINORMAL])
        added.binormal = append(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_BINORMAL, 0, 12);
    if (addBlend) {
        added.weightOffset = stride;
        const bool weights = append(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_TEXCOORD, 1, 16);
        added.indexOffset = stride;
        added.blend = weights && append(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_TEXCOORD, 2, 16);
    }
    declaration[end] = D3DDECL_END();
    return added;
}

} // namespace

bool ScanShaderInputDeclaration(const char* source, const char* destination) {
    if (!source || !destination) return false;
    const std::string text = ReadText(source);
    if (text.empty() && GetFileAttributesA(source) == INVALID_FILE_ATTRIBUTES) return false;
    const bool hasDeclarations = Contains(text, "dcl_");
    const bool hasTargets = Contains(text, "target[");
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (!hasDeclarations && StartsAt(text, at, "vs.")) {
            // The version token, never more than the text holds, then the declarations.
            const std::size_t token = std::min(kVersionToken, text.size() - at);
            out.append(text, at, token);
            out += kDeclarations;
            at += token;
        } else if (hasTargets && StartsAt(text, at, "target[")) {
            out += "//";
            at += 2;
        } else {
            out += text[at++];
        }
    }
    HANDLE file = CreateFileA(destination, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = out.empty() || (WriteFile(file, out.data(), static_cast<DWORD>(out.size()),
                                              &written, nullptr) &&
                                    written == out.size());
    CloseHandle(file);
    return ok;
}

bool ExtendMeshDeclaration(MeshRecord* mesh, bool addNormal, bool addTangentFrame, bool addColour,
                           bool addBlend) {
    if (!mesh) return true;
    addBlend = addBlend && mesh->boneCount > 0 && mesh->bones;
    ComPtr<ID3DXMesh> dx(MakeDXMeshFromMesh(mesh, nullptr, 0));
    if (!dx) return true;
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE] = {};
    dx->GetDeclaration(declaration);
    const auto stride = static_cast<WORD>(dx->GetNumBytesPerVertex());
    const AddedElements added =
        AppendElements(declaration, stride, addNormal, addTangentFrame, addColour, addBlend);
    ID3DXMesh* clone = nullptr;
    if (FAILED(dx->CloneMesh(D3DXMESH_SYSTEMMEM, declaration, g_Object3D.device, &clone)) ||
        !clone)
        return UpdateMeshFromDXMesh(mesh, dx);
    dx.Reset();
    if (added.normal || added.tangent || added.binormal)
        clone = ComputeMeshTangentFrames(clone, false, false, true);
    ComPtr<ID3DXMesh> extended(clone);
    if (added.blend) {
        BuildVertexBlendWeights(mesh, extended, added.weightOffset, added.indexOffset);
        mesh->effectSkinsMesh = 1;
    }
    return UpdateMeshFromDXMesh(mesh, extended);
}

bool SetMeshEffect(MeshRecord* mesh, EffectBase* effect, bool prepare) {
    if (!mesh) return false;
    if (!effect) {
        FreeMeshEffect(mesh);
        return true;
    }
    if (!BindEffectToMesh(mesh, mesh->textureCount, effect)) return false;
    effect->ensureNormals = 1;
    delete[] std::exchange(mesh->backupVertices, nullptr);
    if (effect->deferredCount > kDeferredTextureSlots || !effect->PrepareMesh(mesh)) {
        // Refused: the mesh keeps no pointer to an effect it cannot draw with.
        mesh->effect = nullptr;
        mesh->effectInUse = mesh->effectPrepared = 0;
        return false;
    }
    if (prepare) effect->PrepareMeshTangents(mesh);
    std::memcpy(mesh->effectFileName, effect->fileName, sizeof mesh->effectFileName);
    mesh->effectFileName[sizeof mesh->effectFileName - 1] = 0;
    return true;
}

bool SetMeshEffectPrepared(MeshRecord* mesh, EffectBase* effect) {
    return SetMeshEffect(mesh, effect, true);
}
