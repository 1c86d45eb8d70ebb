#include "core/win32.h"

#include "image/image.h"
#include "image/image_state.h"
#include "image/picture_check.h"
#include "core/core.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

ImageState& s = g_Image;

std::int32_t PowerOfTwo(std::int32_t value) {
    for (std::int32_t p = 1; p <= 4096; p *= 2)
        if (p >= value) return p;
    return value;
}

// A managed one-level texture holding level 0's rectangle of the picture.
IDirect3DTexture9* CopyPicture(IDirect3DTexture9* texture, std::int32_t width,
                               std::int32_t height) {
    ComPtr<IDirect3DTexture9> copy;
    ComPtr<IDirect3DSurface9> from, to;
    const RECT area{0, 0, width, height};
    bool ok = SUCCEEDED(D3DXCreateTexture(s.device, width, height, 1, 0, s.format, D3DPOOL_MANAGED,
                                          copy.PutAddress())) &&
              SUCCEEDED(texture->GetSurfaceLevel(0, from.PutAddress())) &&
              SUCCEEDED(copy->GetSurfaceLevel(0, to.PutAddress())) &&
              SUCCEEDED(D3DXLoadSurfaceFromSurface(to, nullptr, nullptr, from, nullptr, &area,
                                                   D3DX_DEFAULT, 0));
    return ok ? copy.Detach() : nullptr;
}

bool CopyWhole(IDirect3DTexture9* from, IDirect3DTexture9* to, DWORD filter, D3DCOLOR key) {
    ComPtr<IDirect3DSurface9> a, b;
    return SUCCEEDED(from->GetSurfaceLevel(0, a.PutAddress())) &&
           SUCCEEDED(to->GetSurfaceLevel(0, b.PutAddress())) &&
           SUCCEEDED(
               D3DXLoadSurfaceFromSurface(b, nullptr, nullptr, a, nullptr, nullptr, filter, key));
}

// The pixel word of a locked 32-bit image at row y, column x; null outside the picture.
std::uint32_t* LockedPixel(const ImageRecord& r, std::int32_t y, std::int32_t x) {
    if (!r.locked || !r.lockedBits || r.depth != 32 || x < 0 || y < 0 || x >= r.lockedWidth ||
        y >= r.lockedHeight)
        return nullptr;
    return reinterpret_cast<std::uint32_t*>(r.lockedBits +
                                            static_cast<std::ptrdiff_t>(y) * r.lockedPitch) +
           x;
}

// Copies the rectangle of the render target into a new managed texture of its size.
IDirect3DTexture9* CopyFromRenderTarget(IDirect3DSurface9* target, const D3DSURFACE_DESC& desc,
                                        const RECT& area) {
    const std::int32_t width = area.right - area.left, height = area.bottom - area.top;
    const std::int32_t bytes = FormatDepth(desc.Format) / 8;
    if (bytes != 2 && bytes != 4) return nullptr;
    IDirect3DTexture9* copy = nullptr;
    if (FAILED(
            D3DXCreateTexture(s.device, width, height, 1, 0, desc.Format, D3DPOOL_MANAGED, &copy)))
        return nullptr;
    D3DSURFACE_DESC level{};
    D3DLOCKED_RECT to{}, from{};
    copy->GetLevelDesc(0, &level);
    bool ok = SUCCEEDED(copy->LockRect(0, &to, nullptr, 0));
    if (ok && SUCCEEDED(target->LockRect(&from, &area, D3DLOCK_READONLY))) {
        for (UINT y = 0; y < level.Height; ++y) {
            const auto* src = static_cast<const std::uint8_t*>(from.pBits) +
                              static_cast<std::ptrdiff_t>(y * height / level.Height) * from.Pitch;
            auto* dst =
                static_cast<std::uint8_t*>(to.pBits) + static_cast<std::ptrdiff_t>(y) * to.Pitch;
            for (UINT x = 0; x < level.Width; ++x)
                std::memcpy(dst + x * bytes, src + (x * width / level.Width) * bytes, bytes);
        }
        target->UnlockRect();
    } else {
        ok = false;
    }
    copy->UnlockRect(0);
    if (!ok) {
        copy->Release();
        return nullptr;
    }
    return copy;
}

// Whether the texture is one level of exactly width x height pixels in the format, so that a
// block's rows go into it as they are. The record's size cannot say so: a divided load or a
// power-of-two copy keeps the picture's size over a texture of another.
bool HoldsPicture(IDirect3DTexture9* texture, std::int32_t width, std::int32_t height,
                  D3DFORMAT format) {
    D3DSURFACE_DESC desc{};
    return texture->GetLevelCount() == 1 && SUCCEEDED(texture->GetLevelDesc(0, &desc)) &&
           desc.Format == format && desc.Width == static_cast<UINT>(width) &&
           desc.Height == static_cast<UINT>(height);
}

// Copies a block's rows into level 0: no more rows, nor bytes a row, than the level holds (the
// platform may have made the texture smaller or in another format than asked).
bool CopyRowsIn(IDirect3DTexture9* texture, std::int32_t width, std::int32_t height,
                std::int32_t depth, const std::uint8_t* pixels) {
    D3DSURFACE_DESC desc{};
    if (FAILED(texture->GetLevelDesc(0, &desc))) return false;
    const std::size_t stride = static_cast<std::size_t>(width) * (depth / 8);
    const UINT columns = std::min(static_cast<UINT>(width), desc.Width);
    const UINT rows = std::min(static_cast<UINT>(height), desc.Height);
    const std::size_t rowBytes = std::min<std::size_t>(stride, static_cast<std::size_t>(columns) *
                                                                   (FormatDepth(desc.Format) / 8));
    const RECT area{0, 0, static_cast<LONG>(columns), static_cast<LONG>(rows)};
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, &area, 0))) return false;
    for (UINT y = 0; y < rows; ++y)
        std::memcpy(static_cast<std::uint8_t*>(locked.pBits) +
                        static_cast<std::size_t>(y) * locked.Pitch,
                    pixels + y * stride, rowBytes);
    texture->UnlockRect(0);
    return true;
}

} // namespace

bool TextureSizeFits(std::int64_t width, std::int64_t height) {
    D3DCAPS9 caps{};
    return s.device && SUCCEEDED(s.device->GetDeviceCaps(&caps)) && width >= 1 && height >= 1 &&
           width <= std::int64_t{caps.MaxTextureWidth} &&
           height <= std::int64_t{caps.MaxTextureHeight};
}

IDirect3DTexture9* CreateImage(std::int32_t n, std::int32_t width, std::int32_t height,
                               std::int32_t usage, D3DFORMAT format) {
    // The platform cuts a side above the largest texture without a word: the record would claim
    // texels the texture does not have.
    if (s.device && width > 0 && height > 0 && !TextureSizeFits(width, height)) {
        RaiseRuntimeError(kImageSizeIllegal);
        return nullptr;
    }
    IDirect3DTexture9* texture = nullptr;
    if (!s.device || width <= 0 || height <= 0 ||
        FAILED(D3DXCreateTexture(s.device, width, height, 1, usage, format,
                                 usage ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED, &texture))) {
        ReportInternalError("Failed to create new image");
        return nullptr;
    }
    std::unique_ptr<ImageRecord> record(new (std::nothrow) ImageRecord);
    if (!record) {
        texture->Release();
        ReportInternalError("Failed to create new image");
        return nullptr;
    }
    record->texture.Reset(texture);
    D3DSURFACE_DESC level{};
    if (FAILED(texture->GetLevelDesc(0, &level)) || level.Width < static_cast<UINT>(width) ||
        level.Height < static_cast<UINT>(height)) {
        RaiseRuntimeError(kImageSizeIllegal);
        return nullptr; // the record releases the texture
    }
    record->width = width;
    record->height = height;
    record->depth = FormatDepth(format);
    SetScales(*record);
    // An image already under n is made again: its users take the new texture.
    if (!PlaceImage(n, record.get())) {
        ReportInternalError("Failed to create new image");
        return nullptr; // the record takes the texture with it; the old image stays
    }
    record.release();
    RefreshSprites();
    return texture;
}

IDirect3DTexture9* GetImagePointer(std::int32_t n) {
    return Texture2D(FindImage(n));
}

IDirect3DBaseTexture9* GetImageBaseTexture(std::int32_t n) {
    const ImageRecord* r = FindImage(n);
    return r ? r->texture.Get() : nullptr;
}

std::int32_t GetImageWidth(std::int32_t n) {
    const ImageRecord* r = FindImage(n);
    return r ? r->width : -1;
}

std::int32_t GetImageHeight(std::int32_t n) {
    const ImageRecord* r = FindImage(n);
    return r ? r->height : -1;
}

float GetImageUScale(std::int32_t n) {
    const ImageRecord* r = FindImage(n);
    return r ? r->uScale : 1.0f;
}

float GetImageVScale(std::int32_t n) {
    const ImageRecord* r = FindImage(n);
    return r ? r->vScale : 1.0f;
}

bool ImageExistChecked(std::int32_t n) {
    if (!CheckItemNumber(n, kImageNumbers)) return false;
    return FindImage(n) != nullptr;
}

bool ImageExist(std::int32_t n) {
    return FindImage(n) != nullptr;
}

const char* GetImageName(std::int32_t n) {
    if (n == 0 || n > kImageNumbers.last) { // negative numbers are module textures
        RaiseRuntimeError(kImageNumberIllegal);
        return nullptr;
    }
    const ImageRecord* r = FindImage(n);
    return r ? r->name : nullptr;
}

void SetImageOffset(std::int32_t n, std::int32_t x, std::int32_t y) {
    if (ImageRecord* r = FindImage(n)) {
        r->offsetX = x;
        r->offsetY = y;
    }
}

void GetImageOffset(std::int32_t n, std::int32_t* x, std::int32_t* y) {
    const ImageRecord* r = FindImage(n);
    if (!r) return;
    if (x) *x = r->offsetX;
    if (y) *y = r->offsetY;
}

IDirect3DTexture9* CreateManagedImage(std::int32_t n, std::int32_t width, std::int32_t height) {
    return CreateImage(n, width, height, 0, s.format);
}

IDirect3DTexture9* CreateImageDefaultFormat(std::int32_t n, std::int32_t width, std::int32_t height,
                                            std::int32_t usage) {
    return CreateImage(n, width, height, usage, s.format);
}

IDirect3DTexture9* CreateImageWithUsage(std::int32_t n, std::int32_t width, std::int32_t height,
                                        std::int32_t usage) {
    return CreateImage(n, width, height, usage, s.format);
}

IDirect3DTexture9* CreateRenderTargetImage(std::int32_t n, std::int32_t width,
                                           std::int32_t height) {
    return CreateImage(n, width, height, D3DUSAGE_RENDERTARGET, s.format);
}

void LockImage(std::int32_t n) {
    ImageRecord* r = FindImage(n);
    IDirect3DTexture9* texture = Texture2D(r);
    if (!texture) return;
    if (r->locked) {
        ReportInternalError("Failed to lock image for image library as it's already locked");
        return;
    }
    r->lockedPitch = 0;
    r->lockedBits = nullptr;
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->GetLevelDesc(0, &desc)) ||
        FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
        ReportInternalError("Failed to lock image for image library");
        return;
    }
    r->lockedPitch = locked.Pitch;
    r->lockedBits = static_cast<std::uint8_t*>(locked.pBits);
    r->lockedWidth = static_cast<std::int32_t>(desc.Width);
    r->lockedHeight = static_cast<std::int32_t>(desc.Height);
    r->locked = true;
}

void UnlockImage(std::int32_t n) {
    ImageRecord* r = FindImage(n);
    if (!r || !r->locked) return;
    if (IDirect3DTexture9* texture = Texture2D(r)) texture->UnlockRect(0);
    r->locked = false;
    r->lockedBits = nullptr;
}

void WriteImageData(std::int32_t n, std::int32_t y, std::int32_t x, std::int32_t alpha,
                    std::int32_t red, std::int32_t green, std::int32_t blue) {
    ImageRecord* r = FindImage(n);
    if (!r || !r->locked) {
        ReportInternalError("Unable to modify texture data for image library as it isn't locked");
        return;
    }
    if (std::uint32_t* pixel = LockedPixel(*r, y, x)) {
        *pixel = static_cast<std::uint32_t>(alpha & 0xFF) << 24 |
                 static_cast<std::uint32_t>(red & 0xFF) << 16 |
                 static_cast<std::uint32_t>(green & 0xFF) << 8 |
                 static_cast<std::uint32_t>(blue & 0xFF);
    }
}

void GetImageData(std::int32_t n, std::int32_t y, std::int32_t x, std::int32_t* red,
                  std::int32_t* green, std::int32_t* blue) {
    ImageRecord* r = FindImage(n);
    if (!r || !r->locked) {
        ReportInternalError("Unable to get texture data for image library as it isn't locked");
        return;
    }
    const std::uint32_t* pixel = LockedPixel(*r, y, x);
    if (!pixel) return;
    if (red) *red = static_cast<std::int32_t>((*pixel >> 16) & 0xFF);
    if (green) *green = static_cast<std::int32_t>((*pixel >> 8) & 0xFF);
    if (blue) *blue = static_cast<std::int32_t>(*pixel & 0xFF);
}

void SetImageAlpha(std::int32_t n, std::int32_t alpha) {
    ImageRecord* r = FindImage(n);
    IDirect3DTexture9* texture = Texture2D(r);
    if (!texture || r->locked || r->depth != 32) return;
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->GetLevelDesc(0, &desc)) ||
        FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
        ReportInternalError("Failed to lock texture in translucency for image library");
        return;
    }
    const std::int32_t rows = std::min(r->height, static_cast<std::int32_t>(desc.Height));
    const std::int32_t columns = std::min(r->width, static_cast<std::int32_t>(desc.Width));
    for (std::int32_t y = 0; y < rows; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                     static_cast<std::ptrdiff_t>(y) * locked.Pitch);
        for (std::int32_t x = 0; x < columns; ++x)
            if (row[x])
                row[x] = (row[x] & 0x00FFFFFF) | static_cast<std::uint32_t>(alpha & 0xFF) << 24;
    }
    texture->UnlockRect(0);
}

void SetTextureSmoothing(std::int32_t flag) {
    SetTextureFilterMode(flag ? 2 : 0);
}

void SetTextureFilterMode(std::int32_t mode) {
    if (!s.device || mode < 0 || mode > 2) return;
    const DWORD filter = mode == 0 ? D3DTEXF_NONE : mode == 1 ? D3DTEXF_POINT : D3DTEXF_LINEAR;
    s.device->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    s.device->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    s.device->SetSamplerState(0, D3DSAMP_MIPFILTER, filter);
}

void SetMipmapLodBias(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, 4);
    if (s.device) s.device->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, bits);
}

void SetImageMemoryMode(std::int32_t mode) {
    if (mode < 0 || mode > 2) ReportInternalError("Invalid memory mode specified");
    s.memoryMode = mode;
}

void SetImageLoadOption(std::uint8_t option) {
    s.loadOption = option;
}
void SetImageSettingWord(std::int32_t value) {
    s.settingWord = value;
}

void MakeImagePowerOfTwo(std::int32_t n, std::int32_t width, std::int32_t height) {
    ImageRecord* r = FindImage(n);
    IDirect3DTexture9* texture = Texture2D(r);
    D3DSURFACE_DESC desc{};
    if (!texture || r->locked || FAILED(texture->GetLevelDesc(0, &desc))) return;
    if (static_cast<std::int32_t>(desc.Width) == PowerOfTwo(desc.Width) &&
        static_cast<std::int32_t>(desc.Height) == PowerOfTwo(desc.Height) && r->uScale == 1.0f &&
        r->vScale == 1.0f)
        return;
    const std::int32_t pictureWidth = r->width, pictureHeight = r->height;
    if (width < 1 || height < 1) return; // no texture to make: the image stays as it is
    if (!TextureSizeFits(width, height)) return RaiseRuntimeError(kImageSizeIllegal);
    ComPtr<IDirect3DTexture9> copy(CopyPicture(texture, pictureWidth, pictureHeight));
    if (!copy) return;
    char name[sizeof r->name];
    std::memcpy(name, r->name, sizeof name);
    // Made again under n: the image stays as it is when the new texture cannot be made.
    if (IDirect3DTexture9* fresh = CreateImage(n, width, height, 0, s.format)) {
        CopyWhole(copy, fresh, D3DX_DEFAULT, 0);
        ImageRecord* made = FindImage(n);
        made->width = pictureWidth;
        made->height = pictureHeight;
        made->uScale = made->vScale = 1.0f;
        std::memcpy(made->name, name, sizeof name);
    }
}

void MakeMemblockFromImage(std::int32_t produce, std::int32_t n, std::uint32_t* width,
                           std::uint32_t* height, std::uint32_t* depth, std::uint8_t** data,
                           std::uint32_t* size) {
    if (!produce) {
        if (data && *data) delete[] * data;
        if (data) *data = nullptr;
        return;
    }
    if (size) *size = 0;
    if (data) *data = nullptr;
    ImageRecord* r = FindImage(n);
    IDirect3DTexture9* texture = Texture2D(r);
    if (!texture || !data) return;
    // From here the image exists: a size of 1 without data tells the caller it could not be read.
    if (size) *size = 1;
    D3DSURFACE_DESC desc{};
    if (r->locked || FAILED(texture->GetLevelDesc(0, &desc))) return;
    const std::uint32_t w = std::min<std::uint32_t>(r->width, desc.Width);
    const std::uint32_t h = std::min<std::uint32_t>(r->height, desc.Height);
    const std::uint32_t bytes = static_cast<std::uint32_t>(r->depth) / 8;
    if (width) *width = w;
    if (height) *height = h;
    if (depth) *depth = static_cast<std::uint32_t>(r->depth);
    const std::size_t rowBytes = static_cast<std::size_t>(w) * bytes;
    const std::uint64_t total = std::uint64_t{w} * h * bytes; // no block holds more than INT_MAX
    const RECT area{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
    D3DLOCKED_RECT locked{};
    if (bytes == 0 || total > 0x7FFFFFFF ||
        FAILED(texture->LockRect(0, &locked, &area, D3DLOCK_READONLY)))
        return;
    auto* buffer = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(total)];
    if (buffer) {
        for (std::uint32_t y = 0; y < h; ++y)
            std::memcpy(buffer + y * rowBytes,
                        static_cast<const std::uint8_t*>(locked.pBits) +
                            static_cast<std::size_t>(y) * locked.Pitch,
                        rowBytes);
        *data = buffer;
        if (size) *size = static_cast<std::uint32_t>(total);
    } else {
        RaiseRuntimeError(kMemblockNoMemory); // the block's error: no copy to give
    }
    texture->UnlockRect(0);
}

bool MakeImageFromMemblock(std::int32_t n, std::int32_t width, std::int32_t height,
                           std::int32_t depth, const std::uint8_t* pixels, std::uint32_t size) {
    if (!pixels || (depth != 16 && depth != 32) || !MemblockPixelsFit(width, height, depth, size))
        return false;
    // Refused before the old image goes: a refused block changes nothing.
    if (s.device && !TextureSizeFits(width, height)) {
        RaiseRuntimeError(kImageSizeIllegal);
        return false;
    }
    const D3DFORMAT format = depth == 16 ? D3DFMT_A1R5G5B5 : D3DFMT_A8R8G8B8;
    ImageRecord* r = FindImage(n);
    IDirect3DTexture9* texture = Texture2D(r);
    if (!texture || r->locked || !HoldsPicture(texture, width, height, format)) {
        texture = CreateImage(n, width, height, 0, format); // made again: users keep it
        if (!texture) return false;
    }
    if (!CopyRowsIn(texture, width, height, depth, pixels)) return false;
    // A texture kept may have been recorded with another picture size: it now holds the block's.
    r = FindImage(n);
    r->width = width;
    r->height = height;
    SetScales(*r);
    RefreshSprites();
    return true;
}

void GrabImage(std::int32_t image, std::int32_t left, std::int32_t top, std::int32_t right,
               std::int32_t bottom, std::int32_t mode) {
    if (!CheckItemNumber(image, kImageNumbers)) return;
    if (right <= left || bottom <= top || left < 0 || top < 0)
        return RaiseRuntimeError(kImageSizeIllegal);
    IDirect3DSurface9* target = s.core ? s.core->renderTarget : nullptr;
    D3DSURFACE_DESC desc{};
    if (!target || !s.device || FAILED(target->GetDesc(&desc)))
        return RaiseRuntimeError(kImageSaveFailed);
    if (right > static_cast<std::int32_t>(desc.Width) ||
        bottom > static_cast<std::int32_t>(desc.Height))
        return RaiseRuntimeError(kImageSizeIllegal);
    const std::int32_t width = right - left, height = bottom - top;
    // A render target may be larger than the largest texture (a bitmap's surface).
    if (!TextureSizeFits(width, height)) return RaiseRuntimeError(kImageSizeIllegal);
    const ImageRecord* old = FindImage(image);
    const bool fresh = !Texture2D(old) || old->width != width || old->height != height;
    ComPtr<IDirect3DTexture9> copy(
        CopyFromRenderTarget(target, desc, RECT{left, top, right, bottom}));
    if (!copy) return RaiseRuntimeError(kImageSaveFailed);
    // An image of another size is made again under its number; a failure leaves it as it was.
    if (fresh && !CreateImage(image, width, height, 0, s.format))
        return RaiseRuntimeError(kImageSaveFailed);
    ImageRecord* r = FindImage(image);
    IDirect3DTexture9* texture = Texture2D(r);
    if (!texture) return RaiseRuntimeError(kImageSaveFailed);
    D3DSURFACE_DESC level{};
    texture->GetLevelDesc(0, &level);
    const bool exact = static_cast<std::int32_t>(level.Width) == width &&
                       static_cast<std::int32_t>(level.Height) == height;
    const bool keyed = mode != 2 && mode != 3;
    const DWORD filter = mode == 0 && !exact ? D3DX_DEFAULT : D3DX_FILTER_NONE;
    CopyWhole(copy, texture, filter, keyed ? s.colorKey : 0);
    // A filtered copy stretches the grab over the whole level: the picture covers all of it, and
    // the power-of-two step below must not cut it down to the record's size again.
    if (filter == D3DX_DEFAULT)
        r->uScale = r->vScale = 1.0f;
    else
        SetScales(*r);
    copy.Reset();
    if (mode == 0 || mode == 2) MakeImagePowerOfTwo(image, PowerOfTwo(width), PowerOfTwo(height));
}

HICON LoadImageIcon(const char* fileName) {
    return fileName ? static_cast<HICON>(
                          LoadImageA(nullptr, fileName, IMAGE_ICON, 48, 48, LR_LOADFROMFILE))
                    : nullptr;
}

void FreeImageIcon(HICON icon) {
    if (icon) DestroyIcon(icon);
}
