#include "core/win32.h"

#include "image/image.h"
#include "image/image_state.h"
#include "image/picture_check.h"
#include "image/picture_header.h"
#include "core/core.h"
#include "core/mapped_file.h"
#include "core/media.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

ImageState& s = g_Image;

constexpr std::int32_t kOneByOne = 16384;

// A picture as the platform's decoders take it: the whole file in memory when it is mapped, which
// spares each decoder call its own open and mapping; else its name.
struct PictureSource {
    const char* name = nullptr;
    ByteSpan bytes; // empty unless the whole file is mapped

    bool InMemory() const { return bytes.size > 0; }
};

PictureSource SourceOf(const char* name, const MappedFile& file) {
    PictureSource source{name, {}};
    if (file.Ok() && file.Bytes().size == file.FileSize()) source.bytes = file.Bytes();
    return source;
}

HRESULT GetInfo(const PictureSource& p, D3DXIMAGE_INFO& info) {
    if (p.InMemory())
        return D3DXGetImageInfoFromFileInMemory(p.bytes.data, static_cast<UINT>(p.bytes.size),
                                                &info);
    return D3DXGetImageInfoFromFileA(p.name, &info);
}

// The last four characters, ignoring case.
bool EndsWith(const char* name, const char* ending) {
    const std::size_t length = std::strlen(name);
    return length >= 4 && lstrcmpiA(name + length - 4, ending) == 0;
}

bool KeepsOwnAlpha(const char* name) {
    return EndsWith(name, ".dds") || EndsWith(name, ".png") || EndsWith(name, ".tga");
}

// Clamps the picture to the level-0 size of what was made.
void ClampToLevel0(IDirect3DTexture9* texture, std::int32_t& width, std::int32_t& height) {
    D3DSURFACE_DESC desc{};
    if (!texture || FAILED(texture->GetLevelDesc(0, &desc))) return;
    width = std::min(width, static_cast<std::int32_t>(desc.Width));
    height = std::min(height, static_cast<std::int32_t>(desc.Height));
}

bool LoadSurface(IDirect3DSurface9* surface, const RECT* area, const PictureSource& p, DWORD filter,
                 D3DCOLOR key, D3DXIMAGE_INFO* found = nullptr) {
    const HRESULT hr =
        p.InMemory()
            ? D3DXLoadSurfaceFromFileInMemory(surface, nullptr, area, p.bytes.data,
                                              static_cast<UINT>(p.bytes.size), nullptr, filter, key,
                                              found)
            : D3DXLoadSurfaceFromFileA(surface, nullptr, area, p.name, nullptr, filter, key, found);
    return SUCCEEDED(hr);
}

bool LoadLevel(IDirect3DTexture9* texture, UINT level, const RECT* area, const PictureSource& p,
               DWORD filter, D3DCOLOR key, D3DXIMAGE_INFO* found = nullptr) {
    ComPtr<IDirect3DSurface9> surface;
    return SUCCEEDED(texture->GetSurfaceLevel(level, surface.PutAddress())) &&
           LoadSurface(surface, area, p, filter, key, found);
}

IDirect3DTexture9* LoadOneLevel(const PictureSource& file, const D3DXIMAGE_INFO& info,
                                std::int32_t& width, std::int32_t& height) {
    const bool keyed = !KeepsOwnAlpha(file.name);
    const D3DFORMAT format = keyed ? s.format : info.Format;
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(D3DXCreateTexture(s.device, width, height, 1, 0, format, D3DPOOL_MANAGED, &texture)))
        return nullptr;
    ClampToLevel0(texture, width, height);
    const RECT area{0, 0, width, height};
    if (!LoadLevel(texture, 0, &area, file, D3DX_FILTER_POINT, keyed ? s.colorKey : 0)) {
        texture->Release();
        return nullptr;
    }
    return texture;
}

// A picture with alpha of its own keeps the decoder's format and the platform's levels.
IDirect3DTexture9* LoadOwnAlphaChain(const PictureSource& file, std::int32_t& width,
                                     std::int32_t& height) {
    IDirect3DTexture9* texture = nullptr;
    const HRESULT hr =
        file.InMemory()
            ? D3DXCreateTextureFromFileInMemoryEx(
                  s.device, file.bytes.data, static_cast<UINT>(file.bytes.size), width, height,
                  D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                  nullptr, nullptr, &texture)
            : D3DXCreateTextureFromFileExA(s.device, file.name, width, height, D3DX_DEFAULT, 0,
                                           D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                           D3DX_DEFAULT, 0, nullptr, nullptr, &texture);
    if (FAILED(hr)) return nullptr;
    ClampToLevel0(texture, width, height);
    return texture;
}

// A keyed picture's mip chain. The decoder runs once: the file, keyed, goes at its own size into
// a copy in the textures' format, and each level samples that copy as the decoder sampled the
// file for each level before (a decode per level made a file of many scans take minutes). The
// copy holds the file's pixels converted as each level had them, so the levels come out the same.
IDirect3DTexture9* LoadKeyedChain(const PictureSource& file, UINT fileWidth, UINT fileHeight,
                                  D3DXIMAGE_INFO& found, std::int32_t& width,
                                  std::int32_t& height) {
    ComPtr<IDirect3DSurface9> decoded;
    if (FAILED(s.device->CreateOffscreenPlainSurface(
            fileWidth, fileHeight, s.format, D3DPOOL_SCRATCH, decoded.PutAddress(), nullptr)) ||
        !LoadSurface(decoded, nullptr, file, D3DX_FILTER_POINT, s.colorKey, &found) ||
        found.Width != fileWidth || found.Height != fileHeight)
        return nullptr;
    ComPtr<IDirect3DTexture9> texture;
    if (FAILED(D3DXCreateTexture(s.device, width, height, 0, 0, s.format, D3DPOOL_MANAGED,
                                 texture.PutAddress())))
        return nullptr;
    ClampToLevel0(texture, width, height);
    for (DWORD level = 0; level < texture->GetLevelCount(); ++level) {
        ComPtr<IDirect3DSurface9> surface;
        if (FAILED(texture->GetSurfaceLevel(level, surface.PutAddress())) ||
            FAILED(D3DXLoadSurfaceFromSurface(surface, nullptr, nullptr, decoded, nullptr, nullptr,
                                              level == 0 ? D3DX_FILTER_POINT : D3DX_DEFAULT, 0)))
            return nullptr;
    }
    return texture.Detach();
}

IDirect3DCubeTexture9* LoadCube(const PictureSource& file, std::int32_t size) {
    IDirect3DCubeTexture9* cube = nullptr;
    const HRESULT hr =
        file.InMemory()
            ? D3DXCreateCubeTextureFromFileInMemoryEx(
                  s.device, file.bytes.data, static_cast<UINT>(file.bytes.size), size, D3DX_DEFAULT,
                  0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                  nullptr, &cube)
            : D3DXCreateCubeTextureFromFileExA(s.device, file.name, size, D3DX_DEFAULT, 0,
                                               D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                               D3DX_DEFAULT, 0, nullptr, nullptr, &cube);
    return SUCCEEDED(hr) ? cube : nullptr;
}

// The size a load makes: the file's, divided, or 1 x 1.
void ScaledSize(UINT fileWidth, UINT fileHeight, std::int32_t divisor, std::int32_t& width,
                std::int32_t& height) {
    width = static_cast<std::int32_t>(fileWidth);
    height = static_cast<std::int32_t>(fileHeight);
    if (divisor == kOneByOne)
        width = height = 1;
    else if (divisor > 0) {
        width = std::max(1, width / divisor);
        height = std::max(1, height / divisor);
    }
}

bool KnownFormat(std::uint64_t kind, D3DFORMAT& format) {
    for (const auto& [known, decoded] : s.decodedFormats) {
        if (known == kind) {
            format = decoded;
            return true;
        }
    }
    return false;
}

// What the decoder said of a picture's pixels, kept for the next picture of its kind.
void RememberFormat(const PictureSource& file, D3DFORMAT format) {
    PictureHeader header;
    if (!file.InMemory() || !ReadPictureHeader(file.name, file.bytes, header)) return;
    for (auto& [kind, decoded] : s.decodedFormats) {
        if (kind == header.kind) {
            decoded = format;
            return;
        }
    }
    if (s.decodedFormats.size() < kKnownFormatKinds) {
        // Without the memory to remember it, the next picture of its kind is probed first.
        try {
            s.decodedFormats.emplace_back(header.kind, format);
        } catch (const std::bad_alloc&) {
        }
    }
}

// A single level from the header's size, with the format the decoder gave last for this kind of
// header when the picture keeps its own alpha.
IDirect3DTexture9* LoadOneLevelUnprobed(const PictureSource& file, const PictureHeader& header,
                                        D3DXIMAGE_INFO& info, std::int32_t& width,
                                        std::int32_t& height) {
    const bool keyed = !KeepsOwnAlpha(file.name);
    D3DFORMAT format = s.format;
    if (!keyed && !KnownFormat(header.kind, format)) return nullptr;
    ComPtr<IDirect3DTexture9> texture;
    if (FAILED(D3DXCreateTexture(s.device, width, height, 1, 0, format, D3DPOOL_MANAGED,
                                 texture.PutAddress())))
        return nullptr;
    ClampToLevel0(texture, width, height);
    const RECT area{0, 0, width, height};
    D3DXIMAGE_INFO found{};
    if (!LoadLevel(texture, 0, &area, file, D3DX_FILTER_POINT, keyed ? s.colorKey : 0, &found) ||
        found.Width != header.width || found.Height != header.height ||
        (!keyed && found.Format != format))
        return nullptr;
    info = found;
    return texture.Detach();
}

// A load without a probe before it (a probe decodes the whole picture too): the decoder is asked
// once, to load, with the size from the header. Unless its report of the file matches what was
// assumed, the texture is dropped and the caller probes as always; so the texture and its pixels
// are those the probing way makes.
IDirect3DTexture9* LoadUnprobed(const PictureSource& file, bool oneLevel, std::int32_t divisor,
                                D3DXIMAGE_INFO& info, std::int32_t& width, std::int32_t& height) {
    PictureHeader header;
    if (!file.InMemory() || !ReadPictureHeader(file.name, file.bytes, header)) return nullptr;
    ScaledSize(header.width, header.height, divisor, width, height);
    if (oneLevel) return LoadOneLevelUnprobed(file, header, info, width, height);
    return LoadKeyedChain(file, header.width, header.height, info, width, height);
}

// Whether a load may go without a probe: single levels, and keyed mip chains.
bool MayGoUnprobed(const char* name, bool oneLevel, std::int32_t cube, std::int32_t divisor) {
    return divisor != kOneByOne && (oneLevel || (cube != 2 && !KeepsOwnAlpha(name)));
}

// The decoder probes the file first; the probe decides the size and, for pictures with their own
// alpha, the format.
IDirect3DBaseTexture9* LoadProbed(const PictureSource& source, bool oneLevel, std::int32_t cube,
                                  std::int32_t divisor, D3DXIMAGE_INFO& info, std::int32_t& width,
                                  std::int32_t& height) {
    if (FAILED(GetInfo(source, info))) return nullptr;
    ScaledSize(info.Width, info.Height, divisor, width, height);
    if (cube == 2 && divisor != kOneByOne) return LoadCube(source, width);
    if (divisor == kOneByOne) {
        IDirect3DTexture9* single = nullptr;
        return SUCCEEDED(
                   D3DXCreateTexture(s.device, 1, 1, 1, 0, s.format, D3DPOOL_MANAGED, &single))
                   ? single
                   : nullptr;
    }
    if (!oneLevel && KeepsOwnAlpha(source.name)) return LoadOwnAlphaChain(source, width, height);
    if (!oneLevel) {
        D3DXIMAGE_INFO found{};
        return LoadKeyedChain(source, info.Width, info.Height, found, width, height);
    }
    IDirect3DTexture9* texture = LoadOneLevel(source, info, width, height);
    if (texture && KeepsOwnAlpha(source.name)) RememberFormat(source, info.Format);
    return texture;
}

// Charges what decoding the picture makes before a decoder sees it: a small file may claim a
// picture of hundreds of megabytes, or scans that pass over its blocks thousands of times. A
// 1 x 1 load decodes nothing.
bool ChargePicture(const char* name, const MappedFile& file, bool oneLevel, std::int32_t cube,
                   std::int32_t divisor) {
    if (divisor == kOneByOne) return true;
    PictureUse use;
    use.chain = !oneLevel;
    use.cube = cube == 2;
    return ChargeLoad(PictureLoadBytes(name, file.Bytes(), file.FileSize(), use));
}

} // namespace

IDirect3DBaseTexture9* LoadImageTexture(const char* fileName, bool oneLevel, std::int32_t cube,
                                        std::int32_t divisor, D3DXIMAGE_INFO* fileInfo) {
    ScopedMediaName name(s.core, fileName);
    // One mapping serves the header check and every decoder call after it.
    const MappedFile file(name.Ok() ? name.Text() : nullptr);
    const PictureSource source = SourceOf(name.Text(), file);
    MediaLoadScope load(file.FileSize());
    D3DXIMAGE_INFO info{};
    std::int32_t width = 0, height = 0;
    IDirect3DBaseTexture9* texture = nullptr;
    const bool made = load.Guard([&] {
        if (!name.Ok() || !s.device || !file.Ok() ||
            !CheckPictureBytes(name.Text(), file.Bytes(), file.FileSize()) ||
            !ChargePicture(name.Text(), file, oneLevel, cube, divisor))
            return false;
        if (MayGoUnprobed(name.Text(), oneLevel, cube, divisor))
            texture = LoadUnprobed(source, oneLevel, divisor, info, width, height);
        if (!texture) texture = LoadProbed(source, oneLevel, cube, divisor, info, width, height);
        return texture != nullptr;
    });
    if (!made || LoadOverBudget()) {
        if (texture) texture->Release();
        ReportInternalError("Failed to load texture for image library");
        return nullptr;
    }
    if (fileInfo) *fileInfo = info;
    s.lastWidth = width;
    s.lastHeight = height;
    return texture;
}

ImageRecord* LoadImageRecord(const char* fileName, std::int32_t mode, std::int32_t divisor,
                             bool* outOfMemory) {
    if (!fileName) return nullptr;
    std::unique_ptr<ImageRecord> record(new (std::nothrow) ImageRecord);
    if (outOfMemory) *outOfMemory = !record;
    if (!record) return nullptr;
    std::strncpy(record->name, fileName, sizeof record->name - 1);
    D3DXIMAGE_INFO info{};
    record->texture.Reset(LoadImageTexture(fileName, mode == 1, mode, divisor, &info));
    if (!record->texture) return nullptr;
    record->cube = record->texture->GetType() == D3DRTYPE_CUBETEXTURE;
    if (mode == 1) {
        record->width = s.lastWidth;
        record->height = s.lastHeight;
        SetScales(*record);
    } else {
        // The file's own size, whatever size the texture was made.
        record->width = static_cast<std::int32_t>(info.Width);
        record->height = static_cast<std::int32_t>(info.Height);
    }
    D3DSURFACE_DESC desc{};
    if (IDirect3DTexture9* t = Texture2D(record.get()); t && SUCCEEDED(t->GetLevelDesc(0, &desc)))
        record->depth = FormatDepth(desc.Format);
    return record.release();
}

namespace {

// Loads the file under n in place of any image there: true when it did. A file that does not load
// leaves n empty; running out of memory leaves n as it was and raises 506.
bool LoadUnder(std::int32_t n, const char* fileName, std::int32_t mode, std::int32_t divisor) {
    bool outOfMemory = false;
    ImageRecord* record = LoadImageRecord(fileName, mode, divisor, &outOfMemory);
    if (!record && !outOfMemory) RemoveImage(n);
    if (record && !PlaceImage(n, record)) {
        delete record; // and its texture
        record = nullptr;
        outOfMemory = true;
    }
    if (outOfMemory) RaiseRuntimeError(kImageLoadFailed);
    if (record) RefreshSprites();
    return record != nullptr;
}

} // namespace

void LoadImage(const char* fileName, std::int32_t image, std::int32_t mode, std::int32_t divisor) {
    if (!CheckItemNumber(image, kImageNumbers)) return;
    if (!LoadUnder(image, fileName, mode, divisor)) RaiseRuntimeError(kImageLoadFailed);
}

bool LoadImageMode1(const char* fileName, std::int32_t n) {
    return ValidImageNumber(n) && LoadUnder(n, fileName, 1, 0);
}

bool LoadImageWithMode(const char* fileName, std::int32_t n, std::int32_t mode) {
    LoadImage(fileName, n, mode, 0);
    return FindImage(n) != nullptr;
}

std::int32_t LoadTextureForModule(const char* fileName) {
    return LoadTextureForModuleWithMode(fileName, 0);
}

std::int32_t LoadTextureForModuleWithMode(const char* fileName, std::int32_t divisor) {
    if (!fileName || !fileName[0]) return 0;
    // A file is loaded once, however many meshes name it.
    for (IdListNode* n = s.images.first; n; n = n->next) {
        auto* r = static_cast<ImageRecord*>(n->data);
        if (r->texture && r->name[0] && lstrcmpiA(r->name, fileName) == 0) {
            s.current = r;
            return n->id;
        }
    }
    std::int32_t number = -1;
    while (s.images.Find(number))
        --number;
    ImageRecord* record = LoadImageRecord(fileName, 0, divisor);
    if (!record) return 0;
    if (!PlaceImage(number, record)) {
        delete record; // and its texture
        return 0;
    }
    RefreshSprites();
    return number;
}

void DeleteModuleImage(std::int32_t n) {
    if (n < 0) RemoveImage(n);
}

void SaveImage(const char* fileName, std::int32_t image, std::int32_t compression) {
    ImageRecord* r = CheckedImage(image);
    if (!r) return;
    IDirect3DTexture9* texture = Texture2D(r);
    D3DSURFACE_DESC desc{};
    if (!fileName || !texture || FAILED(texture->GetLevelDesc(0, &desc)))
        return RaiseRuntimeError(kImageSaveFailed);
    D3DXIMAGE_FILEFORMAT format = D3DXIFF_BMP;
    if (EndsWith(fileName, ".dds"))
        format = D3DXIFF_DDS;
    else if (EndsWith(fileName, ".dib"))
        format = D3DXIFF_DIB;
    else if (EndsWith(fileName, ".jpg"))
        format = D3DXIFF_JPG;
    else if (EndsWith(fileName, ".png"))
        format = D3DXIFF_PNG;
    const RECT picture{0, 0, static_cast<LONG>(desc.Width * r->uScale),
                       static_cast<LONG>(desc.Height * r->vScale)};
    ComPtr<IDirect3DSurface9> source;
    ComPtr<IDirect3DTexture9> compressed;
    ComPtr<IDirect3DSurface9> saved;
    bool ok = SUCCEEDED(texture->GetSurfaceLevel(0, source.PutAddress()));
    if (ok && format == D3DXIFF_DDS) {
        const D3DFORMAT dds =
            compression >= 1 && compression <= 5
                ? static_cast<D3DFORMAT>(MAKEFOURCC('D', 'X', 'T', '0' + compression))
                : D3DFMT_A8R8G8B8;
        ok = SUCCEEDED(D3DXCreateTexture(s.device, picture.right, picture.bottom, 1, 0, dds,
                                         D3DPOOL_MANAGED, compressed.PutAddress())) &&
             SUCCEEDED(compressed->GetSurfaceLevel(0, saved.PutAddress())) &&
             SUCCEEDED(D3DXLoadSurfaceFromSurface(saved, nullptr, nullptr, source, nullptr,
                                                  &picture, D3DX_DEFAULT, 0));
    }
    // Made in memory, then written whole beside the old file, which it replaces only then.
    ComPtr<ID3DXBuffer> bytes;
    if (ok) {
        ok = saved ? SUCCEEDED(D3DXSaveSurfaceToFileInMemory(bytes.PutAddress(), format, saved,
                                                             nullptr, nullptr))
                   : SUCCEEDED(D3DXSaveSurfaceToFileInMemory(bytes.PutAddress(), format, source,
                                                             nullptr, &picture));
    }
    if (!ok || !CoreWriteWholeFile(fileName, bytes->GetBufferPointer(), bytes->GetBufferSize()))
        RaiseRuntimeError(kImageSaveFailed);
}

void PasteImage(std::int32_t image, std::int32_t x, std::int32_t y, std::int32_t transparency) {
    ImageRecord* r = CheckedImage(image);
    if (!r) return;
    // The sprite module draws it at once.
    if (s.paste) s.paste(image, x, y, r->uScale, r->vScale, transparency);
}

void DeleteImage(std::int32_t image) {
    if (!CheckedImage(image)) return;
    RemoveImage(image);
}
