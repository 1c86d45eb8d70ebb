#include "core/win32.h"

#include "support/device_uses.h"
#include "support/method_swap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <type_traits>

namespace {

enum Id {
    kSetTexture,
    kSetRenderTarget,
    kSetDepthStencilSurface,
    kSetStreamSource,
    kSetIndices,
    kStretchRect,
    kUpdateSurface,
    kUpdateTexture,
    kGetRenderTargetData,
    kColorFill,
    kTextureLock,
    kTextureUnlock,
    kSurfaceLock,
    kSurfaceUnlock,
    kVertexLock,
    kVertexUnlock,
    kIndexLock,
    kIndexUnlock,
    kEffectBegin,
    kEffectBeginPass,
    kEffectSetTechnique,
    kEffectSetMatrix,
    kEffectSetTexture,
    kMethods
};

const char* const kNames[kMethods] = {
    "SetTexture",          "SetRenderTarget",     "SetDepthStencilSurface", "SetStreamSource",
    "SetIndices",          "StretchRect",         "UpdateSurface",          "UpdateTexture",
    "GetRenderTargetData", "ColorFill",           "texture LockRect",       "texture UnlockRect",
    "surface LockRect",    "surface UnlockRect",  "vertex buffer Lock",     "vertex buffer Unlock",
    "index buffer Lock",   "index buffer Unlock", "effect Begin",           "effect BeginPass",
    "effect SetTechnique", "effect SetMatrix",    "effect SetTexture"};

// A lock taken on a held object: the interface that took it and the level, to end it at the end.
struct OpenLock {
    IUnknown* self;
    Id unlock;
    UINT level;
};

struct Held {
    std::string what;
    int uses = 0;
    std::set<std::string> calls; // since the last ClearUses
    std::vector<OpenLock> locks;
};

// Who may write: the watched methods, under the mutex, on any thread (a video's samples arrive
// on the platform's); the one live DeviceUses for the rest.
struct State {
    std::recursive_mutex mutex;
    std::map<IUnknown*, Held> held;
    std::vector<std::string> faults;
    MethodSwap swaps[kMethods];
    bool effectsWatched = false;
    IDirect3DDevice9* device = nullptr;
    bool bindsCount = false; // the platform counts a binding as a reference of the object's
    bool active = false;
};
State g;

ULONG Count(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

// A texture's surface is counted, held and released as its texture.
IUnknown* Counted(IDirect3DSurface9* surface) {
    IDirect3DBaseTexture9* texture = nullptr;
    if (FAILED(
            surface->GetContainer(IID_IDirect3DBaseTexture9, reinterpret_cast<void**>(&texture))) ||
        !texture)
        return surface;
    texture->Release();
    return texture;
}
IUnknown* Counted(IUnknown* object) {
    return object;
}

// What the test holds for an object handed in: a texture's surface is held as its texture.
IUnknown* Key(IUnknown* object) {
    IDirect3DSurface9* surface = nullptr;
    if (!object ||
        FAILED(object->QueryInterface(IID_IDirect3DSurface9, reinterpret_cast<void**>(&surface))) ||
        !surface)
        return object;
    IUnknown* key = Counted(surface);
    surface->Release();
    return key;
}

// The device's bindings of the object, each a reference where the platform counts them.
int Bindings(IUnknown* object) {
    IDirect3DDevice9* d = g.device;
    int n = 0;
    const auto match = [&](auto* bound) {
        if (!bound) return;
        n += Counted(bound) == object;
        bound->Release();
    };
    for (DWORD stage = 0; stage < 16; ++stage) {
        IDirect3DBaseTexture9* t = nullptr;
        if (SUCCEEDED(d->GetTexture(stage, &t))) match(t);
    }
    for (DWORD stage = D3DVERTEXTEXTURESAMPLER0; stage <= D3DVERTEXTEXTURESAMPLER3; ++stage) {
        IDirect3DBaseTexture9* t = nullptr;
        if (SUCCEEDED(d->GetTexture(stage, &t))) match(t);
    }
    for (DWORD i = 0; i < 4; ++i) {
        IDirect3DSurface9* s = nullptr;
        if (SUCCEEDED(d->GetRenderTarget(i, &s))) match(s);
    }
    IDirect3DSurface9* depth = nullptr;
    if (SUCCEEDED(d->GetDepthStencilSurface(&depth))) match(depth);
    for (UINT stream = 0; stream < 16; ++stream) {
        IDirect3DVertexBuffer9* vb = nullptr;
        UINT offset = 0, stride = 0;
        if (SUCCEEDED(d->GetStreamSource(stream, &vb, &offset, &stride))) match(vb);
    }
    IDirect3DIndexBuffer9* ib = nullptr;
    if (SUCCEEDED(d->GetIndices(&ib))) match(ib);
    return n;
}

bool ReleasedLocked(IUnknown* object) {
    // The test's own hold is one reference.
    long engine = static_cast<long>(Count(object)) - 1;
    if (g.bindsCount && engine > 0) engine -= Bindings(object);
    return engine <= 0;
}

void AddFault(const std::string& fault) {
    if (std::find(g.faults.begin(), g.faults.end(), fault) == g.faults.end())
        g.faults.push_back(fault);
}

// One use of an object by a watched call; the held ones are counted and checked.
void Use(IUnknown* object, Id call) {
    if (!object) return;
    std::lock_guard<std::recursive_mutex> lock(g.mutex);
    const auto it = g.held.find(object);
    if (it == g.held.end()) return;
    ++it->second.uses;
    it->second.calls.insert(kNames[call]);
    if (ReleasedLocked(object))
        AddFault(std::string(kNames[call]) + " of " + it->second.what +
                 ", which the engine had let go");
}

template <typename T> void Note(Id call, T value) {
    if constexpr (std::is_convertible_v<T, IUnknown*>) {
        if (!value) return;
        {
            std::lock_guard<std::recursive_mutex> lock(g.mutex);
            if (g.held.empty()) return;
        }
        Use(Counted(value), call);
    }
}

constexpr bool IsLock(Id id) {
    return id == kTextureLock || id == kSurfaceLock || id == kVertexLock || id == kIndexLock;
}
constexpr bool IsUnlock(Id id) {
    return id == kTextureUnlock || id == kSurfaceUnlock || id == kVertexUnlock ||
           id == kIndexUnlock;
}

// The level a lock or unlock names: a texture's first argument, 0 for the others.
template <Id kId, typename First, typename... Rest> UINT LevelOf(First first, Rest...) {
    if constexpr (kId == kTextureLock || kId == kTextureUnlock)
        return static_cast<UINT>(first);
    else
        return 0;
}
template <Id kId> UINT LevelOf() {
    return 0;
}

template <typename Self> void OpenOrEnd(Self* self, Id id, UINT level) {
    std::lock_guard<std::recursive_mutex> lock(g.mutex);
    const auto it = g.held.find(Counted(self));
    if (it == g.held.end()) return;
    auto& locks = it->second.locks;
    if (IsLock(id)) {
        locks.push_back({self, Id(id + 1), level});
        return;
    }
    for (auto open = locks.rbegin(); open != locks.rend(); ++open)
        if (open->self == self && open->level == level) {
            locks.erase(std::next(open).base());
            return;
        }
}

// Above zero inside a watched lock or unlock: the platform's own lock of a texture's surface in
// its course is part of the outer one. (An effect's pass binds its textures: those count.)
thread_local int t_depth = 0;
struct Depth {
    explicit Depth(bool counts) : counts(counts) { t_depth += counts; }
    ~Depth() { t_depth -= counts; }
    bool counts;
};

template <Id kId, typename Self, typename... Args>
HRESULT STDMETHODCALLTYPE Watched(Self* self, Args... args) {
    using Fn = HRESULT(STDMETHODCALLTYPE*)(Self*, Args...);
    constexpr bool kLocking = IsLock(kId) || IsUnlock(kId);
    if (kLocking && t_depth > 0) return reinterpret_cast<Fn>(g.swaps[kId].real)(self, args...);
    Depth depth(kLocking);
    if constexpr (!std::is_same_v<Self, IDirect3DDevice9>) Note(kId, self);
    (Note(kId, args), ...);
    if constexpr (IsUnlock(kId)) OpenOrEnd(self, kId, LevelOf<kId>(args...));
    const HRESULT hr = reinterpret_cast<Fn>(g.swaps[kId].real)(self, args...);
    if constexpr (IsLock(kId))
        if (SUCCEEDED(hr)) OpenOrEnd(self, kId, LevelOf<kId>(args...));
    return hr;
}

template <Id kId, typename Self, typename... Args>
void Swap(IUnknown* object, HRESULT (STDMETHODCALLTYPE Self::*method)(Args...)) {
    g.swaps[kId] = SwapMethod(object, MethodSlot(method), Address(&Watched<kId, Self, Args...>));
}

// Whether the platform's bindings count as references: a texture bound and unbound again.
bool BindsCount(IDirect3DDevice9* device, IDirect3DTexture9* texture) {
    IDirect3DBaseTexture9* before = nullptr;
    device->GetTexture(0, &before);
    const ULONG unbound = Count(texture);
    device->SetTexture(0, texture);
    const ULONG bound = Count(texture);
    device->SetTexture(0, before);
    if (before) before->Release();
    return bound > unbound;
}

void SwapResources(IDirect3DDevice9* device) {
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    IDirect3DTexture9* texture = nullptr;
    IDirect3DSurface9* surface = nullptr;
    const D3DPOOL pool = D3DPOOL_SYSTEMMEM;
    if (FAILED(device->CreateVertexBuffer(16, 0, 0, pool, &vb, nullptr)) ||
        FAILED(device->CreateIndexBuffer(16, 0, D3DFMT_INDEX16, pool, &ib, nullptr)) ||
        FAILED(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                     nullptr)) ||
        FAILED(
            device->CreateOffscreenPlainSurface(1, 1, D3DFMT_A8R8G8B8, pool, &surface, nullptr))) {
        std::fprintf(stderr, "DeviceUses: the device made no resources\n");
        std::abort();
    }
    g.bindsCount = BindsCount(device, texture);
    Swap<kSetTexture>(device, &IDirect3DDevice9::SetTexture);
    Swap<kSetRenderTarget>(device, &IDirect3DDevice9::SetRenderTarget);
    Swap<kSetDepthStencilSurface>(device, &IDirect3DDevice9::SetDepthStencilSurface);
    Swap<kSetStreamSource>(device, &IDirect3DDevice9::SetStreamSource);
    Swap<kSetIndices>(device, &IDirect3DDevice9::SetIndices);
    Swap<kStretchRect>(device, &IDirect3DDevice9::StretchRect);
    Swap<kUpdateSurface>(device, &IDirect3DDevice9::UpdateSurface);
    Swap<kUpdateTexture>(device, &IDirect3DDevice9::UpdateTexture);
    Swap<kGetRenderTargetData>(device, &IDirect3DDevice9::GetRenderTargetData);
    Swap<kColorFill>(device, &IDirect3DDevice9::ColorFill);
    Swap<kTextureLock>(texture, &IDirect3DTexture9::LockRect);
    Swap<kTextureUnlock>(texture, &IDirect3DTexture9::UnlockRect);
    Swap<kSurfaceLock>(surface, &IDirect3DSurface9::LockRect);
    Swap<kSurfaceUnlock>(surface, &IDirect3DSurface9::UnlockRect);
    Swap<kVertexLock>(vb, &IDirect3DVertexBuffer9::Lock);
    Swap<kVertexUnlock>(vb, &IDirect3DVertexBuffer9::Unlock);
    Swap<kIndexLock>(ib, &IDirect3DIndexBuffer9::Lock);
    Swap<kIndexUnlock>(ib, &IDirect3DIndexBuffer9::Unlock);
    for (IUnknown* made : {static_cast<IUnknown*>(vb), static_cast<IUnknown*>(ib),
                           static_cast<IUnknown*>(texture), static_cast<IUnknown*>(surface)})
        made->Release();
}

// Ends a lock the engine left open, through the method it was taken with.
void EndLock(const OpenLock& open) {
    switch (open.unlock) {
    case kTextureUnlock:
        static_cast<IDirect3DTexture9*>(open.self)->UnlockRect(open.level);
        break;
    case kSurfaceUnlock:
        static_cast<IDirect3DSurface9*>(open.self)->UnlockRect();
        break;
    case kVertexUnlock:
        static_cast<IDirect3DVertexBuffer9*>(open.self)->Unlock();
        break;
    case kIndexUnlock:
        static_cast<IDirect3DIndexBuffer9*>(open.self)->Unlock();
        break;
    default:
        break;
    }
}

} // namespace

DeviceUses::DeviceUses(IDirect3DDevice9* device) {
    if (g.active) {
        std::fprintf(stderr, "DeviceUses: only one may live at a time\n");
        std::abort();
    }
    if (!device) return;
    g.device = device;
    SwapResources(device);
    g.active = active_ = true;
}

DeviceUses::~DeviceUses() {
    if (!active_) return;
    for (const MethodSwap& swap : g.swaps)
        UndoSwap(swap);
    std::map<IUnknown*, Held> held;
    {
        std::lock_guard<std::recursive_mutex> lock(g.mutex);
        held.swap(g.held);
        g.faults.clear();
        g.effectsWatched = false;
        g.active = false;
    }
    for (auto& [object, h] : held) {
        for (auto open = h.locks.rbegin(); open != h.locks.rend(); ++open)
            EndLock(*open);
        object->Release();
    }
    std::fill(std::begin(g.swaps), std::end(g.swaps), MethodSwap{});
}

void DeviceUses::Hold(IUnknown* given, const std::string& what) {
    IUnknown* object = Key(given);
    if (!object) return;
    std::lock_guard<std::recursive_mutex> lock(g.mutex);
    if (g.held.count(object)) return;
    object->AddRef();
    g.held[object].what = what;
}

void DeviceUses::WatchEffects(ID3DXEffect* effect) {
    if (!effect || !active_ || g.effectsWatched) return; // one class: the first one handed in
    g.effectsWatched = true;
    Swap<kEffectBegin>(effect, &ID3DXEffect::Begin);
    Swap<kEffectBeginPass>(effect, &ID3DXEffect::BeginPass);
    Swap<kEffectSetTechnique>(effect, &ID3DXEffect::SetTechnique);
    Swap<kEffectSetMatrix>(effect, &ID3DXEffect::SetMatrix);
    Swap<kEffectSetTexture>(effect, &ID3DXEffect::SetTexture);
}

bool DeviceUses::Released(IUnknown* given) const {
    IUnknown* object = Key(given);
    std::lock_guard<std::recursive_mutex> lock(g.mutex);
    return g.held.count(object) && ReleasedLocked(object);
}

int DeviceUses::Uses(IUnknown* given) const {
    IUnknown* object = Key(given);
    std::lock_guard<std::recursive_mutex> lock(g.mutex);
    const auto it = g.held.find(object);
    return it == g.held.end() ? 0 : it->second.uses;
}

void DeviceUses::ClearUses() {
    std::lock_guard<std::recursive_mutex> lock(g.mutex);
    for (auto& [object, h] : g.held) {
        h.uses = 0;
        h.calls.clear();
    }
}

std::string DeviceUses::Calls(IUnknown* given) const {
    IUnknown* object = Key(given);
    std::lock_guard<std::recursive_mutex> lock(g.mutex);
    std::string calls;
    const auto it = g.held.find(object);
    for (const std::string& call : it == g.held.end() ? std::set<std::string>{} : it->second.calls)
        calls += (calls.empty() ? "" : ", ") + call;
    return calls;
}

int DeviceUses::OpenLocks(IUnknown* given) const {
    IUnknown* object = Key(given);
    std::lock_guard<std::recursive_mutex> lock(g.mutex);
    const auto it = g.held.find(object);
    return it == g.held.end() ? 0 : static_cast<int>(it->second.locks.size());
}

std::vector<std::string> DeviceUses::Faults() const {
    std::lock_guard<std::recursive_mutex> lock(g.mutex);
    std::vector<std::string> faults = g.faults;
    for (auto& [object, h] : g.held)
        if (!h.locks.empty() && ReleasedLocked(object))
            faults.push_back("a lock of " + h.what + " still open after the engine let it go");
    return faults;
}
