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

struct DisplayLinks {
    std::int32_t (*constructor)() = nullptr;
    DestructorFn destructor = nullptr;
    SetErrorHandlerFn setErrorHandler = nullptr;
    void (*passCoreData)(CoreData* core, std::int32_t phase) = nullptr;
};

struct ImageLinks : ModuleEntries<OneHandleCtor> {
    void (*linkSpriteFunctions)(HMODULE sprite) = nullptr;
    void (*setColorKey)(std::int32_t red, std::int32_t green, std::int32_t blue) = nullptr;
};

struct ModuleLinkTableRecord {
    DisplayLinks display;
    ModuleEntries<OneHandleCtor> basic2D;
    ModuleEntries<OneHandleCtor> text;
    ImageLinks image;
    ModuleEntries<TwoHandleCtor> sprite;
    ModuleEntries<InstanceCtor> input;
    ModuleEntries<NoArgCtor> system;
    ModuleEntries<WindowCtor> sound;
    ModuleEntries<WindowCtor> music;
    ModuleEntries<NoArgCtor> file;
    ModuleEntries<InstanceCtor> ftp;
    ModuleEntries<InstanceCtor> memblocks;
    ModuleEntries<InstanceCtor> animation;
    ModuleEntries<InstanceCtor> bitmap;
    ModuleEntries<NoArgCtor> multiplayer;
    ModuleEntries<TwoHandleCtor> camera;
    ModuleEntries<OneHandleCtor> light;
    ModuleEntries<TwoHandleCtor> terrainMatrix;
    ModuleEntries<FourHandleCtor> basic3D;
    ModuleEntries<FourHandleCtor> world;
    ModuleEntries<OneHandleCtor> maths;
    ModuleEntries<TwoHandleCtor> particles;
};

// All null until LinkModules fills it.
extern ModuleLinkTableRecord ModuleLinkTable;

// Stores the entries of every linked module.
void FillModuleLinkTable(ModuleLinkTableRecord& table);

// Start-up after the first display mode: the 2D modules, then all the others.
void StartCoreModules();
void StartOtherModules(HINSTANCE instance);

// Shut-down: every module's Destructor in the fixed stop order.
void StopModules();
void StopCoreModules();
