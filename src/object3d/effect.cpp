#include "core/win32.h"

#include "object3d/effect.h"
#include "object3d/mesh_convert.h"
#include "object3d/mesh_shape_changes.h"
#include "object3d/mesh_textures.h"
#include "object3d/model_files.h"
#include "object3d/object_records.h"
#include "object3d/object_state.h"
#include "object3d/vertex_layout.h"
#include "core/mapped_file.h"
#include "core/media.h"
#include "image/picture_check.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace {

constexpr std::size_t kPathLength = 260;

struct SemanticName {
    const char* name;
    EffectSemantic slot;
};

// In the order names are matched; the first equal name (in any letter case) wins.
constexpr SemanticName kSemanticTable[] = {
    {"world", kSemanticWorld},
    {"view", kSemanticView},
    {"projection", kSemanticProjection},
    {"worldview", kSemanticWorldView},
    {"viewprojection", kSemanticViewProjection},
    {"worldviewprojection", kSemanticWorldViewProjection},
    {"worldviewit", kSemanticWorldViewInverse},
    {"worldit", kSemanticWorldInverse},
    {"viewit", kSemanticViewInverse},
    {"WorldInverse", kSemanticWorldInverse},
    {"WorldTranspose", kSemanticWorldTranspose},
    {"WorldInverseTranspose", kSemanticWorldInverseTranspose},
    {"ViewInverse", kSemanticViewInverse},
    {"ViewTranspose", kSemanticViewTranspose},
    {"ViewInverseTranspose", kSemanticViewInverseTranspose},
    {"ProjectionTranspose", kSemanticProjectionTranspose},
    {"ViewProjectionTranspose", kSemanticViewProjectionTranspose},
    {"WorldViewProjectionTranspose", kSemanticWorldViewProjectionTranspose},
    {"WorldViewInverse", kSemanticWorldViewInverse},
    {"cameraposition", kSemanticCameraPosition},
    {"eyeposition", kSemanticEyePosition},
    {"UIDirectional", kSemanticLightDirection},
    {"UIDirectionalInv", kSemanticLightDirectionObject},
    {"UIPosition", kSemanticLightPosition},
    {"directionalight", kSemanticLightDirection},
    {"pointlight", kSemanticLightPosition},
    {"spotlight", kSemanticLightPosition},
    {"time", kSemanticTime},
    {"sintime", kSemanticSinTime},
    {"meshradius", kSemanticMeshRadius},
    {"alphaoverride", kSemanticAlphaOverride},
    {"bonematrixpalette", kSemanticBonePalette},
};

CreateEffectFn g_CreateEffect = D3DXCreateEffectFromFileA;
std::string g_LastError;

// Changes into a folder for the scope, and back to where the program was.
class FolderScope {
public:
    FolderScope() { GetCurrentDirectoryA(kPathLength, kept_); }
    ~FolderScope() { SetCurrentDirectoryA(kept_); }
    FolderScope(const FolderScope&) = delete;
    FolderScope& operator=(const FolderScope&) = delete;

private:
    char kept_[kPathLength] = {};
};

// Tries one path; keeps the error text a failed compile gives.
bool TryCompile(const std::string& path, ID3DXEffect** effect, ID3DXBuffer** errors) {
    if (path.size() >= kPathLength || !g_Object3D.device) return false;
    ID3DXBuffer* text = nullptr;
    const HRESULT hr = g_CreateEffect(g_Object3D.device, path.c_str(), nullptr, nullptr, 0, nullptr,
                                      effect, &text);
    if (text) {
        if (*errors) (*errors)->Release();
        *errors = text;
    }
    return SUCCEEDED(hr) && *effect;
}

std::string TempFolderWith(const char* replaceTail) {
    GetObjectTempDataFolder();
    std::string folder = ObjectTempDataFolder;
    // Effects that plug-ins leave live beside them, in "effects\".
    if (replaceTail && folder.size() >= 8 &&
        _stricmp(folder.c_str() + folder.size() - 8, "plugins\\") == 0)
        folder.replace(folder.size() - 8, 8, replaceTail);
    return folder;
}

std::string AnnotationString(ID3DXEffect* effect, D3DXHANDLE annotation) {
    const char* text = nullptr;
    if (!annotation || FAILED(effect->GetString(annotation, &text)) || !text) return {};
    return text;
}

// An annotation's size: a positive value (past any texture's side it stops mattering), else the
// file's own, which adds nothing.
std::uint64_t Asked(INT value) {
    return value > 0 ? std::min<std::uint64_t>(static_cast<std::uint64_t>(value), 1u << 16) : 1;
}

// A volume or cube file the platform may decode: a picture whose header passes, and whose
// decoded pixels and chain, and a texture of the size the annotations ask for, are charged to the
// running load first.
bool PictureFits(const std::string& name, std::uint64_t askedTexels) {
    const MappedFile file(name.c_str());
    constexpr std::uint64_t kTexelWithChain = 6; // four bytes and a third more, rounded up
    return file.Ok() && CheckPictureBytes(name.c_str(), file.Bytes(), file.FileSize()) &&
           ChargeLoad(PictureLoadBytes(name.c_str(), file.Bytes(), file.FileSize(), 1, true)) &&
           ChargeLoad(askedTexels, kTexelWithChain);
}

// A texture parameter's file loaded by its annotations' type; null when nothing loads.
IDirect3DBaseTexture9* LoadAnnotatedTexture(const std::string& name, const std::string& type,
                                            INT width, INT height, INT depth) {
    IDirect3DDevice9* device = g_Object3D.device;
    if (type.empty() || _stricmp(type.c_str(), "2d") == 0) {
        const std::int32_t image = LoadTextureFile(name.c_str(), "", 0);
        IDirect3DTexture9* texture =
            image && g_Object3D.images.getPointer ? g_Object3D.images.getPointer(image) : nullptr;
        if (texture) texture->AddRef(); // the caller releases what it is given
        return texture;
    }
    MediaLoadScope load(MediaFileSize(name.c_str()));
    const bool cube = _stricmp(type.c_str(), "cube") == 0;
    const std::uint64_t asked =
        cube ? Asked(width) * Asked(width) * 6 : Asked(width) * Asked(height) * Asked(depth);
    if (!device || !PictureFits(name, asked)) return nullptr;
    if (_stricmp(type.c_str(), "volume") == 0) {
        IDirect3DVolumeTexture9* volume = nullptr;
        D3DXCreateVolumeTextureFromFileExA(device, name.c_str(), width, height, depth, 1, 0,
                                           D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                           D3DX_DEFAULT, 0, nullptr, nullptr, &volume);
        return volume;
    }
    if (cube) {
        IDirect3DCubeTexture9* made = nullptr;
        D3DXCreateCubeTextureFromFileExA(device, name.c_str(), width, D3DX_DEFAULT, 0,
                                         D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                         D3DX_DEFAULT, 0, nullptr, nullptr, &made);
        return made;
    }
    return nullptr;
}

} // namespace

void SetEffectCreator(CreateEffectFn create) {
    g_CreateEffect = create ? create : D3DXCreateEffectFromFileA;
}

const std::string& GetLastEffectError() {
    return g_LastError;
}

EffectBase::~EffectBase() {
    delete std::exchange(templateMesh, nullptr);
    if (effect) std::exchange(effect, nullptr)->Release();
    delete[] std::exchange(xFileName, nullptr);
}

bool EffectBase::Load(const char* name, bool readXFile, bool loadTextures) {
    // A name that does not fit its field, or the search paths, is refused whole.
    if (!name || std::strlen(name) >= sizeof fileName) return false;
    std::strcpy(fileName, name);
    const std::string whole = name;
    const std::size_t cut = whole.find_last_of("\\/");
    const bool hasFolder = cut != std::string::npos && cut >= 1;
    const std::string folder = hasFolder ? whole.substr(0, cut) : "";
    const std::string bare = hasFolder ? whole.substr(cut + 1) : whole;

    FolderScope back;
    if (!folder.empty()) SetCurrentDirectoryA(folder.c_str());
    ID3DXEffect* made = nullptr;
    ID3DXBuffer* errors = nullptr;
    bool compiled = TryCompile(bare, &made, &errors) ||
                    TryCompile(TempFolderWith("effects\\") + bare, &made, &errors);
    if (!compiled) {
        const std::string media = TempFolderWith(nullptr) + "media\\";
        compiled = TryCompile(media + whole, &made, &errors);
        if (compiled) SetCurrentDirectoryA((media + folder).c_str());
    }
    if (!compiled) {
        const std::string rewritten = TempFolderWith(nullptr) + "_modified_fx.fx";
        if (ScanShaderInputDeclaration(bare.c_str(), rewritten.c_str())) {
            compiled = TryCompile(rewritten, &made, &errors);
            DeleteFileA(rewritten.c_str());
        }
    }
    if (!compiled) {
        if (errors) {
            g_LastError.assign(static_cast<const char*>(errors->GetBufferPointer()),
                               strnlen(static_cast<const char*>(errors->GetBufferPointer()),
                                       errors->GetBufferSize()));
            errors->Release();
        }
        return false;
    }
    if (errors) errors->Release();
    if (effect) effect->Release();
    effect = made;
    LoadParameters(readXFile, loadTextures);
    texturesLoaded = loadTextures ? 1 : 0;
    D3DXHANDLE technique = nullptr;
    if (FAILED(effect->FindNextValidTechnique(nullptr, &technique)) || !technique) return false;
    effect->SetTechnique(technique);
    return true;
}

bool EffectBase::BindSemantics(const char* name, D3DXHANDLE handle, bool unbind) {
    if (unbind) {
        for (const SemanticName& entry : kSemanticTable) {
            if (semantics[entry.slot] != handle) continue;
            semantics[entry.slot] = nullptr;
            return true;
        }
        return name && _stricmp(name, "xfile") == 0;
    }
    if (!name) return false;
    for (const SemanticName& entry : kSemanticTable) {
        if (_stricmp(entry.name, name) != 0) continue;
        if (handle) {
            semantics[entry.slot] = handle;
            return true;
        }
        if (semantics[entry.slot]) return true;
    }
    return _stricmp(name, "xfile") == 0;
}

bool EffectBase::BindSemanticsDefault(const char* name, D3DXHANDLE handle) {
    return BindSemantics(name, handle, false);
}

bool EffectBase::LoadParameters(bool readXFile, bool loadTextures) {
    if (!effect) return false;
    deferredCount = 0;
    effect->GetDesc(&description);
    for (UINT p = 0; p < description.Parameters; ++p) {
        const D3DXHANDLE h = effect->GetParameter(nullptr, p);
        D3DXPARAMETER_DESC desc{};
        if (!h || FAILED(effect->GetParameterDesc(h, &desc))) continue;
        for (const char* light : {"UIDirectional", "UIDirectionalInv", "UIPosition"})
            if (effect->GetAnnotationByName(h, light)) BindSemantics(light, h, false);
        D3DXHANDLE object = effect->GetAnnotationByName(h, "Object");
        if (!object) object = effect->GetAnnotationByName(h, "UIObject");
        if (object) {
            const std::string value = AnnotationString(effect, object);
            if (!value.empty()) BindSemantics(value.c_str(), h, false);
        }
        if (desc.Semantic && desc.Class <= D3DXPC_MATRIX_COLUMNS)
            BindSemantics(desc.Semantic, h, false);
        std::string resource, type;
        INT width = -1, height = -1, depth = -1;
        for (UINT a = 0; a < desc.Annotations; ++a) {
            const D3DXHANDLE annotation = effect->GetAnnotation(h, a);
            D3DXPARAMETER_DESC about{};
            if (!annotation || FAILED(effect->GetParameterDesc(annotation, &about)) || !about.Name)
                continue;
            const char* n = about.Name;
            if (!_stricmp(n, "resourcename") || !_stricmp(n, "name") || !_stricmp(n, "file"))
                resource = AnnotationString(effect, annotation);
            else if (!_stricmp(n, "resourcetype") || !_stricmp(n, "type") ||
                     !_stricmp(n, "texturetype"))
                type = AnnotationString(effect, annotation);
            else if (!_stricmp(n, "width"))
                effect->GetInt(annotation, &width);
            else if (!_stricmp(n, "height"))
                effect->GetInt(annotation, &height);
            else if (!_stricmp(n, "depth"))
                effect->GetInt(annotation, &depth);
        }
        if (resource.empty()) continue;
        if (!loadTextures) {
            if (deferredCount < kDeferredTextureSlots) deferred[deferredCount] = p;
            ++deferredCount;
            continue;
        }
        if (IDirect3DBaseTexture9* texture =
                LoadAnnotatedTexture(resource, type, width, height, depth)) {
            effect->SetTexture(h, texture);
            texture->Release();
        }
    }
    if (readXFile) {
        const D3DXHANDLE xfile = effect->GetParameterByName(nullptr, "XFile");
        D3DXPARAMETER_DESC desc{};
        const char* name = nullptr;
        if (xfile && SUCCEEDED(effect->GetParameterDesc(xfile, &desc)) &&
            SUCCEEDED(effect->GetString(xfile, &name)) && name) {
            delete[] xFileName;
            xFileName = new (std::nothrow) char[std::strlen(name) + 1];
            if (xFileName) std::strcpy(xFileName, name);
            delete std::exchange(templateMesh, nullptr);
            LoadXMesh(name, &templateMesh);
        }
    }
    needsColour = needsTangent = 0;
    usesPalette = semantics[kSemanticBonePalette] ? 1 : 0;
    for (UINT t = 0; t < description.Techniques; ++t) {
        const D3DXHANDLE technique = effect->GetTechnique(t);
        D3DXTECHNIQUE_DESC about{};
        if (!technique || FAILED(effect->GetTechniqueDesc(technique, &about))) continue;
        for (UINT p = 0; p < about.Passes; ++p) {
            const D3DXHANDLE pass = effect->GetPass(technique, p);
            D3DXPASS_DESC passDesc{};
            if (!pass || FAILED(effect->GetPassDesc(pass, &passDesc)) ||
                !passDesc.pVertexShaderFunction)
                continue;
            D3DXSEMANTIC inputs[MAXD3DDECLLENGTH] = {};
            UINT count = 0;
            if (FAILED(D3DXGetShaderInputSemantics(passDesc.pVertexShaderFunction, inputs, &count)))
                continue;
            for (UINT i = 0; i < count && i < MAXD3DDECLLENGTH; ++i) {
                if (inputs[i].Usage == D3DDECLUSAGE_COLOR) needsColour = 1;
                if (inputs[i].Usage == D3DDECLUSAGE_TANGENT) needsTangent = 1;
            }
        }
    }
    return true;
}

bool EffectBase::PrepareMesh(MeshRecord* mesh) {
    if (templateMesh && mesh)
        SetupMeshFromFormat(mesh, templateMesh, templateMesh->indexCount,
                            templateMesh->vertexCount);
    return true;
}

bool EffectBase::PrepareMeshTangents(MeshRecord* mesh) {
    if (!ExtendMeshDeclaration(mesh, ensureNormals != 0, needsTangent != 0, needsColour != 0,
                               usesPalette != 0))
        return false;
    return RenewMeshBackup(mesh, nullptr);
}

std::uint32_t EffectBase::Apply(MeshRecord* mesh) {
    if (!effect) return 0;
    // The mesh's own textures go to the deferred parameters, never more than the list holds.
    const std::uint32_t listed =
        deferredCount < kDeferredTextureSlots ? deferredCount : kDeferredTextureSlots;
    for (std::uint32_t i = 0; mesh && mesh->textures && i < listed; ++i) {
        if (static_cast<std::int32_t>(i) >= mesh->textureCount) break;
        const TextureRecord& slot = mesh->textures[i];
        IDirect3DBaseTexture9* texture = slot.overrideTexture ? slot.overrideTexture : slot.texture;
        effect->SetTexture(effect->GetParameter(nullptr, deferred[i]), texture);
    }
    UINT passes = 0;
    if (FAILED(effect->Begin(&passes, 0))) return 0;
    SetConstants(mesh);
    return passes;
}

void EffectBase::End() {
    if (effect) effect->End();
}
