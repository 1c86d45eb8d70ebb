#include "core/win32.h"

#include "input/fake_joystick.h"

#include <cstring>

FakeInputWorld g_FakeInput;

namespace {

template <typename Interface> class Counted : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    virtual ~Counted() = default;

private:
    ULONG refs_ = 1;
};

void Record(FakeEffectRecord& r, REFGUID type, const DIEFFECT* e) {
    r.type = type;
    r.duration = e->dwDuration;
    r.direction = e->rglDirection ? e->rglDirection[0] : 0;
    if (e->cbTypeSpecificParams == sizeof(DICONSTANTFORCE)) {
        r.magnitude = static_cast<const DICONSTANTFORCE*>(e->lpvTypeSpecificParams)->lMagnitude;
    } else if (e->cbTypeSpecificParams == sizeof(DIPERIODIC)) {
        const auto* p = static_cast<const DIPERIODIC*>(e->lpvTypeSpecificParams);
        r.magnitude = static_cast<LONG>(p->dwMagnitude);
        r.period = p->dwPeriod;
    }
}

class FakeEffect : public Counted<IDirectInputEffect> {
public:
    explicit FakeEffect(std::size_t index) : index_(index) {}
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE GetEffectGuid(LPGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParameters(LPDIEFFECT, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetParameters(LPCDIEFFECT e, DWORD) override {
        FakeEffectRecord& r = g_FakeInput.effects[index_];
        Record(r, r.type, e);
        ++r.updates;
        return DI_OK;
    }
    HRESULT STDMETHODCALLTYPE Start(DWORD, DWORD) override {
        ++g_FakeInput.effects[index_].starts;
        return DI_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        ++g_FakeInput.effects[index_].stops;
        return DI_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEffectStatus(LPDWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Download() override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE Unload() override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE Escape(LPDIEFFESCAPE) override { return E_NOTIMPL; }

private:
    std::size_t index_;
};

class FakeJoystick : public Counted<IDirectInputDevice8A> {
public:
    HRESULT STDMETHODCALLTYPE GetCapabilities(LPDIDEVCAPS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKA, LPVOID, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetProperty(REFGUID, LPDIPROPHEADER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProperty(REFGUID, LPCDIPROPHEADER) override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE Acquire() override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE Unacquire() override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) override {
        if (size != sizeof(DIJOYSTATE2)) return DIERR_INVALIDPARAM;
        std::memcpy(data, &g_FakeInput.state, size);
        return DI_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT) override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE SetEventNotification(HANDLE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND, DWORD) override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA, DWORD, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPDIDEVICEINSTANCEA) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RunControlPanel(HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE CreateEffect(REFGUID type, LPCDIEFFECT e, LPDIRECTINPUTEFFECT* out,
                                           LPUNKNOWN) override {
        g_FakeInput.effects.emplace_back();
        Record(g_FakeInput.effects.back(), type, e);
        *out = new FakeEffect(g_FakeInput.effects.size() - 1);
        return DI_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumEffects(LPDIENUMEFFECTSCALLBACKA callback, LPVOID ref,
                                          DWORD type) override {
        if (type == DIEFT_PERIODIC) {
            DIEFFECTINFOA info{};
            info.dwSize = sizeof info;
            info.guid = GUID_Sine;
            callback(&info, ref);
        }
        return DI_OK;
    }
    HRESULT STDMETHODCALLTYPE GetEffectInfo(LPDIEFFECTINFOA, REFGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetForceFeedbackState(LPDWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SendForceFeedbackCommand(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID,
                                                       DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Escape(LPDIEFFESCAPE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Poll() override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD,
                                             DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumEffectsInFile(LPCSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID,
                                                DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE WriteEffectToFile(LPCSTR, DWORD, LPDIFILEEFFECT, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE BuildActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetActionMap(LPDIACTIONFORMATA, LPCSTR, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetImageInfo(LPDIDEVICEIMAGEINFOHEADERA) override {
        return E_NOTIMPL;
    }
};

class FakeDirectInput : public Counted<IDirectInput8A> {
public:
    HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID, LPDIRECTINPUTDEVICE8A* out,
                                           LPUNKNOWN) override {
        *out = new FakeJoystick;
        return DI_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumDevices(DWORD, LPDIENUMDEVICESCALLBACKA callback, LPVOID ref,
                                          DWORD flags) override {
        for (std::size_t i = 0; i < g_FakeInput.controllers.size(); ++i) {
            const FakeController& c = g_FakeInput.controllers[i];
            if ((flags & DIEDFL_FORCEFEEDBACK) && !c.forceFeedback) continue;
            DIDEVICEINSTANCEA instance{};
            instance.dwSize = sizeof instance;
            instance.guidInstance.Data1 = static_cast<DWORD>(i + 1);
            std::strncpy(instance.tszProductName, c.name.c_str(), MAX_PATH - 1);
            if (callback(&instance, ref) == DIENUM_STOP) break;
        }
        return DI_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceStatus(REFGUID) override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE RunControlPanel(HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD) override { return DI_OK; }
    HRESULT STDMETHODCALLTYPE FindDevice(REFGUID, LPCSTR, LPGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDevicesBySemantics(LPCSTR, LPDIACTIONFORMATA,
                                                     LPDIENUMDEVICESBYSEMANTICSCBA, LPVOID,
                                                     DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK,
                                               LPDICONFIGUREDEVICESPARAMSA, DWORD,
                                               LPVOID) override {
        return E_NOTIMPL;
    }
};

} // namespace

IDirectInput8A* MakeFakeDirectInput() {
    return new FakeDirectInput;
}
