// TextureRenderer: a video renderer filter of the module's own. The streaming thread copies each
// RGB24 frame into frameBuffer; the main thread copies that buffer into the Direct3D texture.
#pragma once

#include "core/win32.h"

#include <dshow.h>

#include <atomic>
#include <cstdint>

class TextureRenderer;

// The one input pin; its reference count is the filter's.
class TextureRendererPin final : public IPin, public IMemInputPin {
public:
    explicit TextureRendererPin(TextureRenderer& owner) : owner_(owner) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPin
    STDMETHODIMP Connect(IPin* pin, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* pin, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* done) override;
    STDMETHODIMP ReceiveCanBlock() override;

private:
    friend class TextureRenderer;
    TextureRenderer& owner_;
    IPin* peer_ = nullptr;
    AM_MEDIA_TYPE type_{};
    bool hasType_ = false;
};

class TextureRenderer final : public IBaseFilter, public IAMFilterMiscFlags, public IMediaSeeking {
public:
    explicit TextureRenderer(IDirect3DDevice9* device);
    ~TextureRenderer();
    TextureRenderer(const TextureRenderer&) = delete;
    TextureRenderer& operator=(const TextureRenderer&) = delete;

    // The frame format, written while connecting, then fixed; the texture it goes into, made
    // by CreateTexture.
    std::int32_t videoWidth = 0, videoHeight = 0;
    std::int32_t pitch = 0; // bytes per source row, a multiple of 4
    std::int32_t textureFormat = 0;
    IDirect3DTexture9* texture = nullptr;
    float uScale = 0.0f, vScale = 0.0f;
    std::uint32_t frameSize = 0;
    // Made with the texture (or else on the first sample), then never moves.
    std::uint8_t* frameBuffer = nullptr;
    std::atomic<bool> frameArrived{false};

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) const;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type);
    // After the graph is built, on the device's thread: the texture of the connected frame size.
    HRESULT CreateTexture();
    // Also on the device's thread, before the graph runs: false when there is no memory for it.
    bool MakeFrameBuffer();
    // The input pin has an upstream peer: a video stream reached this renderer.
    bool Connected();
    HRESULT DoRenderSample(IMediaSample* sample);

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPersist, IMediaFilter, IBaseFilter
    STDMETHODIMP GetClassID(CLSID* id) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    // IAMFilterMiscFlags: marks the filter as a renderer, so the graph counts its EC_COMPLETE.
    STDMETHODIMP_(ULONG) GetMiscFlags() override;

    // IMediaSeeking, passed upstream so that the graph can seek the source.
    STDMETHODIMP GetCapabilities(DWORD* caps) override;
    STDMETHODIMP CheckCapabilities(DWORD* caps) override;
    STDMETHODIMP IsFormatSupported(const GUID* format) override;
    STDMETHODIMP QueryPreferredFormat(GUID* format) override;
    STDMETHODIMP GetTimeFormat(GUID* format) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
    STDMETHODIMP SetTimeFormat(const GUID* format) override;
    STDMETHODIMP GetDuration(LONGLONG* duration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                              DWORD stopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
    STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    STDMETHODIMP SetRate(double rate) override;
    STDMETHODIMP GetRate(double* rate) override;
    STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

private:
    friend class TextureRendererPin;
    IMediaSeeking* Upstream(); // AddRef'd, or null
    bool WaitForSampleTime(IMediaSample* sample);
    void NotifyComplete();

    std::atomic<ULONG> refs_{1};
    IDirect3DDevice9* device_;
    TextureRendererPin pin_;
    CRITICAL_SECTION lock_;
    FILTER_STATE state_ = State_Stopped;
    REFERENCE_TIME start_ = 0;
    IReferenceClock* clock_ = nullptr;
    IFilterGraph* graph_ = nullptr;   // not held: the graph holds this filter
    IMediaEventSink* sink_ = nullptr; // not held, for the same reason
    std::atomic<bool> flushing_{false};
    std::atomic<bool> ended_{false};
    wchar_t name_[MAX_FILTER_NAME] = {};
};
