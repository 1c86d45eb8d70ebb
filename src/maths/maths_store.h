// The maths module's own: its state, the item store and the checks every command makes before it
// touches an item. Shared by the module's source files (and read by its tests).
#pragma once

#include "core/core_data.h"
#include "core/idlist.h"
#include "core/error_numbers.h"

#include <cstdint>
#include <initializer_list>

struct CameraRecord;

enum MathsKind : std::int32_t {
    kVector2Kind = 1,
    kVector3Kind = 2,
    kVector4Kind = 3,
    kMatrixKind = 4
};

// Value blocks (floats) under item numbers, and the kind of every number ever made. A deleted
// item's kind stays behind, so a later command of another kind is still a kind mismatch.
struct MathsItemLists {
    IdList values;
    IdList kinds;
    ~MathsItemLists() { Clear(); }
    void Clear();
};

// Written only by the maths module, on the main thread. Items live from their make to their delete
// or re-make, or the Destructor; nothing here is rebuilt around a device reset.
struct MathsState {
    IDirect3DDevice9* (*getDevice)() = nullptr;
    CoreData* core = nullptr;
    bool ready = false; // missing items raise errors only once the module has its CoreData
    CameraRecord* (*getCamera)(std::int32_t camera) = nullptr; // from the CoreData pass on
    IDirect3DDevice9* device = nullptr;                        // ProjectVector3's viewport
    MathsItemLists items;
    // Where "does not exist" texts go; tests listen here.
    void (*report)(const char* text) = nullptr;
};

extern MathsState g_Maths;

// One item a command names: its number, the kind it must hold, the role its missing text names
// (null: no text) and the error a missing item raises.
struct MathsOperand {
    std::int32_t id;
    MathsKind kind;
    const char* role;
    std::int32_t missingError = kValueOutOfRange;
};

// A command's operands after the shared checks, listed in lookup order: every kind first, then
// existence. False (the error raised, the text reported) when a check fails.
class CheckedOperands {
public:
    CheckedOperands(const char* command, std::initializer_list<MathsOperand> operands);
    explicit operator bool() const { return ok_; }
    float* operator[](int i) const { return blocks_[i]; }
    template <typename T> T& As(int i) const { return *reinterpret_cast<T*>(blocks_[i]); }

private:
    static constexpr int kMaxOperands = 5;
    float* blocks_[kMaxOperands] = {};
    bool ok_ = false;
};

// Passes "command - role does not exist" on.
void ReportMissingItem(const char* command, const char* role);
