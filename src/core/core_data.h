// CoreData: the one block of engine-wide state whose address every module keeps from its
// PassCoreData, and the records stored in it. Modules read and write its fields directly.
#pragma once

#include "core/win32.h"

#include <cstdint>

// The run-time error cell: one word, 0 meaning none. Every module receives its address.
struct RuntimeErrorRecord {
    std::int32_t number = 0;
};

// One checklist row: a text with its capacity and eight values. Values 1 to 4 are integers,
// values 5 to 8 hold float bit patterns for the lists that report floats.
struct ChecklistEntry {
    std::uint32_t capacity; // the text buffer holds capacity + 1 bytes
    char* string;
    std::int32_t values[8];
};
static_assert(sizeof(ChecklistEntry) == 40);

// The seven callbacks that CreateEngineWindow stores once the core modules are up.
using ResizeStringFn = void (*)(char** slot, std::int32_t size);
using PumpMessagesFn = std::int32_t (*)();
using PrintFn = void (*)(const char* text, std::int32_t newLine);
using FileNameHookFn = void (*)(char* fileName);
// Replaces the name in place when the media folder holds the file; never writes past bufferSize.
using MediaRedirectFn = void (*)(char* fileName, std::int32_t bufferSize);
using CursorChoiceFn = void (*)(std::int32_t cursor);

struct CoreDataCallbacks {
    ResizeStringFn resizeString; // size > 0 allocates into *slot, 0 frees *slot
    PumpMessagesFn pumpMessages; // 1 when a quit was seen
    PrintFn print;
    MediaRedirectFn mediaRedirect;
    FileNameHookFn beforeOpen;
    FileNameHookFn afterClose;
    CursorChoiceFn chooseCursor;
};

// Library handles of the modules, passed to their Constructors. Every module is linked into the
// program, so these stay null; they exist so that a module could be supplied as a plug-in.
struct ModuleHandles {
    HMODULE display;
    HMODULE basic2D;
    HMODULE text;
    HMODULE image;
    HMODULE sprite;
    HMODULE input;
    HMODULE system;
    HMODULE sound;
    HMODULE music;
    HMODULE file;
    HMODULE ftp;
    HMODULE memblocks;
    HMODULE animation;
    HMODULE bitmap;
    HMODULE multiplayer;
    HMODULE camera;
    HMODULE light;
    HMODULE terrainMatrix;
    HMODULE basic3D;
    HMODULE world;
    HMODULE maths;
    HMODULE particles;
};

enum OptionalModule {
    kOptional1,
    kOptional2,
    kOptional3,
    kOptionalUpdate,
    kOptionalCSG,
    kOptionalCount
};

// One byte per module, set to 1 by the start sequence when it starts the module.
struct ModulePresentFlags {
    std::uint8_t display, text, basic2D, sprite, image, input, system, file, ftp, memblocks;
    std::uint8_t bitmap, animation, multiplayer, basic3D, camera, terrainMatrix, light, world;
    std::uint8_t particles, maths, sound, music;
    std::uint8_t optional[kOptionalCount];
};

constexpr int kCorePathLength = 260;

// Plug-in libraries in slots 1 to 255 (slot 0 unused); a slot is called when its flag is 1.
struct PluginTable {
    HMODULE handles[256];
    std::uint8_t active[256];
};

struct CoreData {
    CoreDataCallbacks callbacks;
    void* coreBuffer; // global-memory block of the console
    RuntimeErrorRecord* errorRecord;
    ModuleHandles handles;
    HMODULE optionalHandles[kOptionalCount];
    HMODULE textHookModule; // receives window texts while hosted
    ModulePresentFlags present;
    char mediaFolder[kCorePathLength]; // its "\media\" subfolder is tried first for every load
    char programPath[kCorePathLength]; // the executable's full path
    std::uint32_t scramblerSeed;
    char* externalWindowName;
    std::int32_t loadProgress;
    HWND window;
    HINSTANCE instance;
    char* entryBuffer; // characters typed into the window
    std::uint8_t windowActive;
    std::uint8_t cursorShown;
    std::uint8_t softwareVertexProcessing; // the device had to fall back to software processing
    std::uint8_t spritesAfter3D;           // sprites are drawn after the camera passes
    std::int32_t windowWidth, windowHeight;
    std::int32_t windowMode;
    std::int32_t windowX, windowY;
    HWND hostWindow; // outside window that embeds the engine
    std::int32_t mouseX, mouseY;
    std::uint32_t mouseButtons; // bit 0 left, bit 1 right
    std::int32_t displayWidth, displayHeight, displayDepth;
    IDirect3DSurface9* drawingSurface;
    IDirect3DSurface9* renderTarget;
    IDirect3DSurface9* savedRenderTarget;
    IDirect3DSurface9* savedDepthSurface;
    std::int32_t printCursorX, printCursorY;
    std::uint32_t inkForeground, inkBackground;
    float reflectionEye[3]; // left by the object engine for a reflection pass
    std::int32_t currentCamera;
    char* extraText;
    std::uint32_t backdropColour;
    std::uint8_t checklistMade, checklistHasValues, checklistHasStrings;
    std::uint8_t displayFlag; // consumed by the display module's flag query
    std::int32_t checklistRowsInUse;
    std::int32_t checklistRowsAllocated;
    ChecklistEntry* checklistRows;
    std::int32_t fogEnabled;
    std::uint32_t renderPassIndex, renderPassCount;
    std::int32_t stencilMode; // 1 stencil shadows, 2 reflection
    std::int32_t shadowCount; // objects casting stencil shadows
    std::int32_t reflectionCount;
    std::int32_t drawnPolygons, drawCalls; // per-frame statistics
    std::uint8_t escapeExit;               // Escape ends the program through the window procedure
    std::uint8_t systemKeysDisabled;
    std::uint8_t reservedBytes[2];
    char* endMessageText;
    char* endMessageCaption;
    PluginTable* pluginTable; // libraries told about every device reset; none in this program
    std::int32_t excludedRectCount;
    RECT* excludedRects;
    RECT excludedRect;
    std::uint8_t reserved[8]; // room for fields that later modules need, keeping the size
};
