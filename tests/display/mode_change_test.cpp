// Mode changes through every command form: what a refused one leaves, what a made one sets, and
// what a lost device and a device that cannot be made come back to.
#include "core/win32.h"

#include "bitmap/bitmap.h"
#include "core/engine.h"
#include "display/display.h"
#include "display/display_state.h"
#include "image/image.h"
#include "object3d/object_commands.h"
#include "object3d/primitive_makers.h"
#include "sprite/sprite.h"
#include "support/engine_fixture.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Passes every call on to the real interface, but fails the next `failures` device creations
// (-1: every one) with `result`: a device the platform cannot make, which it here always makes.
class FailingDirect3D final : public IDirect3D9 {
public:
    explicit FailingDirect3D(IDirect3D9* real) : real_(real) {}
    int failures = 0;
    HRESULT result = D3DERR_NOTAVAILABLE;

    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND window, DWORD flags,
                                           D3DPRESENT_PARAMETERS* present,
                                           IDirect3DDevice9** device) override {
        if (failures != 0) {
            if (failures > 0) --failures;
            return result;
        }
        return real_->CreateDevice(adapter, type, window, flags, present, device);
    }

    // The wrapper is not reference counted: it lives on the test's stack.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return real_->QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE RegisterSoftwareDevice(void* f) override {
        return real_->RegisterSoftwareDevice(f);
    }
    UINT STDMETHODCALLTYPE GetAdapterCount() override { return real_->GetAdapterCount(); }
    HRESULT STDMETHODCALLTYPE GetAdapterIdentifier(UINT a, DWORD f,
                                                   D3DADAPTER_IDENTIFIER9* id) override {
        return real_->GetAdapterIdentifier(a, f, id);
    }
    UINT STDMETHODCALLTYPE GetAdapterModeCount(UINT a, D3DFORMAT f) override {
        return real_->GetAdapterModeCount(a, f);
    }
    HRESULT STDMETHODCALLTYPE EnumAdapterModes(UINT a, D3DFORMAT f, UINT m,
                                               D3DDISPLAYMODE* mode) override {
        return real_->EnumAdapterModes(a, f, m, mode);
    }
    HRESULT STDMETHODCALLTYPE GetAdapterDisplayMode(UINT a, D3DDISPLAYMODE* mode) override {
        return real_->GetAdapterDisplayMode(a, mode);
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceType(UINT a, D3DDEVTYPE t, D3DFORMAT f, D3DFORMAT b,
                                              WINBOOL w) override {
        return real_->CheckDeviceType(a, t, f, b, w);
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT a, D3DDEVTYPE t, D3DFORMAT f, DWORD u,
                                                D3DRESOURCETYPE r, D3DFORMAT c) override {
        return real_->CheckDeviceFormat(a, t, f, u, r, c);
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceMultiSampleType(UINT a, D3DDEVTYPE t, D3DFORMAT f,
                                                         WINBOOL w, D3DMULTISAMPLE_TYPE m,
                                                         DWORD* q) override {
        return real_->CheckDeviceMultiSampleType(a, t, f, w, m, q);
    }
    HRESULT STDMETHODCALLTYPE CheckDepthStencilMatch(UINT a, D3DDEVTYPE t, D3DFORMAT f, D3DFORMAT r,
                                                     D3DFORMAT s) override {
        return real_->CheckDepthStencilMatch(a, t, f, r, s);
    }
    HRESULT STDMETHODCALLTYPE CheckDeviceFormatConversion(UINT a, D3DDEVTYPE t, D3DFORMAT s,
                                                          D3DFORMAT f) override {
        return real_->CheckDeviceFormatConversion(a, t, s, f);
    }
    HRESULT STDMETHODCALLTYPE GetDeviceCaps(UINT a, D3DDEVTYPE t, D3DCAPS9* caps) override {
        return real_->GetDeviceCaps(a, t, caps);
    }
    HMONITOR STDMETHODCALLTYPE GetAdapterMonitor(UINT a) override {
        return real_->GetAdapterMonitor(a);
    }

private:
    IDirect3D9* real_;
};

class ModeChange : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_EQ(StartEngine(), 0) << "error " << cell.number;
        ASSERT_NE(GetDirect3DDevice(), nullptr);
    }
    // An image, an object, a sprite and a bitmap: one item of each module a mode change
    // reaches, made without a file.
    void MakeItems() {
        GrabImage(1, 0, 0, 16, 16);
        MakeObjectBox(1, 10.0f);
        PlaceSprite(1, 10, 10, 1);
        CreateBitmap(1, 16, 16);
        SetCurrentBitmap(0);
        ASSERT_EQ(cell.number, 0);
        ASSERT_TRUE(ItemsThere());
    }
    static bool ItemsThere() {
        return ImageExist(1) && ObjectExist(1) && SpriteExist(1) && BitmapExist(1);
    }
    static RECT Client() {
        RECT r{};
        GetClientRect(g_CoreData->window, &r);
        return r;
    }
};

struct Refused {
    const char* call;
    bool (*run)();
    std::int32_t error;
};

struct Made {
    const char* call;
    bool (*run)();
    std::int32_t width, height;
};

struct Chosen {
    const char* call;
    bool (*run)();
    std::int32_t width, height;
    DWORD vertices; // behaviour flag the device is made with
    bool lockable, windowed;
};

struct Unmade {
    const char* what;
    int failures; // device creations that fail; -1 every one
    HRESULT result;
    std::int32_t error;
    bool deviceAfter; // the last mode could be set up again
    bool (*run)() = [] { return SetDisplayModeEx(800, 600, 32, 1, 0, 1); };
};

} // namespace

// Every argument is checked before any module lets go of anything: a refused mode leaves every
// item, the device, the render target, the display size and the window as they were.
TEST_F(ModeChange, RefusedArgumentsChangeNothing) {
    const Refused rows[] = {
        {"Ex vertices 7", [] { return SetDisplayModeEx(640, 480, 32, 1, 7, 1); }, 1508},
        {"Ex lockable 2", [] { return SetDisplayModeEx(640, 480, 32, 1, 0, 2); }, 1509},
        {"Ex both flags", [] { return SetDisplayModeEx(800, 600, 0, 1, 0x60, -1); }, 1508},
        {"VertexProcessing 3", [] { return SetDisplayModeVertexProcessing(640, 480, 32, 1, 3); },
         1508},
        {"WindowFlag 2", [] { return SetDisplayModeWindowFlag(800, 600, 32, 2); }, 1503},
        {"FullScreen depth 24", [] { return SetDisplayModeFullScreen(800, 600, 24); }, 1514},
        {"16 no size", [] { return SetDisplayMode16(0, 480); }, 1501},
        {"Ex no mode", [] { return SetDisplayModeEx(4000, 3000, 32, 1, 0, 1); }, 1507},
        {"SetDisplayMode depth 8",
         [] {
             SetDisplayMode(800, 600, 8);
             return false;
         },
         1502},
    };
    MakeItems();
    IDirect3DDevice9* device = GetDirect3DDevice();
    IDirect3DSurface9* target = g_CoreData->renderTarget;
    IDirect3DTexture9* texture = GetImagePointer(1);
    ASSERT_NE(target, nullptr);
    const RECT client = Client();
    for (const Refused& row : rows) {
        cell.number = 0;
        EXPECT_FALSE(row.run()) << row.call;
        EXPECT_EQ(cell.number, row.error) << row.call;
        EXPECT_TRUE(ItemsThere()) << row.call;
        EXPECT_EQ(GetImagePointer(1), texture) << row.call; // not made again either
        EXPECT_EQ(GetDirect3DDevice(), device) << row.call;
        EXPECT_EQ(g_CoreData->renderTarget, target) << row.call;
        EXPECT_EQ(GetDisplayWidth(), 640) << row.call;
        EXPECT_EQ(GetDisplayHeight(), 480) << row.call;
        const RECT now = Client();
        EXPECT_EQ(now.right, client.right) << row.call;
        EXPECT_EQ(now.bottom, client.bottom) << row.call;
    }
}

// A mode a command form made is the display's size, and the framed window's client area.
TEST_F(ModeChange, MadeModesSetTheDisplaySizeAndTheClientArea) {
    const Made rows[] = {
        {"Ex 800", [] { return SetDisplayModeEx(800, 600, 32, 1, 0, 1); }, 800, 600},
        {"WindowFlag 1024", [] { return SetDisplayModeWindowFlag(1024, 768, 32, 1); }, 1024, 768},
        {"VertexProcessing 720", [] { return SetDisplayModeVertexProcessing(720, 400, 32, 1, 1); },
         720, 400},
        {"Ex desktop depth 640", [] { return SetDisplayModeEx(640, 480, 0, 1, 0x20, 0); }, 640,
         480},
        {"SetDisplayMode 800",
         [] {
             SetDisplayMode(800, 600, 32);
             return true;
         },
         800, 600},
    };
    for (const Made& row : rows) {
        cell.number = 0;
        EXPECT_TRUE(row.run()) << row.call;
        EXPECT_EQ(cell.number, 0) << row.call;
        EXPECT_EQ(GetDisplayWidth(), row.width) << row.call;
        EXPECT_EQ(GetDisplayHeight(), row.height) << row.call;
        EXPECT_EQ(GetDisplayDepth(), 32) << row.call;
        PumpFor(50);
        const RECT client = Client();
        EXPECT_EQ(client.right, row.width) << row.call;
        EXPECT_EQ(client.bottom, row.height) << row.call;
        EXPECT_NE(g_CoreData->renderTarget, nullptr) << row.call;
    }
}

// A lost device is made again at the size, the windowed flag and the vertex processing that the
// last mode made chose, not at the size the program started with or with hardware vertices. The
// screen's own size is the one full-screen mode here.
TEST_F(ModeChange, ALostDeviceComesBackAtTheLastModeMade) {
    const Chosen rows[] = {
        {"Ex software 800", [] { return SetDisplayModeEx(800, 600, 32, 1, 1, 0); }, 800, 600,
         D3DCREATE_SOFTWARE_VERTEXPROCESSING, false, true},
        {"VertexProcessing 1024",
         [] { return SetDisplayModeVertexProcessing(1024, 768, 32, 1, 0x20); }, 1024, 768,
         D3DCREATE_SOFTWARE_VERTEXPROCESSING, false, true},
        {"FullScreen 1024", [] { return SetDisplayModeFullScreen(1024, 768, 32); }, 1024, 768,
         D3DCREATE_HARDWARE_VERTEXPROCESSING, false, false},
        {"WindowFlag 720", [] { return SetDisplayModeWindowFlag(720, 400, 32, 1); }, 720, 400,
         D3DCREATE_HARDWARE_VERTEXPROCESSING, false, true},
        {"Ex lockable 640", [] { return SetDisplayModeEx(640, 480, 32, 1, 2, 1); }, 640, 480,
         D3DCREATE_SOFTWARE_VERTEXPROCESSING, true, true},
    };
    for (const Chosen& row : rows) {
        cell.number = 0;
        ASSERT_TRUE(row.run()) << row.call;
        const D3DPRESENT_PARAMETERS made = g_Display.present;
        const std::int32_t offsetX = g_Display.offsetX, offsetY = g_Display.offsetY;
        IDirect3DDevice9* real = g_Display.device.Detach();
        RecordingDevice lost(real);
        lost.presentResult = D3DERR_DEVICELOST;
        lost.cooperativeLevel = D3DERR_DEVICENOTRESET;
        g_Display.device.Reset(&lost);
        PresentDisplay();
        const bool remade = GetDirect3DDevice() != &lost;
        if (remade) {
            real->Release(); // the display module let go of the wrapper, not of the device in it
        } else {
            g_Display.device.Detach();
            g_Display.device.Reset(real);
        }
        ASSERT_TRUE(remade) << row.call << ": not made again";
        IDirect3DDevice9* device = GetDirect3DDevice();
        ASSERT_NE(device, nullptr) << row.call;
        EXPECT_EQ(g_Display.offsetX, offsetX) << row.call;
        EXPECT_EQ(g_Display.offsetY, offsetY) << row.call;
        D3DDEVICE_CREATION_PARAMETERS created{};
        device->GetCreationParameters(&created);
        EXPECT_EQ(created.BehaviorFlags & 0x60u, row.vertices) << row.call;
        const D3DPRESENT_PARAMETERS& now = g_Display.present;
        EXPECT_EQ(now.BackBufferWidth, made.BackBufferWidth) << row.call;
        EXPECT_EQ(now.BackBufferHeight, made.BackBufferHeight) << row.call;
        EXPECT_EQ(now.Windowed != FALSE, row.windowed) << row.call;
        EXPECT_EQ((now.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0, row.lockable) << row.call;
        EXPECT_EQ(GetDisplayWidth(), row.width) << row.call;
        EXPECT_EQ(GetDisplayHeight(), row.height) << row.call;
        EXPECT_NE(g_CoreData->renderTarget, nullptr) << row.call;
        EXPECT_EQ(cell.number, 0) << row.call;
    }
}

// A device that cannot be made after the old one went raises its error; the last mode is set up
// again and the modules rebuild on it, or, when even that fails, nothing claims a device.
TEST_F(ModeChange, ADeviceThatCannotBeMadeLeavesASoundDisplay) {
    const Unmade rows[] = {
        {"the new mode's", 2, D3DERR_NOTAVAILABLE, 1512, true},
        {"every", -1, E_FAIL, 1511, false},
        {"Setup's", 2, D3DERR_NOTAVAILABLE, 1512, true, [] { return ::Setup(); }},
        {"CreateDisplayDevice's", -1, D3DERR_OUTOFVIDEOMEMORY, 1513, false,
         [] { return CreateDisplayDevice(); }},
    };
    for (const Unmade& row : rows) {
        MakeItems();
        const UINT backBufferWidth = g_Display.present.BackBufferWidth;
        IDirect3D9* real = g_Display.d3d.Detach();
        FailingDirect3D failing(real);
        failing.failures = row.failures;
        failing.result = row.result;
        g_Display.d3d.Reset(&failing);
        cell.number = 0;
        const bool made = row.run();
        g_Display.d3d.Detach();
        g_Display.d3d.Reset(real);

        EXPECT_FALSE(made) << row.what;
        EXPECT_EQ(cell.number, row.error) << row.what;
        EXPECT_EQ(GetDisplayWidth(), 640) << row.what;
        EXPECT_EQ(GetDisplayHeight(), 480) << row.what;
        IDirect3DDevice9* device = GetDirect3DDevice();
        EXPECT_EQ(device != nullptr, row.deviceAfter) << row.what;
        EXPECT_EQ(g_CoreData->renderTarget != nullptr, row.deviceAfter) << row.what;
        if (device) {
            IDirect3DSurface9* target = nullptr;
            device->GetRenderTarget(0, &target);
            EXPECT_EQ(g_CoreData->renderTarget, target) << row.what;
            if (target) target->Release();
            EXPECT_EQ(g_Display.present.BackBufferWidth, backBufferWidth) << row.what;
        }
        // The modules work on the device there is, or on none: items are made again, or
        // refused, and a frame draws or does nothing.
        cell.number = 0;
        GrabImage(2, 0, 0, 8, 8);
        MakeObjectBox(2, 5.0f);
        EXPECT_EQ(ImageExist(2), row.deviceAfter) << row.what;
        Sync();
        // Back to a device for the next row.
        SetDisplayMode(640, 480, 32);
        ASSERT_NE(GetDirect3DDevice(), nullptr) << row.what;
        cell.number = 0;
    }
}

namespace {
struct Step {
    const char* call;
    bool (*run)();
};

// The device image n's texture was made on; null without one.
IDirect3DDevice9* ImageDevice(std::int32_t n) {
    IDirect3DDevice9* owner = nullptr;
    if (IDirect3DTexture9* texture = GetImagePointer(n)) texture->GetDevice(&owner);
    if (owner) owner->Release(); // compared, not used
    return owner;
}
} // namespace

// The steps of a mode set, called on their own under running modules, make a new device as a mode
// change does: every module lets go of the old device's objects first and rebuilds on the new one.
// The test keeps the old device: nothing but it may hold the old device after the step.
TEST_F(ModeChange, DeviceStepsReleaseAndRebuildTheModules) {
    const Step rows[] = {
        {"SetDisplayMode",
         [] {
             SetDisplayMode(640, 480, 32);
             return true;
         }},
        {"Setup", [] { return ::Setup(); }},
        {"CreateDisplayDevice", [] { return CreateDisplayDevice(); }},
    };
    for (const Step& row : rows) {
        MakeItems();
        IDirect3DDevice9* old = GetDirect3DDevice();
        old->AddRef();
        cell.number = 0;
        EXPECT_TRUE(row.run()) << row.call;
        EXPECT_EQ(cell.number, 0) << row.call;
        EXPECT_EQ(old->Release(), 0u) << row.call << ": objects of the old device are held";
        ASSERT_NE(GetDirect3DDevice(), nullptr) << row.call;
        EXPECT_NE(g_CoreData->renderTarget, nullptr) << row.call;
        // What the modules make now is the new device's, and a frame draws it.
        GrabImage(2, 0, 0, 8, 8);
        EXPECT_EQ(ImageDevice(2), GetDirect3DDevice()) << row.call;
        Sync();
        EXPECT_EQ(cell.number, 0) << row.call;
        DeleteImage(2);
    }
}

// The console's reset to a window from full screen: a reset needs every object of the device's
// own memory gone, so the modules let go of theirs first and rebuild on the windowed device.
TEST_F(ModeChange, AResetToAWindowKeepsADeviceTheModulesRebuildOn) {
    ASSERT_TRUE(SetDisplayModeEx(1024, 768, 32, 0, 0, 1)); // lockable: images are grabbed
    MakeItems();
    ResetDeviceWindowed();
    ASSERT_NE(GetDirect3DDevice(), nullptr);
    EXPECT_TRUE(g_Display.present.Windowed);
    MakeItems();
    EXPECT_EQ(ImageDevice(1), GetDirect3DDevice());
    Sync();
    EXPECT_EQ(cell.number, 0);
}
