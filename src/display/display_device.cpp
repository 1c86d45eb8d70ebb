#include "core/win32.h"

#include "display/display.h"
#include "display/display_state.h"
#include "core/core.h"

#include "core/module_link.h"
#include "core/error_numbers.h"
#include "core/no_throw.h"

#include <cstring>

DisplayState g_Display;

namespace {

DisplayState& d = g_Display;

constexpr UINT kHostReplyMs = 500; // longest wait for a host window to take a message

constexpr DWORD kHardwareVertices = D3DCREATE_HARDWARE_VERTEXPROCESSING; // 0x40
constexpr DWORD kSoftwareVertices = D3DCREATE_SOFTWARE_VERTEXPROCESSING; // 0x20

const D3DFORMAT kModeFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_X1R5G5B5,
                                  D3DFMT_A1R5G5B5, D3DFMT_R5G6B5,   D3DFMT_A2R10G10B10};

const int kDepthCandidates[] = {75, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 40, 41,
                                50, 51, 52, 60, 61, 62, 63, 64, 70, 71, 73, 80, 77, 79};

bool Fail(const char* text, std::int32_t error) {
    ReportDisplayMessage(text);
    if (error) RaiseRuntimeError(error);
    return false;
}

void ReleaseDevice() {
    if (!d.device) return;
    ReleaseFrameQueries();
    if (d.sceneOpen) d.device->EndScene();
    d.sceneOpen = false;
    d.device.Reset();
}

void ListModes(IDirect3D9* d3d, UINT adapter, std::vector<D3DDISPLAYMODE>& modes) {
    modes.clear();
    for (D3DFORMAT format : kModeFormats) {
        const UINT count = d3d->GetAdapterModeCount(adapter, format);
        for (UINT i = 0; i < count; ++i) {
            D3DDISPLAYMODE mode{};
            if (FAILED(d3d->EnumAdapterModes(adapter, format, i, &mode))) {
                ReportDisplayMessage("Failed to enumerate adapter display modes");
                continue;
            }
            // Refresh-rate variants collapse into one entry; the last enumerated stays.
            if (!modes.empty()) {
                D3DDISPLAYMODE& last = modes.back();
                if (last.Width == mode.Width && last.Height == mode.Height &&
                    SurfaceFormatBits(last.Format) == SurfaceFormatBits(mode.Format)) {
                    last = mode;
                    continue;
                }
            }
            modes.push_back(mode);
        }
    }
}

void FindHardWareInfo() {
    if (!d.d3d) {
        ReportDisplayMessage("Invalid D3D device for FindHardWareInfo");
        return;
    }
    d.adapters.assign(d.d3d->GetAdapterCount(), AdapterInfo{});
    for (UINT a = 0; a < d.adapters.size(); ++a) {
        AdapterInfo& info = d.adapters[a];
        info.index = static_cast<std::int32_t>(a);
        D3DDISPLAYMODE current{};
        if (FAILED(d.d3d->GetAdapterDisplayMode(a, &current))) {
            ReportDisplayMessage("Failed to get adapter display mode");
        }
        if (FAILED(d.d3d->GetDeviceCaps(a, D3DDEVTYPE_HAL, &info.caps))) {
            ReportDisplayMessage("Failed to get device caps");
        }
        if (FAILED(d.d3d->GetAdapterIdentifier(a, 0, &info.identifier))) {
            ReportDisplayMessage("Failed to get adapter identifier");
        }
        info.identifier.Description[sizeof info.identifier.Description - 1] = 0;
        info.description = info.identifier.Description;
        ListModes(d.d3d, a, info.modes);
    }
}

// The adapter mode of this size and bits, or the first at least as large in both directions.
const D3DDISPLAYMODE* ChooseMode(std::int32_t width, std::int32_t height, std::int32_t bits) {
    if (d.adapters.empty()) return nullptr;
    const std::vector<D3DDISPLAYMODE>& modes = d.adapters[0].modes;
    for (const D3DDISPLAYMODE& m : modes) {
        if (static_cast<std::int32_t>(m.Width) == width &&
            static_cast<std::int32_t>(m.Height) == height && SurfaceFormatBits(m.Format) == bits)
            return &m;
    }
    for (const D3DDISPLAYMODE& m : modes) {
        if (static_cast<std::int32_t>(m.Width) >= width &&
            static_cast<std::int32_t>(m.Height) >= height && SurfaceFormatBits(m.Format) == bits)
            return &m;
    }
    return nullptr;
}

bool FindDepthStencilFormat() {
    const D3DFORMAT format = ChooseDepthStencilFormat(d.d3d, d.backBufferFormat);
    if (format == D3DFMT_UNKNOWN) return false;
    d.depthFormat = format;
    return true;
}

D3DFORMAT FullScreenFormat() {
    D3DFORMAT format = D3DFMT_R8G8B8;
    if (d.adapters.empty()) return format;
    for (const D3DDISPLAYMODE& m : d.adapters[0].modes) {
        if (static_cast<std::int32_t>(m.Width) == d.width &&
            static_cast<std::int32_t>(m.Height) == d.height &&
            SurfaceFormatBits(m.Format) == d.depth)
            format = m.Format;
    }
    return format;
}

void SetDefaultStates() {
    IDirect3DDevice9* dev = d.device;
    dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    dev->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    dev->SetRenderState(D3DRS_DITHERENABLE, TRUE);
    dev->SetRenderState(D3DRS_ZENABLE, TRUE);
    dev->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    dev->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    dev->SetRenderState(D3DRS_LIGHTING, TRUE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRS_AMBIENT, 0xFF323232);
}

bool EmbeddingHost() {
    return d.core && d.core->hostWindow;
}

void CallPlugins(std::int32_t mode) {
    PluginTable* plugins = d.core ? d.core->pluginTable : nullptr;
    if (!plugins) return;
    using Handler = void (*)(int);
    for (int slot = 1; slot < 256 && plugins->handles[slot]; ++slot) {
        if (plugins->active[slot] != 1) continue;
        auto handler = reinterpret_cast<Handler>(
            reinterpret_cast<void*>(GetProcAddress(plugins->handles[slot], "?RefreshD3D@@YAXH@Z")));
        if (handler) handler(mode);
    }
}

// A host window that is gone, hung or not a host at all must not stall the game: texts go only
// to a live window, and are given up on after a moment.
void TellHost(HWND host, const char* text) {
    if (!IsWindow(host)) return;
    DWORD_PTR reply = 0;
    SendMessageTimeoutA(host, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL | SMTO_ABORTIFHUNG, kHostReplyMs, &reply);
}

} // namespace

std::int32_t SurfaceFormatBits(D3DFORMAT format) {
    switch (static_cast<int>(format)) {
    case 20:
        return 24;
    case 21:
    case 22:
    case 31:
    case 34:
        return 32;
    case 23:
    case 24:
    case 25:
    case 26:
    case 29:
    case 30:
    case 51:
        return 16;
    case 27:
    case 28:
    case 40:
    case 41:
    case 50:
    case 52:
        return 8;
    default:
        return 0;
    }
}

void ReportDisplayMessage(const char* text) {
    ReportInternalError(text);
}

std::int32_t DisplayConstructor() {
    d = DisplayState{};
    d.d3d.Reset(Direct3DCreate9(D3D_SDK_VERSION));
    if (!d.d3d) {
        ReportDisplayMessage("Unable to create Direct3D interface");
        return 0;
    }
    d.window = GetForegroundWindow();
    FindHardWareInfo();
    BuildRefreshD3DTable(d.refresh);
    d.d3d->GetAdapterDisplayMode(0, &d.desktopMode);
    // Keeps the screen saver and display sleep away while the engine runs, without changing the
    // user's settings: the request ends with the process, however it ends.
    SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED);
    return 1;
}

void DisplayDestructor() {
    ReleaseSavedRenderTarget();
    ReleaseDevice();
    d.hasPresent = false;
    d.d3d.Reset();
    d.adapters.clear();
    SetThreadExecutionState(ES_CONTINUOUS);
}

void DisplaySetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

IDirect3DDevice9* GetDirect3DDevice() {
    return d.device;
}
IDirect3D9* GetDirect3DInterface() {
    return d.d3d;
}

namespace {

std::int32_t DesktopDepth() {
    D3DDISPLAYMODE current{};
    if (d.d3d) d.d3d->GetAdapterDisplayMode(0, &current);
    return SurfaceFormatBits(current.Format);
}

// The behaviour flags of a vertex-processing argument; 0 for one that names none.
DWORD VertexFlags(std::int32_t vertexProcessing) {
    switch (vertexProcessing) {
    case 0:
        return kHardwareVertices;
    case 1:
    case 2:
        return kSoftwareVertices;
    case kHardwareVertices:
    case kSoftwareVertices:
        return static_cast<DWORD>(vertexProcessing);
    default:
        return 0;
    }
}

// A request that passed every check: the adapter mode it takes and its behaviour flags.
struct CheckedMode {
    DisplayModeRequest request; // the depth the desktop's where 0 was asked
    bool desktopDepth = false;
    const D3DDISPLAYMODE* mode = nullptr;
    DWORD vertices = 0;
};

// Every argument, in the order of their errors; nothing is changed, whatever the answer.
bool CheckMode(const DisplayModeRequest& asked, CheckedMode& out) {
    DisplayModeRequest r = asked;
    if (r.width < 1 || r.height < 1)
        return Fail("Invalid display resolution", kDisplayResolutionIllegal);
    if (r.depth == 0) r.depth = DesktopDepth();
    if (r.depth == 24) return Fail("Invalid bit depth specified", kDisplayDepth24);
    if (r.depth != 16 && r.depth != 32)
        return Fail("Invalid bit depth specified", kDisplayDepthIllegal);
    if (r.windowed != 0 && r.windowed != 1)
        return Fail("Invalid display mode specified", kDisplayWindowedFlagIllegal);
    const D3DDISPLAYMODE* mode = ChooseMode(r.width, r.height, r.depth);
    if (!mode)
        return Fail("Display mode not supported",
                    r.depth == 16 ? kDisplayNoMode16 : kDisplayNoMode32);
    const DWORD vertices = VertexFlags(r.vertexProcessing);
    if (!vertices) return Fail("Unknown vertex processing mode", kDisplayVertexProcessingIllegal);
    if (r.lockable != 0 && r.lockable != 1)
        return Fail("Invalid lockable flag", kDisplayLockableFlagIllegal);
    out = CheckedMode{r, asked.depth == 0, mode, vertices};
    return true;
}

bool SetupDevice();

bool MakeDevice(const CheckedMode& m) {
    const DisplayModeRequest& r = m.request;
    d.offsetX = static_cast<std::int32_t>(m.mode->Width) - r.width;
    d.offsetY = static_cast<std::int32_t>(m.mode->Height) - r.height;
    d.hasPresent = false;
    d.behaviour = m.vertices | D3DCREATE_MULTITHREADED;
    d.lockable = r.lockable;
    d.depth = r.depth;
    d.windowed = r.windowed;
    d.width = static_cast<std::int32_t>(m.mode->Width);
    d.height = static_cast<std::int32_t>(m.mode->Height);
    return SetupDevice();
}

// The display size is written only once the device is made, so that a failure leaves it as it
// was, and before the window is fitted, which takes its size from it.
void FinishMode(const CheckedMode& m, bool writeSize) {
    if (CoreData* core = d.core) {
        if (writeSize) {
            core->windowWidth = core->displayWidth = m.request.width;
            core->windowHeight = core->displayHeight = m.request.height;
        }
        if (writeSize || m.desktopDepth) core->displayDepth = m.request.depth;
    }
    FitWindowToMode();
    BeginDisplayScene();
    if (EmbeddingHost() && d.firstModeSetDone) TellHost(d.core->hostWindow, "EMBEDME");
    d.firstModeSetDone = true;
    d.lastMode = m.request;
    d.hasLastMode = true;
}

// The old device went before the new one failed: the last mode made is set up again, so that
// the modules rebuild on a device, and the failure's error stays the one raised.
void SetLastModeBackUp(const DisplayModeRequest* failed) {
    if (!d.hasLastMode || (failed && d.lastMode == *failed)) return;
    RuntimeErrorRecord* cell = GetModuleErrorPointer();
    const std::int32_t error = cell ? cell->number : 0;
    CheckedMode last;
    if (CheckMode(d.lastMode, last) && MakeDevice(last)) {
        FitWindowToMode();
        BeginDisplayScene();
    }
    if (cell) cell->number = error;
}

bool MakeMode(const DisplayModeRequest& request, bool writeSize) {
    CheckedMode m;
    if (!CheckMode(request, m)) return false;
    if (!MakeDevice(m)) {
        ReportDisplayMessage("Unable to setup 3D device");
        SetLastModeBackUp(&m.request);
        return false;
    }
    FinishMode(m, writeSize);
    return true;
}

} // namespace

bool CheckDisplayMode(const DisplayModeRequest& request) {
    CheckedMode unused;
    return CheckMode(request, unused);
}

bool ChangeDisplayMode(const DisplayModeRequest& request, bool writeSize) {
    if (!CheckDisplayMode(request)) return false;
    CallRefreshD3D(0);
    const bool made = MakeMode(request, writeSize);
    // Made or not, the modules take the device there is now: the new one, the last one set up
    // again, or none; never one that is gone.
    CallRefreshD3D(1);
    return made;
}

bool SetDisplayModeCore(std::int32_t width, std::int32_t height, std::int32_t depth,
                        std::int32_t windowed, std::int32_t lockable,
                        std::int32_t vertexProcessing) {
    return MakeMode({width, height, depth, windowed, lockable, vertexProcessing}, false);
}

namespace {

bool MakeDisplayDevice();

bool SetupDevice() {
    if (!d.d3d) return Fail("Invalid D3D pointer for Setup ( )", kDisplayNoInterface);
    d.autoDepth = true;
    d.present = D3DPRESENT_PARAMETERS{};
    d.hasPresent = true;
    D3DPRESENT_PARAMETERS& p = d.present;
    p.BackBufferWidth = static_cast<UINT>(d.width);
    p.BackBufferHeight = static_cast<UINT>(d.height);
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    p.EnableAutoDepthStencil = TRUE;
    p.Flags = d.lockable ? D3DPRESENTFLAG_LOCKABLE_BACKBUFFER : 0;
    p.MultiSampleType = D3DMULTISAMPLE_NONE;
    p.FullScreen_RefreshRateInHz = 0;
    if (!d.windowed) {
        d.backBufferFormat = FullScreenFormat();
        FindDepthStencilFormat();
        p.Windowed = FALSE;
    } else {
        p.Windowed = TRUE;
        d.backBufferFormat = d.desktopMode.Format;
        if (!FindDepthStencilFormat()) ReportDisplayMessage("Failed to find valid stencil buffer");
    }
    p.BackBufferFormat = d.backBufferFormat;
    p.AutoDepthStencilFormat = d.depthFormat;
    p.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    if (!MakeDisplayDevice()) return false;
    if (!d.device) return Fail("Unable to create device", kDisplayDeviceInvalidCall);
    return true;
}

bool MakeDisplayDevice() {
    D3DDISPLAYMODE current{};
    d.d3d->GetAdapterDisplayMode(0, &current);
    ReleaseSavedRenderTarget();
    ReleaseDevice();
    d.present.hDeviceWindow = d.window;
    if (d.core) d.core->softwareVertexProcessing = 0;
    HRESULT hr = d.d3d->CreateDevice(0, D3DDEVTYPE_HAL, d.window, d.behaviour, &d.present,
                                     d.device.PutAddress());
    if (FAILED(hr)) {
        d.device.Detach(); // a failed call leaves nothing to release
        hr = d.d3d->CreateDevice(0, D3DDEVTYPE_HAL, d.window, kSoftwareVertices, &d.present,
                                 d.device.PutAddress());
        if (FAILED(hr)) {
            d.device.Detach();
            // Any other failure raises 1511 too: a mode command that makes no device never
            // returns without an error.
            const std::int32_t error = hr == D3DERR_NOTAVAILABLE       ? kDisplayDeviceNotAvailable
                                       : hr == D3DERR_OUTOFVIDEOMEMORY ? kDisplayDeviceNoVideoMemory
                                                                       : kDisplayDeviceInvalidCall;
            return Fail("Unable to create device", error);
        }
        if (d.core) d.core->softwareVertexProcessing = 1;
    }
    if (d.hosted && d.core) d.core->window = d.mainWindow;
    SetDefaultStates();
    RestoreRenderTarget(); // CoreData's targets always belong to the current device
    if (!EmbeddingHost()) ClearDisplay(0, 0, 0);
    return true;
}

// A step of the mode set called on its own replaces the device the modules hold objects of: they
// let go of them first, and rebuild on the new device, or on the last mode set up again when the
// step made none.
bool ReplaceDeviceUnderModules(bool (*step)()) {
    if (!d.device) return step();
    CallRefreshD3D(0);
    const bool made = step();
    if (!made) SetLastModeBackUp(nullptr);
    CallRefreshD3D(1);
    return made;
}

} // namespace

bool Setup() {
    return ReplaceDeviceUnderModules(SetupDevice);
}

bool CreateDisplayDevice() {
    return ReplaceDeviceUnderModules(MakeDisplayDevice);
}

void SetDisplayMode(std::int32_t width, std::int32_t height, std::int32_t depth) {
    if (ChangeDisplayMode({width, height, depth, d.windowed, 1, kHardwareVertices}, true) &&
        !EmbeddingHost())
        ClearDisplay(0, 0, 0);
}

void CallRefreshD3D(std::int32_t mode) {
    if (mode == 0) ReleaseSavedRenderTarget();
    if (mode == 1) RestoreRenderTarget();
    // A module whose release or rebuild runs out of memory says so (101); the others still
    // release or rebuild, and nothing leaves the mode command that called.
    for (RefreshD3DFn handler : d.refresh) {
        if (handler) NoThrow(kStringNoMemory, [&] { handler(mode); });
    }
    CallPlugins(mode);
}

void ReleaseSavedRenderTarget() {
    CoreData* core = d.core;
    if (core) {
        if (core->savedRenderTarget) core->savedRenderTarget->Release();
        if (core->savedDepthSurface) core->savedDepthSurface->Release();
        core->savedRenderTarget = nullptr;
        core->savedDepthSurface = nullptr;
        core->renderTarget = nullptr;
        core->drawingSurface = nullptr;
    }
    if (d.lock.surface) UnlockBackBuffer();
    d.backBuffer.Reset();
}

void RestoreRenderTarget() {
    CoreData* core = d.core;
    if (!core || !d.device) return;
    if (core->savedRenderTarget) core->savedRenderTarget->Release();
    if (core->savedDepthSurface) core->savedDepthSurface->Release();
    core->savedRenderTarget = nullptr;
    core->savedDepthSurface = nullptr;
    d.device->GetRenderTarget(0, &core->savedRenderTarget);
    d.device->GetDepthStencilSurface(&core->savedDepthSurface);
    if (core->savedRenderTarget) d.device->SetRenderTarget(0, core->savedRenderTarget);
    if (core->savedDepthSurface) d.device->SetDepthStencilSurface(core->savedDepthSurface);
    core->renderTarget = core->savedRenderTarget;
    core->drawingSurface = nullptr;
}

void ClearDisplay(std::int32_t red, std::int32_t green, std::int32_t blue) {
    if (!d.device) return;
    const D3DCOLOR colour = 0xFF000000u | (static_cast<DWORD>(red & 0xFF) << 16) |
                            (static_cast<DWORD>(green & 0xFF) << 8) |
                            static_cast<DWORD>(blue & 0xFF);
    const DWORD flags = D3DCLEAR_TARGET | (d.autoDepth ? D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL : 0);
    d.device->Clear(0, nullptr, flags, colour, 1.0f, 0);
}

void ClearDisplayExport(std::int32_t red, std::int32_t green, std::int32_t blue) {
    ClearDisplay(red, green, blue);
}

// Frames a second, measured over at least a second of begun scenes.
void CountFrame() {
    ++d.framesCounted;
    LARGE_INTEGER frequency, counter;
    const double now = QueryPerformanceFrequency(&frequency) && QueryPerformanceCounter(&counter)
                           ? static_cast<double>(counter.QuadPart) / frequency.QuadPart
                           : timeGetTime() / 1000.0;
    const double elapsed = now - d.lastMeasure;
    if (elapsed < 1.0) return;
    d.fps = d.lastMeasure > 0 ? static_cast<std::int32_t>(d.framesCounted / elapsed) : 0;
    d.framesCounted = 0;
    d.lastMeasure = now;
}

namespace {
// Scenes begun since the program started: one a presented frame.
std::uint32_t g_ScenesBegun = 0;
} // namespace

std::uint32_t GetDisplaySceneCount() {
    return g_ScenesBegun;
}

void BeginDisplayScene() {
    ++g_ScenesBegun;
    if (d.hosted && d.mainWindow) ShowWindow(d.mainWindow, SW_HIDE);
    CountFrame();
    if (d.device && SUCCEEDED(d.device->BeginScene())) d.sceneOpen = true;
}

void EndDisplayScene() {
    if (d.sceneOpen && d.device) d.device->EndScene();
    d.sceneOpen = false;
}

void DisplayEmptyEntry() {}

void ResetDeviceWindowed() {
    if (!d.hasPresent || !d.device || d.present.Windowed) return;
    d.windowed = 1;
    d.lastMode.windowed = 1; // a later recovery keeps the console's window
    d.present.Windowed = TRUE;
    d.present.BackBufferFormat = d.desktopMode.Format;
    d.present.FullScreen_RefreshRateInHz = 0;
    // A reset fails while any object of the device's own memory lives: the modules let go of
    // theirs first, and rebuild after on the device there is then.
    const bool sceneWasOpen = d.sceneOpen;
    EndDisplayScene();
    CallRefreshD3D(0);
    ReleaseFrameQueries();
    if (SUCCEEDED(d.device->Reset(&d.present))) {
        SetDefaultStates();
        if (sceneWasOpen) BeginDisplayScene();
    } else {
        ReleaseDevice(); // a device that failed to reset is of no use to anyone
        SetLastModeBackUp(nullptr);
    }
    CallRefreshD3D(1);
}

D3DFORMAT ChooseDepthStencilFormat(IDirect3D9* d3d, D3DFORMAT target) {
    for (int candidate : kDepthCandidates) {
        const auto format = static_cast<D3DFORMAT>(candidate);
        if (d3d &&
            SUCCEEDED(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, target, D3DUSAGE_DEPTHSTENCIL,
                                             D3DRTYPE_SURFACE, format)) &&
            SUCCEEDED(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, target, target, format)))
            return format;
    }
    return D3DFMT_UNKNOWN;
}

D3DFORMAT GetDisplayDepthFormat() {
    return d.depthFormat;
}
