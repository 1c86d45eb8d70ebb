#include "core/win32.h"

#include "object3d/effect_commands.h"
#include "core/checklist.h"
#include "core/core.h"
#include "object3d/effect.h"
#include "object3d/effect_slots.h"
#include "object3d/mesh_convert.h"
#include "object3d/object3d.h"
#include "object3d/object_state.h"
#include "core/error_numbers.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Load-status words of SetObjectEffect.
constexpr std::int32_t kProgressStart = 10001;
constexpr std::int32_t kProgressChecked = 10002;
constexpr std::int32_t kProgressAttaching = 11000;
constexpr std::int32_t kProgressDetaching = 12001;
constexpr std::int32_t kProgressRebuffering = 13001;
constexpr std::int32_t kProgressDone = 13002;

void Progress(std::int32_t code) {
    if (g_Object3D.core) g_Object3D.core->loadProgress = code;
}

// Gives the mesh the slot's effect, which stays the slot's; false when the mesh refuses it.
bool ShareSlotEffect(MeshRecord* mesh, EffectBase* effect) {
    if (!SetMeshEffectPrepared(mesh, effect)) return false;
    mesh->sharedEffect = 1;
    return true;
}

// The slot's effect with its interface; null (after ConfirmEffect's error) when there is none.
EffectBase* CheckedEffect(std::int32_t n) {
    if (!ConfirmEffect(n)) return nullptr;
    EffectBase* effect = EffectInSlot(n);
    return effect && effect->effect ? effect : nullptr;
}

// The effect's interface when it has the named parameter, which from now on keeps the value the
// program sets: the engine's value of its semantic is no longer put over it at each draw.
ID3DXEffect* FindEffectParameter(std::int32_t n, const char* name) {
    EffectBase* effect = CheckedEffect(n);
    if (!effect || !name) return nullptr;
    const D3DXHANDLE parameter = effect->effect->GetParameterByName(nullptr, name);
    if (!parameter) return nullptr;
    effect->BindSemantics(name, parameter, true);
    return effect->effect;
}

// A checklist row: its text and the four integer values.
struct Row {
    std::string text;
    std::int32_t values[4] = {};
};

// The rows into the checklist, each text buffer as long as the longest; values only when asked.
void WriteChecklist(const std::vector<Row>& rows, bool withValues) {
    CoreData* core = g_Object3D.core;
    if (!core) return;
    core->checklistHasValues = withValues ? 1 : 0;
    core->checklistHasStrings = 1;
    std::size_t longest = 0;
    for (const Row& row : rows)
        longest = std::max(longest, row.text.size());
    core->checklistRowsInUse = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto index = static_cast<std::int32_t>(i);
        if (!ReserveChecklistString(index, static_cast<std::int32_t>(longest))) break;
        ChecklistEntry& entry = core->checklistRows[i];
        std::memcpy(entry.string, rows[i].text.c_str(), rows[i].text.size() + 1);
        if (withValues) std::copy_n(rows[i].values, 4, entry.values);
        core->checklistRowsInUse = index + 1;
    }
    core->checklistMade = core->checklistRowsInUse > 0 ? 1 : 0;
}

// 1 bool, 2 int, 3 float, 4 vector, 5 matrix, 0 anything else.
std::int32_t ParameterKind(const D3DXPARAMETER_DESC& desc) {
    switch (desc.Class) {
    case D3DXPC_SCALAR:
        return desc.Type == D3DXPT_BOOL    ? 1
               : desc.Type == D3DXPT_INT   ? 2
               : desc.Type == D3DXPT_FLOAT ? 3
                                           : 0;
    case D3DXPC_VECTOR:
        return 4;
    case D3DXPC_MATRIX_ROWS:
    case D3DXPC_MATRIX_COLUMNS:
        return 5;
    default:
        return 0;
    }
}

const char* AnnotationText(ID3DXEffect* fx, D3DXHANDLE parameter, const char* name) {
    const D3DXHANDLE annotation = fx->GetAnnotationByName(parameter, name);
    LPCSTR text = nullptr;
    return annotation && SUCCEEDED(fx->GetString(annotation, &text)) ? text : nullptr;
}

// Whether the engine gives the parameter its value: by its semantic, as a light the effect has
// bound, or because a program cannot set it (no kind, or a texture, sampler or shader).
bool SetAutomatically(EffectBase& effect, D3DXHANDLE parameter, const D3DXPARAMETER_DESC& desc) {
    if (effect.BindSemanticsDefault(desc.Semantic, nullptr)) return true;
    ID3DXEffect* fx = effect.effect;
    const bool direction = effect.semantics[kSemanticLightDirection] != nullptr;
    const bool inverse = effect.semantics[kSemanticLightDirectionObject] != nullptr;
    const bool position = effect.semantics[kSemanticLightPosition] != nullptr;
    if ((direction && fx->GetAnnotationByName(parameter, "UIDirectional")) ||
        (inverse && fx->GetAnnotationByName(parameter, "UIDirectionalInv")) ||
        (position && fx->GetAnnotationByName(parameter, "UIPosition")))
        return true;
    if (const char* light = AnnotationText(fx, parameter, "UIObject")) {
        if (direction && _stricmp(light, "directionalight") == 0) return true;
        if (position && (_stricmp(light, "pointlight") == 0 || _stricmp(light, "spotlight") == 0))
            return true;
    }
    return ParameterKind(desc) == 0 || desc.Type > D3DXPT_STRING;
}

// The compile messages line by line, each without the lead up to its second colon and the blank
// after it ("file(12) : error X3000: message" lists "message").
std::vector<Row> MessageRows(const std::string& text) {
    std::vector<Row> rows;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second != std::string::npos)
            line = second + 2 < line.size() ? line.substr(second + 2) : std::string();
        rows.push_back(Row{line});
        start = end + 1;
    }
    return rows;
}

} // namespace

void SetObjectEffect(std::int32_t n, std::int32_t effectNumber) {
    Progress(kProgressStart);
    if (!ConfirmObject(n) || (effectNumber != 0 && !ConfirmEffect(effectNumber))) return;
    Progress(kProgressChecked);
    ObjectRecord* object = ObjectAt(n);
    ForEachObjectMesh(object, [](MeshRecord* mesh) { SetMeshEffectPrepared(mesh, nullptr); });
    RestoreAllMeshVertices(object);
    const std::int32_t count = ListedMeshCount(object);
    bool refused = false;
    if (effectNumber < 1) {
        Progress(kProgressDetaching);
        for (std::int32_t i = 0; i < count; ++i) {
            Progress(kProgressDetaching + i);
            SetMeshEffectPrepared(object->meshes[i], nullptr);
        }
    } else {
        EffectBase* effect = EffectInSlot(effectNumber);
        Progress(kProgressAttaching);
        for (std::int32_t i = 0; i < count; ++i) {
            Progress(kProgressAttaching + 1 + i);
            if (object->meshes[i] && !ShareSlotEffect(object->meshes[i], effect)) refused = true;
        }
    }
    Progress(kProgressRebuffering);
    RebufferObject(object);
    Progress(kProgressDone);
    if (refused) RaiseRuntimeError(kShaderOrEffectFailed);
}

void SetLimbEffect(std::int32_t n, std::int32_t limb, std::int32_t effectNumber) {
    if (!ConfirmObjectAndLimb(n, limb) || (effectNumber != 0 && !ConfirmEffect(effectNumber)))
        return;
    ObjectRecord* object = ObjectAt(n);
    MeshRecord* mesh = object->frames[limb]->mesh;
    if (!mesh) return;
    RestoreMeshVertices(mesh);
    bool refused = false;
    if (effectNumber >= 1)
        refused = !ShareSlotEffect(mesh, EffectInSlot(effectNumber));
    else
        SetMeshEffectPrepared(mesh, nullptr);
    RebufferObject(object);
    if (refused) RaiseRuntimeError(kShaderOrEffectFailed);
}

bool EffectExist(std::int32_t effect) {
    if (effect < 1 || effect >= kEffectSlots) {
        ConfirmEffect(effect); // raises the range error
        return false;
    }
    return EffectInSlot(effect) != nullptr;
}

void SetEffectTranspose(std::int32_t effect, std::int32_t flag) {
    if (ConfirmEffect(effect)) EffectInSlot(effect)->transpose = flag == 1 ? 1 : 0;
}

void SetEffectTechnique(std::int32_t effect, const char* technique) {
    EffectBase* e = CheckedEffect(effect);
    if (!e || !technique) return;
    if (const D3DXHANDLE found = e->effect->GetTechniqueByName(technique))
        e->effect->SetTechnique(found);
}

void SetEffectConstantBoolean(std::int32_t effect, const char* name, std::int32_t value) {
    if (ID3DXEffect* fx = FindEffectParameter(effect, name))
        fx->SetBool(fx->GetParameterByName(nullptr, name), value);
}

void SetEffectConstantInteger(std::int32_t effect, const char* name, std::int32_t value) {
    if (ID3DXEffect* fx = FindEffectParameter(effect, name))
        fx->SetInt(fx->GetParameterByName(nullptr, name), value);
}

void SetEffectConstantFloat(std::int32_t effect, const char* name, float value) {
    if (ID3DXEffect* fx = FindEffectParameter(effect, name))
        fx->SetFloat(fx->GetParameterByName(nullptr, name), value);
}

void SetEffectConstantVector(std::int32_t effect, const char* name, std::int32_t vector) {
    ID3DXEffect* fx = FindEffectParameter(effect, name);
    if (!fx || !g_Object3D.getVector4) return;
    const D3DXVECTOR4 value = g_Object3D.getVector4(vector);
    fx->SetVector(fx->GetParameterByName(nullptr, name), &value);
}

void SetEffectConstantMatrix(std::int32_t effect, const char* name, std::int32_t matrix) {
    ID3DXEffect* fx = FindEffectParameter(effect, name);
    if (!fx || !g_Object3D.getMatrix) return;
    const D3DXMATRIX value = g_Object3D.getMatrix(matrix);
    fx->SetMatrix(fx->GetParameterByName(nullptr, name), &value);
}

void EffectParameterChecklist(std::int32_t effect) {
    EffectBase* e = CheckedEffect(effect);
    if (!e) return;
    ID3DXEffect* fx = e->effect;
    D3DXEFFECT_DESC description{};
    if (FAILED(fx->GetDesc(&description))) return;
    std::vector<Row> rows;
    for (UINT i = 0; i < description.Parameters; ++i) {
        const D3DXHANDLE parameter = fx->GetParameter(nullptr, i);
        D3DXPARAMETER_DESC desc{};
        if (!parameter || FAILED(fx->GetParameterDesc(parameter, &desc))) continue;
        Row row{desc.Name && desc.Name[0] ? desc.Name : "<noname>"};
        row.values[0] = ParameterKind(desc);
        row.values[1] = SetAutomatically(*e, parameter, desc) ? 1 : 0;
        row.values[2] = static_cast<std::int32_t>(desc.Class);
        row.values[3] = static_cast<std::int32_t>(desc.Type);
        rows.push_back(std::move(row));
    }
    WriteChecklist(rows, true);
}

void EffectErrorChecklist() {
    WriteChecklist(MessageRows(GetLastEffectError()), false);
}
