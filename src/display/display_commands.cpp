#include "core/win32.h"

#include "display/display.h"
#include "display/display_state.h"
#include "core/checklist.h"
#include "core/core.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

DisplayState& d = g_Display;

constexpr std::int32_t kModeTextLength = 32;

// Reads "Main Window" and "Child Window" of [External] from the program's ".ini"; a child of that
// title inside a top-level window of that title becomes the window the engine renders into. The
// texts are kept in place, so that start-up never runs out of memory here.
struct HostSearch {
    char mainTitle[261] = {}, childTitle[261] = {};
    HWND found = nullptr;
};

BOOL CALLBACK FindHostChild(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<HostSearch*>(param);
    char title[261] = {};
    GetWindowTextA(child, title, sizeof title);
    if (std::strcmp(search->childTitle, title) == 0) search->found = child; // the last match wins
    return TRUE;
}

BOOL CALLBACK FindHostMain(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<HostSearch*>(param);
    char title[261] = {};
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(search->mainTitle, title) == 0) EnumChildWindows(window, FindHostChild, param);
    return TRUE;
}

void FindIniHost(CoreData& core) {
    const std::size_t length = strnlen(core.programPath, kCorePathLength);
    if (length < 5 || length >= kCorePathLength) return;
    char ini[kCorePathLength];
    std::memcpy(ini, core.programPath, length - 4);
    std::memcpy(ini + length - 4, ".ini", 5);
    HostSearch search;
    GetPrivateProfileString("External", "Main Window", "", search.mainTitle,
                            sizeof search.mainTitle, ini);
    GetPrivateProfileString("External", "Child Window", "", search.childTitle,
                            sizeof search.childTitle, ini);
    if (strnlen(search.mainTitle, 2) < 2) return;
    EnumWindows(FindHostMain, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return;
    core.window = d.window = d.hostChild = search.found;
    d.hosted = true;
}

void FinishChecklist(std::int32_t rows, bool values) {
    CoreData& core = *d.core;
    core.checklistRowsInUse = rows;
    core.checklistMade = rows > 0;
    core.checklistHasValues = values;
    core.checklistHasStrings = 1;
}

const AdapterInfo* CurrentAdapter() {
    if (d.currentAdapter < 0 || d.currentAdapter >= static_cast<std::int32_t>(d.adapters.size()))
        return nullptr;
    return &d.adapters[d.currentAdapter];
}

} // namespace

void DisplayPassCoreData(CoreData* core, std::int32_t phase) {
    d.core = core;
    if (!core) return;
    if (phase == 0) {
        d.window = d.mainWindow = core->window;
        FindIniHost(*core);
        return;
    }
    d.resizeString = core->callbacks.resizeString;
    ClearDisplay(0, 0, 0);
    RestoreRenderTarget();
}

namespace {
// Once the modules run, a new mode's device replaces the one they hold objects of: they let go
// of them first and make them again on the new device, as with SetDisplayMode.
bool ChangeMode(std::int32_t width, std::int32_t height, std::int32_t depth, std::int32_t windowed,
                std::int32_t lockable, std::int32_t vertexProcessing) {
    if (!d.firstModeSetDone)
        return SetDisplayModeCore(width, height, depth, windowed, lockable, vertexProcessing);
    return ChangeDisplayMode({width, height, depth, windowed, lockable, vertexProcessing}, true);
}
} // namespace

bool SetDisplayModeEx(std::int32_t width, std::int32_t height, std::int32_t depth,
                      std::int32_t windowed, std::int32_t vertexProcessing, std::int32_t lockable) {
    return ChangeMode(width, height, depth, windowed, lockable, vertexProcessing);
}

bool SetDisplayModeFullScreen(std::int32_t width, std::int32_t height, std::int32_t depth) {
    return ChangeMode(width, height, depth, 0, 0, D3DCREATE_HARDWARE_VERTEXPROCESSING);
}

bool SetDisplayModeWindowFlag(std::int32_t width, std::int32_t height, std::int32_t depth,
                              std::int32_t windowed) {
    return ChangeMode(width, height, depth, windowed, 0, D3DCREATE_HARDWARE_VERTEXPROCESSING);
}

bool SetDisplayModeVertexProcessing(std::int32_t width, std::int32_t height, std::int32_t depth,
                                    std::int32_t windowed, std::int32_t vertexProcessing) {
    return ChangeMode(width, height, depth, windowed, 0, vertexProcessing);
}

bool SetDisplayMode16(std::int32_t width, std::int32_t height) {
    return ChangeMode(width, height, 16, 0, 0, D3DCREATE_HARDWARE_VERTEXPROCESSING);
}

namespace {

// Whether mode i is listed: 16, 24 or 32 bits, and of several equal modes only the last.
bool ListedMode(const std::vector<D3DDISPLAYMODE>& modes, std::size_t i) {
    const D3DDISPLAYMODE& m = modes[i];
    const std::int32_t bits = SurfaceFormatBits(m.Format);
    if (bits != 16 && bits != 24 && bits != 32) return false;
    for (std::size_t j = i + 1; j < modes.size(); ++j) {
        const D3DDISPLAYMODE& n = modes[j];
        if (n.Width == m.Width && n.Height == m.Height && SurfaceFormatBits(n.Format) == bits)
            return false;
    }
    return true;
}

// Every row is had before the first is written: out of memory (101) keeps the old list.
bool ReserveRows(std::int32_t rows, std::int32_t length) {
    if (ReserveChecklistRows(rows, length)) return true;
    RaiseRuntimeError(kStringNoMemory);
    return false;
}

} // namespace

void DisplayModeChecklist() {
    const AdapterInfo* adapter = CurrentAdapter();
    if (!d.core || !adapter) return;
    std::int32_t listed = 0;
    for (std::size_t i = 0; i < adapter->modes.size(); ++i)
        listed += ListedMode(adapter->modes, i) ? 1 : 0;
    if (!ReserveRows(listed, kModeTextLength)) return;
    std::int32_t rows = 0;
    for (std::size_t i = 0; i < adapter->modes.size(); ++i) {
        if (!ListedMode(adapter->modes, i)) continue;
        const D3DDISPLAYMODE& m = adapter->modes[i];
        const std::int32_t bits = SurfaceFormatBits(m.Format);
        ChecklistEntry& row = d.core->checklistRows[rows++];
        std::snprintf(row.string, row.capacity + 1, "%dx%dx%d", static_cast<int>(m.Width),
                      static_cast<int>(m.Height), static_cast<int>(bits));
        row.values[0] = static_cast<std::int32_t>(m.Width);
        row.values[1] = static_cast<std::int32_t>(m.Height);
        row.values[2] = bits;
    }
    FinishChecklist(rows, true);
}

void AdapterNameChecklist() {
    if (!d.core) return;
    std::int32_t longest = 0;
    for (const AdapterInfo& a : d.adapters)
        longest = std::max(longest, static_cast<std::int32_t>(a.description.size()));
    if (!ReserveRows(static_cast<std::int32_t>(d.adapters.size()), longest)) return;
    std::int32_t rows = 0;
    for (const AdapterInfo& a : d.adapters) {
        ChecklistEntry& row = d.core->checklistRows[rows++];
        std::snprintf(row.string, row.capacity + 1, "%s", a.description.c_str());
    }
    FinishChecklist(rows, false);
}

void DisplayModeDescription(std::int32_t index, char* out) {
    if (!out || d.adapters.empty()) return;
    const std::vector<D3DDISPLAYMODE>& modes = d.adapters[0].modes;
    if (index < 0 || index >= static_cast<std::int32_t>(modes.size())) return;
    const D3DDISPLAYMODE& m = modes[index];
    const int f = static_cast<int>(m.Format);
    const long bits = (f == 21 || f == 22 || f == 20) ? 32 : 16;
    std::sprintf(out, "%ld x %ld x %ld", static_cast<long>(m.Width), static_cast<long>(m.Height),
                 bits);
}

bool DisplayModeExists(std::int32_t width, std::int32_t height, std::int32_t depth) {
    if (d.adapters.empty()) return false;
    for (const D3DDISPLAYMODE& m : d.adapters[0].modes) {
        if (static_cast<std::int32_t>(m.Width) != width ||
            static_cast<std::int32_t>(m.Height) != height)
            continue;
        const int f = static_cast<int>(m.Format);
        if (depth == 16 && (f == 23 || f == 24)) return true;
        if (depth == 32 && (f == 21 || f == 22)) return true;
    }
    return false;
}

char* GetCurrentAdapterName(char* oldString) {
    const AdapterInfo* adapter = CurrentAdapter();
    const char* name = adapter ? adapter->description.c_str() : "";
    return ReplaceModuleString(d.core, oldString, name, std::strlen(name)); // kept on 101
}

void SetGamma(std::int32_t red, std::int32_t green, std::int32_t blue) {
    d.gamma[0] = red;
    d.gamma[1] = green;
    d.gamma[2] = blue;
    D3DGAMMARAMP ramp{};
    // Unsigned: the entries wrap at 16 bits, and a large step must not overflow on the way there.
    const auto entry = [](std::uint32_t i, std::int32_t step) {
        return static_cast<WORD>(i * static_cast<std::uint32_t>(step));
    };
    for (std::uint32_t i = 0; i < 256; ++i) {
        ramp.red[i] = entry(i, red);
        ramp.green[i] = entry(i, green);
        ramp.blue[i] = entry(i, blue);
    }
    if (d.device) d.device->SetGammaRamp(0, 0, &ramp);
}

void GetGamma(std::int32_t* red, std::int32_t* green, std::int32_t* blue) {
    if (!red || !green || !blue) {
        ReportDisplayMessage("Invalid pointers passed to GetGamma");
        return;
    }
    *red = d.gamma[0];
    *green = d.gamma[1];
    *blue = d.gamma[2];
}

void SetRenderStateValue(std::int32_t state, std::int32_t value) {
    if (d.device)
        d.device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), static_cast<DWORD>(value));
}

void SetDitherEnable(std::int32_t on) {
    SetRenderStateValue(D3DRS_DITHERENABLE, on);
}
void SetShadeMode(std::int32_t mode) {
    SetRenderStateValue(D3DRS_SHADEMODE, mode);
}
void SetLightingEnable(std::int32_t on) {
    SetRenderStateValue(D3DRS_LIGHTING, on);
}
void SetCullMode(std::int32_t mode) {
    SetRenderStateValue(D3DRS_CULLMODE, mode);
}
void SetSpecularEnable(std::int32_t on) {
    SetRenderStateValue(D3DRS_SPECULARENABLE, on);
}

void LockBackBuffer() {
    BackBufferLock& lock = d.lock;
    if (lock.surface || !d.device) return;
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface))) return;
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    if (FAILED(surface->GetDesc(&desc)) || FAILED(surface->LockRect(&locked, nullptr, 0))) {
        surface->Release();
        return;
    }
    lock.surface = surface;
    lock.bits = locked.pBits;
    lock.pitch = locked.Pitch;
    lock.width = static_cast<std::int32_t>(desc.Width);
    lock.height = static_cast<std::int32_t>(desc.Height);
    lock.depth = SurfaceFormatBits(desc.Format);
}

void UnlockBackBuffer() {
    BackBufferLock& lock = d.lock;
    if (!lock.surface) return;
    lock.surface->UnlockRect();
    lock.surface->Release();
    lock = BackBufferLock{};
}

void* GetBackBufferPointer() {
    return d.lock.surface ? d.lock.bits : reinterpret_cast<void*>(~std::uintptr_t{0});
}
std::int32_t GetBackBufferPitch() {
    return d.lock.pitch;
}
std::int32_t GetBackBufferWidth() {
    return d.lock.width;
}
std::int32_t GetBackBufferHeight() {
    return d.lock.height;
}
std::int32_t GetBackBufferDepth() {
    return d.lock.depth;
}

std::int32_t GetDisplayWidth() {
    return d.core ? d.core->displayWidth : 0;
}
std::int32_t GetDisplayHeight() {
    return d.core ? d.core->displayHeight : 0;
}
std::int32_t GetDisplayDepth() {
    return d.depth;
}
std::int32_t GetAdapterCount() {
    return d.d3d ? static_cast<std::int32_t>(d.d3d->GetAdapterCount()) : 0;
}

std::int32_t GetDisplayModeCount() {
    // Modes of the desktop's format: the count a program can actually choose from.
    return d.d3d ? static_cast<std::int32_t>(d.d3d->GetAdapterModeCount(0, d.desktopMode.Format))
                 : 0;
}

bool IsHardwareDevice() {
    if (!d.device) return false;
    D3DCAPS9 caps{};
    return SUCCEEDED(d.device->GetDeviceCaps(&caps)) && caps.DeviceType == D3DDEVTYPE_HAL;
}

std::int32_t GetScreenFps() {
    return d.fps;
}

bool ConsumeDisplayFlag() {
    if (!d.core || !d.core->displayFlag) return false;
    d.core->displayFlag = 0;
    return true;
}

void DisplayNotAvailable() {
    RaiseRuntimeError(kCommandNotAvailable);
}
