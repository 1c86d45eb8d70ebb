#include "core/win32.h"

#include "draw2d/draw2d.h"
#include "draw2d/draw2d_work.h"
#include "core/com_ptr.h"
#include "core/core.h"
#include "core/item_keepers.h"
#include "display/display.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

struct LineVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
};
static_assert(sizeof(LineVertex) == 20);

struct ShadedVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
static_assert(sizeof(ShadedVertex) == 28);

constexpr DWORD kLineFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
constexpr DWORD kShadedFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// The lock holds a reference of its own on its surface, and ends when the bitmap that owns the
// surface goes: no pixel is written into a surface that is gone.
struct LockState {
    bool locked = false;
    ComPtr<IDirect3DSurface9> surface;
    std::int32_t pitch = 0;
    std::uint8_t* bits = nullptr;
    std::int32_t width = 0, height = 0;
    std::int32_t bytesPerPixel = 0;
};

struct State {
    CoreData* core = nullptr;
    ComPtr<IDirect3DVertexBuffer9> lineBuffer; // rebuilt with the device
    LockState lock;
    std::int64_t circleSteps = 0; // only counted, for tests
};
State s;

IDirect3DSurface9* Target() {
    return s.core ? s.core->renderTarget : nullptr;
}

std::uint32_t Ink() {
    return s.core ? s.core->inkForeground : 0xFFFFFFFF;
}

void MakeLineBuffer() {
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (!device || s.lineBuffer) return;
    if (FAILED(device->CreateVertexBuffer(2 * sizeof(LineVertex), D3DUSAGE_WRITEONLY, kLineFormat,
                                          D3DPOOL_DEFAULT, s.lineBuffer.PutAddress(), nullptr)))
        s.lineBuffer.Detach(); // a failed call leaves nothing to release
}

void ReleaseLineBuffer() {
    s.lineBuffer.Reset();
}

// A keeper of the bitmaps' surfaces: a bitmap deleted or made again ends a lock of its surface.
// Later pixel commands lock whatever is drawn into then.
void LetGoOfBitmap(const ItemNotice& notice) {
    if (s.lock.locked && notice.before == s.lock.surface.Get()) Basic2DUnlockBackBuffer();
}

// The most bytes a lock may span: what a 32-bit process can address. A surface whose pitch times
// height passes it has a size the platform wrapped, over fewer bytes than it claims.
constexpr std::int64_t kLargestLockBytes = 0x7FFFFFFF;

// Whether the locked rows hold the pixels the surface claims, in 64 bits.
bool LockHolds(const D3DSURFACE_DESC& desc, const D3DLOCKED_RECT& locked) {
    const std::int64_t row = std::int64_t{desc.Width} * (SurfaceFormatBits(desc.Format) / 8);
    return locked.pBits && locked.Pitch >= row &&
           std::int64_t{locked.Pitch} * desc.Height <= kLargestLockBytes;
}

// Locks the render target unless it is locked already; true when this call took the lock.
bool LockForPixels() {
    if (s.lock.locked) return false;
    Basic2DLockBackBuffer();
    return s.lock.locked;
}

// Pixels the pixel commands may touch across and down: the locked surface, and on the back
// buffer the display's size too. 0 while unlocked.
std::int64_t ExtentX() {
    if (!s.lock.locked) return 0;
    // The display size bounds the back buffer; a separate drawing surface has its own size.
    if (s.core && !s.core->drawingSurface) return std::min(s.lock.width, s.core->displayWidth);
    return s.lock.width;
}
std::int64_t ExtentY() {
    if (!s.lock.locked) return 0;
    if (s.core && !s.core->drawingSurface) return std::min(s.lock.height, s.core->displayHeight);
    return s.lock.height;
}

bool InBounds(std::int64_t x, std::int64_t y) {
    return x >= 0 && y >= 0 && x < ExtentX() && y < ExtentY();
}

void WritePixel(std::int64_t x, std::int64_t y, std::uint32_t colour) {
    if (!InBounds(x, y)) return;
    std::uint8_t* row = s.lock.bits + static_cast<std::ptrdiff_t>(y) * s.lock.pitch;
    if (s.lock.bytesPerPixel == 2) {
        reinterpret_cast<std::uint16_t*>(row)[x] =
            static_cast<std::uint16_t>(Rgb565(RgbRed(colour), RgbGreen(colour), RgbBlue(colour)));
    } else if (s.lock.bytesPerPixel == 4) {
        reinterpret_cast<std::uint32_t*>(row)[x] = colour;
    }
}

// Centres and offsets in 64 bits: a centre near the 32-bit limit plus a radius must not wrap.
void PlotEight(std::int64_t cx, std::int64_t cy, std::int64_t x, std::int64_t y, std::uint32_t c) {
    WritePixel(cx + x, cy + y, c);
    WritePixel(cx - x, cy + y, c);
    WritePixel(cx + x, cy - y, c);
    WritePixel(cx - x, cy - y, c);
    WritePixel(cx + y, cy + x, c);
    WritePixel(cx - y, cy + x, c);
    WritePixel(cx + y, cy - x, c);
    WritePixel(cx - y, cy - x, c);
}

void PlotFour(std::int64_t cx, std::int64_t cy, std::int64_t x, std::int64_t y, std::uint32_t c) {
    WritePixel(cx + x, cy + y, c);
    WritePixel(cx - x, cy + y, c);
    WritePixel(cx + x, cy - y, c);
    WritePixel(cx - x, cy - y, c);
}

// The distances from a centre at which a row or column of pixels 0..size-1 lies: low to high.
struct Reach {
    std::int64_t low, high;
};
Reach ReachOf(std::int64_t centre, std::int64_t size) {
    const std::int64_t first = -centre, last = size - 1 - centre;
    if (size <= 0) return {1, 0};
    if (first > 0) return {first, last};
    if (last < 0) return {-last, -first};
    return {0, std::max(-first, last)};
}

// The midpoint walk of a circle of radius r (d = 1 - r; while r > x: d >= 0 ? d += 2(x - r),
// r -= 1 : d += 2x; x += 1) keeps d = x^2 - x + y^2 + y + 1 - 2r - r^2 at each point (x, y), so
// the y it reaches at column x >= 1 is the largest with that value below 0 at column x - 1. In
// 64 bits: r^2 fits for any 32-bit radius.
std::int64_t CircleY(std::int64_t r, std::int64_t x) {
    if (x == 0) return r;
    const std::int64_t k = r * r + 2 * r - 1 - (x - 1) * (x - 1) + (x - 1);
    // Single precision under the device: one step of Newton's method brings it within one.
    auto y =
        static_cast<std::int64_t>(std::sqrt(static_cast<double>(std::max<std::int64_t>(k, 1))));
    y = (y + k / y) / 2;
    while (y > 0 && y * y + y >= k)
        --y;
    while ((y + 1) * (y + 1) + (y + 1) < k)
        ++y;
    return y;
}

// The column at which the walk ends: the first whose y is not above it.
std::int64_t CircleLastColumn(std::int64_t r) {
    std::int64_t low = 0, high = r;
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        if (CircleY(r, middle) <= middle)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

void SetShadedBoxStates(IDirect3DDevice9* device) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
    device->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, FALSE);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    device->SetVertexShader(nullptr);
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
}

} // namespace

void Basic2DConstructor(HMODULE) {
    s.lock = LockState{};
    AddItemKeeper(ItemOwner::Bitmap, LetGoOfBitmap);
    MakeLineBuffer();
}

void Basic2DDestructor() {
    RemoveItemKeeper(ItemOwner::Bitmap, LetGoOfBitmap);
    Basic2DUnlockBackBuffer();
    ReleaseLineBuffer();
}

void Basic2DSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}
void Basic2DPassCoreData(CoreData* core) {
    s.core = core;
}

void Basic2DRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        Basic2DUnlockBackBuffer();
        ReleaseLineBuffer();
    } else if (mode == 1) {
        MakeLineBuffer();
    }
}

void ClearScreen(std::uint32_t colour) {
    if (s.core) s.core->printCursorX = s.core->printCursorY = 0;
    if (IDirect3DDevice9* device = GetDirect3DDevice())
        device->Clear(0, nullptr, D3DCLEAR_TARGET, colour, 1.0f, 0);
}

void SetInk(std::uint32_t foreground, std::uint32_t background) {
    if (!s.core) return;
    s.core->inkForeground = foreground;
    s.core->inkBackground = background;
}

void FillBox(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (!device || left >= right || top >= bottom) return;
    const D3DRECT box{left, top, right, bottom};
    device->Clear(1, &box, D3DCLEAR_TARGET, Ink(), 1.0f, 0);
}

void DrawLine2D(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (!device || !s.lineBuffer) return;
    void* data = nullptr;
    if (FAILED(s.lineBuffer->Lock(0, 0, &data, 0))) return;
    auto* v = static_cast<LineVertex*>(data);
    v[0] = LineVertex{static_cast<float>(x1), static_cast<float>(y1), 0.0f, 1.0f, Ink()};
    v[1] = LineVertex{static_cast<float>(x2), static_cast<float>(y2), 0.0f, 1.0f, Ink()};
    s.lineBuffer->Unlock();
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    device->SetVertexShader(nullptr);
    device->SetFVF(kLineFormat);
    device->SetStreamSource(0, s.lineBuffer, 0, sizeof(LineVertex));
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    device->DrawPrimitive(D3DPT_LINELIST, 0, 1);
}

void DrawDot(std::int32_t x, std::int32_t y) {
    const bool tookLock = LockForPixels();
    WritePixel(x, y, Ink());
    if (tookLock) Basic2DUnlockBackBuffer();
}

void DrawCircle(std::int32_t centreX, std::int32_t centreY, std::int32_t radius) {
    const bool tookLock = LockForPixels();
    const std::uint32_t ink = Ink();
    const std::int64_t r = std::abs(std::int64_t{radius});
    const std::int64_t last = CircleLastColumn(r);
    // A column x plots at offsets x and y(x); a point shows only where both offsets reach the
    // display, so only columns within either reach need a visit.
    Reach a = ReachOf(centreX, ExtentX()), b = ReachOf(centreY, ExtentY());
    a.high = std::min(a.high, last);
    b.high = std::min(b.high, last);
    if (b.low < a.low) std::swap(a, b);
    const auto visit = [&](std::int64_t x) {
        ++s.circleSteps;
        PlotEight(centreX, centreY, x, CircleY(r, x), ink);
    };
    for (std::int64_t x = a.low; x <= a.high; ++x)
        visit(x);
    for (std::int64_t x = std::max(b.low, a.high + 1); x <= b.high; ++x)
        visit(x);
    if (tookLock) Basic2DUnlockBackBuffer();
}

void DrawEllipse(std::int32_t centreX, std::int32_t centreY, std::int32_t radiusX,
                 std::int32_t radiusY) {
    const bool tookLock = LockForPixels();
    const std::uint32_t ink = Ink();
    std::int64_t lastX = -1, lastY = -1;
    // Angles up to 2 radians, past a quarter turn; the four symmetric points cover the rest.
    // The device leaves the processor's floating point at single precision, where the product
    // may round past the radius (and 32 bits): held to it, in 64 bits.
    const std::int64_t rx = std::abs(std::int64_t{radiusX}), ry = std::abs(std::int64_t{radiusY});
    for (int step = 0; step < 2000; ++step) {
        const double a = step * 0.001;
        const auto x = std::clamp(static_cast<std::int64_t>(std::sin(a) * radiusX), -rx, rx);
        const auto y = std::clamp(static_cast<std::int64_t>(std::cos(a) * radiusY), -ry, ry);
        if (x == lastX && y == lastY) continue;
        PlotFour(centreX, centreY, x, y, ink);
        lastX = x;
        lastY = y;
    }
    if (tookLock) Basic2DUnlockBackBuffer();
}

std::uint32_t GetPixelColour(std::int32_t x, std::int32_t y) {
    const bool tookLock = LockForPixels();
    std::uint32_t colour = 0;
    if (InBounds(x, y)) {
        const std::uint8_t* row = s.lock.bits + static_cast<std::ptrdiff_t>(y) * s.lock.pitch;
        if (s.lock.bytesPerPixel == 2) {
            const std::uint16_t p = reinterpret_cast<const std::uint16_t*>(row)[x];
            const auto red = static_cast<std::uint32_t>(std::min((p >> 11) * 8.3, 255.0));
            const auto green = static_cast<std::uint32_t>(std::min(((p >> 5) & 63) * 4.1, 255.0));
            const auto blue = static_cast<std::uint32_t>(std::min((p & 31) * 8.3, 255.0));
            colour = 0xFF000000u | red << 16 | green << 8 | blue;
        } else if (s.lock.bytesPerPixel == 4) {
            colour = reinterpret_cast<const std::uint32_t*>(row)[x];
        }
    }
    if (tookLock) Basic2DUnlockBackBuffer();
    return colour;
}

void DrawShadedBox(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                   std::uint32_t topLeft, std::uint32_t topRight, std::uint32_t bottomLeft,
                   std::uint32_t bottomRight) {
    IDirect3DDevice9* device = GetDirect3DDevice();
    if (!device) return;
    ComPtr<IDirect3DVertexBuffer9> buffer;
    if (FAILED(device->CreateVertexBuffer(4 * sizeof(ShadedVertex), D3DUSAGE_WRITEONLY,
                                          kShadedFormat, D3DPOOL_DEFAULT, buffer.PutAddress(),
                                          nullptr)))
        return;
    void* data = nullptr;
    if (SUCCEEDED(buffer->Lock(0, 0, &data, 0))) {
        const auto l = static_cast<float>(left), t = static_cast<float>(top);
        const auto r = static_cast<float>(right), b = static_cast<float>(bottom);
        auto* v = static_cast<ShadedVertex*>(data);
        v[0] = ShadedVertex{l, t, 10.0f, 1.0f, topLeft, 0, 0};
        v[1] = ShadedVertex{r, t, 10.0f, 1.0f, topRight, 0, 0};
        v[2] = ShadedVertex{l, b, 10.0f, 1.0f, bottomLeft, 0, 0};
        v[3] = ShadedVertex{r, b, 10.0f, 1.0f, bottomRight, 0, 0};
        buffer->Unlock();
        SetShadedBoxStates(device);
        device->SetFVF(kShadedFormat);
        device->SetStreamSource(0, buffer, 0, sizeof(ShadedVertex));
        device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        device->SetStreamSource(0, nullptr, 0, 0);
    }
}

void CopyScreenArea(std::int32_t destinationX, std::int32_t destinationY, std::int32_t width,
                    std::int32_t height, std::int32_t sourceX, std::int32_t sourceY) {
    IDirect3DDevice9* device = GetDirect3DDevice();
    IDirect3DSurface9* target = Target();
    if (!device || !target || width <= 0 || height <= 0) return;
    D3DSURFACE_DESC desc{};
    if (FAILED(target->GetDesc(&desc))) return;
    // In 64 bits: a position near the 32-bit limit plus a size must not wrap into the surface.
    const std::int64_t w = desc.Width, h = desc.Height;
    const std::int64_t left = std::max<std::int64_t>(0, sourceX);
    const std::int64_t top = std::max<std::int64_t>(0, sourceY);
    std::int64_t columns = std::min(w, std::int64_t{sourceX} + width) - left;
    std::int64_t rows = std::min(h, std::int64_t{sourceY} + height) - top;
    columns = std::min(columns, w - destinationX);
    rows = std::min(rows, h - destinationY);
    if (destinationX < 0 || destinationY < 0 || columns <= 0 || rows <= 0) return;
    const RECT source{static_cast<LONG>(left), static_cast<LONG>(top),
                      static_cast<LONG>(left + columns), static_cast<LONG>(top + rows)};
    const RECT destination{destinationX, destinationY, static_cast<LONG>(destinationX + columns),
                           static_cast<LONG>(destinationY + rows)};
    // Through a copy of the whole target, so that overlapping areas are safe.
    ComPtr<IDirect3DSurface9> copy;
    if (FAILED(device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE,
                                          0, TRUE, copy.PutAddress(), nullptr)))
        return;
    if (SUCCEEDED(device->StretchRect(target, nullptr, copy, nullptr, D3DTEXF_NONE)))
        device->StretchRect(copy, &source, target, &destination, D3DTEXF_NONE);
}

void Basic2DLockBackBuffer() {
    if (s.lock.locked) return;
    IDirect3DSurface9* target = Target();
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    if (!target || FAILED(target->GetDesc(&desc)) || FAILED(target->LockRect(&locked, nullptr, 0)))
        return;
    if (!LockHolds(desc, locked)) {
        target->UnlockRect();
        return;
    }
    target->AddRef();
    s.lock.locked = true;
    s.lock.surface.Reset(target);
    s.lock.pitch = locked.Pitch;
    s.lock.bits = static_cast<std::uint8_t*>(locked.pBits);
    s.lock.width = static_cast<std::int32_t>(desc.Width);
    s.lock.height = static_cast<std::int32_t>(desc.Height);
    // Read from the surface at hand: a bitmap may have taken the back buffer's place.
    s.lock.bytesPerPixel = SurfaceFormatBits(desc.Format) / 8;
}

void Basic2DUnlockBackBuffer() {
    if (!s.lock.locked) return;
    s.lock.surface->UnlockRect();
    s.lock = LockState{};
}

std::int64_t CircleStepsTaken() {
    return s.circleSteps;
}

void* GetBackBufferPtr() {
    return s.lock.bits;
}
std::int32_t Basic2DGetBackBufferPitch() {
    return s.lock.pitch;
}

std::uint32_t MakeRgb(std::int32_t red, std::int32_t green, std::int32_t blue) {
    return 0xFF000000u + static_cast<std::uint32_t>(red & 0xFF) * 65536u +
           static_cast<std::uint32_t>(green & 0xFF) * 256u +
           static_cast<std::uint32_t>(blue & 0xFF);
}

std::int32_t RgbRed(std::uint32_t colour) {
    return static_cast<std::int32_t>((colour >> 16) & 0xFF);
}
std::int32_t RgbGreen(std::uint32_t colour) {
    return static_cast<std::int32_t>((colour >> 8) & 0xFF);
}
std::int32_t RgbBlue(std::uint32_t colour) {
    return static_cast<std::int32_t>(colour & 0xFF);
}

std::int32_t Rgb565(std::int32_t red, std::int32_t green, std::int32_t blue) {
    return ((red & 0xFF) >> 3) << 11 | ((green & 0xFF) >> 2) << 5 | ((blue & 0xFF) >> 3);
}
