#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "bitmap/bitmap_state.h"
#include "core/core.h"
#include "core/item_keepers.h"
#include "display/display.h"

#include <utility>

BitmapState g_Bitmap;

namespace {

BitmapState& s = g_Bitmap;

constexpr D3DFORMAT kDepthCandidates[] = {
    static_cast<D3DFORMAT>(75), static_cast<D3DFORMAT>(20), static_cast<D3DFORMAT>(21),
    static_cast<D3DFORMAT>(22), static_cast<D3DFORMAT>(23), static_cast<D3DFORMAT>(24),
    static_cast<D3DFORMAT>(25), static_cast<D3DFORMAT>(26), static_cast<D3DFORMAT>(27),
    static_cast<D3DFORMAT>(28), static_cast<D3DFORMAT>(29), static_cast<D3DFORMAT>(30),
    static_cast<D3DFORMAT>(40), static_cast<D3DFORMAT>(41), static_cast<D3DFORMAT>(50),
    static_cast<D3DFORMAT>(51), static_cast<D3DFORMAT>(52), static_cast<D3DFORMAT>(60),
    static_cast<D3DFORMAT>(61), static_cast<D3DFORMAT>(62), static_cast<D3DFORMAT>(63),
    static_cast<D3DFORMAT>(64), static_cast<D3DFORMAT>(70), static_cast<D3DFORMAT>(71),
    static_cast<D3DFORMAT>(73), static_cast<D3DFORMAT>(80), static_cast<D3DFORMAT>(77),
    static_cast<D3DFORMAT>(79)};

// The first candidate that the device accepts as a depth buffer beside the back buffer.
D3DFORMAT ChooseDepthFormat(D3DFORMAT backBuffer) {
    if (!s.d3d) return D3DFMT_UNKNOWN;
    for (D3DFORMAT f : kDepthCandidates) {
        if (SUCCEEDED(s.d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, backBuffer, D3DUSAGE_DEPTHSTENCIL,
                                               D3DRTYPE_SURFACE, f)) &&
            SUCCEEDED(s.d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, backBuffer, backBuffer, f)))
            return f;
    }
    return D3DFMT_UNKNOWN;
}

std::int32_t SurfaceBits(IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc{};
    if (!surface || FAILED(surface->GetDesc(&desc))) return 0;
    return SurfaceFormatBits(desc.Format);
}

void TellKeepers(ItemChange change, std::int32_t n, IDirect3DSurface9* before,
                 IDirect3DSurface9* after) {
    TellItemKeepers(ItemOwner::Bitmap, {change, n, before, after});
}

// Drawing goes back to the screen and the keepers let go before any surface is released.
void DeleteAll() {
    if (s.currentNumber != 0) PointDrawingAt(0);
    for (const IdListNode* node = s.bitmaps.List().first; node; node = node->next)
        if (const auto* r = static_cast<const BitmapRecord*>(node->data); r && r->surface)
            TellKeepers(ItemChange::Deleted, node->id, r->surface, nullptr);
    s.bitmaps.DeleteAll();
    s.current = nullptr;
    s.currentNumber = 0;
}

// Bitmap 0 stands for the back buffer: a record with its size and no surfaces of its own.
void SetUpScreenBitmap() {
    D3DSURFACE_DESC desc{};
    if (!s.core->savedRenderTarget || FAILED(s.core->savedRenderTarget->GetDesc(&desc))) return;
    s.format = desc.Format;
    s.bits = SurfaceFormatBits(desc.Format);
    s.bytesPerPixel = s.bits / 8;
    s.depthFormat = ChooseDepthFormat(desc.Format);
    BitmapRecord r;
    r.width = s.core->displayWidth;
    r.height = s.core->displayHeight;
    r.depth = SurfaceBits(s.core->renderTarget);
    s.bitmaps.Add(std::move(r), 0);
}

// The sides the device makes surfaces of: its largest texture's, or a common limit without caps.
void LargestSides(std::int64_t& width, std::int64_t& height) {
    constexpr std::int64_t kWithoutCaps = 4096;
    D3DCAPS9 caps{};
    width = height = kWithoutCaps;
    if (!s.device || FAILED(s.device->GetDeviceCaps(&caps))) return;
    width = caps.MaxTextureWidth;
    height = caps.MaxTextureHeight;
}

// Whether the device made the surface at the size asked for, so that it holds what is recorded.
bool SurfaceIs(IDirect3DSurface9* surface, std::int32_t width, std::int32_t height) {
    D3DSURFACE_DESC desc{};
    return surface && SUCCEEDED(surface->GetDesc(&desc)) &&
           desc.Width == static_cast<UINT>(width) && desc.Height == static_cast<UINT>(height);
}

void Connect() {
    s.device = GetDirect3DDevice();
    if (!s.device || !s.core) return;
    s.device->GetDirect3D(s.d3d.PutAddress());
    SetUpScreenBitmap();
    SetCurrentBitmap(0);
}

std::int32_t Field(std::int32_t n, std::int32_t BitmapRecord::*field) {
    const BitmapRecord* r = FindBitmap(n);
    return r ? r->*field : 0;
}

bool ValidMadeNumber(std::int32_t n) {
    return CheckItemNumber(n, {1, kBitmapMaxNumber, kBitmapNumberIllegal, kBitmapMissing});
}

} // namespace

bool ValidBitmapNumber(std::int32_t n) {
    return CheckItemNumber(n, kBitmapNumbers);
}

BitmapRecord* FindBitmap(std::int32_t n) {
    return CheckedItem(n, kBitmapNumbers,
                       [](std::int32_t id) { return s.current = s.bitmaps.Get(id); });
}

IDirect3DSurface9* BitmapSurface(std::int32_t n, const BitmapRecord* r) {
    if (n == 0) return s.core ? s.core->savedRenderTarget : nullptr;
    return r ? r->surface.Get() : nullptr;
}

bool BitmapSizeFits(std::int64_t width, std::int64_t height) {
    std::int64_t widest = 0, tallest = 0;
    LargestSides(widest, tallest);
    if (width < 1 || height < 1 || width > widest || height > tallest) return false;
    // Four bytes a pixel at most in each surface; both sides are below 2^31 here.
    return width * height <= kLargestBitmapBytes / 8;
}

IDirect3DSurface9* MakeLockableTarget(std::int32_t width, std::int32_t height, D3DFORMAT format) {
    ComPtr<IDirect3DSurface9> surface;
    if (!s.device || !BitmapSizeFits(width, height)) return nullptr;
    if (FAILED(s.device->CreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, 0, TRUE,
                                            surface.PutAddress(), nullptr))) {
        surface.Detach(); // a failed call leaves nothing to release
        return nullptr;
    }
    return SurfaceIs(surface, width, height) ? surface.Detach() : nullptr;
}

// A depth surface beside a bitmap of that size; null when no format fits or none is made.
static IDirect3DSurface9* MakeDepthSurface(std::int32_t width, std::int32_t height) {
    ComPtr<IDirect3DSurface9> depth;
    if (!s.device || s.depthFormat == D3DFMT_UNKNOWN) return nullptr;
    if (FAILED(s.device->CreateDepthStencilSurface(width, height, s.depthFormat,
                                                   D3DMULTISAMPLE_NONE, 0, TRUE, depth.PutAddress(),
                                                   nullptr))) {
        depth.Detach(); // a failed call leaves nothing to release
        return nullptr;
    }
    return SurfaceIs(depth, width, height) ? depth.Detach() : nullptr;
}

BitmapRecord* MakeBitmapRecord(std::int32_t n, std::int32_t width, std::int32_t height,
                               D3DFORMAT format) {
    BitmapRecord r;
    r.surface.Reset(MakeLockableTarget(width, height, format));
    if (!r.surface) {
        ReportInternalError("Failed to create new bitmap");
        return nullptr;
    }
    r.depthSurface.Reset(MakeDepthSurface(width, height));
    r.width = width;
    r.height = height;
    r.depth = s.bits;
    BitmapRecord* old = s.bitmaps.Get(n);
    if (!old) {
        // On failure the store releases the new surfaces; nothing else changed.
        BitmapRecord* added = s.bitmaps.Add(std::move(r), n);
        if (!added) ReportInternalError("Failed to create new bitmap");
        return added;
    }
    // The old record takes the new surfaces where it stands, which needs no memory; drawing and
    // the keepers let go of the old surfaces first, as for a delete.
    IDirect3DSurface9* before = old->surface;
    PointDrawingAt(0);
    if (before) TellKeepers(ItemChange::Deleted, n, before, nullptr);
    s.current = nullptr;
    IDirect3DSurface9* after = r.surface;
    *old = std::move(r);
    if (before) TellKeepers(ItemChange::Remade, n, before, after);
    return old;
}

void PointDrawingAt(std::int32_t n) {
    const BitmapRecord* r = s.bitmaps.Get(n);
    if (!s.core) return;
    IDirect3DSurface9* target = n > 0 && r ? r->surface : s.core->savedRenderTarget;
    IDirect3DSurface9* depth = n > 0 && r ? r->depthSurface : s.core->savedDepthSurface;
    if (s.device && target) {
        s.device->SetRenderTarget(0, target);
        s.device->SetDepthStencilSurface(depth);
    }
    s.core->renderTarget = target;
    // The 2D drawing bounds a bitmap by its own size rather than the display's.
    s.core->drawingSurface = n > 0 ? target : nullptr;
    s.currentNumber = n;
}

void RemoveBitmap(std::int32_t n) {
    PointDrawingAt(0);
    if (const BitmapRecord* r = s.bitmaps.Get(n); r && r->surface)
        TellKeepers(ItemChange::Deleted, n, r->surface, nullptr);
    s.bitmaps.Delete(n);
    s.current = nullptr;
}

void BitmapConstructor(HINSTANCE) {}

void BitmapDestructor() {
    DeleteAll();
    s.d3d.Reset();
    s.device = nullptr;
}

void BitmapSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void BitmapPassCoreData(CoreData* core) {
    s.core = core;
    Connect();
}

void BitmapRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        BitmapDestructor();
    } else if (mode == 1) {
        Connect();
    }
}

void CreateBitmap(std::int32_t n, std::int32_t width, std::int32_t height) {
    if (!ValidMadeNumber(n)) return;
    // A size refused, or surfaces the device would not make, leave the old bitmap of n as it was.
    if (!MakeBitmapRecord(n, width, height, s.format)) return RaiseRuntimeError(kBitmapNotMade);
    SetCurrentBitmap(n);
    if (s.device) s.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
}

void DeleteBitmap(std::int32_t n) {
    if (!ValidMadeNumber(n) || !FindBitmap(n)) return;
    RemoveBitmap(n);
}

void SetCurrentBitmap(std::int32_t n) {
    if (!FindBitmap(n)) return;
    PointDrawingAt(n);
}

std::int32_t GetCurrentBitmap() {
    return s.currentNumber;
}

std::int32_t BitmapExist(std::int32_t n) {
    if (!ValidBitmapNumber(n)) return 0;
    return s.bitmaps.Get(n) ? 1 : 0;
}

std::int32_t GetBitmapWidth(std::int32_t n) {
    return Field(n, &BitmapRecord::width);
}
std::int32_t GetBitmapHeight(std::int32_t n) {
    return Field(n, &BitmapRecord::height);
}
std::int32_t GetBitmapDepth(std::int32_t n) {
    return Field(n, &BitmapRecord::depth);
}
std::int32_t BitmapMirrored(std::int32_t n) {
    return Field(n, &BitmapRecord::mirrored);
}
std::int32_t BitmapFlipped(std::int32_t n) {
    return Field(n, &BitmapRecord::flipped);
}

std::int32_t BitmapExist() {
    return BitmapExist(s.currentNumber);
}
std::int32_t GetBitmapWidth() {
    return GetBitmapWidth(s.currentNumber);
}
std::int32_t GetBitmapHeight() {
    return GetBitmapHeight(s.currentNumber);
}
std::int32_t GetBitmapDepth() {
    return GetBitmapDepth(s.currentNumber);
}
std::int32_t BitmapMirrored() {
    return BitmapMirrored(s.currentNumber);
}
std::int32_t BitmapFlipped() {
    return BitmapFlipped(s.currentNumber);
}
