#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "bitmap/bitmap_pixels.h"
#include "bitmap/bitmap_state.h"
#include "core/core.h"
#include "core/mapped_file.h"
#include "core/media.h"
#include "display/display.h"
#include "image/picture_check.h"
#include "image/picture_header.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

BitmapState& s = g_Bitmap;

constexpr UINT kLargestImage = 16384; // the device's texture limit; a larger header is hostile

struct SurfaceSize {
    std::int32_t width = 0, height = 0, bytesPerPixel = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
};

SurfaceSize SizeOf(IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc{};
    if (!surface || FAILED(surface->GetDesc(&desc))) return {};
    return {static_cast<std::int32_t>(desc.Width), static_cast<std::int32_t>(desc.Height),
            SurfaceFormatBits(desc.Format) / 8, desc.Format};
}

// Locks a surface for the holder's lifetime.
struct SurfaceLock {
    explicit SurfaceLock(IDirect3DSurface9* surface, DWORD flags = 0) : surface(surface) {
        if (surface && SUCCEEDED(surface->LockRect(&rect, nullptr, flags)))
            bits = static_cast<std::uint8_t*>(rect.pBits);
    }
    ~SurfaceLock() {
        if (bits) surface->UnlockRect();
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;
    std::uint8_t* Row(std::int32_t y) const {
        return bits + static_cast<std::ptrdiff_t>(y) * rect.Pitch;
    }
    IDirect3DSurface9* surface;
    D3DLOCKED_RECT rect{};
    std::uint8_t* bits = nullptr;
};

void Stretch(IDirect3DSurface9* from, const RECT& fromRect, IDirect3DSurface9* to,
             const RECT& toRect) {
    if (s.device && from && to) s.device->StretchRect(from, &fromRect, to, &toRect, D3DTEXF_NONE);
}

// The file decoded into a new lockable target of the given size; null unless the decoder reports
// the picture at that size.
IDirect3DSurface9* DecodeInto(const char* name, UINT width, UINT height, D3DFORMAT format) {
    ComPtr<IDirect3DSurface9> surface(MakeLockableTarget(
        static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), format));
    D3DXIMAGE_INFO found{};
    if (!surface ||
        FAILED(D3DXLoadSurfaceFromFileA(surface, nullptr, nullptr, name, nullptr, D3DX_FILTER_NONE,
                                        0, &found)) ||
        found.Width != width || found.Height != height)
        return nullptr;
    return surface.Detach();
}

// Reads the file into a new lockable target of its own size; null when it is no picture. What the
// picture makes, that target and the bitmap, is charged before the decoder sees it. The size comes
// from the header where it can be read, so that the picture is decoded once (a probe decodes it
// too); else from a probe.
IDirect3DSurface9* LoadFileSurface(const char* name, const MappedFile& file, D3DFORMAT format,
                                   std::uint32_t surfaces) {
    PictureUse use;
    use.surfaces = surfaces;
    use.decodedSurfaces = true;
    if (!file.Ok() || !CheckPictureBytes(name, file.Bytes(), file.FileSize()) ||
        !ChargeLoad(PictureLoadBytes(name, file.Bytes(), file.FileSize(), use)))
        return nullptr;
    PictureHeader header;
    if (file.Bytes().size == file.FileSize() && ReadPictureHeader(name, file.Bytes(), header))
        if (IDirect3DSurface9* surface = DecodeInto(name, header.width, header.height, format))
            return surface;
    D3DXIMAGE_INFO info{};
    if (FAILED(D3DXGetImageInfoFromFileA(name, &info)) || info.Width < 1 || info.Height < 1 ||
        info.Width > kLargestImage || info.Height > kLargestImage)
        return nullptr;
    return DecodeInto(name, info.Width, info.Height, format);
}

// Puts the loaded picture into bitmap n: a new bitmap takes its size, an existing one keeps its
// own.
bool PlaceLoadedImage(std::int32_t n, IDirect3DSurface9* image) {
    const SurfaceSize from = SizeOf(image);
    BitmapRecord* r = s.bitmaps.Get(n);
    if (!r) {
        r = MakeBitmapRecord(n, from.width, from.height, s.format);
        if (!r) return false;
        r->depth = SizeOf(r->surface).bytesPerPixel * 8;
    }
    IDirect3DSurface9* target = BitmapSurface(n, r);
    const SurfaceSize to = SizeOf(target);
    const RECT area{0, 0, std::min(from.width, to.width), std::min(from.height, to.height)};
    Stretch(image, area, target, area);
    return true;
}

// One axis of a 1:1 copy: moves both starts past negative positions and trims the length to
// both surfaces. The length that remains, 0 or less when nothing is left. In 64 bits: a caller's
// rectangle may reach from one 32-bit limit to the other.
std::int64_t ClipAxis(std::int64_t& from, std::int64_t& to, std::int64_t length,
                      std::int64_t fromSize, std::int64_t toSize) {
    if (from < 0) {
        to -= from;
        length += from;
        from = 0;
    }
    if (to < 0) {
        from -= to;
        length += to;
        to = 0;
    }
    length = std::min(length, fromSize - from);
    return std::min(length, toSize - to);
}

void CopyOneToOne(IDirect3DSurface9* from, RECT src, IDirect3DSurface9* to, RECT dst) {
    const SurfaceSize a = SizeOf(from), b = SizeOf(to);
    std::int64_t sx = src.left, sy = src.top, dx = dst.left, dy = dst.top;
    const std::int64_t w = ClipAxis(sx, dx, std::int64_t{src.right} - src.left, a.width, b.width);
    const std::int64_t h = ClipAxis(sy, dy, std::int64_t{src.bottom} - src.top, a.height, b.height);
    if (w <= 0 || h <= 0) return;
    // Inside both surfaces now, so every edge fits 32 bits.
    const auto edge = [](std::int64_t v) { return static_cast<LONG>(v); };
    Stretch(from, RECT{edge(sx), edge(sy), edge(sx + w), edge(sy + h)}, to,
            RECT{edge(dx), edge(dy), edge(dx + w), edge(dy + h)});
}

void CopyPixel(const std::uint8_t* from, std::uint8_t* to, std::int32_t bytes) {
    std::memcpy(to, from, static_cast<std::size_t>(bytes));
}

// The source pixel a destination pixel takes on one axis: the start plus the truncated scaled
// distance, in 64 bits; -1 when that lies off the source.
std::int64_t SourceAt(std::int64_t at, std::int64_t dstStart, std::int64_t srcStart, double ratio,
                      std::int64_t srcSize) {
    const double offset = static_cast<double>(at - dstStart) * ratio; // never negative
    if (offset >= 4294967296.0) return -1;
    const std::int64_t source = srcStart + static_cast<std::int64_t>(offset);
    return source >= 0 && source < srcSize ? source : -1;
}

// Nearest-pixel scaling; destination pixels whose source lies off the surface stay as they were.
// Widths and positions in 64 bits: a caller's rectangle may span more than 32 bits hold.
void CopyScaled(IDirect3DSurface9* from, const RECT& src, IDirect3DSurface9* to, const RECT& dst) {
    const SurfaceSize a = SizeOf(from), b = SizeOf(to);
    const std::int32_t bpp = a.bytesPerPixel;
    if (bpp != b.bytesPerPixel || (bpp != 2 && bpp != 4)) return;
    const auto span = [](LONG low, LONG high) {
        return static_cast<double>(std::int64_t{high} - low);
    };
    const double rx = span(src.left, src.right) / span(dst.left, dst.right);
    const double ry = span(src.top, src.bottom) / span(dst.top, dst.bottom);
    SurfaceLock in(from, D3DLOCK_READONLY), out(to);
    if (!in.bits || !out.bits) return;
    const std::int32_t x0 = std::max<std::int32_t>(dst.left, 0);
    const std::int32_t x1 = std::min<std::int32_t>(dst.right, b.width);
    const std::int32_t y1 = std::min<std::int32_t>(dst.bottom, b.height);
    for (std::int32_t y = std::max<std::int32_t>(dst.top, 0); y < y1; ++y) {
        const std::int64_t sy = SourceAt(y, dst.top, src.top, ry, a.height);
        if (sy < 0) continue;
        for (std::int32_t x = x0; x < x1; ++x) {
            const std::int64_t sx = SourceAt(x, dst.left, src.left, rx, a.width);
            if (sx >= 0) CopyPixel(in.Row(sy) + sx * bpp, out.Row(y) + x * bpp, bpp);
        }
    }
}

// Both numbers in range and present; fills the two surfaces.
bool FindPair(std::int32_t from, std::int32_t to, IDirect3DSurface9*& a, IDirect3DSurface9*& b) {
    if (!ValidBitmapNumber(from) || !ValidBitmapNumber(to)) return false;
    const BitmapRecord* fromRecord = FindBitmap(from);
    if (!fromRecord) return false;
    const BitmapRecord* toRecord = FindBitmap(to);
    if (!toRecord) return false;
    a = BitmapSurface(from, fromRecord);
    b = BitmapSurface(to, toRecord);
    return a && b;
}

} // namespace

// The picture into bitmap n inside a load of the file; false when it is no picture or too much.
static bool LoadBitmapFile(const char* name, std::int32_t n, bool existing, D3DFORMAT format) {
    const MappedFile file(name);
    MediaLoadScope load(file.FileSize());
    ComPtr<IDirect3DSurface9> image;
    const bool loaded = load.Guard([&] {
        image.Reset(LoadFileSurface(name, file, format, existing ? 1 : 2));
        return image != nullptr;
    });
    // A picture that loaded but found no bitmap to go into is no more loaded than a refused one.
    if (!loaded || LoadOverBudget() || !PlaceLoadedImage(n, image)) return false;
    PointDrawingAt(n);
    return true;
}

void LoadBitmap(const char* fileName, std::int32_t n) {
    if (!ValidBitmapNumber(n)) return;
    MediaName name;
    const bool named = PrepareMediaName(s.core, fileName, name); // refused: the load error below
    const BitmapRecord* existing = s.bitmaps.Get(n);
    const SurfaceSize own = SizeOf(BitmapSurface(n, existing));
    const D3DFORMAT format = existing && own.format != D3DFMT_UNKNOWN ? own.format : s.format;
    const bool loaded = named && name.text[0] && LoadBitmapFile(name.text, n, existing, format);
    FinishMediaName(s.core, name);
    if (!loaded) RaiseRuntimeError(kBitmapLoadFailed);
}

void LoadBitmap(const char* fileName) {
    LoadBitmap(fileName, 0);
}

void CopyBitmap(std::int32_t from, std::int32_t to) {
    if (!ValidBitmapNumber(from) || !ValidBitmapNumber(to)) return;
    if (from == to) {
        RaiseRuntimeError(kBitmapNumberIllegal);
        return;
    }
    IDirect3DSurface9 *a = nullptr, *b = nullptr;
    if (!FindPair(from, to, a, b)) return;
    const SurfaceSize sa = SizeOf(a), sb = SizeOf(b);
    const RECT area{0, 0, std::min(sa.width, sb.width), std::min(sa.height, sb.height)};
    if (area.right > 0 && area.bottom > 0) Stretch(a, area, b, area);
}

void CopyBitmapRect(std::int32_t from, std::int32_t left, std::int32_t top, std::int32_t right,
                    std::int32_t bottom, std::int32_t to, std::int32_t toLeft, std::int32_t toTop,
                    std::int32_t toRight, std::int32_t toBottom) {
    IDirect3DSurface9 *a = nullptr, *b = nullptr;
    if (!FindPair(from, to, a, b)) return;
    const RECT src{left, top, right, bottom}, dst{toLeft, toTop, toRight, toBottom};
    if (right <= left || bottom <= top || toRight <= toLeft || toBottom <= toTop) return;
    ComPtr<IDirect3DSurface9> copy;
    if (a == b) {
        // A surface cannot be stretched onto itself: read from a copy of it.
        const SurfaceSize size = SizeOf(a);
        copy.Reset(MakeLockableTarget(size.width, size.height, size.format));
        if (!copy) return;
        const RECT whole{0, 0, size.width, size.height};
        Stretch(a, whole, copy, whole);
        a = copy;
    }
    if (std::int64_t{right} - left == std::int64_t{toRight} - toLeft)
        CopyOneToOne(a, src, b, dst);
    else
        CopyScaled(a, src, b, dst);
}

void MakeMemblockFromBitmap(std::int32_t mode, std::int32_t n, std::uint8_t** data,
                            std::int32_t* width, std::int32_t* height, std::int32_t* depth,
                            std::int32_t* size) {
    if (!data || !width || !height || !depth || !size) return;
    if (mode != 1) {
        if (*data) GlobalFree(*data);
        *data = nullptr;
        return;
    }
    *data = nullptr;
    *width = *height = *depth = *size = 0;
    const BitmapRecord* r = FindBitmap(n);
    if (!r) return;
    IDirect3DSurface9* surface = BitmapSurface(n, r);
    const SurfaceSize own = SizeOf(surface);
    const Layout in = LayoutOf(own.format, own.bytesPerPixel);
    // The block is in the bitmap's depth: that of the block it came from, else its surface's.
    std::int32_t bits = r->depth;
    if (!BlockLayout(bits).bytes) bits = own.bytesPerPixel * 8;
    const Layout out = BlockLayout(bits);
    const std::int32_t w = std::min(r->width, own.width), h = std::min(r->height, own.height);
    const std::int64_t rowBytes = std::int64_t{w} * out.bytes, total = rowBytes * h;
    if (!in.bytes || !out.bytes || w <= 0 || h <= 0 || total > INT32_MAX) return;
    SurfaceLock lock(surface, D3DLOCK_READONLY);
    if (!lock.bits) return;
    auto* block = static_cast<std::uint8_t*>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(total)));
    if (!block) return RaiseRuntimeError(kMemblockNoMemory); // the block's error: no copy to give
    for (std::int32_t y = 0; y < h; ++y)
        ConvertRow(lock.Row(y), in, block + static_cast<std::ptrdiff_t>(y) * rowBytes, out, w);
    *data = block;
    *width = w;
    *height = h;
    *depth = bits;
    *size = static_cast<std::int32_t>(total);
}

bool MakeBitmapFromMemblock(std::int32_t n, std::int32_t width, std::int32_t height,
                            std::int32_t depth, const std::uint8_t* data, std::uint32_t size) {
    const Layout in = BlockLayout(depth);
    if (!ValidBitmapNumber(n) || !data || !in.bytes ||
        !MemblockPixelsFit(width, height, depth, size))
        return false;
    BitmapRecord* r = s.bitmaps.Get(n);
    if (n > 0 && !(r && r->width == width && r->height == height && r->depth == depth)) {
        // A size that cannot be made keeps the old bitmap.
        if (!(r = MakeBitmapRecord(n, width, height, s.format))) return false;
        r->depth = depth;
    }
    if (!r && !(r = FindBitmap(n))) return false;
    IDirect3DSurface9* surface = BitmapSurface(n, r);
    const SurfaceSize own = SizeOf(surface);
    const Layout out = LayoutOf(own.format, own.bytesPerPixel);
    // Only what fits: the screen keeps its own size.
    const std::int32_t columns = std::min(width, own.width), rows = std::min(height, own.height);
    SurfaceLock lock(surface);
    if (!out.bytes || columns <= 0 || rows <= 0 || !lock.bits) return false;
    const std::size_t stride = static_cast<std::size_t>(width) * in.bytes;
    for (std::int32_t y = 0; y < rows; ++y)
        ConvertRow(data + y * stride, in, lock.Row(y), out, columns);
    return true;
}
