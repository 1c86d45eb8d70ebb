// ModuleLinkTable: the words through which the core reaches every module, and the fixed order in
// which it starts and stops them. The core never calls a module entry directly.
#pragma once

#include "core/core_data.h"

#include <cstdint>

using DestructorFn = void (*)();
using SetErrorHandlerFn = void (*)(RuntimeErrorRecord* cell);
using PassCoreDataFn = void (*)(CoreData* core);

// A module's four start and stop entries; the Constructor's arguments differ by module.
template <typename Ctor> struct ModuleEntries {
    Ctor constructor = nullptr;
    DestructorFn destructor = nullptr;
    SetErrorHandlerFn setErrorHandler = nullptr;
    PassCoreDataFn passCoreData = nullptr;
};

using NoArgCtor = void (*)();
using InstanceCtor = void (*)(HINSTANCE);
using WindowCtor = void (*)(HWND);
using OneHandleCtor = void (*)(HMODULE);
using TwoHandleCtor = void (*)(HMODULE, HMODULE);
using FourHandleCtor = void (*)(HMODULE, HMODULE, HMODULE, HMODULE);

using HookFn = void (*)();

using IntQueryFn = std::int32_t (*)();
using IntSetFn = void (*)(std::int32_t value);
using ColourFn = void (*)(std::int32_t red, std::int32_t green, std::int32_t blue);

// The display's four entries and its 28 further words, in the table's order.
struct DisplayLinks {
    std::int32_t (*constructor)() = nullptr;
    DestructorFn destructor = nullptr;
    SetErrorHandlerFn setErrorHandler = nullptr;
    void (*passCoreData)(CoreData* core, std::int32_t phase) = nullptr;
    IDirect3DDevice9* (*getDirect3DDevice)() = nullptr;
    HookFn beginScene = nullptr;
    HookFn endScene = nullptr;
    HookFn present = nullptr;
    void (*overrideHWND)(HWND window) = nullptr;
    HookFn setDisplayDebug = nullptr;
    bool (*setDisplayMode16)(std::int32_t width, std::int32_t height) = nullptr;
    bool (*setDisplayModeFullScreen)(std::int32_t width, std::int32_t height,
                                     std::int32_t depth) = nullptr;
    bool (*setDisplayModeWindowFlag)(std::int32_t width, std::int32_t height, std::int32_t depth,
                                     std::int32_t windowed) = nullptr;
    bool (*setDisplayModeVertexProcessing)(std::int32_t width, std::int32_t height,
                                           std::int32_t depth, std::int32_t windowed,
                                           std::int32_t vertexProcessing) = nullptr;
    bool (*setDisplayModeEx)(std::int32_t width, std::int32_t height, std::int32_t depth,
                             std::int32_t windowed, std::int32_t vertexProcessing,
                             std::int32_t lockable) = nullptr;
    HookFn resetDeviceWindowed = nullptr;
    ColourFn clearDisplay = nullptr;
    ColourFn setGamma = nullptr;
    void (*getGamma)(std::int32_t* red, std::int32_t* green, std::int32_t* blue) = nullptr;
    IntQueryFn getDisplayWidth = nullptr;
    IntQueryFn getDisplayHeight = nullptr;
    IntQueryFn getDisplayDepth = nullptr;
    bool (*getWindowedMode)() = nullptr;
    IntQueryFn getDisplayModeCount = nullptr;
    IntQueryFn getAdapterCount = nullptr;
    HookFn emptyEntry = nullptr;
    IntSetFn setDitherEnable = nullptr;
    IntSetFn setShadeMode = nullptr;
    IntSetFn setLightingEnable = nullptr;
    IntSetFn setCullMode = nullptr;
    IntSetFn setSpecularEnable = nullptr;
    void (*setRenderStateValue)(std::int32_t state, std::int32_t value) = nullptr;
};

struct Basic2DLinks : ModuleEntries<OneHandleCtor> {
    void (*drawDot)(std::int32_t x, std::int32_t y) = nullptr;
    HookFn lockBackBuffer = nullptr;
    HookFn unlockBackBuffer = nullptr;
    void (*fillBox)(std::int32_t left, std::int32_t top, std::int32_t right,
                    std::int32_t bottom) = nullptr;
    void (*drawLine)(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) = nullptr;
    void (*drawCircle)(std::int32_t x, std::int32_t y, std::int32_t radius) = nullptr;
    void (*copyScreenArea)(std::int32_t destinationX, std::int32_t destinationY, std::int32_t width,
                           std::int32_t height, std::int32_t sourceX,
                           std::int32_t sourceY) = nullptr;
};

struct TextLinks : ModuleEntries<OneHandleCtor> {
    void (*setTextFont)(const char* face, std::int32_t characterSet) = nullptr;
    void (*setTextColour)(std::int32_t alpha, std::int32_t red, std::int32_t green,
                          std::int32_t blue) = nullptr;
    void (*textAt)(std::int32_t x, std::int32_t y, const char* text) = nullptr;
    std::int32_t (*getTextWidth)(const char* text) = nullptr;
    std::int32_t (*getTextHeight)(const char* text) = nullptr;
};

struct ImageLinks : ModuleEntries<OneHandleCtor> {
    void (*linkSpriteFunctions)(HMODULE sprite) = nullptr;
    void (*setColorKey)(std::int32_t red, std::int32_t green, std::int32_t blue) = nullptr;
    void (*setSettingWord)(std::int32_t value) = nullptr;
    // Called by the object module as it starts (and with null as it stops): the function that
    // makes every mesh let go of a texture the image module is about to free.
    void (*linkTextureClearer)(void (*clearer)(IDirect3DTexture9* texture)) = nullptr;
};

struct SpriteLinks : ModuleEntries<TwoHandleCtor> {
    HookFn update = nullptr;
    HookFn saveBackground = nullptr;
    HookFn restoreBackground = nullptr;
};

// Modules whose one extra word is their per-frame update.
template <typename Ctor> struct UpdatingModule : ModuleEntries<Ctor> { HookFn update = nullptr; };

struct VideoLinks : ModuleEntries<InstanceCtor> {
    HookFn update = nullptr;
    void (*setSampleSkip)(std::uint8_t flag) = nullptr;
};

struct CameraLinks : ModuleEntries<TwoHandleCtor> {
    HookFn update = nullptr;
    HookFn renderPass = nullptr; // the first pass without its skip-clear flag
    void (*renderFirstPass)(std::int32_t skipClear) = nullptr;
    std::int32_t (*nextRenderPass)() = nullptr; // 1 when no camera is left
    std::int32_t (*getCurrentRenderCamera)() = nullptr;
};

struct Basic3DLinks : ModuleEntries<FourHandleCtor> {
    HookFn update = nullptr;
    HookFn renderLayerFour = nullptr;
    HookFn beginStencilShadows = nullptr;
    HookFn drawStencilShadowQuad = nullptr;
    HookFn runAutomaticCollision = nullptr;
    HookFn updateAutomaticCameraCollision = nullptr;
};

struct TerrainMatrixLinks : ModuleEntries<TwoHandleCtor> {
    HookFn renderPass0 = nullptr;
    HookFn renderPass1 = nullptr;
};

struct WorldLinks : ModuleEntries<FourHandleCtor> {
    HookFn update = nullptr;
    HookFn collisionStart = nullptr;
    HookFn collisionUpdate = nullptr;
};

struct ModuleLinkTableRecord {
    DisplayLinks display;
    Basic2DLinks basic2D;
    TextLinks text;
    ImageLinks image;
    SpriteLinks sprite;
    UpdatingModule<InstanceCtor> input;
    ModuleEntries<NoArgCtor> system;
    UpdatingModule<WindowCtor> sound;
    UpdatingModule<WindowCtor> music;
    ModuleEntries<NoArgCtor> file;
    ModuleEntries<InstanceCtor> ftp;
    ModuleEntries<InstanceCtor> memblocks;
    VideoLinks animation;
    ModuleEntries<InstanceCtor> bitmap;
    ModuleEntries<NoArgCtor> multiplayer;
    CameraLinks camera;
    ModuleEntries<OneHandleCtor> light;
    TerrainMatrixLinks terrainMatrix;
    Basic3DLinks basic3D;
    WorldLinks world;
    ModuleEntries<OneHandleCtor> maths;
    UpdatingModule<TwoHandleCtor> particles;
    // Two per-camera pass words that the frame loop calls when set; no module fills them.
    HookFn reservedPass1 = nullptr;
    HookFn reservedPass2 = nullptr;
};

// All null until LinkModules fills it.
extern ModuleLinkTableRecord ModuleLinkTable;

// Stores the entries of every linked module.
void FillModuleLinkTable(ModuleLinkTableRecord& table);

using RefreshD3DFn = void (*)(std::int32_t mode);
constexpr int kRefreshSlots = 26;

// Fills the display's RefreshD3D slots in their calling order; unused slots are null.
void BuildRefreshD3DTable(RefreshD3DFn (&table)[kRefreshSlots]);

// Start-up after the first display mode: the 2D modules, then all the others.
void StartCoreModules();
void StartOtherModules(HINSTANCE instance);

// Shut-down: every module's Destructor in the fixed stop order.
void StopModules();
void StopCoreModules();
