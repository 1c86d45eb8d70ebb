#include "core/win32.h"

#include "video/video.h"
#include "core/com_ptr.h"
#include "core/core.h"
#include "core/media.h"
#include "core/item_lookup.h"
#include "display/display.h"
#include "image/image_bridge.h"
#include "image/picture_check.h"
#include "sprite/sprite.h"
#include "video/graph_deadline.h"
#include "video/stream_check.h"
#include "video/texture_renderer.h"
#include "core/error_numbers.h"

#include <dshow.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::int32_t kMaxImage = 22000000;
constexpr std::int32_t kSlots = 33; // numbers 1..32; slot 0 is never used by commands
constexpr ItemNumbers kAnimationNumbers{1, kSlots - 1, kAnimationNumberIllegal, kAnimationMissing};
constexpr std::int32_t kNameBuffer = kMediaNameBuffer; // a prepared name and its wide form
constexpr std::int32_t kDvdTextureFormat = 20;
// A frame's pixels: decoded into the graph's buffer and the renderer's (24-bit), then the texture.
constexpr std::uint64_t kFrameBytes = 3 + 3 + 4;
constexpr int kEventsPerFrame = 16; // bounds the per-frame event loop

struct AnimationState {
    std::uint8_t loaded = 0;
    std::uint8_t playing = 0;
    std::uint8_t paused = 0;
    std::uint8_t looping = 0;
    std::int32_t volume = 0;
    std::int32_t speed = 0;
};

struct Rect {
    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

constexpr std::int64_t kLargestSide = 0x7FFFFFFF;

// Whether both sides, taken in 64 bits, lie in -kLargestSide..kLargestSide: every width and
// height read from the rectangle is then an int32 value.
bool SidesFit(const Rect& r) {
    const std::int64_t w = std::int64_t{r.x2} - r.x1, h = std::int64_t{r.y2} - r.y1;
    return w >= -kLargestSide && w <= kLargestSide && h >= -kLargestSide && h <= kLargestSide;
}

// Where playback shows: the placed rectangle, or with x2 and y2 both 0 its corner at the natural
// size. False when a corner or a side would not be an int32 value.
bool DisplayRectOf(const Rect& placed, const Rect& natural, Rect& out) {
    if (placed.x2 != 0 || placed.y2 != 0) {
        out = placed;
        return SidesFit(placed);
    }
    const std::int64_t x2 = std::int64_t{placed.x1} + natural.x2;
    const std::int64_t y2 = std::int64_t{placed.y1} + natural.y2;
    if (x2 > kLargestSide || y2 > kLargestSide) return false;
    out = Rect{placed.x1, placed.y1, static_cast<std::int32_t>(x2), static_cast<std::int32_t>(y2)};
    return true;
}

// Written by the commands on the main thread; the renderer it points to lives in the graph.
struct AnimationSlot {
    char fileName[kNameBuffer] = {};
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> mediaControl;
    ComPtr<IMediaEvent> mediaEvent;
    ComPtr<IBasicVideo> basicVideo;
    ComPtr<IBasicAudio> basicAudio;
    ComPtr<IMediaPosition> mediaPosition;
    ComPtr<IDvdGraphBuilder> dvdGraphBuilder;
    ComPtr<IDvdInfo2> dvdInfo;
    ComPtr<IDvdControl2> dvdControl;
    ComPtr<IVideoWindow> videoWindow;
    TextureRenderer* renderer = nullptr;
    std::int32_t textureFormat = 0;
    IDirect3DTexture9* texture = nullptr;
    float uScale = 0.0f, vScale = 0.0f;
    Rect displayRect;
    Rect naturalRect;
    std::uint8_t started = 0;
    std::uint8_t loop = 0;
    Rect placedRect;
    // The image that receives the frames, 0 for the screen: a number, looked up at every frame,
    // so that frames go into what it names now, never into a texture it named once.
    std::int32_t targetImage = 0;
};

struct State {
    CoreData* core = nullptr;
    IDirect3DDevice9* device = nullptr;
    ImageBridge images{};
    AnimationState states[kSlots];
    AnimationSlot slots[kSlots];
    std::uint8_t sampleSkip = 0;
    RECT videoWindowRect{}; // where the DVD window shows, in client coordinates
};
State s;

void ClearTables() {
    for (std::int32_t i = 0; i < kSlots; ++i) {
        s.states[i] = AnimationState{};
        s.slots[i] = AnimationSlot{};
    }
}

// Releases a slot in the documented order; the graph takes the renderer with it.
void ReleaseSlot(AnimationSlot& a) {
    if (a.mediaControl) a.mediaControl->Stop();
    if (a.videoWindow) {
        a.videoWindow->put_Visible(OAFALSE);
        a.videoWindow->put_Owner(0);
        s.videoWindowRect = RECT{};
    }
    a.mediaControl.Reset();
    a.mediaEvent.Reset();
    a.mediaPosition.Reset();
    a.basicAudio.Reset();
    a.basicVideo.Reset();
    a.graph.Reset();
    a.renderer = nullptr;
    a.texture = nullptr;
    a.dvdGraphBuilder.Reset();
    a.dvdInfo.Reset();
    a.dvdControl.Reset();
    a.videoWindow.Reset();
    a.targetImage = 0;
}

void ReleaseAll() {
    for (AnimationSlot& a : s.slots)
        ReleaseSlot(a);
}

bool ValidNumber(std::int32_t n) {
    return CheckItemNumber(n, kAnimationNumbers);
}

// The slot of a loaded animation, or null after raising 2001 or 2004.
AnimationSlot* Loaded(std::int32_t n) {
    return CheckedItem(n, kAnimationNumbers, [](std::int32_t id) {
        return s.states[id].loaded ? &s.slots[id] : nullptr;
    });
}

template <typename I> bool Query(IUnknown* from, REFIID iid, ComPtr<I>& to) {
    return SUCCEEDED(from->QueryInterface(iid, to.PutVoid()));
}

void QueryGraphInterfaces(AnimationSlot& a) {
    Query(a.graph, IID_IMediaControl, a.mediaControl);
    Query(a.graph, IID_IMediaEvent, a.mediaEvent);
    Query(a.graph, IID_IBasicVideo, a.basicVideo);
    Query(a.graph, IID_IBasicAudio, a.basicAudio);
    Query(a.graph, IID_IMediaPosition, a.mediaPosition);
}

// The frames that the decoded size makes beyond what the header claimed: a container without
// sizes, or one whose decoder found larger frames.
bool ChargeFrameBeyond(const TextureRenderer& r, std::uint64_t claimedPixels) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(r.videoWidth) * r.videoHeight;
    return pixels <= claimedPixels || ChargeLoad(pixels - claimedPixels, kFrameBytes);
}

// Builds the texture-form graph; on failure everything made is released.
bool BuildTextureGraph(AnimationSlot& a, const char* name) {
    // Only a container whose frames the check measured: what they make, and the later passes of
    // their scans, are charged before the platform decodes any of them.
    const StreamCheck check = CheckMediaFile(name);
    if (!check.ok || !check.video || !ChargeLoad(check.framePixels, kFrameBytes) ||
        !ChargeLoad(check.repeatedBlocks, kBlockPassBytes))
        return false;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                a.graph.PutVoid())))
        return false;
    auto* renderer = new (std::nothrow) TextureRenderer(s.device);
    wchar_t wide[kNameBuffer] = {};
    bool ok = renderer && SUCCEEDED(a.graph->AddFilter(renderer, L"TEXTURERENDERER"));
    if (renderer) renderer->Release(); // the graph holds it from here on
    ok = ok && MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kNameBuffer) > 0 &&
         SUCCEEDED(RenderFileWithDeadline(a.graph, wide));
    if (ok) {
        QueryGraphInterfaces(a);
        // A file whose video cannot be decoded never reaches the renderer: no animation.
        ok = a.mediaControl && a.mediaEvent && renderer->Connected() &&
             ChargeFrameBeyond(*renderer, check.framePixels) &&
             SUCCEEDED(renderer->CreateTexture()) && renderer->MakeFrameBuffer();
    }
    if (!ok) {
        ReleaseSlot(a);
        return false;
    }
    a.renderer = renderer;
    a.textureFormat = renderer->textureFormat;
    a.texture = renderer->texture;
    a.uScale = renderer->uScale;
    a.vScale = renderer->vScale;
    a.naturalRect = Rect{0, 0, renderer->videoWidth, renderer->videoHeight};
    return true;
}

void MarkLoaded(std::int32_t n) {
    s.states[n] = AnimationState{0, 0, 0, 0, 100, 100};
    s.states[n].loaded = 1;
}

// The DVD form: the platform's DVD graph shown in a child window of the engine's.
bool BuildDvdGraph(AnimationSlot& a) {
    if (FAILED(CoCreateInstance(CLSID_DvdGraphBuilder, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IDvdGraphBuilder, a.dvdGraphBuilder.PutVoid())))
        return false;
    AM_DVD_RENDERSTATUS status{};
    const bool ok =
        SUCCEEDED(a.dvdGraphBuilder->RenderDvdVideoVolume(nullptr, AM_DVD_HWDEC_PREFER, &status)) &&
        SUCCEEDED(a.dvdGraphBuilder->GetDvdInterface(IID_IDvdInfo2, a.dvdInfo.PutVoid())) &&
        SUCCEEDED(a.dvdGraphBuilder->GetDvdInterface(IID_IDvdControl2, a.dvdControl.PutVoid())) &&
        SUCCEEDED(a.dvdGraphBuilder->GetFiltergraph(a.graph.PutAddress()));
    if (ok) QueryGraphInterfaces(a);
    if (!ok || !a.mediaControl || !a.mediaEvent ||
        FAILED(a.dvdGraphBuilder->GetDvdInterface(IID_IVideoWindow, a.videoWindow.PutVoid()))) {
        ReleaseSlot(a);
        return false;
    }
    RECT client{};
    HWND window = s.core ? s.core->window : nullptr;
    if (window) GetClientRect(window, &client);
    a.videoWindow->put_Owner(reinterpret_cast<OAHWND>(window));
    a.videoWindow->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS);
    a.videoWindow->SetWindowPosition(client.left, client.top, client.right - client.left,
                                     client.bottom - client.top);
    s.videoWindowRect = client;
    a.textureFormat = kDvdTextureFormat;
    a.naturalRect = Rect{0, 0, client.right - client.left, client.bottom - client.top};
    return true;
}

// ---- per-frame texture copy ----

void CopyFrameRows(const TextureRenderer& r, const D3DLOCKED_RECT& locked, D3DFORMAT format,
                   std::int32_t w, std::int32_t h) {
    const double rx = static_cast<double>(r.videoWidth) / w;
    const double ry = static_cast<double>(r.videoHeight) / h;
    const bool reduced = w < r.videoWidth || h < r.videoHeight;
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int32_t sy = reduced ? static_cast<std::int32_t>(y * ry) : y;
        // Bottom-up source: texture row 0 takes the last frame row.
        const std::uint8_t* row = r.frameBuffer + (r.videoHeight - 1 - sy) * r.pitch;
        auto* out = static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch;
        for (std::int32_t x = 0; x < w; ++x) {
            const std::int32_t sx = reduced ? static_cast<std::int32_t>(x * rx) : x;
            const std::uint8_t* p = row + sx * 3;
            if (format == D3DFMT_A8R8G8B8) {
                reinterpret_cast<std::uint32_t*>(out)[x] =
                    0xff000000u | (p[2] << 16) | (p[1] << 8) | p[0];
            } else {
                reinterpret_cast<std::uint16_t*>(out)[x] = static_cast<std::uint16_t>(
                    0x8000 | (p[2] >> 3) << 10 | (p[1] >> 3) << 5 | (p[0] >> 3));
            }
        }
    }
}

HRESULT CopyFrameToTexture(TextureRenderer& r) {
    if (s.sampleSkip == 1 || !r.frameArrived || !r.texture || !r.frameBuffer) return S_OK;
    D3DSURFACE_DESC desc{};
    if (FAILED(r.texture->GetLevelDesc(0, &desc))) return E_FAIL;
    const std::int32_t w = std::min<std::int32_t>(r.videoWidth, desc.Width);
    const std::int32_t h = std::min<std::int32_t>(r.videoHeight, desc.Height);
    if (w < 1 || h < 1) return S_OK;
    D3DLOCKED_RECT locked{};
    if (FAILED(r.texture->LockRect(0, &locked, nullptr, 0))) return E_FAIL;
    CopyFrameRows(r, locked, desc.Format, w, h);
    r.texture->UnlockRect(0);
    return S_OK;
}

bool Is16Bit(D3DFORMAT f) {
    return f == D3DFMT_A1R5G5B5 || f == D3DFMT_X1R5G5B5 || f == D3DFMT_R5G6B5 ||
           f == D3DFMT_A4R4G4B4 || f == D3DFMT_X4R4G4B4;
}

std::uint16_t To16(std::uint32_t c) {
    auto channel = [](std::uint32_t v) { return std::min<std::uint32_t>(31, v * 10 / 83); };
    return static_cast<std::uint16_t>(0x8000 | channel((c >> 16) & 0xff) << 10 |
                                      channel((c >> 8) & 0xff) << 5 | channel(c & 0xff));
}

struct LockedTexture {
    IDirect3DTexture9* texture = nullptr;
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    bool Lock(IDirect3DTexture9* t, DWORD flags) {
        if (!t || FAILED(t->GetLevelDesc(0, &desc)) ||
            FAILED(t->LockRect(0, &locked, nullptr, flags)))
            return false;
        texture = t;
        return true;
    }
    ~LockedTexture() {
        if (texture) texture->UnlockRect(0);
    }
    std::uint8_t* Row(std::int32_t y) const {
        return static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch;
    }
};

// One axis of the image's rectangle in texels, each end truncated; 64 bits hold any end.
struct Span {
    std::int64_t from = 0, to = 0;
};

Span ScaledSpan(std::int32_t from, std::int32_t to, double ratio) {
    return {static_cast<std::int64_t>(from * ratio), static_cast<std::int64_t>(to * ratio)};
}

void CopyTexel(const std::uint8_t* in, std::int64_t sx, bool src16, std::uint8_t* out,
               std::int64_t x, bool dst16) {
    if (!dst16)
        reinterpret_cast<std::uint32_t*>(out)[x] = reinterpret_cast<const std::uint32_t*>(in)[sx];
    else if (src16)
        reinterpret_cast<std::uint16_t*>(out)[x] = reinterpret_cast<const std::uint16_t*>(in)[sx];
    else
        reinterpret_cast<std::uint16_t*>(out)[x] =
            To16(reinterpret_cast<const std::uint32_t*>(in)[sx]);
}

// Copies the video texture into the target image's rectangle, clipped to the image's texture.
// Positions are taken from the rectangle's start, so every source index lies in 0..size - 1.
void CopyToTargetImage(const AnimationSlot& a) {
    const std::int32_t imageW = s.images.getWidth ? s.images.getWidth(a.targetImage) : -1;
    const std::int32_t imageH = s.images.getHeight ? s.images.getHeight(a.targetImage) : -1;
    IDirect3DTexture9* target = s.images.getPointer ? s.images.getPointer(a.targetImage) : nullptr;
    if (imageW < 1 || imageH < 1 || !a.texture || !target) return;
    LockedTexture src, dst;
    if (!src.Lock(a.texture, D3DLOCK_READONLY) || !dst.Lock(target, D3DLOCK_NOSYSLOCK)) return;
    const Rect& r = a.displayRect;
    const Span sx = ScaledSpan(r.x1, r.x2, static_cast<double>(dst.desc.Width) / imageW);
    const Span sy = ScaledSpan(r.y1, r.y2, static_cast<double>(dst.desc.Height) / imageH);
    if (sx.to <= sx.from || sy.to <= sy.from) return;
    const double stepX =
        static_cast<double>(a.naturalRect.x2) / static_cast<double>(sx.to - sx.from);
    const double stepY =
        static_cast<double>(a.naturalRect.y2) / static_cast<double>(sy.to - sy.from);
    const std::int64_t srcW = std::min<std::int64_t>(a.naturalRect.x2, src.desc.Width);
    const std::int64_t srcH = std::min<std::int64_t>(a.naturalRect.y2, src.desc.Height);
    const bool src16 = Is16Bit(src.desc.Format), dst16 = Is16Bit(dst.desc.Format);
    if (srcW < 1 || srcH < 1 || (src16 && !dst16)) return; // no widening copy is defined
    const std::int64_t top = std::max<std::int64_t>(0, sy.from);
    const std::int64_t bottom = std::min<std::int64_t>(sy.to, dst.desc.Height);
    const std::int64_t left = std::max<std::int64_t>(0, sx.from);
    const std::int64_t right = std::min<std::int64_t>(sx.to, dst.desc.Width);
    for (std::int64_t y = top; y < bottom; ++y) {
        const auto row = std::min(srcH - 1, static_cast<std::int64_t>((y - sy.from) * stepY));
        const std::uint8_t* in = src.Row(static_cast<std::int32_t>(row));
        std::uint8_t* out = dst.Row(static_cast<std::int32_t>(y));
        for (std::int64_t x = left; x < right; ++x) {
            const auto column =
                std::min(srcW - 1, static_cast<std::int64_t>((x - sx.from) * stepX));
            CopyTexel(in, column, src16, out, x, dst16);
        }
    }
}

// ---- events and playback ----

// Loops by stop, rewind, run: a running graph ignores a rewind after its end.
void Rewind(AnimationSlot& a) {
    a.mediaControl->Stop();
    if (a.mediaPosition) a.mediaPosition->put_CurrentPosition(0);
    a.mediaControl->Run();
}

void TakeEvents(std::int32_t n) {
    AnimationSlot& a = s.slots[n];
    if (!a.mediaEvent) return;
    long code = 0;
    LONG_PTR first = 0, second = 0;
    for (int i = 0;
         i < kEventsPerFrame && a.mediaEvent->GetEvent(&code, &first, &second, 0) == S_OK; ++i) {
        a.mediaEvent->FreeEventParams(code, first, second);
        if (code != EC_COMPLETE) continue;
        if (a.loop)
            Rewind(a);
        else
            s.states[n].playing = 0;
    }
}

void MoveVideoWindow(const AnimationSlot& a) {
    if (!s.core || !s.core->window) return;
    RECT client{};
    GetClientRect(s.core->window, &client);
    const double kx =
        s.core->displayWidth > 0 ? static_cast<double>(client.right) / s.core->displayWidth : 1.0;
    const double ky = s.core->displayHeight > 0
                          ? static_cast<double>(client.bottom) / s.core->displayHeight
                          : 1.0;
    s.videoWindowRect =
        RECT{a.displayRect.x1, a.displayRect.y1, a.displayRect.x2, a.displayRect.y2};
    const auto x = static_cast<long>(a.displayRect.x1 * kx);
    const auto y = static_cast<long>(a.displayRect.y1 * ky);
    a.videoWindow->SetWindowPosition(x, y, static_cast<long>(a.displayRect.x2 * kx) - x,
                                     static_cast<long>(a.displayRect.y2 * ky) - y);
}

void UpdateSlot(std::int32_t n) {
    AnimationSlot& a = s.slots[n];
    if (!a.videoWindow && a.renderer && FAILED(CopyFrameToTexture(*a.renderer)))
        ReportInternalError("AnimationUpdate - cannot lock the video texture");
    if (a.started == 1) TakeEvents(n);
    if (a.videoWindow) return MoveVideoWindow(a);
    if (!a.texture || !s.states[n].loaded) return;
    if (a.targetImage == 0) {
        const Rect& r = a.displayRect;
        if (r.x2 > r.x1 && r.y2 > r.y1)
            SpritePasteImageRect(a.texture, a.uScale, a.vScale, r.x1, r.y1, r.x2, r.y2);
    } else {
        CopyToTargetImage(a);
    }
}

// Whether playback can show where asked; 2007 otherwise, before anything changes.
bool Shows(const AnimationSlot& a, const Rect* coordinates) {
    Rect shown;
    if (DisplayRectOf(coordinates ? *coordinates : a.placedRect, a.naturalRect, shown)) return true;
    RaiseRuntimeError(kAnimationCannotStart);
    return false;
}

// Starts playback; with coordinates they become the placed rectangle.
bool Start(std::int32_t n, const Rect* coordinates) {
    AnimationSlot& a = s.slots[n];
    if (coordinates) a.placedRect = *coordinates;
    DisplayRectOf(a.placedRect, a.naturalRect, a.displayRect); // checked by Shows
    if (!a.mediaControl) return false;
    a.started = 1;
    a.mediaControl->Stop(); // a graph run to its end ignores a rewind while running
    if (a.mediaPosition) a.mediaPosition->put_CurrentPosition(0);
    a.mediaControl->Run();
    return true;
}

void PlayWith(std::int32_t n, const Rect* coordinates) {
    AnimationSlot* a = Loaded(n);
    if (!a || !Shows(*a, coordinates)) return;
    a->targetImage = 0;
    if (!Start(n, coordinates)) return RaiseRuntimeError(kAnimationCannotStart);
    s.states[n].playing = 1;
    s.states[n].looping = 0;
    s.states[n].paused = 0;
    a->loop = 0;
}

void LoopWith(std::int32_t n, const Rect* coordinates) {
    AnimationSlot* a = Loaded(n);
    if (!a || !Shows(*a, coordinates)) return;
    a->targetImage = 0;
    if (!Start(n, coordinates)) return;
    s.states[n].playing = 1;
    s.states[n].looping = 1;
    s.states[n].paused = 0;
    a->loop = 1;
}

// Whether the device makes textures of w x h texels (without a device, any int32 size passes).
bool TextureCanHold(std::int64_t w, std::int64_t h) {
    D3DCAPS9 caps{};
    if (!s.device || FAILED(s.device->GetDeviceCaps(&caps)))
        return w <= kLargestSide && h <= kLargestSide;
    return w <= std::int64_t{caps.MaxTextureWidth} && h <= std::int64_t{caps.MaxTextureHeight};
}

// Whether the target image is at least w x h, made when missing. One too small is made again
// under its number, so that what shows it (a mesh, a sprite) shows the frames.
bool TargetImage(std::int32_t image, std::int32_t w, std::int32_t h) {
    if (!s.images.existChecked || !s.images.getPointer) return false;
    if ((!s.images.existChecked(image) || s.images.getWidth(image) < w ||
         s.images.getHeight(image) < h) &&
        s.images.createDefaultFormat)
        s.images.createDefaultFormat(image, w, h, 0);
    return s.images.getPointer(image) != nullptr;
}

} // namespace

// ---- module entries ----

void AnimationConstructor(HINSTANCE) {
    ClearTables();
}

void AnimationDestructor() {
    ReleaseAll();
    ClearTables();
}

void AnimationSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void AnimationPassCoreData(CoreData* core) {
    s.core = core;
    s.device = GetDirect3DDevice();
    s.images = GetImageBridge();
}

void AnimationRefreshD3D(std::int32_t mode) {
    if (mode == 0) {
        ReleaseAll();
        ClearTables();
    } else if (mode == 1) {
        ClearTables();
        AnimationPassCoreData(s.core);
    }
}

void AnimationUpdate() {
    for (std::int32_t n = 0; n < kSlots; ++n)
        if (s.slots[n].mediaControl) UpdateSlot(n);
}

// ---- commands ----

// A load builds the new animation beside the one under its number, which it replaces only once
// built: a load that fails (a refused name, a broken file, out of memory) leaves it as it was.
void LoadAnimation(const char* fileName, std::int32_t n) {
    if (!ValidNumber(n)) return;
    // Names that cannot take the redirect are refused rather than cut short.
    MediaName name;
    if (!PrepareMediaName(s.core, fileName, name)) return RaiseRuntimeError(kAnimationNotLoadable);
    AnimationSlot a;
    bool ok = false;
    {
        MediaLoadScope load(MediaFileSize(name.text));
        ok = load.Guard([&] { return BuildTextureGraph(a, name.text); }) && !LoadOverBudget();
        if (!ok) ReleaseSlot(a);
    }
    FinishMediaName(s.core, name);
    if (!ok) return RaiseRuntimeError(kAnimationNotLoadable);
    std::memcpy(a.fileName, name.text, sizeof a.fileName);
    if (s.states[n].loaded) DeleteAnimation(n);
    s.slots[n] = std::move(a);
    MarkLoaded(n);
}

void LoadDVDAnimation(std::int32_t n) {
    if (!ValidNumber(n)) return;
    // The window's place belongs to whichever DVD shows: the one kept, or the new one.
    const RECT before = s.videoWindowRect;
    AnimationSlot a;
    // No DVD to play is a failed load like any other: the number keeps what it held, with the
    // error.
    if (!BuildDvdGraph(a)) {
        s.videoWindowRect = before;
        return RaiseRuntimeError(kAnimationNotLoadable);
    }
    const RECT shown = s.videoWindowRect;
    if (s.states[n].loaded) DeleteAnimation(n);
    s.slots[n] = std::move(a);
    s.videoWindowRect = shown;
    MarkLoaded(n);
}

void DeleteAnimation(std::int32_t n) {
    AnimationSlot* a = Loaded(n);
    if (!a) return;
    ReleaseSlot(*a);
    *a = AnimationSlot{};
    s.states[n] = AnimationState{};
}

void PlayAnimation(std::int32_t n) {
    PlayWith(n, nullptr);
}

void PlayAnimation(std::int32_t n, std::int32_t x, std::int32_t y) {
    const Rect r{x, y, 0, 0};
    PlayWith(n, &r);
}

void PlayAnimation(std::int32_t n, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                   std::int32_t y2) {
    const Rect r{x1, y1, x2, y2};
    PlayWith(n, &r);
}

void PlayAnimationToImage(std::int32_t n, std::int32_t image, std::int32_t x1, std::int32_t y1,
                          std::int32_t x2, std::int32_t y2) {
    if (!Loaded(n)) return;
    if (image < 1 || image > kMaxImage) return RaiseRuntimeError(kImageNumberIllegal);
    // The rectangle sizes the image: in 64 bits, each side at least 1 and no larger than a
    // texture the device can make.
    const std::int64_t w = std::int64_t{x2} - x1, h = std::int64_t{y2} - y1;
    if (w < 1 || h < 1 || !TextureCanHold(w, h)) return RaiseRuntimeError(kImageSizeIllegal);
    const Rect r{x1, y1, x2, y2};
    PlayWith(n, &r);
    s.slots[n].targetImage =
        TargetImage(image, static_cast<std::int32_t>(w), static_cast<std::int32_t>(h)) ? image : 0;
}

void LoopAnimation(std::int32_t n) {
    LoopWith(n, nullptr);
}

void LoopAnimation(std::int32_t n, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                   std::int32_t y2) {
    const Rect r{x1, y1, x2, y2};
    LoopWith(n, &r);
}

void StopAnimation(std::int32_t n) {
    AnimationSlot* a = Loaded(n);
    if (!a) return;
    if (!a->mediaControl) return RaiseRuntimeError(kAnimationNoGraph);
    a->mediaControl->Stop();
    a->started = 0;
    s.states[n].playing = 0;
    s.states[n].looping = 0;
}

void PauseAnimation(std::int32_t n) {
    AnimationSlot* a = Loaded(n);
    if (!a) return;
    if (!a->mediaControl) return RaiseRuntimeError(kAnimationNoGraph);
    a->mediaControl->Pause();
    s.states[n].paused = 1;
}

void ResumeAnimation(std::int32_t n) {
    AnimationSlot* a = Loaded(n);
    if (!a) return;
    if (a->mediaControl) a->mediaControl->Run();
    s.states[n].paused = 0;
}

void PlaceAnimation(std::int32_t n, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                    std::int32_t y2) {
    AnimationSlot* a = Loaded(n);
    if (!a) return;
    const Rect r{x1, y1, x2, y2};
    // Its width and height are read back as int32 values: sides beyond them are refused.
    if (!SidesFit(r)) return RaiseRuntimeError(kAnimationCannotStart);
    a->placedRect = a->displayRect = r;
}

std::int32_t AnimationExist(std::int32_t n) {
    return ValidNumber(n) ? s.states[n].loaded : 0;
}

std::int32_t AnimationPlaying(std::int32_t n) {
    return Loaded(n) ? s.states[n].playing : 0;
}

std::int32_t AnimationPaused(std::int32_t n) {
    return Loaded(n) ? s.states[n].paused : 0;
}

std::int32_t AnimationLooping(std::int32_t n) {
    return Loaded(n) ? s.states[n].looping : 0;
}

std::int32_t GetAnimationX(std::int32_t n) {
    const AnimationSlot* a = Loaded(n);
    return a && a->displayRect.x2 >= 1 ? a->displayRect.x1 : 0;
}

std::int32_t GetAnimationY(std::int32_t n) {
    const AnimationSlot* a = Loaded(n);
    return a && a->displayRect.x2 >= 1 ? a->displayRect.y1 : 0;
}

std::int32_t GetAnimationWidth(std::int32_t n) {
    const AnimationSlot* a = Loaded(n);
    if (!a) return 0;
    return a->displayRect.x2 >= 1 ? a->displayRect.x2 - a->displayRect.x1 : a->naturalRect.x2;
}

std::int32_t GetAnimationHeight(std::int32_t n) {
    const AnimationSlot* a = Loaded(n);
    if (!a) return 0;
    return a->displayRect.x2 >= 1 ? a->displayRect.y2 - a->displayRect.y1 : a->naturalRect.y2;
}

void SetAnimationVolume(std::int32_t n, std::int32_t volume) {
    AnimationSlot* a = Loaded(n);
    if (!a) return;
    s.states[n].volume = volume;
    const std::int32_t v = std::clamp(volume, 0, 100);
    if (a->basicAudio) a->basicAudio->put_Volume(-(100 - v) * 100);
}

void SetAnimationSpeed(std::int32_t n, std::int32_t speed) {
    AnimationSlot* a = Loaded(n);
    if (!a) return;
    s.states[n].speed = speed;
    const std::int32_t v = std::clamp(speed, 0, 100);
    if (a->mediaPosition) a->mediaPosition->put_Rate(v * 0.01);
}

std::int32_t GetAnimationVolume(std::int32_t n) {
    return Loaded(n) ? s.states[n].volume : 0;
}

std::int32_t GetAnimationSpeed(std::int32_t n) {
    return Loaded(n) ? s.states[n].speed : 0;
}

void PlayDVDChapter(std::int32_t n, std::int32_t title, std::int32_t chapter) {
    AnimationSlot* a = Loaded(n);
    if (!a || title < 1 || title > 99 || chapter < 1 || chapter > 999 || !a->dvdControl) return;
    // Issued twice: a DVD navigator just started may drop the first request.
    for (int i = 0; i < 2; ++i) {
        a->dvdControl->Stop();
        a->dvdControl->PlayChapterInTitle(static_cast<ULONG>(title), static_cast<ULONG>(chapter),
                                          DVD_CMD_FLAG_Block, nullptr);
    }
}

std::int32_t GetDVDTitleChapters(std::int32_t n, std::int32_t title) {
    const AnimationSlot* a = Loaded(n);
    if (!a) return 0;
    if (!a->dvdInfo) return -1;
    if (title < 1 || title > 99) return 0;
    ULONG chapters = 0;
    if (FAILED(a->dvdInfo->GetNumberOfChapters(static_cast<ULONG>(title), &chapters))) return 0;
    return static_cast<std::int32_t>(chapters);
}

void SetAnimationSampleSkip(std::uint8_t flag) {
    s.sampleSkip = flag;
}

IDirect3DTexture9* GetAnimationTexture(std::int32_t n, float* uScale, float* vScale) {
    const AnimationSlot* a = Loaded(n);
    if (uScale) *uScale = a ? a->uScale : 0.0f;
    if (vScale) *vScale = a ? a->vScale : 0.0f;
    return a ? a->texture : nullptr;
}
