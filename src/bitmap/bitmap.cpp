#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "bitmap/bitmap_state.h"
#include "core/core.h"
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

void FreeSurfaces(BitmapRecord& r) {
    r.surface.Reset();
    r.depthSurface.Reset();
}

void DeleteAll() {
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
    BitmapRecord* r = MakeBitmapRecord(0, s.core->displayWidth, s.core->displayHeight, s.format);
    if (!r) return;
    FreeSurfaces(*r);
    r->depth = SurfaceBits(s.core->renderTarget);
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

IDirect3DSurface9* MakeLockableTarget(std::int32_t width, std::int32_t height, D3DFORMAT format) {
    IDirect3DSurface9* surface = nullptr;
    if (!s.device || width < 1 || height < 1) return nullptr;
    if (FAILED(s.device->CreateRenderTarget(width, height, format, D3DMULTISAMPLE_NONE, 0, TRUE,
                                            &surface, nullptr)))
        return nullptr;
    return surface;
}

BitmapRecord* MakeBitmapRecord(std::int32_t n, std::int32_t width, std::int32_t height,
                               D3DFORMAT format) {
    BitmapRecord r;
    r.surface.Reset(MakeLockableTarget(width, height, format));
    if (!r.surface) {
        ReportInternalError("Failed to create new bitmap");
        return nullptr;
    }
    if (s.depthFormat != D3DFMT_UNKNOWN && FAILED(s.device->CreateDepthStencilSurface(
                                               width, height, s.depthFormat, D3DMULTISAMPLE_NONE, 0,
                                               TRUE, r.depthSurface.PutAddress(), nullptr)))
        r.depthSurface.Detach(); // a failed call leaves nothing to release
    r.width = width;
    r.height = height;
    r.depth = s.bits;
    // The old record of n, and on failure the new surfaces, are released by the store.
    BitmapRecord* added = s.bitmaps.Add(std::move(r), n);
    if (!added) ReportInternalError("Failed to create new bitmap");
    return added;
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
    s.bitmaps.Delete(n);
    s.current = nullptr;
    PointDrawingAt(0);
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
    if (s.bitmaps.Get(n)) RemoveBitmap(n);
    if (!MakeBitmapRecord(n, width, height, s.format)) return;
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
