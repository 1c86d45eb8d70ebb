// The commands that put slot effects on objects and limbs, set effect parameters and techniques,
// list an effect's parameters and the last compile messages in the checklist, and keep two tables
// of hand-assembled shaders: 31 vertex-shader slots with their input declarations and 31
// pixel-shader slots. Effects are loaded into their slots by effect_slots.h.
#pragma once

#include <cstdint>

// Effect 0 takes every mesh's effect off; otherwise the meshes share slot `effect`'s.
void SetObjectEffect(std::int32_t n, std::int32_t effect);
void SetLimbEffect(std::int32_t n, std::int32_t limb, std::int32_t effect);
// 7721 outside 1 to 65535; otherwise whether the slot holds an effect.
bool EffectExist(std::int32_t effect);
// Computed matrices are set transposed when flag is 1.
void SetEffectTranspose(std::int32_t effect, std::int32_t flag);
void SetEffectTechnique(std::int32_t effect, const char* technique);
// A parameter set by name stops receiving the engine's value of its semantic. Vector and matrix
// values are maths items.
void SetEffectConstantBoolean(std::int32_t effect, const char* name, std::int32_t value);
void SetEffectConstantInteger(std::int32_t effect, const char* name, std::int32_t value);
void SetEffectConstantFloat(std::int32_t effect, const char* name, float value);
void SetEffectConstantVector(std::int32_t effect, const char* name, std::int32_t vector);
void SetEffectConstantMatrix(std::int32_t effect, const char* name, std::int32_t matrix);
// One row per parameter: its name, then A its kind (1 bool, 2 int, 3 float, 4 vector, 5 matrix,
// 0 other), B 1 when the engine sets it, C its class and D its type.
void EffectParameterChecklist(std::int32_t effect);
// One row per line of the last compile messages, each without its "file(line) : code: " lead.
void EffectErrorChecklist();

// Vertex-shader slots 0 to 30 (7701 outside). A slot's shader is drawn with only once it has a
// declaration (7708); the meshes keep their own vertex layout.
void SetVertexShaderOn(std::int32_t n, std::int32_t slot);
void SetVertexShaderOff(std::int32_t n);
// A declaration of count elements (7702 outside 1 to 64; 7703 without memory), each then set by
// number from 1 (7704 outside 1 to count; usage 0 to 13, else 7705), laid out one after another.
void CreateVertexShaderDeclaration(std::int32_t slot, std::int32_t count);
void SetVertexShaderDeclarationElement(std::int32_t slot, std::int32_t element, std::int32_t usage,
                                       std::int32_t type);
// Assembles the file (7707) and makes the shader and the declaration (7703).
void LoadVertexShader(std::int32_t slot, const char* fileName);
void SetVertexShaderVector(std::int32_t slot, std::int32_t reg, std::int32_t vector);
void SetVertexShaderMatrix(std::int32_t slot, std::int32_t reg, std::int32_t matrix);
void DeleteVertexShader(std::int32_t slot);
bool VertexShaderExist(std::int32_t slot);

// Pixel-shader slots 0 to 30 (7701 outside).
void SetPixelShaderOn(std::int32_t n, std::int32_t slot);
void SetPixelShaderOff(std::int32_t n);
void LoadPixelShader(std::int32_t slot, const char* fileName);
void DeletePixelShader(std::int32_t slot);
bool PixelShaderExist(std::int32_t slot);

// Empties every shader slot; the module's end.
void FreeShaderSlots();
