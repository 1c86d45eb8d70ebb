// The display module's state, shared by its source files. Written only by the display module.
#pragma once

#include "core/com_ptr.h"
#include "core/core_data.h"
#include "core/module_link.h"

#include <cstdint>
#include <string>
#include <vector>

struct AdapterInfo {
    std::string description;
    D3DCAPS9 caps{};
    D3DADAPTER_IDENTIFIER9 identifier{};
    std::int32_t index = 0;
    std::vector<D3DDISPLAYMODE> modes; // refresh-rate variants collapsed
};

// What a mode command asks for; a depth of 0 is the desktop's.
struct DisplayModeRequest {
    std::int32_t width = 0, height = 0, depth = 0;
    std::int32_t windowed = 1, lockable = 0, vertexProcessing = 0;
    bool operator==(const DisplayModeRequest&) const = default;
};

constexpr int kFramesInFlight = 1; // frames the renderer may lag behind the game

// Back-buffer lock record: all -1 (pointer null) while unlocked.
struct BackBufferLock {
    IDirect3DSurface9* surface = nullptr;
    void* bits = nullptr;
    std::int32_t pitch = -1, width = -1, height = -1, depth = -1;
};

struct DisplayState {
    // Lives from the Constructor to the Destructor.
    ComPtr<IDirect3D9> d3d;
    CoreData* core = nullptr;
    ResizeStringFn resizeString = nullptr;
    std::vector<AdapterInfo> adapters;
    std::int32_t currentAdapter = 0;
    D3DDISPLAYMODE desktopMode{};
    // Filled where the modules are linked; tests replace slots.
    RefreshD3DFn refresh[kRefreshSlots] = {};

    // Remade by every mode set.
    ComPtr<IDirect3DDevice9> device; // null whenever no usable device exists
    D3DPRESENT_PARAMETERS present{};
    bool hasPresent = false;
    std::int32_t width = 0, height = 0, depth = 0; // requested (the mode's size after a set)
    std::int32_t windowed = 1;
    std::int32_t lockable = 0;
    DWORD behaviour = 0;
    bool autoDepth = false;
    D3DFORMAT backBufferFormat = D3DFMT_UNKNOWN;
    D3DFORMAT depthFormat = D3DFMT_UNKNOWN;
    std::int32_t offsetX = 0, offsetY = 0; // how much the chosen mode exceeds the request
    bool sceneOpen = false;
    bool firstModeSetDone = false;
    // The last mode made, its depth resolved: a lost device, or a change whose device fails
    // after the old one went, is set up at it again.
    DisplayModeRequest lastMode;
    bool hasLastMode = false;
    BackBufferLock lock;
    ComPtr<IDirect3DSurface9> backBuffer;
    // Mark the ends of the last presented frames, oldest next; see PresentDisplay.
    ComPtr<IDirect3DQuery9> frameQueries[kFramesInFlight];
    bool frameQueryIssued[kFramesInFlight] = {};
    std::int32_t nextFrameQuery = 0;

    // The window the module works on.
    HWND window = nullptr;
    HWND mainWindow = nullptr;
    HWND hostChild = nullptr;
    bool hosted = false;
    bool firstTime = true; // frame sizes not measured yet
    std::int32_t frameWidth = 0, frameHeight = 0;
    std::int32_t clientWidth = 0, clientHeight = 0;
    DWORD style = 0x00CF0000;
    bool borderless = false;        // a framed-mode window made borderless to fit the monitor
    DWORD framedStyle = 0x00CF0000; // its style before, restored when a smaller mode fits again
    std::int32_t showCommand = 10;
    std::string title;
    HBRUSH savedBrush = nullptr;

    std::int32_t gamma[3] = {255, 255, 255};

    // Frame rate.
    std::int32_t framesCounted = 0;
    double lastMeasure = 0;
    std::int32_t fps = 0;
};

extern DisplayState g_Display;

// The window fitting of a mode set and the window-style application of the window commands.
void FitWindowToMode();
void ApplyWindowStyle(bool restyle, bool redrawAll);
void ReportDisplayMessage(const char* text);
// Drops the queries that pace presents; they belong to the device and go before a reset.
void ReleaseFrameQueries();
// The pieces of a width x height display outside the covered rectangles (which lie inside it).
std::vector<RECT> UncoveredPieces(std::vector<RECT> covered, LONG width, LONG height);
// Checks every argument of a mode request, in the order of their errors, changing nothing;
// false, with the error raised, at the first one refused.
bool CheckDisplayMode(const DisplayModeRequest& request);
// A mode change under running modules: the request is checked whole before they release, and
// they rebuild on whatever device there is after. writeSize: the display size becomes the
// request's (a recovery keeps the one the program sees).
bool ChangeDisplayMode(const DisplayModeRequest& request, bool writeSize);
