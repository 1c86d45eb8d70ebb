#include "core/win32.h"

#include "image/image.h"
#include "image/image_state.h"
#include "core/item_keepers.h"
#include "core/core.h"
#include "display/display.h"
#include "sprite/sprite.h"

#include <algorithm>

ImageState g_Image;

namespace {

ImageState& s = g_Image;

const D3DFORMAT kFallbackFormats[] = {D3DFMT_A8R8G8B8,    D3DFMT_X8R8G8B8, D3DFMT_A1R5G5B5,
                                      D3DFMT_A2B10G10R10, D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2,
                                      D3DFMT_R8G8B8,      D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5,
                                      D3DFMT_R3G3B2,      D3DFMT_X4R4G4B4, D3DFMT_G16R16};

// The format of the textures the module makes: like the render target's depth, and one the
// adapter can make.
void ChooseTextureFormat() {
    D3DFORMAT adapterFormat = D3DFMT_X8R8G8B8;
    s.format = D3DFMT_A8R8G8B8;
    D3DSURFACE_DESC desc{};
    if (s.core && s.core->renderTarget && SUCCEEDED(s.core->renderTarget->GetDesc(&desc))) {
        adapterFormat = desc.Format;
        const std::int32_t depth = FormatDepth(desc.Format);
        if (depth == 16) s.format = D3DFMT_A1R5G5B5;
    }
    if (!s.d3d) return;
    auto usable = [&](D3DFORMAT f) {
        return SUCCEEDED(
            s.d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, adapterFormat, 0, D3DRTYPE_TEXTURE, f));
    };
    if (usable(s.format)) return;
    for (D3DFORMAT f : kFallbackFormats) {
        s.format = f;
        if (usable(f)) return;
    }
}

// Tells the keepers that old's texture no longer is image n's (made: what n names now, or null),
// then frees old with its texture.
void Retire(std::int32_t n, ImageRecord* old, const ImageRecord* made) {
    if (old->texture) {
        const bool remade = made && made->texture;
        TellItemKeepers(ItemOwner::Image, {remade ? ItemChange::Remade : ItemChange::Deleted, n,
                                           old->texture.Get(), remade ? Texture2D(made) : nullptr});
        if (old->locked && Texture2D(old)) Texture2D(old)->UnlockRect(0);
    }
    if (s.current == old) s.current = nullptr;
    delete old;
}

// A clearer looked up or linked as the module's own keeper: it cannot rebind, so a texture remade
// is dropped like one deleted.
void TellLinkedClearer(const ItemNotice& notice) {
    auto* before = static_cast<IDirect3DBaseTexture9*>(notice.before);
    if (s.clearTextureReference && before && before->GetType() == D3DRTYPE_TEXTURE)
        s.clearTextureReference(static_cast<IDirect3DTexture9*>(before));
}

void DeleteAllImages() {
    while (IdListNode* n = s.images.first) {
        const std::int32_t number = n->id;
        auto* r = static_cast<ImageRecord*>(n->data);
        s.images.Delete(number);
        Retire(number, r, nullptr);
    }
    s.current = nullptr;
}

} // namespace

bool ValidImageNumber(std::int32_t n) {
    return n >= kImageNumbers.first && n <= kImageNumbers.last;
}

ImageRecord* FindImage(std::int32_t n) {
    s.current = static_cast<ImageRecord*>(s.images.Find(n));
    return s.current;
}

ImageRecord* CheckedImage(std::int32_t n) {
    return CheckedItem(n, kImageNumbers, FindImage);
}

IDirect3DTexture9* Texture2D(const ImageRecord* r) {
    return r && !r->cube ? static_cast<IDirect3DTexture9*>(r->texture.Get()) : nullptr;
}

std::int32_t FormatDepth(D3DFORMAT format) {
    return SurfaceFormatBits(format);
}

bool PlaceImage(std::int32_t n, ImageRecord* record) {
    auto* old = static_cast<ImageRecord*>(s.images.Find(n));
    // An entry of n takes the new record in place; only a new entry allocates.
    if (s.images.Add(n, record, 0, 1) == 0) return false;
    s.current = record;
    if (old) Retire(n, old, record);
    return true;
}

void RemoveImage(std::int32_t n) {
    ImageRecord* r = static_cast<ImageRecord*>(s.images.Find(n));
    if (!r) return;
    s.images.Delete(n);
    Retire(n, r, nullptr);
}

void SetScales(ImageRecord& r) {
    r.uScale = r.vScale = 1.0f;
    IDirect3DTexture9* t = Texture2D(&r);
    D3DSURFACE_DESC desc{};
    if (!t || FAILED(t->GetLevelDesc(0, &desc)) || desc.Width == 0 || desc.Height == 0) return;
    r.uScale = std::min(1.0f, static_cast<float>(r.width) / static_cast<float>(desc.Width));
    r.vScale = std::min(1.0f, static_cast<float>(r.height) / static_cast<float>(desc.Height));
}

void RefreshSprites() {
    if (s.refresh) s.refresh();
}

void ImageConstructor(HMODULE) {
    s.device = GetDirect3DDevice();
    s.d3d.Reset();
    if (s.device) s.device->GetDirect3D(s.d3d.PutAddress());
    s.paste = nullptr;
    s.refresh = nullptr;
    s.clearTextureReference = nullptr;
    s.settingWord = 9;
    AddItemKeeper(ItemOwner::Image, TellLinkedClearer);
}

void ImageDestructor() {
    DeleteAllImages();
    RemoveItemKeeper(ItemOwner::Image, TellLinkedClearer);
    s.d3d.Reset();
    s.device = nullptr;
}

void ImageSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void ImagePassCoreData(CoreData* core) {
    s.core = core;
    // The object module links its clearer as it starts; a plug-in library could offer one too,
    // and a lookup that finds none must not drop the linked one.
    using Clearer = void (*)(IDirect3DTexture9*);
    if (core && core->handles.basic3D) {
        if (const auto found = reinterpret_cast<Clearer>(reinterpret_cast<void*>(GetProcAddress(
                core->handles.basic3D, "?ClearObjectsOfTextureRef@@YAXPAUIDirect3DTexture9@@@Z"))))
            s.clearTextureReference = found;
    }
    ChooseTextureFormat();
}

void ImageRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        ImageDestructor();
    } else if (mode == 1) {
        const SpritePasteFn paste = s.paste;
        const SpriteRefreshFn refresh = s.refresh;
        const auto clearer = s.clearTextureReference;
        ImageConstructor(nullptr);
        ImagePassCoreData(s.core);
        s.paste = paste;
        s.refresh = refresh;
        if (!s.clearTextureReference) s.clearTextureReference = clearer;
    }
}

void ImageLinkTextureClearer(void (*clearer)(IDirect3DTexture9* texture)) {
    s.clearTextureReference = clearer;
}

void ImageLinkSpriteFunctions(HMODULE) {
    s.paste = SpritePasteImage;
    s.refresh = RefreshSpriteImages;
}

void SetImageColorKey(std::int32_t red, std::int32_t green, std::int32_t blue) {
    s.colorKey = 0xFF000000u | static_cast<D3DCOLOR>(red & 0xFF) << 16 |
                 static_cast<D3DCOLOR>(green & 0xFF) << 8 | static_cast<D3DCOLOR>(blue & 0xFF);
}

void ImageNotAvailable() {
    RaiseRuntimeError(kCommandNotAvailable);
}
void ImageEmptyEntry() {}
