#include "core/win32.h"

#include "maths/maths.h"
#include "camera/camera.h"
#include "core/core.h"
#include "display/display.h"
#include "maths/maths_store.h"

#include <cstdio>
#include <new>

MathsState g_Maths;

namespace {

constexpr int kMaxComponents = 16;

int ComponentCount(MathsKind kind) {
    return kind == kMatrixKind ? kMaxComponents : kind + 1;
}

void Report(const char* text) {
    (g_Maths.report ? g_Maths.report : ReportInternalError)(text);
}

// Kind check of one number: passes when nothing was ever made under it or it was made as kind.
bool KindMatches(std::int32_t id, MathsKind kind) {
    const auto* recorded = static_cast<const std::int32_t*>(g_Maths.items.kinds.Find(id));
    return !recorded || *recorded == kind;
}

void DeleteItem(std::int32_t id) {
    delete[] static_cast<float*>(g_Maths.items.values.Find(id));
    g_Maths.items.values.Delete(id);
}

// A new kind record of id, stored; null when it could not be.
std::int32_t* AddKindRecord(std::int32_t id, MathsKind kind) {
    auto* recorded = new (std::nothrow) std::int32_t(kind);
    if (recorded && g_Maths.items.kinds.Add(id, recorded, 0, 1) == 0) {
        delete recorded;
        return nullptr;
    }
    return recorded;
}

// A value block without a kind record would pass every kind check and be read past its end, so a
// make whose kind cannot be recorded fails whole. The new block is had before the old one goes:
// a make that fails (out of memory) leaves the item, and its kind, as they were.
bool MakeItem(std::int32_t id, MathsKind kind) {
    float* value = new (std::nothrow) float[ComponentCount(kind)]{};
    auto* recorded = static_cast<std::int32_t*>(g_Maths.items.kinds.Find(id));
    const bool newKind = !recorded;
    if (value && newKind) recorded = AddKindRecord(id, kind);
    // A number in use takes the new block in its node, which needs no memory.
    auto* old = static_cast<float*>(g_Maths.items.values.Find(id));
    if (value && recorded && g_Maths.items.values.Add(id, value, 0, 1) != 0) {
        delete[] old;
        *recorded = kind;
        return true;
    }
    if (newKind && recorded) {
        g_Maths.items.kinds.Delete(id);
        delete recorded;
    }
    delete[] value;
    const bool matrix = kind == kMatrixKind;
    if (g_Maths.ready) RaiseRuntimeError(matrix ? kMatrixMissing : kValueOutOfRange);
    Report(matrix ? "Failed to create matrix" : "Failed to create vector");
    return false;
}

// The getters' shared body: the item's components into out, zeros after an error.
float* CopyOut(const char* command, float* out, std::int32_t id, MathsKind kind, const char* role) {
    const CheckedOperands items(command, {{id, kind, role}});
    for (int i = 0; out && i < ComponentCount(kind); ++i) // no place given: checks only
        out[i] = items ? items[0][i] : 0.0f;
    return out;
}

void TakeDevice() {
    g_Maths.getDevice = GetDirect3DDevice;
    g_Maths.device = g_Maths.getDevice();
}

void Ready() {
    g_Maths.ready = true;
    g_Maths.getCamera = GetCameraInternalData;
}

} // namespace

void MathsItemLists::Clear() {
    for (IdListNode* n = values.first; n; n = n->next)
        delete[] static_cast<float*>(n->data);
    for (IdListNode* n = kinds.first; n; n = n->next)
        delete static_cast<std::int32_t*>(n->data);
    values.Clear();
    kinds.Clear();
}

void ReportMissingItem(const char* command, const char* role) {
    char text[128];
    std::snprintf(text, sizeof text, "%s - %s does not exist", command, role);
    Report(text);
}

CheckedOperands::CheckedOperands(const char* command,
                                 std::initializer_list<MathsOperand> operands) {
    if (operands.size() > kMaxOperands) return;
    for (const MathsOperand& o : operands) {
        if (!KindMatches(o.id, o.kind)) {
            RaiseRuntimeError(kValueOutOfRange);
            return;
        }
    }
    int i = 0;
    for (const MathsOperand& o : operands) {
        blocks_[i] = static_cast<float*>(g_Maths.items.values.Find(o.id));
        if (!blocks_[i]) {
            if (g_Maths.ready) RaiseRuntimeError(o.missingError);
            if (o.role) ReportMissingItem(command, o.role);
            return;
        }
        ++i;
    }
    ok_ = true;
}

void MathsConstructor(HMODULE) {
    TakeDevice();
}

// Items end with the module here (not only at exit), so that a restarted engine starts with none.
void MathsDestructor() {
    g_Maths.items.Clear();
    g_Maths.core = nullptr;
    g_Maths.ready = false;
    g_Maths.getCamera = nullptr;
    g_Maths.device = nullptr;
}

void MathsSetErrorHandler(RuntimeErrorRecord* cell) {
    SetModuleErrorPointer(cell);
}

void MathsPassCoreData(CoreData* core) {
    g_Maths.core = core;
    Ready();
}

void MathsRefreshD3D(std::int32_t mode) {
    if (mode != 1) return;
    TakeDevice();
    Ready();
}

bool MakeVector2(std::int32_t id) {
    return MakeItem(id, kVector2Kind);
}
bool MakeVector3(std::int32_t id) {
    return MakeItem(id, kVector3Kind);
}
bool MakeVector4(std::int32_t id) {
    return MakeItem(id, kVector4Kind);
}
bool MakeMatrix(std::int32_t id) {
    return MakeItem(id, kMatrixKind);
}

// One operation under four names: none looks at the kind.
bool DeleteVector2(std::int32_t id) {
    DeleteItem(id);
    return true;
}
bool DeleteVector3(std::int32_t id) {
    return DeleteVector2(id);
}
bool DeleteVector4(std::int32_t id) {
    return DeleteVector2(id);
}
bool DeleteMatrix(std::int32_t id) {
    return DeleteVector2(id);
}

std::int32_t MathsItemExists(std::int32_t id) {
    return g_Maths.items.values.Find(id) ? 1 : 0;
}

float* GetVector2(float* out, std::int32_t id) {
    return CopyOut(__func__, out, id, kVector2Kind, "vector");
}
float* GetVector3(float* out, std::int32_t id) {
    return CopyOut(__func__, out, id, kVector3Kind, "vector");
}
float* GetVector4(float* out, std::int32_t id) {
    return CopyOut(__func__, out, id, kVector4Kind, "vector");
}
float* GetMatrix(float* out, std::int32_t id) {
    return CopyOut(__func__, out, id, kMatrixKind, "matrix");
}

D3DXVECTOR4 GetVector4Export(std::int32_t id) {
    float v[4];
    GetVector4(v, id);
    return D3DXVECTOR4(v);
}

D3DXMATRIX GetMatrixExport(std::int32_t id) {
    float m[kMaxComponents];
    GetMatrix(m, id);
    return D3DXMATRIX(m);
}

VectorEntries GetVectorEntries() {
    return {SetVector3, GetVector3, MathsItemExists};
}

MathsBridge GetMathsBridge() {
    return {GetVectorEntries(), GetVector4Export, GetMatrixExport};
}
