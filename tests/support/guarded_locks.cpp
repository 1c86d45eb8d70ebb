#include "core/win32.h"

#include "support/guarded_locks.h"
#include "support/method_swap.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

constexpr std::size_t kPage = 4096;
// Locks held at once; the guard's records take no memory from the program's heap, so a hooked
// lock never counts among (or fails with) the allocations of the command that locks.
constexpr int kHeldLocks = 256;

// Method slots, in the order the interfaces declare their methods (IUnknown's 3 and
// IDirect3DResource9's 8 come first; IDirect3DBaseTexture9 adds 6 before the texture's own).
constexpr int kBufferLockSlot = 11, kBufferUnlockSlot = 12;
constexpr int kTextureLockSlot = 19, kTextureUnlockSlot = 20;
constexpr int kSurfaceLockSlot = 13, kSurfaceUnlockSlot = 14;

enum Method {
    kVertexLock,
    kVertexUnlock,
    kIndexLock,
    kIndexUnlock,
    kTextureLock,
    kTextureUnlock,
    kSurfaceLock,
    kSurfaceUnlock,
    kMethods
};

// A copy of locked bytes at the end of its own pages, the page after it inaccessible.
struct Copy {
    const void* object = nullptr; // null: a free record
    UINT level = 0;
    int serial = 0; // which lock of the object's level came last
    std::uint8_t* base = nullptr;
    std::uint8_t* data = nullptr;
    std::uint8_t* real = nullptr;
    std::size_t size = 0;
    bool readOnly = false;
};

// Who may write: the patched methods, under the mutex, on any thread; the constructor and
// destructor of the one live GuardedLocks for the slots.
struct State {
    std::mutex mutex;
    Copy copies[kHeldLocks]; // the locks held, in no order
    int count = 0;
    MethodSwap swaps[kMethods];
    bool active = false;
};
State g;

// Above zero inside a patched method: what the real method itself locks passes through.
thread_local int t_depth = 0;
struct Depth {
    Depth() { ++t_depth; }
    ~Depth() { --t_depth; }
};

template <typename Fn> Fn Real(Method m) {
    return reinterpret_cast<Fn>(g.swaps[m].real);
}

Copy MakeCopy(void* real, std::size_t size, DWORD flags) {
    const std::size_t pages = (size + kPage - 1) / kPage + 1;
    Copy c;
    c.base = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, pages * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!c.base) std::abort();
    DWORD old = 0;
    VirtualProtect(c.base + (pages - 1) * kPage, kPage, PAGE_NOACCESS, &old);
    c.data = c.base + (pages - 1) * kPage - size;
    c.real = static_cast<std::uint8_t*>(real);
    c.size = size;
    c.readOnly = (flags & D3DLOCK_READONLY) != 0;
    if (size) std::memcpy(c.data, c.real, size);
    return c;
}

// Records a guarded copy of the bytes the real lock handed out; gives the copy's address.
void* Guard(const void* object, UINT level, void* real, std::size_t size, DWORD flags) {
    Copy c = MakeCopy(real, size, flags);
    c.object = object;
    c.level = level;
    std::lock_guard<std::mutex> lock(g.mutex);
    Copy* free = std::find_if(std::begin(g.copies), std::end(g.copies),
                              [](const Copy& held) { return !held.object; });
    if (free == std::end(g.copies)) {
        std::fprintf(stderr, "GuardedLocks: more than %d locks held\n", kHeldLocks);
        std::abort();
    }
    c.serial = ++g.count;
    *free = c;
    return c.data;
}

// Copies the latest lock's bytes back and frees them; a lock made unguarded has none.
void Return(const void* object, UINT level) {
    std::lock_guard<std::mutex> lock(g.mutex);
    Copy* latest = nullptr;
    for (Copy& held : g.copies)
        if (held.object == object && held.level == level &&
            (!latest || held.serial > latest->serial))
            latest = &held;
    if (!latest) return;
    const Copy c = *latest;
    *latest = Copy{};
    if (!c.readOnly && c.size) std::memcpy(c.real, c.data, c.size);
    VirtualFree(c.base, 0, MEM_RELEASE);
}

template <Method kLock, typename Buffer, typename Desc>
HRESULT STDMETHODCALLTYPE BufferLock(Buffer* self, UINT offset, UINT size, void** data,
                                     DWORD flags) {
    using Fn = HRESULT(STDMETHODCALLTYPE*)(Buffer*, UINT, UINT, void**, DWORD);
    const bool outer = t_depth == 0;
    Depth depth;
    const HRESULT hr = Real<Fn>(kLock)(self, offset, size, data, flags);
    Desc desc{};
    if (FAILED(hr) || !outer || !data || !*data || FAILED(self->GetDesc(&desc))) return hr;
    // Size 0 locks the rest of the buffer; nothing lies past its end.
    const std::size_t left = offset < desc.Size ? desc.Size - offset : 0;
    *data = Guard(self, 0, *data, size == 0 ? left : std::min<std::size_t>(size, left), flags);
    return hr;
}

template <Method kUnlock, typename Buffer> HRESULT STDMETHODCALLTYPE BufferUnlock(Buffer* self) {
    using Fn = HRESULT(STDMETHODCALLTYPE*)(Buffer*);
    if (t_depth == 0) Return(self, 0);
    Depth depth;
    return Real<Fn>(kUnlock)(self);
}

// Bytes and pixels on a side of one block of the format (1 for uncompressed); 0 when unknown.
std::pair<int, int> BlockOf(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_DXT1:
        return {8, 4};
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return {16, 4};
    case D3DFMT_A32B32G32R32F:
        return {16, 1};
    case D3DFMT_A16B16G16R16:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_G32R32F:
    case D3DFMT_Q16W16V16U16:
        return {8, 1};
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_A2R10G10B10:
    case D3DFMT_A2B10G10R10:
    case D3DFMT_G16R16:
    case D3DFMT_G16R16F:
    case D3DFMT_R32F:
    case D3DFMT_Q8W8V8U8:
    case D3DFMT_V16U16:
    case D3DFMT_X8L8V8U8:
        return {4, 1};
    case D3DFMT_R8G8B8:
        return {3, 1};
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_L16:
    case D3DFMT_A8L8:
    case D3DFMT_R16F:
    case D3DFMT_V8U8:
    case D3DFMT_L6V5U5:
    case D3DFMT_A8P8:
        return {2, 1};
    case D3DFMT_A8:
    case D3DFMT_L8:
    case D3DFMT_P8:
    case D3DFMT_R3G3B2:
    case D3DFMT_A4L4:
        return {1, 1};
    default:
        return {0, 0};
    }
}

// The bytes a lock of the rectangle, clipped to the level, covers at the real pitch: the rows
// before the last at full pitch, the last one only as wide as the rectangle. -1: format unknown.
long long RectBytes(const D3DSURFACE_DESC& desc, const RECT* rect, INT pitch) {
    const auto [bytes, side] = BlockOf(desc.Format);
    if (!bytes) return -1;
    long long left = 0, top = 0, right = desc.Width, bottom = desc.Height;
    if (rect) {
        if (rect->left < 0 || rect->top < 0) return 0;
        left = rect->left;
        top = rect->top;
        right = std::min<long long>(rect->right, right);
        bottom = std::min<long long>(rect->bottom, bottom);
    }
    if (right <= left || bottom <= top) return 0;
    const long long rows = (bottom - top + side - 1) / side;
    const long long across = (right - left + side - 1) / side;
    return (rows - 1) * pitch + across * bytes;
}

void GuardRect(const void* object, UINT level, const D3DSURFACE_DESC& desc, D3DLOCKED_RECT* locked,
               const RECT* rect, DWORD flags) {
    const long long bytes = RectBytes(desc, rect, locked->Pitch);
    if (bytes < 0 || !locked->pBits) return;
    locked->pBits = Guard(object, level, locked->pBits, static_cast<std::size_t>(bytes), flags);
}

HRESULT STDMETHODCALLTYPE TextureLock(IDirect3DTexture9* self, UINT level, D3DLOCKED_RECT* locked,
                                      const RECT* rect, DWORD flags) {
    using Fn =
        HRESULT(STDMETHODCALLTYPE*)(IDirect3DTexture9*, UINT, D3DLOCKED_RECT*, const RECT*, DWORD);
    const bool outer = t_depth == 0;
    Depth depth;
    const HRESULT hr = Real<Fn>(kTextureLock)(self, level, locked, rect, flags);
    D3DSURFACE_DESC desc{};
    if (FAILED(hr) || !outer || !locked || FAILED(self->GetLevelDesc(level, &desc))) return hr;
    GuardRect(self, level, desc, locked, rect, flags);
    return hr;
}

HRESULT STDMETHODCALLTYPE TextureUnlock(IDirect3DTexture9* self, UINT level) {
    using Fn = HRESULT(STDMETHODCALLTYPE*)(IDirect3DTexture9*, UINT);
    if (t_depth == 0) Return(self, level);
    Depth depth;
    return Real<Fn>(kTextureUnlock)(self, level);
}

HRESULT STDMETHODCALLTYPE SurfaceLock(IDirect3DSurface9* self, D3DLOCKED_RECT* locked,
                                      const RECT* rect, DWORD flags) {
    using Fn = HRESULT(STDMETHODCALLTYPE*)(IDirect3DSurface9*, D3DLOCKED_RECT*, const RECT*, DWORD);
    const bool outer = t_depth == 0;
    Depth depth;
    const HRESULT hr = Real<Fn>(kSurfaceLock)(self, locked, rect, flags);
    D3DSURFACE_DESC desc{};
    if (FAILED(hr) || !outer || !locked || FAILED(self->GetDesc(&desc))) return hr;
    GuardRect(self, 0, desc, locked, rect, flags);
    return hr;
}

HRESULT STDMETHODCALLTYPE SurfaceUnlock(IDirect3DSurface9* self) {
    using Fn = HRESULT(STDMETHODCALLTYPE*)(IDirect3DSurface9*);
    if (t_depth == 0) Return(self, 0);
    Depth depth;
    return Real<Fn>(kSurfaceUnlock)(self);
}

// Swaps a method of the object's interface for ours; every object of the interface shares it.
void Patch(IUnknown* object, Method m, int slot, void* replacement) {
    g.swaps[m] = SwapMethod(object, slot, replacement);
}

} // namespace

GuardedLocks::GuardedLocks(IDirect3DDevice9* device) {
    if (g.active) {
        std::fprintf(stderr, "GuardedLocks: only one may live at a time\n");
        std::abort();
    }
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    IDirect3DTexture9* texture = nullptr;
    IDirect3DSurface9* surface = nullptr;
    const D3DPOOL pool = D3DPOOL_SYSTEMMEM;
    if (device && SUCCEEDED(device->CreateVertexBuffer(16, 0, 0, pool, &vb, nullptr)) &&
        SUCCEEDED(device->CreateIndexBuffer(16, 0, D3DFMT_INDEX16, pool, &ib, nullptr)) &&
        SUCCEEDED(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, pool, &texture, nullptr)) &&
        SUCCEEDED(
            device->CreateOffscreenPlainSurface(1, 1, D3DFMT_A8R8G8B8, pool, &surface, nullptr))) {
        using VB = IDirect3DVertexBuffer9;
        using IB = IDirect3DIndexBuffer9;
        Patch(vb, kVertexLock, kBufferLockSlot,
              Address(&BufferLock<kVertexLock, VB, D3DVERTEXBUFFER_DESC>));
        Patch(vb, kVertexUnlock, kBufferUnlockSlot, Address(&BufferUnlock<kVertexUnlock, VB>));
        Patch(ib, kIndexLock, kBufferLockSlot,
              Address(&BufferLock<kIndexLock, IB, D3DINDEXBUFFER_DESC>));
        Patch(ib, kIndexUnlock, kBufferUnlockSlot, Address(&BufferUnlock<kIndexUnlock, IB>));
        Patch(texture, kTextureLock, kTextureLockSlot, Address(&TextureLock));
        Patch(texture, kTextureUnlock, kTextureUnlockSlot, Address(&TextureUnlock));
        Patch(surface, kSurfaceLock, kSurfaceLockSlot, Address(&SurfaceLock));
        Patch(surface, kSurfaceUnlock, kSurfaceUnlockSlot, Address(&SurfaceUnlock));
        g.count = 0;
        g.active = active_ = true;
    }
    for (IUnknown* made : {static_cast<IUnknown*>(vb), static_cast<IUnknown*>(ib),
                           static_cast<IUnknown*>(texture), static_cast<IUnknown*>(surface)})
        if (made) made->Release();
}

GuardedLocks::~GuardedLocks() {
    if (!active_) return;
    for (const MethodSwap& swap : g.swaps)
        UndoSwap(swap);
    // A lock still held keeps its copy: the real Unlock no longer sees it.
    std::lock_guard<std::mutex> lock(g.mutex);
    std::fill(std::begin(g.copies), std::end(g.copies), Copy{});
    g.active = false;
}

int GuardedLocks::Count() const {
    std::lock_guard<std::mutex> lock(g.mutex);
    return g.count;
}
