// Maths module: its entries and the vector items that other modules read and write.
#pragma once

#include "core/core_data.h"

#include <cstdint>

// Start entry: the core's start sequence readies the module with it, once.
void MathsConstructor(HMODULE display);
// Stop entry: releases everything the module holds.
void MathsDestructor();
// Keeps the address of the run-time error cell that RaiseRuntimeError writes.
void MathsSetErrorHandler(RuntimeErrorRecord* cell);
// Keeps the address of CoreData.
void MathsPassCoreData(CoreData* core);
// Around every device re-creation: mode 0 before (release), mode 1 after (rebuild).
void MathsRefreshD3D(std::int32_t mode);

// Makes (or re-makes) a vector3 item of zeros under any number.
bool MakeVector3(std::int32_t id);
// Deletes the vector; true, whether or not it existed.
bool DeleteVector3(std::int32_t id);

// 1 when an item of any kind has this number; never an error.
std::int32_t MathsItemExists(std::int32_t id);
// Writes x, y, z of a vector3 item. 7801 for an item of another kind, and for a missing item once
// the module is started.
void SetVector3(std::int32_t id, float x, float y, float z);
// Copies a vector3 item into out (zeros on an error, with SetVector3's errors); returns out.
float* GetVector3(float* out, std::int32_t id);

// The vector entries the light and camera modules keep from their start on.
struct VectorEntries {
    void (*setVector3)(std::int32_t id, float x, float y, float z) = nullptr;
    float* (*getVector3)(float* out, std::int32_t id) = nullptr;
    std::int32_t (*exists)(std::int32_t id) = nullptr;
};
VectorEntries GetVectorEntries();
