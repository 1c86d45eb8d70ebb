#include "core/win32.h"

#include "maths/maths.h"
#include "core/core.h"
#include "core/idlist.h"

#include <new>

namespace {

enum ItemKind : std::int32_t { kVector2 = 1, kVector3 = 2, kVector4 = 3, kMatrix = 4 };
constexpr std::int32_t kValueError = 7801;

// Value blocks under item numbers, and the kind of every number ever made. A deleted item's kind
// stays behind, so a later command of the wrong kind is still reported as a kind mismatch.
struct ItemLists {
    IdList values;
    IdList kinds;
    ~ItemLists() { Clear(); }
    void Clear() {
        for (IdListNode* n = values.first; n; n = n->next)
            delete[] static_cast<float*>(n->data);
        for (IdListNode* n = kinds.first; n; n = n->next)
            delete static_cast<std::int32_t*>(n->data);
        values.Clear();
        kinds.Clear();
    }
};

struct State {
    CoreData* core = nullptr;
    bool ready = false; // missing items are errors only once the module has its CoreData
    ItemLists items;
};
State s;

bool KindMatches(std::int32_t id, ItemKind kind) {
    const auto* recorded = static_cast<const std::int32_t*>(s.items.kinds.Find(id));
    return !recorded || *recorded == kind;
}

// The vector3 block of id, or null after raising the protocol's error.
float* CheckedVector3(std::int32_t id, const char* missingMessage) {
    if (!KindMatches(id, kVector3)) {
        RaiseRuntimeError(kValueError);
        return nullptr;
    }
    auto* value = static_cast<float*>(s.items.values.Find(id));
    if (!value) {
        if (s.ready) RaiseRuntimeError(kValueError);
        ReportInternalError(missingMessage);
    }
    return value;
}

void DeleteItem(std::int32_t id) {
    delete[] static_cast<float*>(s.items.values.Find(id));
    s.items.values.Delete(id);
}

} // namespace

void MathsConstructor(HMODULE) {}
// Items and the CoreData end with the module: a restarted engine starts with none.
void MathsDestructor() {
    s.items.Clear();
    s.core = nullptr;
    s.ready = false;
}
void MathsSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void MathsPassCoreData(CoreData* core) {
    s.core = core;
    s.ready = true;
}

void MathsRefreshD3D(std::int32_t mode) {
    if (mode == 1) s.ready = true;
}

bool MakeVector3(std::int32_t id) {
    DeleteItem(id);
    float* value = new (std::nothrow) float[3]{};
    auto* kind = static_cast<std::int32_t*>(s.items.kinds.Find(id));
    if (!kind) {
        kind = new (std::nothrow) std::int32_t(kVector3);
        if (kind && s.items.kinds.Add(id, kind, 0, 1) == 0) {
            delete kind;
            kind = nullptr;
        }
    }
    if (!value || !kind || s.items.values.Add(id, value, 0, 1) == 0) {
        delete[] value;
        if (s.ready) RaiseRuntimeError(kValueError);
        ReportInternalError("Failed to create vector");
        return false;
    }
    *kind = kVector3;
    return true;
}

bool DeleteVector3(std::int32_t id) {
    DeleteItem(id);
    return true;
}

std::int32_t MathsItemExists(std::int32_t id) {
    return s.items.values.Find(id) ? 1 : 0;
}

void SetVector3(std::int32_t id, float x, float y, float z) {
    float* value = CheckedVector3(id, "SetVector3 - matrix does not exist");
    if (!value) return;
    value[0] = x;
    value[1] = y;
    value[2] = z;
}

float* GetVector3(float* out, std::int32_t id) {
    const float* value = CheckedVector3(id, "GetVector3 - vector does not exist");
    for (int i = 0; i < 3; ++i)
        out[i] = value ? value[i] : 0.0f;
    return out;
}

VectorEntries GetVectorEntries() {
    return {SetVector3, GetVector3, MathsItemExists};
}
