#include "core/win32.h"

#include "video/texture_renderer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

constexpr std::int32_t kMaxVideoSide = 8192; // larger frames are refused rather than allocated
constexpr DWORD kPollMs = 5;                 // a waiting sample rechecks the state this often
constexpr wchar_t kPinName[] = L"In";

// A class id of this filter's own: nothing creates it through COM.
constexpr CLSID kTextureRendererClass = {
    0x6b1f0a53, 0x92d4, 0x4c7e, {0x9e, 0x41, 0x27, 0x5a, 0xc3, 0x18, 0x0d, 0x64}};

void FreeMediaType(AM_MEDIA_TYPE& type) {
    if (type.pbFormat) CoTaskMemFree(type.pbFormat);
    if (type.pUnk) type.pUnk->Release();
    type = AM_MEDIA_TYPE{};
}

HRESULT CopyMediaType(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from) {
    to = from;
    to.pbFormat = nullptr;
    to.cbFormat = 0;
    if (from.cbFormat && from.pbFormat) {
        to.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
        if (!to.pbFormat) return E_OUTOFMEMORY;
        std::memcpy(to.pbFormat, from.pbFormat, from.cbFormat);
        to.cbFormat = from.cbFormat;
    }
    if (to.pUnk) to.pUnk->AddRef();
    return S_OK;
}

// The COM plumbing of a small object that offers one interface besides IUnknown.
template <typename Interface, const IID& kIid> class SingleInterface : public Interface {
public:
    virtual ~SingleInterface() = default;
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == kIid) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (!left) Destroy();
        return left;
    }

protected:
    virtual void Destroy() { delete this; }

private:
    std::atomic<ULONG> refs_{1};
};

// Enumerates the filter's one pin.
class PinEnumerator final : public SingleInterface<IEnumPins, IID_IEnumPins> {
public:
    PinEnumerator(IPin* pin, ULONG position) : pin_(pin), position_(position) { pin_->AddRef(); }
    ~PinEnumerator() { pin_->Release(); }
    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override {
        if (!pins) return E_POINTER;
        ULONG got = 0;
        if (count > 0 && position_ == 0) {
            pins[0] = pin_;
            pin_->AddRef();
            position_ = got = 1;
        }
        if (fetched) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        position_ = std::min<ULONG>(1, position_ + count);
        return position_ == 1 && count ? S_FALSE : S_OK;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumPins** out) override;

private:
    void Destroy() override;

    IPin* pin_;
    ULONG position_;
};

// Enumerators that need no memory. Wine's graph runs the enumerator it asked for without looking
// whether it got one, so out of memory there would end the program: these few, reused once
// released, serve first, and the heap only when all are out at once.
constexpr int kSpareEnumerators = 16;
struct SpareEnumerators {
    alignas(PinEnumerator) unsigned char storage[kSpareEnumerators][sizeof(PinEnumerator)];
    std::atomic<bool> taken[kSpareEnumerators] = {};
} g_spareEnumerators;

IEnumPins* NewPinEnumerator(IPin* pin, ULONG position) {
    for (int i = 0; i < kSpareEnumerators; ++i)
        if (!g_spareEnumerators.taken[i].exchange(true))
            return new (g_spareEnumerators.storage[i]) PinEnumerator(pin, position);
    return new (std::nothrow) PinEnumerator(pin, position);
}

STDMETHODIMP PinEnumerator::Clone(IEnumPins** out) {
    if (!out) return E_POINTER;
    *out = NewPinEnumerator(pin_, position_);
    return *out ? S_OK : E_OUTOFMEMORY;
}

void PinEnumerator::Destroy() {
    auto* at = reinterpret_cast<unsigned char*>(this);
    for (int i = 0; i < kSpareEnumerators; ++i)
        if (at == g_spareEnumerators.storage[i]) {
            this->~PinEnumerator();
            g_spareEnumerators.taken[i] = false;
            return;
        }
    delete this;
}

// The pin proposes no types of its own: the upstream pin offers, CheckMediaType chooses. Having
// no state, one enumerator serves every caller, and asking for it needs no memory.
class EmptyTypeEnumerator final : public SingleInterface<IEnumMediaTypes, IID_IEnumMediaTypes> {
public:
    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE**, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        return count ? S_FALSE : S_OK;
    }
    STDMETHODIMP Skip(ULONG count) override { return count ? S_FALSE : S_OK; }
    STDMETHODIMP Reset() override { return S_OK; }
    STDMETHODIMP Clone(IEnumMediaTypes** out) override;

private:
    void Destroy() override {}
};

EmptyTypeEnumerator g_emptyTypes;

IEnumMediaTypes* SharedEmptyTypes() {
    g_emptyTypes.AddRef();
    return &g_emptyTypes;
}

STDMETHODIMP EmptyTypeEnumerator::Clone(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    *out = SharedEmptyTypes();
    return S_OK;
}

} // namespace

// ---- the pin ----

STDMETHODIMP TextureRendererPin::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPin) {
        *out = static_cast<IPin*>(this);
    } else if (riid == IID_IMemInputPin) {
        *out = static_cast<IMemInputPin*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TextureRendererPin::AddRef() {
    return owner_.AddRef();
}

STDMETHODIMP_(ULONG) TextureRendererPin::Release() {
    return owner_.Release();
}

STDMETHODIMP TextureRendererPin::Connect(IPin*, const AM_MEDIA_TYPE*) {
    return E_UNEXPECTED; // an input pin only receives connections
}

STDMETHODIMP TextureRendererPin::ReceiveConnection(IPin* pin, const AM_MEDIA_TYPE* type) {
    if (!pin || !type) return E_POINTER;
    if (peer_) return VFW_E_ALREADY_CONNECTED;
    if (owner_.state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION direction = PINDIR_INPUT;
    if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    if (owner_.CheckMediaType(type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    const HRESULT hr = owner_.SetMediaType(type);
    if (FAILED(hr)) return hr;
    if (FAILED(CopyMediaType(type_, *type))) return E_OUTOFMEMORY;
    hasType_ = true;
    peer_ = pin;
    peer_->AddRef();
    return S_OK;
}

STDMETHODIMP TextureRendererPin::Disconnect() {
    if (!peer_) return S_FALSE;
    peer_->Release();
    peer_ = nullptr;
    if (hasType_) FreeMediaType(type_);
    hasType_ = false;
    return S_OK;
}

STDMETHODIMP TextureRendererPin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    *pin = peer_;
    if (!peer_) return VFW_E_NOT_CONNECTED;
    peer_->AddRef();
    return S_OK;
}

STDMETHODIMP TextureRendererPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    if (!peer_ || !hasType_) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(*type, type_);
}

STDMETHODIMP TextureRendererPin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = &owner_;
    owner_.AddRef();
    info->dir = PINDIR_INPUT;
    std::wcscpy(info->achName, kPinName);
    return S_OK;
}

STDMETHODIMP TextureRendererPin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction) return E_POINTER;
    *direction = PINDIR_INPUT;
    return S_OK;
}

STDMETHODIMP TextureRendererPin::QueryId(LPWSTR* id) {
    if (!id) return E_POINTER;
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kPinName));
    if (!*id) return E_OUTOFMEMORY;
    std::memcpy(*id, kPinName, sizeof kPinName);
    return S_OK;
}

STDMETHODIMP TextureRendererPin::QueryAccept(const AM_MEDIA_TYPE* type) {
    if (!type) return E_POINTER;
    return owner_.CheckMediaType(type) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP TextureRendererPin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (!types) return E_POINTER;
    *types = SharedEmptyTypes();
    return S_OK;
}

STDMETHODIMP TextureRendererPin::QueryInternalConnections(IPin**, ULONG*) {
    return E_NOTIMPL;
}

STDMETHODIMP TextureRendererPin::EndOfStream() {
    if (owner_.flushing_ || owner_.state_ == State_Stopped) return S_OK;
    owner_.NotifyComplete();
    return S_OK;
}

STDMETHODIMP TextureRendererPin::BeginFlush() {
    owner_.flushing_ = true;
    return S_OK;
}

STDMETHODIMP TextureRendererPin::EndFlush() {
    owner_.flushing_ = false;
    owner_.ended_ = false; // a seek: the stream will end again
    return S_OK;
}

STDMETHODIMP TextureRendererPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) {
    return S_OK;
}

STDMETHODIMP TextureRendererPin::GetAllocator(IMemAllocator** allocator) {
    if (!allocator) return E_POINTER;
    *allocator = nullptr;
    return VFW_E_NO_ALLOCATOR; // the upstream pin brings its own
}

STDMETHODIMP TextureRendererPin::NotifyAllocator(IMemAllocator*, BOOL) {
    return S_OK;
}

STDMETHODIMP TextureRendererPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) {
    return E_NOTIMPL;
}

STDMETHODIMP TextureRendererPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    if (owner_.flushing_) return S_FALSE;
    if (owner_.state_ == State_Stopped) return VFW_E_WRONG_STATE;
    if (!owner_.WaitForSampleTime(sample)) return S_FALSE;
    return owner_.DoRenderSample(sample);
}

STDMETHODIMP TextureRendererPin::ReceiveMultiple(IMediaSample** samples, long count, long* done) {
    if (!samples || !done) return E_POINTER;
    *done = 0;
    HRESULT hr = S_OK;
    for (long i = 0; i < count && hr == S_OK; ++i) {
        hr = Receive(samples[i]);
        if (hr == S_OK) ++*done;
    }
    return hr;
}

STDMETHODIMP TextureRendererPin::ReceiveCanBlock() {
    return S_OK;
}

// ---- the filter ----

TextureRenderer::TextureRenderer(IDirect3DDevice9* device) : device_(device), pin_(*this) {
    InitializeCriticalSection(&lock_);
}

TextureRenderer::~TextureRenderer() {
    pin_.Disconnect();
    if (clock_) clock_->Release();
    if (texture) texture->Release();
    std::free(frameBuffer);
    DeleteCriticalSection(&lock_);
}

HRESULT TextureRenderer::CheckMediaType(const AM_MEDIA_TYPE* type) const {
    if (!type || type->formattype != FORMAT_VideoInfo) return E_INVALIDARG;
    if (type->majortype == MEDIATYPE_Video && type->subtype == MEDIASUBTYPE_RGB24) return S_OK;
    return E_FAIL;
}

HRESULT TextureRenderer::SetMediaType(const AM_MEDIA_TYPE* type) {
    if (!type->pbFormat || type->cbFormat < sizeof(VIDEOINFOHEADER)) return VFW_E_TYPE_NOT_ACCEPTED;
    const BITMAPINFOHEADER& bih =
        reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader;
    const std::int32_t width = bih.biWidth;
    const std::int32_t height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
    if (width < 1 || height < 1 || width > kMaxVideoSide || height > kMaxVideoSide)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const std::int32_t rowBytes = (width * 3 + 3) & ~3;
    // The frame buffer, once made, never moves: a later type must keep its size.
    if (frameBuffer && static_cast<std::uint32_t>(rowBytes * height) != frameSize)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (!device_) return VFW_E_TYPE_NOT_ACCEPTED;
    videoWidth = width;
    videoHeight = height;
    pitch = rowBytes;
    frameSize = static_cast<std::uint32_t>(rowBytes * height);
    return S_OK;
}

// The texture is made here, on the thread that owns the device, never by the graph's threads.
HRESULT TextureRenderer::CreateTexture() {
    if (!device_ || videoWidth < 1 || videoHeight < 1) return VFW_E_NOT_CONNECTED;
    IDirect3DTexture9* made = nullptr;
    if (FAILED(D3DXCreateTexture(device_, videoWidth, videoHeight, 1, 0, D3DFMT_A8R8G8B8,
                                 D3DPOOL_MANAGED, &made)))
        return E_FAIL;
    D3DSURFACE_DESC desc{};
    if (FAILED(made->GetLevelDesc(0, &desc)) ||
        (desc.Format != D3DFMT_A8R8G8B8 && desc.Format != D3DFMT_A1R5G5B5)) {
        made->Release();
        return E_FAIL;
    }
    if (texture) texture->Release();
    texture = made;
    textureFormat = static_cast<std::int32_t>(desc.Format);
    uScale = std::min(1.0f, static_cast<float>(videoWidth) / static_cast<float>(desc.Width));
    vScale = std::min(1.0f, static_cast<float>(videoHeight) / static_cast<float>(desc.Height));
    return S_OK;
}

bool TextureRenderer::Connected() {
    IPin* peer = nullptr;
    if (pin_.ConnectedTo(&peer) != S_OK || !peer) return false;
    peer->Release();
    return true;
}

bool TextureRenderer::MakeFrameBuffer() {
    if (!frameBuffer && frameSize)
        frameBuffer = static_cast<std::uint8_t*>(std::calloc(frameSize, 1));
    return frameBuffer != nullptr;
}

HRESULT TextureRenderer::DoRenderSample(IMediaSample* sample) {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data || !frameSize) return S_OK;
    if (!frameBuffer) {
        frameBuffer = static_cast<std::uint8_t*>(std::calloc(frameSize, 1));
        if (!frameBuffer) return S_OK;
    }
    // A short sample fills only what it holds; a long one never overruns the buffer.
    const long actual = sample->GetActualDataLength();
    const std::uint32_t bytes =
        actual > 0 ? std::min(frameSize, static_cast<std::uint32_t>(actual)) : 0;
    std::memcpy(frameBuffer, data, bytes);
    if (bytes) frameArrived = true;
    return S_OK;
}

// Holds the sample until its presentation time on the graph clock; false when it is dropped.
bool TextureRenderer::WaitForSampleTime(IMediaSample* sample) {
    REFERENCE_TIME begin = 0, end = 0;
    if (FAILED(sample->GetTime(&begin, &end))) return true;
    for (;;) {
        if (flushing_ || state_ == State_Stopped) return false;
        DWORD wait = kPollMs;
        if (state_ == State_Running) {
            EnterCriticalSection(&lock_);
            REFERENCE_TIME now = 0;
            const bool timed = clock_ && SUCCEEDED(clock_->GetTime(&now));
            const REFERENCE_TIME streamTime = now - start_;
            LeaveCriticalSection(&lock_);
            if (!timed || begin <= streamTime) return true;
            const REFERENCE_TIME ms = (begin - streamTime) / 10000;
            wait = static_cast<DWORD>(std::clamp<REFERENCE_TIME>(ms, 1, kPollMs));
        }
        Sleep(wait); // paused: hold the frame until running or stopped
    }
}

void TextureRenderer::NotifyComplete() {
    if (ended_.exchange(true)) return;
    if (sink_) sink_->Notify(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(this));
}

STDMETHODIMP TextureRenderer::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
        riid == IID_IBaseFilter) {
        *out = static_cast<IBaseFilter*>(this);
    } else if (riid == IID_IAMFilterMiscFlags) {
        *out = static_cast<IAMFilterMiscFlags*>(this);
    } else if (riid == IID_IMediaSeeking) {
        *out = static_cast<IMediaSeeking*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TextureRenderer::AddRef() {
    return ++refs_;
}

STDMETHODIMP_(ULONG) TextureRenderer::Release() {
    const ULONG left = --refs_;
    if (!left) delete this;
    return left;
}

STDMETHODIMP TextureRenderer::GetClassID(CLSID* id) {
    if (!id) return E_POINTER;
    *id = kTextureRendererClass;
    return S_OK;
}

STDMETHODIMP TextureRenderer::Stop() {
    EnterCriticalSection(&lock_);
    state_ = State_Stopped;
    ended_ = false;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP TextureRenderer::Pause() {
    EnterCriticalSection(&lock_);
    if (state_ == State_Stopped) ended_ = false;
    state_ = State_Paused;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP TextureRenderer::Run(REFERENCE_TIME start) {
    EnterCriticalSection(&lock_);
    if (state_ == State_Stopped) ended_ = false;
    start_ = start;
    state_ = State_Running;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP TextureRenderer::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = state_;
    return S_OK;
}

STDMETHODIMP TextureRenderer::SetSyncSource(IReferenceClock* clock) {
    EnterCriticalSection(&lock_);
    if (clock) clock->AddRef();
    if (clock_) clock_->Release();
    clock_ = clock;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP TextureRenderer::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    EnterCriticalSection(&lock_);
    *clock = clock_;
    if (clock_) clock_->AddRef();
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP TextureRenderer::EnumPins(IEnumPins** pins) {
    if (!pins) return E_POINTER;
    *pins = NewPinEnumerator(static_cast<IPin*>(&pin_), 0);
    return *pins ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP TextureRenderer::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    if (std::wcscmp(id, kPinName) != 0) return VFW_E_NOT_FOUND;
    *pin = &pin_;
    pin_.AddRef();
    return S_OK;
}

STDMETHODIMP TextureRenderer::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    std::wcscpy(info->achName, name_);
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
}

STDMETHODIMP TextureRenderer::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    graph_ = graph;
    sink_ = nullptr;
    name_[0] = L'\0';
    if (name) {
        std::wcsncpy(name_, name, MAX_FILTER_NAME - 1);
        name_[MAX_FILTER_NAME - 1] = L'\0';
    }
    IMediaEventSink* sink = nullptr;
    if (graph &&
        SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
        sink_ = sink;
        sink->Release(); // kept unheld: the graph outlives its filters' use of it
    }
    return S_OK;
}

STDMETHODIMP TextureRenderer::QueryVendorInfo(LPWSTR*) {
    return E_NOTIMPL;
}

STDMETHODIMP_(ULONG) TextureRenderer::GetMiscFlags() {
    return AM_FILTER_MISC_FLAGS_IS_RENDERER;
}

IMediaSeeking* TextureRenderer::Upstream() {
    IMediaSeeking* seeking = nullptr;
    if (!pin_.peer_ ||
        FAILED(pin_.peer_->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking))))
        return nullptr;
    return seeking;
}

// Each seeking call goes to the connected upstream pin.
#define TEXTURE_RENDERER_PASS(call)                                                                \
    IMediaSeeking* up = Upstream();                                                                \
    if (!up) return E_NOTIMPL;                                                                     \
    const HRESULT hr = up->call;                                                                   \
    up->Release();                                                                                 \
    return hr

STDMETHODIMP TextureRenderer::GetCapabilities(DWORD* caps) {
    TEXTURE_RENDERER_PASS(GetCapabilities(caps));
}
STDMETHODIMP TextureRenderer::CheckCapabilities(DWORD* caps) {
    TEXTURE_RENDERER_PASS(CheckCapabilities(caps));
}
STDMETHODIMP TextureRenderer::IsFormatSupported(const GUID* format) {
    TEXTURE_RENDERER_PASS(IsFormatSupported(format));
}
STDMETHODIMP TextureRenderer::QueryPreferredFormat(GUID* format) {
    TEXTURE_RENDERER_PASS(QueryPreferredFormat(format));
}
STDMETHODIMP TextureRenderer::GetTimeFormat(GUID* format) {
    TEXTURE_RENDERER_PASS(GetTimeFormat(format));
}
STDMETHODIMP TextureRenderer::IsUsingTimeFormat(const GUID* format) {
    TEXTURE_RENDERER_PASS(IsUsingTimeFormat(format));
}
STDMETHODIMP TextureRenderer::SetTimeFormat(const GUID* format) {
    TEXTURE_RENDERER_PASS(SetTimeFormat(format));
}
STDMETHODIMP TextureRenderer::GetDuration(LONGLONG* duration) {
    TEXTURE_RENDERER_PASS(GetDuration(duration));
}
STDMETHODIMP TextureRenderer::GetStopPosition(LONGLONG* stop) {
    TEXTURE_RENDERER_PASS(GetStopPosition(stop));
}
STDMETHODIMP TextureRenderer::GetCurrentPosition(LONGLONG* current) {
    TEXTURE_RENDERER_PASS(GetCurrentPosition(current));
}
STDMETHODIMP TextureRenderer::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                                LONGLONG source, const GUID* sourceFormat) {
    TEXTURE_RENDERER_PASS(ConvertTimeFormat(target, targetFormat, source, sourceFormat));
}
STDMETHODIMP TextureRenderer::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) {
    TEXTURE_RENDERER_PASS(SetPositions(current, currentFlags, stop, stopFlags));
}
STDMETHODIMP TextureRenderer::GetPositions(LONGLONG* current, LONGLONG* stop) {
    TEXTURE_RENDERER_PASS(GetPositions(current, stop));
}
STDMETHODIMP TextureRenderer::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
    TEXTURE_RENDERER_PASS(GetAvailable(earliest, latest));
}
STDMETHODIMP TextureRenderer::SetRate(double rate) {
    TEXTURE_RENDERER_PASS(SetRate(rate));
}
STDMETHODIMP TextureRenderer::GetRate(double* rate) {
    TEXTURE_RENDERER_PASS(GetRate(rate));
}
STDMETHODIMP TextureRenderer::GetPreroll(LONGLONG* preroll) {
    TEXTURE_RENDERER_PASS(GetPreroll(preroll));
}

#undef TEXTURE_RENDERER_PASS
